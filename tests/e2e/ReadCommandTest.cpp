#include "output/ErrorLogFormats.h"
#include "sim/usbtmc/UsbTmcSim.h"
#include "support/AdapterProcess.h"
#include "support/BusTrace.h"
#include "support/Files.h"
#include "support/ScopeBus.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace scopebus;

// One run of the real viewer with --read, as a script starts it: no display of any kind.
struct ReadRun {
  QByteArray out;
  QByteArray err;
  int status = -1;
  std::vector<std::string> trace;
  long peakKiB = 0; // the viewer's largest resident size, as the system counted it

  std::string ErrFirstLine() const { return err.left(err.indexOf('\n')).toStdString(); }
  long Written(const std::string &command) const {
    const std::vector<std::string> writes = bustrace::QuotedOf(trace, "ibwrt");
    return std::count(writes.begin(), writes.end(), command);
  }
};

// On the drop-in simulated driver with bus (or its default bus), or with environment added.
// With onTerminal, standard output is a pseudo-terminal (raw: it adds no CR of its own).
ReadRun Read(const QStringList &arguments, const std::optional<gpibsim::BusDescription> &bus,
             const QProcessEnvironment &extra = {}, bool onTerminal = false) {
  QTemporaryDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SKELD_GPIB_INTERFACE"})
    env.remove(QLatin1String(name));
  env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(SKELD_BINARY_DIR "/sim"));
  env.insert(QStringLiteral("GPIBSIM_TRACE"), dir.filePath(QStringLiteral("trace.txt")));
  if (bus) {
    const QString busFile = dir.filePath(QStringLiteral("bus.json"));
    EXPECT_TRUE(WriteFile(busFile, QByteArray::fromStdString(busdesc::BusJson(*bus))));
    env.insert(QStringLiteral("GPIBSIM_BUS"), busFile);
  }
  env.insert(extra);
  QProcess viewer;
  viewer.setProcessEnvironment(env);
  int terminal = -1;
  int terminalSide = -1;
  if (onTerminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    terminalSide = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    termios mode{};
    tcgetattr(terminalSide, &mode);
    cfmakeraw(&mode);
    tcsetattr(terminalSide, TCSANOW, &mode);
    viewer.setChildProcessModifier([terminalSide] { dup2(terminalSide, STDOUT_FILENO); });
  }
  viewer.start(QStringLiteral(SKELD_BINARY_DIR "/skeld-errlog"),
               QStringList{QStringLiteral("--read")} + arguments);
  viewer.closeWriteChannel();
  if (terminalSide >= 0)
    close(terminalSide);
  ReadRun run;
  // The high-water mark only grows, so the last look before the end holds the peak.
  const QString status = QStringLiteral("/proc/%1/status").arg(viewer.processId());
  QDeadlineTimer limit(60000);
  while (!viewer.waitForFinished(20) && !limit.hasExpired())
    for (const QByteArray &line : ReadFile(status).split('\n'))
      if (line.startsWith("VmHWM:"))
        run.peakKiB = std::max(run.peakKiB, line.mid(6).trimmed().split(' ').front().toLong());
  EXPECT_FALSE(limit.hasExpired()) << "--read did not end";
  run.out = viewer.readAllStandardOutput();
  if (terminal >= 0) {
    fcntl(terminal, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;)
      run.out.append(buffer, static_cast<int>(n));
    close(terminal);
  }
  run.err = viewer.readAllStandardError();
  run.status = viewer.exitStatus() == QProcess::NormalExit ? viewer.exitCode() : -1;
  const QString trace = dir.filePath(QStringLiteral("trace.txt"));
  if (QFile::exists(trace))
    run.trace = bustrace::Lines(ReadFile(trace).toStdString());
  return run;
}

template <std::size_t N> QByteArray Bytes(const char (&text)[N]) { return QByteArray(text, N - 1); }

QByteArray Text(const char *model, const std::vector<std::string> &entries) {
  QByteArray text = "\r\n" + ErrorLogOutput::LogHeaderText(QLatin1String(model)).toLatin1() + "\r\n\r\n";
  for (const std::string &entry : entries)
    text += QByteArray::fromStdString(entry) + "\r\n";
  return text;
}

QJsonObject Json(const char *model, const QStringList &entries) {
  return {{"model", model},
          {"gpib_address", 1},
          {"interface", "ni"},
          {"entries", QJsonArray::fromStringList(entries)}};
}

const std::vector<std::string> Hostile = {"say \"hi\"", "a,b", "line1\r\nline2", std::string("nul\0byte", 8),
                                          "caf\xC3\xA9"};

TEST(ReadCommand, WritesTheLogOrSaysWhyNot) {
  const std::vector<std::string> defaultLog = gpibsim::DefaultBus().listeners[0].log;
  QStringList defaultJson;
  for (const std::string &entry : defaultLog)
    defaultJson.append(QString::fromStdString(entry));
  struct Case {
    const char *what;
    std::optional<gpibsim::BusDescription> bus;
    QStringList arguments;
    QByteArray out;   // with --format json: ignored, json holds what is expected
    QJsonObject json; // without "time"
    std::string errFirstLine;
    int status;
  };
  const Case cases[] = {
      {"default bus", std::nullopt, {}, Text("TDS 3054", defaultLog), {}, "", 0},
      {"default bus, csv",
       std::nullopt,
       {"--format", "csv"},
       "index,entry\r\n"
       "1,2024-03-11 08:14:31 E2140 CH2 input protection relay tripped\r\n"
       "2,\"2024-03-11 08:15:02 E0512 Acquisition timeout, record length 10000\"\r\n"
       "3,2024-05-02 13:47:55 E3301 Fan speed below limit\r\n"
       "4,2024-05-27 09:02:10 E1107 Self-cal: CH3 offset DAC out of range\r\n"
       "5,2024-06-18 16:21:44 E0410 Front panel key stuck: RUN/STOP\r\n",
       {},
       "",
       0},
      {"default bus, json", std::nullopt, {"--format", "json"}, {}, Json("TDS 3054", defaultJson), "", 0},
      {"empty log", gpibsim::BusDescription(ScopeBus(Tds3054, {})), {}, Text("TDS 3054", {}), {}, "", 0},
      {"empty log, json",
       gpibsim::BusDescription(ScopeBus(Tds3054, {})),
       {"--format", "json"},
       {},
       Json("TDS 3054", {}),
       "",
       0},
      {"an item beginning with 0 ends a TDS 340's log",
       gpibsim::BusDescription(
           ScopeBus("TEKTRONIX TDS 340,0,CF:91.1CT FV:v1.00", {"E1", "E2", "0 end", "E4"})),
       {},
       Text("TDS 340", {"E1", "E2"}),
       {},
       "",
       0},
      {"refused firmware",
       gpibsim::BusDescription(ScopeBus("TEK/TDS 3054,CF:91.1CT,FV:v3.41 TDS3FFT:v1.00", Entries(2))),
       {},
       "",
       {},
       "TDS 3054 with Firmware 3.41 does not support viewing or clearing",
       1},
      {"unsupported model",
       gpibsim::BusDescription(ScopeBus("TEK/TDS 5104,CF:91.1CT", Entries(2))),
       {},
       "",
       {},
       "TDS",
       1},
      {"no listener", busdesc::Bus({}), {}, "", {}, "Not enough devices on the bus", 1},
      {"a time-out in the middle of the log keeps what came before it",
       gpibsim::BusDescription(
           ScopeBus(Tds3054, Entries(4)).Faults({Timeout("ERRLOG:NEXT?", 2)}).TimeoutsTakeMs(20)),
       {},
       Text("TDS 3054", {Entries(2)}),
       {},
       "I/O Error",
       1},
      {"hostile bytes, text",
       gpibsim::BusDescription(ScopeBus(Tds3054, Hostile)),
       {},
       Text("TDS 3054", {"say ", "a,b", "line1\r\nline2", std::string("nul\0byte", 8), "caf\xC3\xA9"}),
       {},
       "",
       0},
      {"hostile bytes, csv",
       gpibsim::BusDescription(ScopeBus(Tds3054, Hostile)),
       {"--format", "csv"},
       Bytes(
           "index,entry\r\n1,say \r\n2,\"a,b\"\r\n3,\"line1\r\nline2\"\r\n4,nul\0byte\r\n5,caf\xC3\xA9\r\n"),
       {},
       "",
       0},
      {"hostile bytes, json",
       gpibsim::BusDescription(ScopeBus(Tds3054, Hostile)),
       {"--format", "json"},
       {},
       Json("TDS 3054", {"say ", "a,b", "line1\r\nline2", QString(QStringLiteral("nul") + QChar(0) + "byte"),
                         QStringLiteral("caf\u00E9")}),
       "",
       0},
  };
  for (const Case &c : cases) {
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const ReadRun run = Read(c.arguments, c.bus);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err.toStdString();
    EXPECT_EQ(run.ErrFirstLine(), c.errFirstLine) << c.what << "\n" << run.err.toStdString();
    if (c.json.isEmpty()) {
      EXPECT_EQ(run.out.toStdString(), c.out.toStdString()) << c.what;
      continue;
    }
    QJsonObject json = QJsonDocument::fromJson(run.out).object();
    const QDateTime time = QDateTime::fromString(json.take("time").toString(), Qt::ISODate);
    EXPECT_TRUE(time >= before && time <= QDateTime::currentDateTime())
        << c.what << ": " << run.out.toStdString();
    EXPECT_EQ(json, c.json) << c.what << ": " << run.out.toStdString();
  }
}

TEST(ReadCommand, RefusedFirmwareAndFailuresAreToldNothingMore) {
  const ReadRun refused =
      Read({}, gpibsim::BusDescription(ScopeBus("TEK/TDS 3054,CF:91.1CT,FV:v3.41", Entries(2))));
  EXPECT_EQ(bustrace::QuotedOf(refused.trace, "ibwrt"), (std::vector<std::string>{"ID?", "ID?"}));

  // A failed reading is not cleared, even when asked.
  const ReadRun failed =
      Read({"--clear", "--yes"},
           gpibsim::BusDescription(
               ScopeBus(Tds3054, Entries(3)).Faults({Timeout("ERRLOG:NEXT?", 1)}).TimeoutsTakeMs(20)));
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.Written("ERRLOG CLEAR"), 0);
}

TEST(ReadCommand, ClearsOnlyWhenConfirmed) {
  const gpibsim::BusDescription bus = ScopeBus(Tds3054, Entries(2));
  const ReadRun unconfirmed = Read({"--clear"}, bus);
  EXPECT_EQ(unconfirmed.status, 2);
  EXPECT_TRUE(unconfirmed.out.isEmpty());
  EXPECT_EQ(unconfirmed.ErrFirstLine(),
            "skeld-errlog: --clear erases the log in the scope; confirm it with --yes");
  EXPECT_TRUE(unconfirmed.trace.empty()) << "nothing is sent";

  const ReadRun confirmed = Read({"--clear", "--yes"}, bus);
  EXPECT_EQ(confirmed.status, 0) << confirmed.err.toStdString();
  EXPECT_EQ(confirmed.out, Text("TDS 3054", Entries(2))) << "the log as it was before clearing";
  EXPECT_EQ(confirmed.Written("ERRLOG CLEAR"), 1);
  EXPECT_EQ(bustrace::QuotedOf(confirmed.trace, "ibwrt").back(), "ERRLOG CLEAR") << "after the reading";
}

TEST(ReadCommand, BadCommandLinesEndWithStatusTwoBeforeTheBus) {
  for (const QStringList &arguments : {QStringList{"--format", "xml"}, QStringList{"--output", ""}}) {
    const ReadRun run = Read(arguments, std::nullopt);
    EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.trace.empty());
  }
  QProcess viewer;
  viewer.start(QStringLiteral(SKELD_BINARY_DIR "/skeld-errlog"), {"--format", "csv"});
  ASSERT_TRUE(viewer.waitForFinished(10000));
  EXPECT_EQ(viewer.exitCode(), 2) << "a reading option without --read";
}

std::vector<std::string> RackLog(int address, int entries) {
  std::vector<std::string> log;
  for (int i = 1; i <= entries; ++i)
    log.push_back("Scope at " + std::to_string(address) + ", entry " + std::to_string(i));
  return log;
}

QByteArray RackCsv(int address, const char *model, int entries) {
  QByteArray csv;
  for (int i = 1; i <= entries; ++i)
    csv += QByteArray::number(address) + ',' + model + ',' + QByteArray::number(i) + ",\"Scope at " +
           QByteArray::number(address) + ", entry " + QByteArray::number(i) + "\"\r\n";
  return csv;
}

TEST(ReadCommand, TheScopeIsChosenByItsAddressOrEveryTdsIsRead) {
  gpibsim::BusDescription slowNine = Rack();
  slowNine.listeners[1].faults = {Timeout("ERRLOG:NEXT?", 2)};
  slowNine.listeners[1].timeoutsTakeMs = 20;
  struct Case {
    const char *what;
    gpibsim::BusDescription bus;
    QStringList arguments;
    int status;
    QByteArray out;
    std::string errFirstLine;
    std::set<std::string> writtenTo; // empty: not checked
  };
  const Case cases[] = {
      {"--address 9", Rack(), {"--address", "9"}, 0, Text("TDS 3054", RackLog(9, 3)), "", {"9"}},
      {"GPIB0::17::INSTR",
       Rack(),
       {"--interface", "GPIB0::17::INSTR", "--format", "csv"},
       0,
       "index,entry\r\n1,\"Scope at 17, entry 1\"\r\n",
       "",
       {"17"}},
      {"an address without a listener",
       Rack(),
       {"--address", "5"},
       1,
       "",
       "Not enough devices on the bus",
       {}},
      {"an address that is no TDS",
       Rack(),
       {"--address", "12"},
       1,
       "",
       "Expected Id-response from device not found" + std::string(40, ' '),
       {"12"}},
      {"--all, text",
       Rack(),
       {"--all"},
       0,
       Text("TDS 3012", RackLog(4, 2)) + Text("TDS 3054", RackLog(9, 3)) + Text("TDS 3034", RackLog(17, 1)),
       "",
       {}},
      {"--all, csv",
       Rack(),
       {"--all", "--format", "csv"},
       0,
       "address,model,index,entry\r\n" + RackCsv(4, "TDS 3012", 2) + RackCsv(9, "TDS 3054", 3) +
           RackCsv(17, "TDS 3034", 1),
       "",
       {}},
      {"--all with the scope at 9 timing out in the middle of its log",
       slowNine,
       {"--all", "--format", "csv"},
       1,
       "address,model,index,entry\r\n" + RackCsv(4, "TDS 3012", 2) + RackCsv(9, "TDS 3054", 2) +
           RackCsv(17, "TDS 3034", 1),
       "I/O Error",
       {}},
  };
  for (const Case &c : cases) {
    const ReadRun run = Read(c.arguments, c.bus);
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), c.out.toStdString()) << c.what;
    EXPECT_EQ(run.ErrFirstLine(), c.errFirstLine) << c.what << "\n" << run.err.toStdString();
    if (!c.writtenTo.empty()) {
      EXPECT_EQ(bustrace::WrittenTo(run.trace), c.writtenTo) << c.what;
    }
  }
  const ReadRun slow = Read({"--all"}, slowNine);
  EXPECT_TRUE(slow.err.contains("The scope at GPIB address 9 was not read to the end of its log."))
      << slow.err.toStdString();

  const ReadRun json = Read({"--all", "--format", "json"}, Rack());
  const QJsonArray scopes = QJsonDocument::fromJson(json.out).array();
  ASSERT_EQ(scopes.size(), 3) << json.out.toStdString();
  const int addresses[] = {4, 9, 17};
  const int entries[] = {2, 3, 1};
  for (int i = 0; i < 3; ++i) {
    QJsonObject scope = scopes[i].toObject();
    scope.remove("time");
    EXPECT_EQ(scope["gpib_address"].toInt(), addresses[i]);
    EXPECT_EQ(scope["interface"].toString(), "ni");
    EXPECT_EQ(scope["entries"].toArray().size(), entries[i]);
  }
}

TEST(ReadCommand, AnAddressGoesWithABusAndNotWithEveryScope) {
  for (const QStringList &arguments :
       {QStringList{"--all", "--address", "4"}, QStringList{"--all", "--clear", "--yes"},
        QStringList{"--address", "31"}, QStringList{"--address", "x"},
        QStringList{"--interface", "GPIB0::9::INSTR", "--address", "4"}}) {
    const ReadRun run = Read(arguments, Rack());
    EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.trace.empty()) << arguments.join(' ').toStdString();
  }
}

TEST(ReadCommand, OutputFileGetsTheSameBytesAsStandardOutput) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("log.csv"));
  ASSERT_TRUE(WriteFile(path, "old"));
  const gpibsim::BusDescription bus = ScopeBus(Tds3054, Hostile);
  const ReadRun toFile = Read({"--format", "csv", "--output", path}, bus);
  EXPECT_EQ(toFile.status, 0);
  EXPECT_TRUE(toFile.out.isEmpty());
  EXPECT_EQ(ReadFile(path), Read({"--format", "csv"}, bus).out);

  // A folder that is not there: nothing written, status 1, the reason on standard error.
  const ReadRun nowhere = Read({"--output", dir.filePath(QStringLiteral("no/such/log.txt"))}, bus);
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.ErrFirstLine(), "The error log could not be written to");
}

TEST(ReadCommand, ThroughTheSimulatedPrologixTheOutputIsTheSame) {
  const gpibsim::BusDescription bus = ScopeBus(Tds3054, Hostile);
  AdapterProcess adapter({"--dialect", "prologix", "--pty"},
                         QByteArray::fromStdString(busdesc::BusJson(bus)));
  ASSERT_TRUE(adapter.endpoint.startsWith("pty ")) << adapter.endpoint.toStdString();
  const QString where = "prologix:" + adapter.endpoint.mid(4);

  const ReadRun direct = Read({"--format", "csv"}, bus);
  const ReadRun viaAdapter = Read({"--format", "csv", "--interface", where}, std::nullopt);
  EXPECT_EQ(viaAdapter.status, 0) << viaAdapter.err.toStdString();
  EXPECT_EQ(viaAdapter.out.toStdString(), direct.out.toStdString());
  EXPECT_TRUE(viaAdapter.trace.empty()) << "the driver library is not used";
  EXPECT_EQ(bustrace::QuotedOf(adapter.Trace(), "ibwrt"), StartUpCommands(static_cast<int>(Hostile.size())))
      << "the adapter's bus had the whole conversation";

  const ReadRun json = Read({"--format", "json", "--interface", where}, std::nullopt);
  EXPECT_EQ(QJsonDocument::fromJson(json.out).object()["interface"], where);
}

// The scope's own serial port: the same text as the driver library gives; JSON names the port
// and has no GPIB address.
TEST(ReadCommand, ThroughTheScopesOwnSerialPortTheOutputIsTheSame) {
  const gpibsim::BusDescription bus =
      ScopeBus("TEK/TDS 2024,CF:91.1CT,FV:v4.12 TDS2CM:CMV:v1.04", Entries(3));
  AdapterProcess scope({"--rs232"}, QByteArray::fromStdString(busdesc::BusJson(bus)));
  ASSERT_TRUE(scope.endpoint.startsWith("pty ")) << scope.endpoint.toStdString();
  const QString where = "rs232:" + scope.endpoint.mid(4);

  const ReadRun direct = Read({}, bus);
  const ReadRun serial = Read({"--interface", where}, std::nullopt);
  EXPECT_EQ(serial.status, 0) << serial.err.toStdString();
  EXPECT_EQ(serial.out.toStdString(), direct.out.toStdString());

  const ReadRun json = Read({"--format", "json", "--interface", where}, std::nullopt);
  const QJsonObject got = QJsonDocument::fromJson(json.out).object();
  EXPECT_EQ(got["interface"], where);
  EXPECT_TRUE(got["gpib_address"].isNull());
  EXPECT_EQ(got["model"], "TDS 2024");
  EXPECT_EQ(got["entries"].toArray().size(), 3);
}

// A scope or adapter that misbehaves: the reading ends in bounded time and memory, with the
// status and the message that say so, and the entries that came before are written.
TEST(ReadCommand, HostilePeersEndTheReadingWithTheirReport) {
#ifdef __SANITIZE_ADDRESS__
  constexpr long MemoryBoundKiB = 1024 * 1024; // the sanitizer's shadow and quarantine
#else
  constexpr long MemoryBoundKiB = 192 * 1024;
#endif
  struct Case {
    const char *what;
    gpibsim::BusDescription bus;
    QStringList adapter; // the simulated adapter's options; empty: the driver library
    QStringList arguments;
    int status;
    std::string errFirstLine;
    int entries;      // -1: nothing written
    const char *says; // once on standard error
  };
  const Case cases[] = {
      {"a log that never ends stops at the limit",
       ScopeBus(Tds3054, {}).Faults({RawReply("ERRLOG:NEXT?", 0, "\"again\"")}),
       {},
       {"--max-entries", "20"},
       1,
       "I/O Error",
       20,
       "The reading stopped after 20 entries."},
      {"an item without its closing quote is a damaged reply",
       ScopeBus(Tds3054, Entries(4)).Faults({RawReply("ERRLOG:NEXT?", 2, "\"Entry 3 cut")}),
       {},
       {},
       1,
       "I/O Error",
       2,
       "Damaged reply: a log entry without its closing quote"},
      {"a late reply is not taken for the next one",
       ScopeBus(Tds3054, Entries(4)),
       {"--late-read", "3:5000"},
       {},
       1,
       "I/O Error",
       3,
       "bytes that came when no reply was awaited were dropped"},
      {"an adapter that floods its answer to ++ver",
       ScopeBus(Tds3054, Entries(4)),
       {"--flood-ver"},
       {},
       1,
       "GPIB adapter could not be used: %1: the Prologix adapter sends data without an end",
       -1,
       "sends data without an end"},
  };
  for (const Case &c : cases) {
    std::optional<AdapterProcess> adapter;
    QStringList arguments = c.arguments + QStringList{"--format", "json"};
    QString place;
    if (!c.adapter.isEmpty()) {
      adapter.emplace(QStringList{"--dialect", "prologix", "--pty"} + c.adapter,
                      QByteArray::fromStdString(busdesc::BusJson(c.bus)));
      place = adapter->endpoint.mid(4);
      arguments += {"--interface", "prologix:" + place};
    }
    const ReadRun run = Read(arguments, adapter ? std::nullopt : std::optional(c.bus));
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err.toStdString();
    EXPECT_EQ(run.ErrFirstLine(),
              QString::fromStdString(c.errFirstLine).replace(QLatin1String("%1"), place).toStdString())
        << c.what << "\n"
        << run.err.toStdString();
    const QJsonArray entries = QJsonDocument::fromJson(run.out).object()["entries"].toArray();
    EXPECT_EQ(run.out.isEmpty() ? -1 : entries.size(), c.entries) << c.what;
    // Told once: the reports after a route's own line do not repeat it.
    EXPECT_EQ(run.err.count(c.says), 1) << c.what << "\n" << run.err.toStdString();
    EXPECT_GT(run.peakKiB, 0) << c.what;
    EXPECT_LT(run.peakKiB, MemoryBoundKiB) << c.what;
  }
}

// Files read at the start that are not plain files of sensible size: each is passed over with
// one line, or ends the start with it, at once; none holds the start up.
TEST(ReadCommand, FilesThatCannotStallTheStart) {
#ifdef __SANITIZE_ADDRESS__
  constexpr qint64 HangBoundMs = 6000;
#else
  constexpr qint64 HangBoundMs = 2000;
#endif
  enum class Make { Fifo, Folder, Text };
  struct Case {
    const char *what;
    bool busFile; // else the settings file
    Make make;
    QByteArray text;
    int status;
    const char *errStart;
  };
  const QByteArray longValue = "[gpib]\ninterface=prologix:" + QByteArray(2000, 'x') + "\n";
  const QByteArray hugeValue = "[gpib]\ninterface=prologix:" + QByteArray(10 * 1024 * 1024, 'x') + "\n";
  const Case cases[] = {
      {"bus description FIFO",
       true,
       Make::Fifo,
       {},
       1,
       "gpibsim: %1: cannot read the bus description: not a regular file (the bus has no listeners)"},
      {"bus description folder",
       true,
       Make::Folder,
       {},
       1,
       "gpibsim: %1: cannot read the bus description: Is a directory (the bus has no listeners)"},
      {"settings FIFO", false, Make::Fifo, {}, 0, "the settings file %1 is passed over: not a regular file"},
      {"settings folder",
       false,
       Make::Folder,
       {},
       0,
       "the settings file %1 is passed over: not a regular file"},
      {"settings with a 10 MB value", false, Make::Text, hugeValue, 0,
       "the settings file %1 is passed over: larger than 64 KiB"},
      {"settings with a 2 KB value", false, Make::Text, longValue, 0,
       "remembered GPIB interface passed over: longer than 1024 characters"},
  };
  for (const Case &c : cases) {
    QTemporaryDir dir;
    const QString path = c.busFile ? dir.filePath(QStringLiteral("bus.json"))
                                   : dir.filePath(QStringLiteral("config/skeld-errlog/skeld-errlog.conf"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    if (c.make == Make::Fifo)
      ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (c.make == Make::Folder)
      ASSERT_TRUE(QDir().mkpath(path));
    else
      ASSERT_TRUE(WriteFile(path, c.text));
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    if (c.busFile)
      env.insert(QStringLiteral("GPIBSIM_BUS"), path);
    QElapsedTimer clock;
    clock.start();
    const ReadRun run = Read({}, std::nullopt, env);
    EXPECT_LT(clock.elapsed(), HangBoundMs) << c.what;
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err.toStdString();
    EXPECT_EQ(run.ErrFirstLine(),
              QString::fromUtf8(c.errStart).replace(QLatin1String("%1"), path).toStdString())
        << c.what;
    EXPECT_EQ(run.err.count('\n') > 1, c.status != 0) << c.what << ": one line when the start goes on\n"
                                                      << run.err.left(300).toStdString();
  }
}

// To a terminal the scope's control characters are shown, not obeyed; to a pipe the bytes are
// those of Copy to File. JSON escapes them itself either way.
TEST(ReadCommand, ControlCharactersAreEscapedOnATerminalOnly) {
  // The bus description is UTF-8: the C1 character comes as its two bytes, the second of them
  // a C1 control on its own.
  const std::vector<std::string> raw = {"\x1b]0;owned\x07title", "del\x7f c1\xc2\x9b", "tab\tkept"};
  const std::vector<std::string> shown = {"\\x1B]0;owned\\x07title", "del\\x7F c1\xc2\\x9B", "tab\tkept"};
  const gpibsim::BusDescription bus = ScopeBus(Tds3054, raw);
  struct Case {
    const char *format;
    bool onTerminal;
    QByteArray out; // empty: JSON, checked by its entries
  };
  const auto csv = [](const std::vector<std::string> &entries) {
    QByteArray text = "index,entry\r\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
      text +=
          QByteArray::number(static_cast<int>(i) + 1) + ',' + QByteArray::fromStdString(entries[i]) + "\r\n";
    return text;
  };
  const Case cases[] = {
      {"text", false, Text("TDS 3054", raw)},
      {"text", true, Text("TDS 3054", shown)},
      {"csv", false, csv(raw)},
      {"csv", true, csv(shown)},
      {"json", false, {}},
      {"json", true, {}},
  };
  for (const Case &c : cases) {
    const ReadRun run = Read({"--format", c.format}, bus, {}, c.onTerminal);
    const std::string what = std::string(c.format) + (c.onTerminal ? " on a terminal" : " through a pipe");
    EXPECT_EQ(run.status, 0) << what << "\n" << run.err.toStdString();
    if (!c.out.isEmpty()) {
      EXPECT_EQ(run.out.toStdString(), c.out.toStdString()) << what;
      continue;
    }
    QStringList entries;
    for (const QJsonValue &entry : QJsonDocument::fromJson(run.out).object()["entries"].toArray())
      entries.append(entry.toString());
    EXPECT_EQ(entries, (QStringList{QString::fromUtf8(raw[0].c_str()), QString::fromUtf8(raw[1].c_str()),
                                    QString::fromUtf8(raw[2].c_str())}))
        << what;
  }
}

} // namespace

namespace {

// The simulated TDS 2024B on USB: the node's calls taken over by the preloaded library, the
// system folder (sysfs tree and node) in root.
QProcessEnvironment OnUsb(const QTemporaryDir &root) {
  QProcessEnvironment env;
  env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SKELD_BINARY_DIR "/sim/libusbtmcsim.so"));
  env.insert(QStringLiteral("USBTMCSIM_ROOT"), root.path());
  // The preloaded library comes before the sanitizer's runtime in a sanitized build.
  const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
  env.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                                                 QStringLiteral("verify_asan_link_order=0"));
  return env;
}

const char *const Tds2024b = "TEK/TDS 2024B,CF:91.1CT,FV:v22.01";
const QStringList ByIds = {"--interface", "USB0::0x0699::0x0368::C012345::INSTR"};

TEST(ReadCommand, ThroughUsb) {
  QTemporaryDir root;
  const ReadRun json = Read(ByIds + QStringList{"--format", "json"},
                            gpibsim::BusDescription(ScopeBus(Tds2024b, Entries(3))), OnUsb(root));
  EXPECT_EQ(json.status, 0) << json.err.toStdString();
  QJsonObject object = QJsonDocument::fromJson(json.out).object();
  object.remove(QStringLiteral("time"));
  QStringList entries;
  for (const std::string &entry : Entries(3))
    entries << QString::fromStdString(entry);
  EXPECT_EQ(object, (QJsonObject{{"model", "TDS 2024B"},
                                 {"gpib_address", QJsonValue::Null},
                                 {"interface", "USB0::0x0699::0x0368::C012345::INSTR"},
                                 {"entries", QJsonArray::fromStringList(entries)}}))
      << json.out.toStdString();

  // Unplugged while the third entry is on its way: the two before it are written.
  const ReadRun unplugged = Read(
      ByIds,
      gpibsim::BusDescription(ScopeBus(Tds2024b, Entries(4)).Faults({Strikes("ERRLOG:NEXT?", 2, "unplug")})),
      OnUsb(root));
  EXPECT_EQ(unplugged.status, 1);
  EXPECT_EQ(unplugged.out.toStdString(), Text("TDS 2024B", Entries(2)).toStdString());
  EXPECT_EQ(unplugged.ErrFirstLine(),
            "USB instrument could not be used: /dev/usbtmc0: the USB instrument was unplugged during a read");
  const ReadRun gone = Read(ByIds, std::nullopt, OnUsb(root));
  EXPECT_EQ(gone.status, 1);
  EXPECT_NE(gone.err.indexOf("no such USB instrument is plugged in"), -1) << gone.err.toStdString();
}

TEST(ReadCommand, ThroughAUsbNodeOnlyRootMayOpen) {
  QTemporaryDir root;
  std::string error;
  ASSERT_TRUE(usbtmcsim::WriteTree(root.path().toStdString(), ScopeBus(Tds2024b, Entries(1)), error))
      << error;
  ASSERT_TRUE(QFile::setPermissions(root.filePath(QStringLiteral("dev/usbtmc0")), QFile::Permissions()));
  const ReadRun denied = Read({"--interface", "usbtmc:/dev/usbtmc0"}, std::nullopt, OnUsb(root));
  EXPECT_EQ(denied.status, 1);
  EXPECT_EQ(
      denied.ErrFirstLine(),
      "USB instrument could not be used: /dev/usbtmc0: permission denied. The package's udev rule gives the "
      "logged-in user and the group plugdev access to USB instruments; after installing it, unplug the "
      "scope and plug it in again.");
}

} // namespace
