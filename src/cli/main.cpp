// pixvane-get: the image addresses of web pages, gathered and downloaded by
// the window's own rules, from a terminal.
#include <QCoreApplication>
#include <QLoggingCategory>

#include "Console.h"
#include "GetOptions.h"
#include "GetRun.h"
#include "Inet.h"
#include "ProcessLimits.h"

int main(int argc, char** argv) {
  // A batch holds a file and a sidecar per running download.
  RaiseOpenFileLimit();
  // The internet client starts before any download thread and ends last,
  // ending whatever request is still under way as the program closes.
  inet::Library internetClient;
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("pixvane-get"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PIXVANE_VERSION));
  // Every failed address is reported once, in the program's own line.
  QLoggingCategory::setFilterRules(QStringLiteral("pixvane.download.warning=false"));

  const TParsedCommandLine command = ParseCommandLine(QCoreApplication::arguments());
  switch (command.What) {
    case TParsedCommandLine::Action::Help:
      PrintText(command.Text);
      return kExitOk;
    case TParsedCommandLine::Action::Version:
      PrintLine(command.Text);
      return kExitOk;
    case TParsedCommandLine::Action::BadUsage:
      PrintError(command.Text + QStringLiteral(" (see pixvane-get --help)"));
      return kExitUsage;
    case TParsedCommandLine::Action::Run:
      break;
  }
  return RunGet(command.Options);
}
