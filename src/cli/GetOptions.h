// The command line of pixvane-get.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

// Exit statuses.
constexpr int kExitOk = 0;      // every address ended whole or was skipped on purpose
constexpr int kExitFailed = 1;  // a page, an address or a file failed
constexpr int kExitUsage = 2;   // the command line itself is wrong

struct TGetOptions {
  QStringList Pages;                      // PAGE_URL...: page addresses as given
  QString InputFile;                      // --input: a file of addresses, "-" for standard input
  QString Folder;                         // --folder: empty means one named after the page
  QString BlacklistFile;                  // --blacklist: empty means the window's own file
  std::vector<std::string> TypePatterns;  // --type, as extension patterns (".gif")
  bool Deep = false;                      // --deep: the deep scan of each page
  bool List = false;                      // --list: print the addresses, download nothing
  QSize MinSize;                          // --min-size: invalid (the default) means no limit
  bool Json = false;                      // --json
  bool Quiet = false;                     // --quiet
};

struct TParsedCommandLine {
  enum class Action { Run, Help, Version, BadUsage };
  Action What = Action::BadUsage;
  TGetOptions Options;
  // The help text, the version line, or what is wrong with the command line.
  QString Text;
};

// Parses the arguments (the program name first, as QCoreApplication gives
// them). Bad usage carries one line that says what is wrong.
TParsedCommandLine ParseCommandLine(const QStringList& arguments);
