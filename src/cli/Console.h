// What pixvane-get writes: its output on standard output, errors on standard
// error as one line each, prefixed with the program's name. UTF-8.
#pragma once

#include <QString>

// One line of output.
void PrintLine(const QString& line);
// Text as it is (help text ends in its own line break).
void PrintText(const QString& text);
// Text as it is on standard error (the live progress line).
void PrintStatus(const QString& text);
// "pixvane-get: " + message, one line on standard error.
void PrintError(const QString& message);
