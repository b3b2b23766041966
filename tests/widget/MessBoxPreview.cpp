#include "ui/Module1.h"

#include <QApplication>

#include <cstdio>

// messbox-preview PROMPT STYLE TITLE: shows one box and prints the code of the answer.
// A backslash-n in PROMPT starts a new line.
int main(int argc, char **argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: messbox-preview PROMPT STYLE TITLE\n");
    return 2;
  }
  QString prompt = QString::fromLocal8Bit(argv[1]);
  prompt.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  bool ok = false;
  const int style = QString::fromLocal8Bit(argv[2]).toInt(&ok);
  if (!ok || style < -32768 || style > 32767) {
    std::fprintf(stderr, "messbox-preview: STYLE must be a 16-bit integer\n");
    return 2;
  }
  const std::int16_t code =
      Module1::ShowMessBox(prompt, static_cast<std::int16_t>(style), QString::fromLocal8Bit(argv[3]));
  std::printf("%d\n", code);
  return 0;
}
