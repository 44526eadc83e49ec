#include "Console.h"

#include <QByteArray>
#include <cstdio>

namespace {

void Write(std::FILE* stream, const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

}  // namespace

void PrintLine(const QString& line) {
  Write(stdout, line.toUtf8() + '\n');
}

void PrintText(const QString& text) {
  Write(stdout, text.toUtf8());
}

void PrintError(const QString& message) {
  std::fflush(stdout);
  Write(stderr, "pixvane-get: " + message.toUtf8() + '\n');
}

void PrintStatus(const QString& text) {
  Write(stderr, text.toUtf8());
}
