#pragma once

#include <optional>

class QCommandLineParser;

namespace route {
struct Route;
}

// Reading the log without a window: `--read` does the window's start-up conversation and
// writes the log to standard output or a file, as text, CSV or JSON.
namespace skeld {

// Declares --read and the options that go with it, and adds the exit status to --help.
void AddReadOptions(QCommandLineParser &parser);

// With --read: reads the log through where and returns the exit status (0 read, 1 failed,
// 2 bad command line). A reading option without --read, or --clear without --yes, gives 2
// after one line on standard error. Without any of them: nothing, the window starts.
std::optional<int> RunReadCommand(int &argc, char **argv, const QCommandLineParser &parser,
                                  const route::Route &where);

} // namespace skeld
