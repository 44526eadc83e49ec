#include "GetOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QUrl>

#include "Unit_TypeFilter.h"

namespace {

// Options that take one value and may be given once.
const QStringList kSingleValued = {"folder", "blacklist", "input", "min-size"};

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral(
      "Gathers the image addresses of web pages, as the Pixvane window does, and downloads the "
      "images. The blacklist of the window applies. A download cut off resumes on the next run.\n"
      "On a terminal one live progress line shows on standard error; otherwise one line per "
      "address.\n"
      "Exit status: 0 when every address ended whole or was skipped on purpose, 1 when a page, "
      "an address or a folder failed, 2 for a wrong command line."));
  parser.addPositionalArgument(QStringLiteral("PAGE_URL"),
                               QStringLiteral("Address of a page (http:// or https://)."),
                               QStringLiteral("PAGE_URL..."));
  parser.addOptions({
      {"folder",
       "Save the images into DIR. Default: for each page a folder in the current folder named "
       "after the page's host, port and path (http://127.0.0.1:8765/index.html gives "
       "127.0.0.1_8765_index.html); the addresses of --input go into the current folder.",
       "DIR"},
      {"blacklist", "Leave out the addresses in FILE instead of the window's blacklist.", "FILE"},
      {"type", "Keep only addresses ending in .EXT (gif, jpg, jpeg, png, bmp or any); repeatable.",
       "EXT"},
      {"deep",
       "Deep scan, as the window's 深度扫描: every image a browser shows or the page links "
       "(srcset, lazy-loading attributes, links to image files, CSS backgrounds, og:image), "
       "found by an HTML5 parser."},
      {"list", "Print the addresses, one per line, and download nothing."},
      {"input", "Take the addresses from FILE, one per line (- for standard input), not pages.",
       "FILE"},
      {"min-size",
       "Keep only images at least W pixels wide and H high. Each image is probed first (its "
       "first 64 KB): one shown to be smaller is not downloaded and is reported as skipped. "
       "One whose probe tells no size is downloaded and checked again; a smaller one is then "
       "removed and reported as skipped. A file whose size cannot be read is kept.",
       "WxH"},
      {"json", "Write a report of every address as JSON on standard output."},
      {"quiet", "Print nothing but errors."},
  });
  parser.addHelpOption();
  parser.addVersionOption();
}

bool IsPageAddress(const QString& text) {
  const QUrl url(text, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

// "800x600" as a size; an invalid size when the text is not W x H in pixels.
QSize SizeOf(const QString& text) {
  static const QRegularExpression kSize(QStringLiteral("^([0-9]{1,6})[xX]([0-9]{1,6})$"));
  const QRegularExpressionMatch match = kSize.match(text);
  if (!match.hasMatch()) return {};
  return {match.captured(1).toInt(), match.captured(2).toInt()};
}

// What is wrong with the pages and the address file; empty when nothing is.
QString CheckSources(const QCommandLineParser& parser, TGetOptions& options) {
  options.Pages = parser.positionalArguments();
  options.InputFile = parser.value("input");
  const bool input = parser.isSet("input");
  if (options.Pages.isEmpty() && !input)
    return QStringLiteral("no page address given (PAGE_URL... or --input FILE)");
  if (!options.Pages.isEmpty() && input)
    return QStringLiteral("give page addresses or --input FILE, not both");
  if (input && options.InputFile.isEmpty())
    return QStringLiteral("--input needs a file name, or - for standard input");
  if (input && parser.isSet("deep")) return QStringLiteral("--deep scans pages, not --input");
  for (const QString& page : options.Pages)
    if (!IsPageAddress(page)) return "not an http:// or https:// address: " + page;
  return {};
}

// What is wrong with the other options; empty when nothing is.
QString CheckChoices(const QCommandLineParser& parser, TGetOptions& options) {
  for (const QString& type : parser.values("type")) {
    const std::string pattern = TypePattern(type.toStdString());
    if (pattern == ".") return QStringLiteral("--type needs an extension, such as gif");
    options.TypePatterns.push_back(pattern);
  }
  options.Folder = parser.value("folder");
  if (parser.isSet("folder") && options.Folder.isEmpty())
    return QStringLiteral("--folder needs a folder name");
  options.BlacklistFile = parser.value("blacklist");
  if (parser.isSet("blacklist") && options.BlacklistFile.isEmpty())
    return QStringLiteral("--blacklist needs a file name");
  if (parser.isSet("min-size")) {
    options.MinSize = SizeOf(parser.value("min-size"));
    if (!options.MinSize.isValid())
      return "--min-size wants WIDTHxHEIGHT in pixels, such as 800x600, not " +
             parser.value("min-size");
  }
  options.Deep = parser.isSet("deep");
  options.List = parser.isSet("list");
  options.Json = parser.isSet("json");
  options.Quiet = parser.isSet("quiet");
  return {};
}

QString Check(const QCommandLineParser& parser, TGetOptions& options) {
  for (const QString& name : kSingleValued)
    if (parser.values(name).size() > 1) return "--" + name + " is given more than once";
  if (QString wrong = CheckSources(parser, options); !wrong.isEmpty()) return wrong;
  return CheckChoices(parser, options);
}

}  // namespace

TParsedCommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  TParsedCommandLine parsed;
  if (!parser.parse(arguments)) {
    parsed.Text = parser.errorText();
    if (parsed.Text.endsWith('.')) parsed.Text.chop(1);
    return parsed;
  }
  if (parser.isSet("help") || parser.isSet("help-all")) {
    parsed.What = TParsedCommandLine::Action::Help;
    // The usage line names the program, not the path it was started by.
    parsed.Text = parser.helpText();
    const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (parsed.Text.startsWith(started))
      parsed.Text.replace(0, started.size(), "Usage: " + QCoreApplication::applicationName());
    return parsed;
  }
  if (parser.isSet("version")) {
    parsed.What = TParsedCommandLine::Action::Version;
    parsed.Text =
        QCoreApplication::applicationName() + ' ' + QCoreApplication::applicationVersion();
    return parsed;
  }
  parsed.Text = Check(parser, parsed.Options);
  if (parsed.Text.isEmpty()) parsed.What = TParsedCommandLine::Action::Run;
  return parsed;
}
