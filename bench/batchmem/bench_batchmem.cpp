// One large batch from a real web server: COUNT images of 10 KB (default
// 10,000) served by nginx on 127.0.0.1, downloaded by the window (headless,
// import and start as a user clicks them), by pixvane-get, and by curl
// beside them in the same run. Prints each program's time and its ratio to
// curl's, and each program's peak memory beside its own peak for a batch of
// one image. Every run is a process of its own, so that each peak is its own.
//
// Usage: bench_batchmem [COUNT]
//        bench_batchmem --window LIST FOLDER    the window on one list (a child)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "Nginx.h"
#include "Seam.h"
#include "Unit1.h"

namespace {

constexpr int kDefaultAddresses = 10000;
constexpr std::size_t kImageBytes = 10 * 1024;

class TCountingSeam : public TSilentShellSeam {
 public:
  void MessageBox(QWidget*, const QString&) override { ++Messages; }
  int Messages = 0;
};

inline char ByteAt(int n, std::size_t i) {
  return static_cast<char>((i * 131 + static_cast<std::size_t>(n) * 17 + (i >> 9)) & 0xFF);
}

// The child: the window imports the list, starts it and runs until the
// batch's message. Prints "seconds=S peak=KB left=N ended=0|1".
int RunWindow(const QString& list, const QString& folder) {
  QTemporaryDir scratch(QDir::tempPath() + "/pixvane-batchmem-XXXXXX");
  const QString programFolder = scratch.path() + "/program";
  for (const QString& f : {programFolder, scratch.path() + "/desktop"}) QDir().mkpath(f);
  {
    QFile launcher(programFolder + "/pixvane");
    if (launcher.open(QIODevice::WriteOnly)) launcher.write("#!/bin/sh\n");
  }
  qputenv("XDG_DESKTOP_DIR", (scratch.path() + "/desktop").toLocal8Bit());
  QFile file(list);
  if (!file.open(QIODevice::ReadOnly)) return 1;
  const QString addresses = QString::fromUtf8(file.readAll());
  TCountingSeam seam;
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = programFolder + "/pixvane";
  bool ended = false;
  double seconds = 0;
  int left = -1;
  {
    TForm1 form(options);
    const QFileInfo target(folder);
    form.SavePath->setText(target.absolutePath());
    form.FileName->setText(target.fileName());
    form.Memo2->setPlainText(addresses);
    QElapsedTimer clock;
    clock.start();
    form.Button5->click();
    form.Button14->click();
    while (seam.Messages == 0 && clock.elapsed() < 3600000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    seconds = clock.nsecsElapsed() / 1e9;
    ended = seam.Messages > 0;
    left = form.ListBox_Download->count();
  }
  std::printf("seconds=%.2f peak=%ld left=%d ended=%d\n", seconds, bench::PeakRssKb(), left,
              ended ? 1 : 0);
  return ended ? 0 : 1;
}

struct Run {
  bool ok = false;
  double seconds = 0;       // the whole process
  double batchSeconds = 0;  // the window: from the start to the message
  long peakKb = 0;
  int whole = 0;  // files that arrived whole
};

int WholeFiles(const std::string& folder, int count) {
  int whole = 0;
  for (int i = 0; i < count; ++i)
    if (bench::FileHolds(folder + "/p" + std::to_string(i) + ".jpg", kImageBytes,
                         [i](std::size_t at) { return ByteAt(i, at); }))
      ++whole;
  return whole;
}

Run RunWindowChild(const std::string& list, const std::string& folder, int count) {
  Run run;
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer clock;
  clock.start();
  child.start(QCoreApplication::applicationFilePath(),
              {"--window", QString::fromStdString(list), QString::fromStdString(folder)});
  child.waitForFinished(-1);
  run.seconds = clock.nsecsElapsed() / 1e9;
  for (const QByteArray& field : child.readAllStandardOutput().trimmed().split(' ')) {
    const QList<QByteArray> pair = field.split('=');
    if (pair.size() != 2) continue;
    if (pair[0] == "seconds") run.batchSeconds = pair[1].toDouble();
    if (pair[0] == "peak") run.peakKb = pair[1].toLong();
    if (pair[0] == "ended") run.ok = pair[1] == "1";
  }
  run.whole = WholeFiles(folder, count);
  run.ok = run.ok && run.whole == count;
  return run;
}

Run RunGet(const std::string& list, const std::string& folder, int count) {
  const bench::External e =
      bench::RunProgram({PIXVANE_GET_BINARY, "--quiet", "--folder", folder, "--input", list}, 3600);
  Run run{e.ok, e.seconds, 0, e.peakKb, WholeFiles(folder, count)};
  run.ok = run.ok && run.whole == count;
  return run;
}

Run RunCurl(const std::string& base, const std::string& config, const std::string& folder,
            int count) {
  {
    std::ofstream cfg(config);
    for (int i = 0; i < count; ++i)
      cfg << "url = \"" << base << "p" << i << ".jpg\"\noutput = \"" << folder << "/p" << i
          << ".jpg\"\n";
  }
  QDir().mkpath(QString::fromStdString(folder));
  const bench::External e = bench::RunProgram(
      {"curl", "-s", "--parallel", "--parallel-max", "6", "--config", config}, 3600);
  Run run{e.ok, e.seconds, 0, e.peakKb, WholeFiles(folder, count)};
  run.ok = run.ok && run.whole == count;
  return run;
}

void WriteList(const std::string& path, const std::string& base, int count) {
  std::ofstream list(path);
  for (int i = 0; i < count; ++i) list << base << "p" << i << ".jpg\n";
}

double Mb(long kb) {
  return kb / 1024.0;
}

void Print(const char* name, const Run& big, const Run& one, const Run& curl) {
  std::printf("  %-12s %7.2f s  (%.2fx curl)  peak %6.1f MB, one image %6.1f MB: +%.1f MB%s\n",
              name, big.seconds, curl.seconds > 0 ? big.seconds / curl.seconds : 0.0,
              Mb(big.peakKb), Mb(one.peakKb), Mb(big.peakKb - one.peakKb),
              big.ok && one.ok ? "" : "  NOT EVERY FILE ARRIVED WHOLE");
  if (big.batchSeconds > 0)
    std::printf("  %-12s %7.2f s from the start to the message\n", "", big.batchSeconds);
  std::printf("  %-12s %d of the files whole\n", "", big.whole);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  qInstallMessageHandler(bench::QuietOffscreenWarnings);
  inet::Library internetClient;  // the process's internet client, ended as main returns
  QApplication app(argc, argv);
  QLoggingCategory::setFilterRules(QStringLiteral("pixvane.download.warning=false"));
  if (argc == 4 && std::strcmp(argv[1], "--window") == 0)
    return RunWindow(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultAddresses;

  QTemporaryDir scratch(QDir::tempPath() + "/pixvane-batchmem-XXXXXX");
  const std::string root = scratch.path().toStdString();
  const std::string www = root + "/www/img";
  QDir().mkpath(QString::fromStdString(www));
  for (int i = 0; i < count; ++i) {
    std::string body(kImageBytes, '\0');
    for (std::size_t at = 0; at < kImageBytes; ++at) body[at] = ByteAt(i, at);
    std::ofstream(www + "/p" + std::to_string(i) + ".jpg", std::ios::binary) << body;
  }
  testnet::Nginx nginx;
  testnet::NginxOptions options;
  options.root = root + "/www";
  options.keepaliveRequests = 1000000;
  if (!nginx.Start(root + "/nginx", options)) {
    std::fprintf(stderr, "bench_batchmem: nginx did not start: %s\n", nginx.Failure().c_str());
    return 1;
  }
  const std::string base = nginx.Url("/img/");
  const std::string all = root + "/all.txt", one = root + "/one.txt";
  WriteList(all, base, count);
  WriteList(one, base, 1);

  const Run curl = RunCurl(base, root + "/curl.cfg", root + "/curl", count);
  const Run getOne = RunGet(one, root + "/get-one", 1);
  const Run get = RunGet(all, root + "/get", count);
  const Run windowOne = RunWindowChild(one, root + "/window-one", 1);
  const Run window = RunWindowChild(all, root + "/window", count);
  nginx.Stop();

  std::printf("%d images of 10 KB from nginx on 127.0.0.1 (whole processes):\n", count);
  std::printf("  %-12s %7.2f s  peak %6.1f MB%s\n", "curl -Z 6", curl.seconds, Mb(curl.peakKb),
              curl.ok ? "" : "  NOT EVERY FILE ARRIVED WHOLE");
  Print("pixvane-get", get, getOne, curl);
  Print("window", window, windowOne, curl);
  return curl.ok && get.ok && window.ok ? 0 : 1;
}
