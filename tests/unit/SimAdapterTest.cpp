#include "support/AdapterProcess.h"
#include "support/Files.h"
#include "support/SimulatedBus.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct Link {
  const char *dialect;
  bool tcp;
};

std::string LinkName(const ::testing::TestParamInfo<Link> &info) {
  return std::string(info.param.dialect) + (info.param.tcp ? "Tcp" : "Pty");
}
void PrintTo(const Link &link, std::ostream *os) {
  *os << link.dialect << (link.tcp ? " over TCP" : " over a pty");
}

const QByteArray TdsAt1 = R"({"listeners": [{"address": 1}]})";
const QByteArray Id3054 = "ID TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00\n";
const QByteArray Eot = "\x04";
const QByteArray SetUpLines =
    "++mode 1\n++auto 0\n++eoi 1\n++eos 3\n++eot_enable 1\n++eot_char 4\n++read_tmo_ms 200\n";

// One adapter per test, in each dialect over each link, with a host connected to it.
class SimAdapterTest : public ::testing::TestWithParam<Link> {
protected:
  bool Ar488() const { return std::string(GetParam().dialect) == "ar488"; }

  void Start(const QByteArray &busJson, QStringList extra = {}) {
    QStringList arguments{QStringLiteral("--dialect"), QString::fromLatin1(GetParam().dialect)};
    arguments << (GetParam().tcp ? QStringList{QStringLiteral("--tcp"), QStringLiteral("0")}
                                 : QStringList{QStringLiteral("--pty")})
              << extra;
    adapter = std::make_unique<AdapterProcess>(arguments, busJson);
    ASSERT_TRUE(adapter->endpoint.contains(
        QRegularExpression(QStringLiteral("^(pty /dev/pts/\\d+|tcp 127\\.0\\.0\\.1:\\d+)$"))))
        << adapter->endpoint.toStdString();
    host = std::make_unique<AdapterHost>(adapter->endpoint);
    ASSERT_TRUE(host->Connected());
    if (extra.contains(QStringLiteral("--mute")))
      return;
    host->Send("++ver\n");
    version = host->ReadUntil("\r\n");
    EXPECT_TRUE(version.startsWith(Ar488() ? "AR488 " : "Prologix ")) << version.toStdString();
  }

  // Sends bytes, then ++ver; returns what came before its answer.
  QByteArray Exchange(const QByteArray &bytes) {
    host->Send(bytes + "++ver\n");
    QByteArray got = host->ReadUntil(version);
    EXPECT_TRUE(got.endsWith(version)) << got.toStdString();
    got.chop(version.size());
    return got;
  }

  std::unique_ptr<AdapterProcess> adapter;
  std::unique_ptr<AdapterHost> host;
  QByteArray version; // the ++ver answer, which ends every exchange
};

TEST_P(SimAdapterTest, SetUpIsAcceptedAndAReadEndsWithTheEotCharacter) {
  Start(TdsAt1);
  EXPECT_EQ(Exchange(SetUpLines + (Ar488() ? "" : "++savecfg 0\n")), "");
  EXPECT_EQ(Exchange("++mode\n++auto\n++eoi\n++eos\n++eot_enable\n++eot_char\n++read_tmo_ms\n"),
            "1\r\n0\r\n1\r\n3\r\n1\r\n4\r\n200\r\n");
  EXPECT_EQ(Exchange("++addr 9\n++addr\n"), "9\r\n");
  EXPECT_EQ(Exchange("++addr 1\nID?\n++read eoi\n"), Id3054 + Eot);
}

TEST_P(SimAdapterTest, EscapedBytesPassByteForByteBothWays) {
  Start(R"({"listeners": [{"address": 1, "kind": "plain",
            "replies": {"Q?": "a\r\n\u001b+b\n"}}]})");
  EXPECT_EQ(Exchange(SetUpLines + "++addr 1\n\x1b+\x1b+A\x1b\rB\x1b\nC\x1b\x1b"
                                  "D+E\nQ?\r\n++read eoi\n"),
            "a\r\n\x1b+b\n" + Eot);
  const std::vector<std::string> trace = adapter->Trace();
  ASSERT_GE(trace.size(), 3u);
  EXPECT_EQ(trace[1], R"(ibwrt pad=1 "++A\rB\nC\x1BD+E" ibsta=0x0100)");
  EXPECT_EQ(trace[2], R"(ibwrt pad=1 "Q?" ibsta=0x0100)");
}

// A read that gets no EOI passes on what came, without the eot character, and only when
// the read time-out has passed do the next lines get their turn.
TEST_P(SimAdapterTest, NoEndOfReplyMeansNoEotAfterTheReadTimeOut) {
  struct Case {
    const char *name;
    QByteArray bus;
    int address;
    QByteArray arrives;
  };
  const Case cases[] = {
      {"time-out", R"({"listeners": [{"address": 1, "faults": [{"command": "ID?", "fault": "timeout"}]}]})",
       1, ""},
      {"no END", R"({"listeners": [{"address": 1, "faults": [{"command": "ID?", "fault": "no_end"}]}]})", 1,
       Id3054},
      {"write error",
       R"({"listeners": [{"address": 1, "faults": [{"command": "ID?", "fault": "write_error", "iberr": 6}]}]})",
       1, ""},
      {"nobody there", TdsAt1, 7, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.bus);
    Exchange(SetUpLines);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Exchange("++addr " + QByteArray::number(c.address) + "\nID?\n++read eoi\n"), c.arrives);
    EXPECT_GE(clock.elapsed(), 200);
  }
}

TEST_P(SimAdapterTest, DialectsDifferInFindListenersSaveConfigAndTheLongestReadTimeOut) {
  struct Case {
    QByteArray command;
    QByteArray prologix;
    QByteArray ar488;
  };
  const Case cases[] = {
      {"++fndl", "Unrecognized command\r\n", "3\r\n9\r\n17\r\n"},
      {"++fndl 17 4 3", "Unrecognized command\r\n", "3\r\n17\r\n"},
      {"++savecfg 0\n++savecfg", "0\r\n", "Unrecognized command\r\nUnrecognized command\r\n"},
      {"++read_tmo_ms 3000\n++read_tmo_ms", "3000\r\n", "3000\r\n"},
      {"++read_tmo_ms 3001\n++read_tmo_ms", "Invalid parameter\r\n3000\r\n", "3001\r\n"},
      {"++spoll 9\n++addr", "0\r\n1\r\n", "0\r\n1\r\n"},
      {"++frobnicate", "Unrecognized command\r\n", "Unrecognized command\r\n"},
  };
  Start(ReadTextFile(SimDataFile("scattered_listeners.json")).c_str());
  for (const Case &c : cases)
    EXPECT_EQ(Exchange(c.command + "\n"), Ar488() ? c.ar488 : c.prologix) << c.command.toStdString();
}

// The instrument sees what an NI-style caller would have done in the same conversation.
TEST_P(SimAdapterTest, TraceEqualsTheDriverLibrarysForTheSameConversation) {
  const std::string bus = ReadTextFile(SimDataFile("scattered_listeners.json"));
  Start(bus.c_str());
  EXPECT_EQ(
      Exchange(SetUpLines + "++ifc\n" + (Ar488() ? "++fndl\n" : "") +
               "++addr 3\n++spoll\n++addr 9\n++clr\nID?\n++read eoi\nHEAD 0\nPASSWORD BRAMBLE\nERRLOG?\n"
               "++read eoi\n++addr 4\nID?\n++read eoi\n"),
      (Ar488() ? "3\r\n9\r\n17\r\n" : "") + QByteArray("0\r\nID TEK/TDS 340,CF:91.1CT,FV:v1.09\n") + Eot +
          "\"05-Nov-2023 14:02 Trigger holdoff reset\",\"0\"\n" + Eot);

  SimulatedBus ni(bus);
  ni.api.SendIFC(0);
  ni.api.ibsre(0, 1);
  if (Ar488()) {
    std::vector<Addr4882_t> all;
    for (Addr4882_t pad = 0; pad <= 30; ++pad)
      all.push_back(pad);
    all.push_back(NOADDR);
    Addr4882_t found[31] = {};
    ni.api.FindLstn(0, all.data(), found, 31);
  }
  const int ud = ni.api.ibdev(0, 3, 0, gpibsim::T1s, 1, 0);
  char poll = 0;
  ni.api.ibrsp(ud, &poll);
  ni.api.ibpad(ud, 9);
  ni.api.ibclr(ud);
  ni.Query(ud, "ID?");
  ni.Write(ud, "HEAD 0");
  ni.Write(ud, "PASSWORD BRAMBLE");
  ni.Query(ud, "ERRLOG?");
  ni.api.ibpad(ud, 4);
  ni.Query(ud, "ID?");
  EXPECT_EQ(adapter->Trace(), ni.trace);
}

TEST_P(SimAdapterTest, VanishingAfterReadsClosesTheLinkAtTheNextRead) {
  Start(TdsAt1, {QStringLiteral("--vanish-after-reads"), QStringLiteral("1")});
  EXPECT_EQ(Exchange(SetUpLines + "ID?\n++read eoi\n"), Id3054 + Eot);
  host->Send("ID?\n++read eoi\n");
  EXPECT_TRUE(host->Closes(5000));
  ASSERT_TRUE(adapter->process.waitForFinished(5000));
  EXPECT_EQ(adapter->process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(adapter->process.exitCode(), 0);
}

TEST_P(SimAdapterTest, MuteAdapterAnswersNothing) {
  Start(TdsAt1, {QStringLiteral("--mute")});
  host->Send("++ver\n++addr\n");
  EXPECT_EQ(host->ReadFor(300), "");
  EXPECT_EQ(adapter->process.state(), QProcess::Running);
}

INSTANTIATE_TEST_SUITE_P(EachDialectAndLink, SimAdapterTest,
                         ::testing::Values(Link{"prologix", false}, Link{"prologix", true},
                                           Link{"ar488", false}, Link{"ar488", true}),
                         LinkName);

TEST(SimAdapterCommandLine, MistakesAreOneLineAndStatusTwo) {
  const QStringList cases[] = {
      {},
      {QStringLiteral("--dialect"), QStringLiteral("gpib"), QStringLiteral("--pty")},
      {QStringLiteral("--dialect"), QStringLiteral("prologix")},
      {QStringLiteral("--dialect"), QStringLiteral("ar488"), QStringLiteral("--pty"), QStringLiteral("--tcp"),
       QStringLiteral("0")},
      {QStringLiteral("--dialect"), QStringLiteral("prologix"), QStringLiteral("--tcp"),
       QStringLiteral("70000")},
      {QStringLiteral("--dialect"), QStringLiteral("ar488"), QStringLiteral("--pty"),
       QStringLiteral("--vanish-after-reads"), QStringLiteral("-1")},
      {QStringLiteral("--pty"), QStringLiteral("--bogus")},
  };
  for (const QStringList &arguments : cases) {
    QProcess adapter;
    adapter.start(QStringLiteral(GPIBSIM_ADAPTER), arguments);
    ASSERT_TRUE(adapter.waitForFinished(5000));
    const QByteArray err = adapter.readAllStandardError();
    EXPECT_EQ(adapter.exitCode(), 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(err.startsWith("gpibsim-adapter: ") && err.count('\n') == 1) << err.toStdString();
    EXPECT_EQ(adapter.readAllStandardOutput(), "");
  }
}

} // namespace
