// Bulk download figures: 200 files of 256 KB and 5 files of 20 MB from a
// server on 127.0.0.1, all components started at once with a progress
// handler that updates a progress bar and a label as the window does. Prints
// the wall time, the throughput, the longest stall of the user-interface
// thread (gap between ticks of a 10 ms timer) and the peak memory; then runs
// aria2c and curl on the same files in the same run for comparison.
//
// Usage: bench_download [folder]   (default: a new folder under /tmp)
#include <unistd.h>

#include <httplib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"

extern char** environ;

namespace {

struct FileSpec {
  std::string name;
  std::size_t size;
  unsigned seed;
};

// Byte i of a file: computed, so that the server holds no bodies in memory.
inline char ByteAt(unsigned seed, std::size_t i) {
  return static_cast<char>((i * 131 + seed * 17 + (i >> 9)) & 0xFF);
}

// Names are built by appending: GCC 12 warns wrongly about "x" + string at -O3.
std::string NameOf(const char* prefix, unsigned number) {
  std::string name(prefix);
  name += std::to_string(number);
  name += ".jpg";
  return name;
}

std::vector<FileSpec> MakeFiles() {
  std::vector<FileSpec> files;
  for (unsigned i = 0; i < 200; ++i) files.push_back({NameOf("s", i), 256 * 1024, i});
  for (unsigned i = 0; i < 5; ++i) files.push_back({NameOf("l", i), 20 * 1024 * 1024, 1000 + i});
  return files;
}

// True when every file in folder holds the expected bytes.
bool Verify(const std::string& folder, const std::vector<FileSpec>& files) {
  for (const FileSpec& file : files)
    if (!bench::FileHolds(folder + "/" + file.name, file.size,
                          [&](std::size_t i) { return ByteAt(file.seed, i); }))
      return false;
  return true;
}

// The window's progress display: a bar, the status text and the two size
// fields, all updated by every progress event as the main window does.
struct ProgressDisplay {
  QWidget window;
  QProgressBar* bar = new QProgressBar;
  QLabel* status = new QLabel;
  QLineEdit* readKb = new QLineEdit;
  QLineEdit* totalKb = new QLineEdit;
  bool paintPending = false;

  ProgressDisplay() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(bar);
    layout->addWidget(readKb);
    layout->addWidget(totalKb);
    layout->addWidget(status);
    status->setFixedWidth(400);
    window.resize(420, 160);
    window.show();
    // Fonts and glyphs are loaded once before anything is measured.
    Show(100, 50);
    window.grab();
    QCoreApplication::processEvents();
  }

  // As the main window does: the values change at every event, and the
  // display is painted with the next update at most every 40 ms.
  void Show(std::int32_t TotalSize, std::int32_t Readed) {
    if (!paintPending) {
      paintPending = true;
      for (QWidget* w : {static_cast<QWidget*>(bar), static_cast<QWidget*>(status),
                         static_cast<QWidget*>(readKb), static_cast<QWidget*>(totalKb)})
        w->setUpdatesEnabled(false);
      QTimer::singleShot(40, &window, [this] {
        paintPending = false;
        for (QWidget* w : {static_cast<QWidget*>(bar), static_cast<QWidget*>(status),
                           static_cast<QWidget*>(readKb), static_cast<QWidget*>(totalKb)})
          w->setUpdatesEnabled(true);
      });
    }
    bar->setMaximum(TotalSize);
    bar->setValue(Readed);
    status->setText(QStringLiteral(u"正在下载数据请稍候...") + QString::number(Readed));
    readKb->setText(QString::number(Readed / 1024));
    totalKb->setText(QString::number(TotalSize / 1024));
  }
};

struct OurRun {
  double seconds = 0;
  int done = 0, failed = 0;
  std::int64_t progressEvents = 0;
  double handlerSeconds = 0;  // time the user-interface thread spent in the handler
  qint64 longestStallMs = 0;
  bool identical = false;
};

// All components started at once, as the batch start does.
OurRun RunOurs(const std::string& base, const std::string& folder,
               const std::vector<FileSpec>& files, ProgressDisplay* display) {
  OurRun run;
  QElapsedTimer pulse;
  qint64 lastTick = -1;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = pulse.elapsed();
    if (lastTick >= 0) run.longestStallMs = std::max(run.longestStallMs, now - lastTick);
    lastTick = now;
  });
  pulse.start();
  ticker.start();

  QEventLoop loop;
  QObject owner;
  QElapsedTimer handlerClock;
  qint64 handlerNs = 0;
  auto ended = [&] {
    if (run.done + run.failed == static_cast<int>(files.size())) loop.quit();
  };
  QElapsedTimer wall;
  wall.start();
  for (const FileSpec& file : files) {
    QCoreApplication::processEvents();
    auto* component = new THTTPGet(&owner);
    component->BinaryData = true;
    component->UseCache = false;
    component->Agent =
        "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; .NET CLR 1.1.4322)";
    component->AcceptTypes =
        "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*";
    component->FileName = folder + "/" + file.name;
    component->URL = base + file.name;
    if (display != nullptr) {
      component->OnProgress = [&](QObject*, std::int32_t TotalSize, std::int32_t Readed) {
        ++run.progressEvents;
        handlerClock.start();
        display->Show(TotalSize, Readed);
        handlerNs += handlerClock.nsecsElapsed();
      };
    }
    component->OnDoneFile = [&](QObject*, const std::string&, std::int32_t) {
      ++run.done;
      ended();
    };
    component->OnError = [&](QObject*, const std::string&) {
      ++run.failed;
      ended();
    };
    component->StartDownload();
  }
  if (run.done + run.failed < static_cast<int>(files.size())) loop.exec();
  run.seconds = wall.nsecsElapsed() / 1e9;
  ticker.stop();
  while (THTTPGetThread::LiveCount() > 0) QCoreApplication::processEvents();
  run.handlerSeconds = handlerNs / 1e9;
  run.identical = run.failed == 0 && Verify(folder, files);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  qInstallMessageHandler(bench::QuietOffscreenWarnings);
  inet::Library internetClient;  // the process's internet client, ended as main returns
  QApplication app(argc, argv);

  QTemporaryDir scratch(QDir::tempPath() + "/pixvane-bench-XXXXXX");
  const std::string root = argc > 1 ? std::string(argv[1]) : scratch.path().toStdString();
  const std::string withUi = root + "/pixvane-ui", bare = root + "/pixvane-bare";
  const std::string aria = root + "/aria2c", curl = root + "/curl";
  for (const std::string& folder : {withUi, bare, aria, curl})
    QDir().mkpath(QString::fromStdString(folder));

  const std::vector<FileSpec> files = MakeFiles();
  std::size_t totalBytes = 0;
  for (const FileSpec& file : files) totalBytes += file.size;

  // The server: bodies computed piece by piece, so it holds none in memory.
  testnet::LocalServer server;
  server->new_task_queue = [] { return new httplib::ThreadPool(12); };
  server->Get(R"(/img/(.+))", [&files](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    auto it = std::find_if(files.begin(), files.end(),
                           [&](const FileSpec& file) { return file.name == name; });
    if (it == files.end()) {
      res.status = 404;
      return;
    }
    const FileSpec file = *it;
    res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
    res.set_content_provider(file.size, "image/jpeg",
                             [file](size_t offset, size_t length, httplib::DataSink& sink) {
                               char piece[16384];
                               const std::size_t n = std::min(length, sizeof piece);
                               for (std::size_t i = 0; i < n; ++i)
                                 piece[i] = ByteAt(file.seed, offset + i);
                               sink.write(piece, n);
                               return true;
                             });
  });
  if (!server.Start()) {
    std::fprintf(stderr, "bench_download: the local server on 127.0.0.1 did not start\n");
    return 1;
  }
  const int port = server.Port();
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/img/";

  const long rssBefore = bench::CurrentRssKb();
  ProgressDisplay display;
  const OurRun ui = RunOurs(base, withUi, files, &display);
  const long peakAfterUi = bench::PeakRssKb();
  const OurRun plain = RunOurs(base, bare, files, nullptr);

  // The same files with aria2c and curl, six connections at a time each.
  const std::string list = root + "/list.txt", config = root + "/curl.cfg";
  {
    std::ofstream urls(list), cfg(config);
    for (const FileSpec& file : files) {
      urls << base << file.name << "\n";
      cfg << "url = \"" << base << file.name << "\"\noutput = \"" << curl << "/" << file.name
          << "\"\n";
    }
  }
  bench::External ariaRun = bench::RunProgram(
      {"aria2c", "--no-conf", "-q", "-j", "6", "-x", "1", "-s", "1", "--file-allocation=none",
       "--allow-overwrite=true", "--auto-file-renaming=false", "-d", aria, "-i", list});
  if (ariaRun.ran) ariaRun.ok = ariaRun.ok && Verify(aria, files);
  bench::External curlRun =
      bench::RunProgram({"curl", "-s", "--parallel", "--parallel-max", "6", "--config", config});
  if (curlRun.ran) curlRun.ok = curlRun.ok && Verify(curl, files);

  server.Stop();

  const double mb = totalBytes / 1e6;
  std::printf("files: %zu (200 x 256 KB + 5 x 20 MB), %.1f MB from 127.0.0.1, 6 connections\n",
              files.size(), mb);
  auto ours = [&](const char* name, const OurRun& run) {
    std::printf("%s: %.2f s, %.1f MB/s, %d done, %d failed, bytes %s\n", name, run.seconds,
                mb / run.seconds, run.done, run.failed, run.identical ? "identical" : "DIFFERENT");
    std::printf(
        "%s: %lld progress events, %.2f s of them in the handler, longest UI stall %lld ms\n", name,
        static_cast<long long>(run.progressEvents), run.handlerSeconds,
        static_cast<long long>(run.longestStallMs));
  };
  ours("pixvane, window-like progress handler", ui);
  ours("pixvane, no progress handler", plain);
  std::printf(
      "pixvane: peak memory %.1f MB after the first run, %.1f MB at the end "
      "(whole process with the server; %.1f MB before the first start)\n",
      peakAfterUi / 1024.0, bench::PeakRssKb() / 1024.0, rssBefore / 1024.0);
  std::printf("pixvane: most network connections open to the server at once: %d\n",
              inet::testing::PeakSockets("127.0.0.1", port));
  auto other = [&](const char* name, const bench::External& run) {
    if (!run.ran) {
      std::printf("%s: not run\n", name);
      return;
    }
    std::printf(
        "%s: %.2f s, %.1f MB/s, peak memory %.1f MB, bytes %s; time ratio pixvane/%s: "
        "%.2f with the handler, %.2f without\n",
        name, run.seconds, mb / run.seconds, run.peakKb / 1024.0,
        run.ok ? "identical" : "DIFFERENT", name, ui.seconds / run.seconds,
        plain.seconds / run.seconds);
  };
  other("aria2c -j 6", ariaRun);
  other("curl --parallel-max 6", curlRun);
  return ui.identical && plain.identical ? 0 : 1;
}
