#include "output/ErrorLogFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using ErrorLogOutput::FormatLog;
using ErrorLogOutput::LogFormat;

// Instrument bytes as the list holds them: one character each.
QString Gpib(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

TEST(LogFormats, EachFormatKeepsEveryEntryByte) {
  ErrorLogOutput::LogReading reading;
  reading.model = Gpib("TDS 3054");
  reading.gpibAddress = 7;
  reading.gpibInterface = QStringLiteral("prologix:/dev/ttyUSB0");
  reading.time = QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9), QTimeZone(3600));
  struct Case {
    const char *what;
    QByteArray entry;
    QByteArray csvField;
    QString jsonEntry;
  };
  const Case cases[] = {
      {"plain", "E2140 relay", "E2140 relay", "E2140 relay"},
      {"comma", "a, b", "\"a, b\"", "a, b"},
      {"quotes doubled", "say \"hi\"", "\"say \"\"hi\"\"\"", "say \"hi\""},
      {"CR LF inside", "one\r\ntwo", "\"one\r\ntwo\"", "one\r\ntwo"},
      {"NUL", QByteArray("a\0b", 3), QByteArray("a\0b", 3), QString(QStringLiteral("a") + QChar(0) + "b")},
      {"0xFF, not UTF-8", "x\xFFy", "x\xFFy", QStringLiteral("x\uFFFDy")},
      {"UTF-8 stays", "caf\xC3\xA9", "caf\xC3\xA9", QStringLiteral("caf\u00E9")},
      {"cut UTF-8 at the end", "ab\xC3", "ab\xC3", QStringLiteral("ab\uFFFD")},
      {"blanks around", " x ", " x ", " x "},
      {"empty", "", "", ""},
  };
  for (const Case &c : cases) {
    reading.entries = {Gpib(c.entry), Gpib("next")};

    EXPECT_EQ(FormatLog(LogFormat::Text, reading),
              "\r\n" + ErrorLogOutput::LogHeaderText("TDS 3054", QDate(2024, 3, 7)).toLatin1() + "\r\n\r\n" +
                  c.entry + "\r\nnext\r\n")
        << c.what;
    EXPECT_EQ(FormatLog(LogFormat::Csv, reading), "index,entry\r\n1," + c.csvField + "\r\n2,next\r\n")
        << c.what;

    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(FormatLog(LogFormat::Json, reading), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << c.what << ": " << error.errorString().toStdString();
    EXPECT_EQ(json.object(), (QJsonObject{{"model", "TDS 3054"},
                                          {"gpib_address", 7},
                                          {"interface", "prologix:/dev/ttyUSB0"},
                                          {"time", "2024-03-07T14:05:09+01:00"},
                                          {"entries", QJsonArray{c.jsonEntry, "next"}}}))
        << c.what << "\n"
        << FormatLog(LogFormat::Json, reading).toStdString();
  }
}

TEST(LogFormats, AnEmptyLogStillHasItsFrame) {
  ErrorLogOutput::LogReading reading;
  reading.model = Gpib("TDS 340");
  reading.time = QDateTime(QDate(2024, 3, 7), QTime(0, 0), QTimeZone::utc());
  EXPECT_EQ(FormatLog(LogFormat::Csv, reading), "index,entry\r\n");
  EXPECT_EQ(FormatLog(LogFormat::Text, reading),
            "\r\n" + ErrorLogOutput::LogHeaderText("TDS 340", QDate(2024, 3, 7)).toLatin1() + "\r\n\r\n");
  const QJsonObject json = QJsonDocument::fromJson(FormatLog(LogFormat::Json, reading)).object();
  EXPECT_EQ(json["entries"], QJsonArray());
  EXPECT_EQ(json["time"], "2024-03-07T00:00:00Z");
}

} // namespace
