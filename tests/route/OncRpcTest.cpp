#include "route/vxi11/OncRpc.h"

#include <gtest/gtest.h>

#include <string>

// The encoding against byte strings written out by hand from the wire format.
namespace {

using namespace vxi11;

QByteArray Hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

struct Encoding {
  const char *what;
  QByteArray encoded;
  const char *hex;
};

void PrintTo(const Encoding &c, std::ostream *out) { *out << c.what; }

class XdrEncoding : public ::testing::TestWithParam<Encoding> {};

TEST_P(XdrEncoding, IsTheWireBytes) {
  EXPECT_EQ(GetParam().encoded.toHex(' '), Hex(GetParam().hex).toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(
    Items, XdrEncoding,
    ::testing::Values(
        Encoding{"a negative int", XdrWriter().I32(-2).Bytes(), "fffffffe"},
        Encoding{"opaque padded to four", XdrWriter().Opaque("ID?").Bytes(), "00000003 49443f00"},
        Encoding{"opaque of four, no padding", XdrWriter().Opaque("*IDN").Bytes(), "00000004 2a49444e"},
        Encoding{"empty opaque", XdrWriter().Opaque(QByteArray()).Bytes(), "00000000"},
        Encoding{"a record as its last fragment", MarkRecord("abcd"), "80000004 61626364"},
        Encoding{"a GETPORT call for the core program over TCP",
                 MarkRecord(CallMessage(0x11223344, PortmapperProgram, PortmapperVersion, PortmapperGetPort,
                                        GetPortArgs(0x0607AF, 1, ProtocolTcp))),
                 "80000038 11223344 00000000 00000002 000186a0 00000002 00000003"
                 " 00000000 00000000 00000000 00000000 000607af 00000001 00000006 00000000"}));

struct Arrival {
  const char *what;
  QByteArray input;
  RecordState state;
  QByteArray record;
  QByteArray left; // what stays in the input
};

void PrintTo(const Arrival &c, std::ostream *out) { *out << c.what; }

class RecordMarking : public ::testing::TestWithParam<Arrival> {};

TEST_P(RecordMarking, TakesAWholeRecordOnly) {
  const Arrival &c = GetParam();
  QByteArray input = c.input;
  QByteArray record = "untouched";
  EXPECT_EQ(TakeRecord(input, record, 16), c.state);
  EXPECT_EQ(input, c.left);
  if (c.state == RecordState::Complete)
    EXPECT_EQ(record, c.record);
  else
    EXPECT_EQ(record, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Segments, RecordMarking,
    ::testing::Values(
        Arrival{"the mark cut short", Hex("8000"), RecordState::Incomplete, {}, Hex("8000")},
        Arrival{
            "the body cut short", Hex("80000004 6162"), RecordState::Incomplete, {}, Hex("80000004 6162")},
        Arrival{"a first fragment whole, the last not yet come",
                Hex("00000002 6162 80000002 63"),
                RecordState::Incomplete,
                {},
                Hex("00000002 6162 80000002 63")},
        Arrival{"two fragments joined, the next record left", Hex("00000002 6162 80000002 6364 80000001"),
                RecordState::Complete, "abcd", Hex("80000001")},
        Arrival{"an empty last fragment ends the record",
                Hex("00000001 61 80000000"),
                RecordState::Complete,
                "a",
                {}},
        Arrival{"fragments over the limit",
                Hex("0000000a 00000000000000000000 8000000a"),
                RecordState::TooLarge,
                {},
                Hex("0000000a 00000000000000000000 8000000a")}));

struct ReplyCase {
  const char *what;
  const char *hex;
  bool accepted;
  const char *resultsOrWhy;
};

void PrintTo(const ReplyCase &c, std::ostream *out) { *out << c.what; }

class Reply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Reply, GivesTheResultsOrSaysWhyNot) {
  const ReplyCase &c = GetParam();
  QByteArray results;
  QString why;
  EXPECT_EQ(ReplyResults(Hex(c.hex), 7, results, why), c.accepted);
  if (c.accepted)
    EXPECT_EQ(results.toHex(), QByteArray(c.resultsOrWhy));
  else
    EXPECT_TRUE(why.contains(QLatin1String(c.resultsOrWhy))) << why.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Reply,
    ::testing::Values(
        ReplyCase{"accepted", "00000007 00000001 00000000 00000000 00000000 00000000 000003ff", true,
                  "000003ff"},
        ReplyCase{"accepted with a verifier",
                  "00000007 00000001 00000000 00000001 00000002 abcd0000 00000000 01", true, "01"},
        ReplyCase{"for another call", "00000008 00000001 00000000 00000000 00000000 00000000", false,
                  "no reply to the call"},
        ReplyCase{"a call, not a reply", "00000007 00000000 00000000", false, "no reply to the call"},
        ReplyCase{"program unknown", "00000007 00000001 00000000 00000000 00000000 00000001", false,
                  "does not have the program"},
        ReplyCase{"procedure unknown", "00000007 00000001 00000000 00000000 00000000 00000003", false,
                  "does not have the procedure"},
        ReplyCase{"denied", "00000007 00000001 00000001 00000000 00000002 00000002", false,
                  "refused the call"},
        ReplyCase{"a verifier longer than the reply", "00000007 00000001 00000000 00000000 00000100", false,
                  "cut short"}));

TEST(XdrReader, ALengthBeyondItsLimitOrTheBytesFailsThisAndEveryLaterRead) {
  QByteArray bytes;
  quint32 value = 0;
  XdrReader tooLong(Hex("00000008 61626364"));
  EXPECT_FALSE(tooLong.Opaque(bytes, 100));
  XdrReader overLimit(Hex("00000004 61626364 00000001"));
  EXPECT_FALSE(overLimit.Opaque(bytes, 3));
  EXPECT_FALSE(overLimit.U32(value)) << "a failed reader stays failed";
}

} // namespace
