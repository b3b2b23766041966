#pragma once

class QCommandLineParser;
class QString;

// --max-entries N: the most entries one reading takes, in the window and with --read alike.
namespace skeld {

void AddMaxEntriesOption(QCommandLineParser &parser);
// Sets the limit when the option is given; false, with why, when its value is no count.
bool ApplyMaxEntriesOption(const QCommandLineParser &parser, QString &why);

} // namespace skeld
