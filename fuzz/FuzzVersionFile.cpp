#include "FuzzCheck.h"
#include "ui/UpdateCheck.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const QByteArray file(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const QString title = QStringLiteral("Skeld Error Log Viewer");
  const QString running = QStringLiteral("1.3");

  const std::optional<QString> entry = UpdateCheck::FindEntry(file, title);
  QString version;
  if (entry) {
    FUZZ_CHECK(entry->contains(title, Qt::CaseInsensitive));
    FUZZ_CHECK(!entry->contains(QLatin1Char('\n')) && !entry->contains(QLatin1Char('\r')));
    FUZZ_CHECK(file.contains(entry->toLatin1()));
    version = UpdateCheck::EntryVersion(*entry);
    FUZZ_CHECK(entry->endsWith(version));
    FUZZ_CHECK(!std::isnan(UpdateCheck::VersionValue(version)));
  }

  const UpdateCheck::Verdict verdict = UpdateCheck::Judge(file, title, running);
  FUZZ_CHECK((verdict.outcome == UpdateCheck::Outcome::NoEntry) == !entry);
  FUZZ_CHECK(verdict.version == version);
  if (entry)
    FUZZ_CHECK((verdict.outcome == UpdateCheck::Outcome::Newer) ==
               (UpdateCheck::VersionValue(version) > UpdateCheck::VersionValue(running)));
  FUZZ_CHECK(!UpdateCheck::MessageFor(verdict.outcome, running, verdict.version).prompt.isEmpty());

  FUZZ_CHECK(!std::isnan(UpdateCheck::VersionValue(QString::fromLatin1(file))));
  return 0;
}
