// What pixvane-get writes: its output on standard output, errors on standard
// error as one line each, prefixed with the program's name. UTF-8.
#pragma once

#include <QString>

#include <QByteArray>

// While one lives, what PrintLine and PrintText write is kept in it instead
// (on the main thread only): a report to be completed before it is printed.
class TOutputCapture {
 public:
  TOutputCapture();
  ~TOutputCapture();
  TOutputCapture(const TOutputCapture&) = delete;
  TOutputCapture& operator=(const TOutputCapture&) = delete;
  const QByteArray& Taken() const { return taken_; }

 private:
  QByteArray taken_;
  QByteArray* outer_;
};

// One line of output.
void PrintLine(const QString& line);
// Text as it is (help text ends in its own line break).
void PrintText(const QString& text);
// Text as it is on standard error (the live progress line).
void PrintStatus(const QString& text);
// "pixvane-get: " + message, one line on standard error.
void PrintError(const QString& message);
