#include "CommandLine.h"

#include <QCommandLineParser>

namespace {

const char kHelp[] =
    "Usage: pixvane [URL]\n"
    "Gathers the image addresses of a web page and downloads the images in bulk.\n"
    "\n"
    "  URL            the page address to show in the page address box (网页链接)\n"
    "  -h, --help     print this help and exit\n"
    "  -v, --version  print the version and exit\n"
    "\n"
    "Only one window runs at a time: a second start brings it to the front and\n"
    "hands it the URL.\n";

}  // namespace

TWindowCommandLine ParseWindowCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
  parser.addOption(help);
  parser.addOption(version);
  // Unknown options are collected while the rest is still read.
  const bool understood = parser.parse(arguments);

  TWindowCommandLine command;
  if (parser.isSet(help)) {
    command.What = TWindowCommandLine::Action::Help;
    command.Text = QString::fromUtf8(kHelp);
  } else if (parser.isSet(version)) {
    command.What = TWindowCommandLine::Action::Version;
    command.Text = QStringLiteral("pixvane " PIXVANE_VERSION);
  } else if (!understood) {
    command.What = TWindowCommandLine::Action::BadUsage;
    command.Text = parser.errorText();
  } else if (parser.positionalArguments().size() > 1) {
    command.What = TWindowCommandLine::Action::BadUsage;
    command.Text =
        QStringLiteral("one page address at most, not %1").arg(parser.positionalArguments().size());
  } else {
    command.Address = parser.positionalArguments().value(0);
  }
  return command;
}
