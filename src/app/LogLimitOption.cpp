#include "app/LogLimitOption.h"

#include "app/TdsConversation.h"

#include <QCommandLineParser>

namespace skeld {

namespace {

const char *const MaxEntriesName = "max-entries";
constexpr int MostMaxEntries = 1000000;

} // namespace

void AddMaxEntriesOption(QCommandLineParser &parser) {
  parser.addOption({QLatin1String(MaxEntriesName),
                    QStringLiteral("Stops a reading after N entries when the scope has not ended its log by "
                                   "then (default %1), and says so.")
                        .arg(DefaultMaxLogEntries),
                    QStringLiteral("N")});
}

bool ApplyMaxEntriesOption(const QCommandLineParser &parser, QString &why) {
  if (!parser.isSet(QLatin1String(MaxEntriesName)))
    return true;
  const QString text = parser.value(QLatin1String(MaxEntriesName));
  bool ok = false;
  const int limit = text.toInt(&ok);
  if (!ok || limit < 1 || limit > MostMaxEntries) {
    why = QStringLiteral("--max-entries: \"%1\" is not a count from 1 to %2").arg(text).arg(MostMaxEntries);
    return false;
  }
  SetMaxLogEntries(limit);
  return true;
}

} // namespace skeld
