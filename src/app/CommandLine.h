// The window program's command line: pixvane [URL], --help, --version.
#pragma once

#include <QString>
#include <QStringList>

struct TWindowCommandLine {
  enum class Action { Open, Help, Version, BadUsage };
  Action What = Action::Open;
  // Open: the page address to show in Url; empty when none was given.
  QString Address;
  // Help, Version: what to print; BadUsage: what is wrong.
  QString Text;
};

// Reads the arguments (the program's name first). --help and --version win
// wherever they stand, so that they can be read before the toolkit has taken
// its own options (-platform, -style, ...) out: neither needs a display.
TWindowCommandLine ParseWindowCommandLine(const QStringList& arguments);
