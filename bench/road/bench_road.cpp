// The whole road of a batch through the real window, headless: a page with
// 500 image tags (500 distinct images of 100 KB) served from 127.0.0.1 is
// acquired (ButtonGetPicUrlListClick), all addresses go to the processed list
// (Button6Click), are imported (Button5Click) and downloaded at once
// (Button14Click) until the completion monitor reports "下载任务完成".
//
// Prints the wall time to the completion message and to the last byte on
// disk, the longest stall of the user-interface thread (largest gap between
// ticks of a 10 ms timer) per phase, the peak memory, the number of progress
// events the window showed, where the user-interface thread's time went by
// kind of event, and the wall time of curl --parallel, wget -i and aria2c -j 6
// on the same 500 addresses in the same run (once before the road, once
// after), with the ratios. Every download is checked byte for byte.
//
// Usage: bench_road [--other-page] [folder]
//   folder        a new or empty folder; default: a new folder under the temp
//                 folder, removed at the end
//   --other-page  right after the batch start, show the first page instead of
//                 the download page (as a user who goes back to the lists),
//                 so the progress bar is not on screen during the downloads
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "ListText.h"
#include "LocalServer.h"
#include "RoadWatch.h"
#include "Seam.h"
#include "Unit1.h"

extern char** environ;

namespace {

constexpr int kImages = 500;
constexpr std::size_t kImageBytes = 100 * 1024;
constexpr double kDeadlineSeconds = 300;
const QString kDoneMessage = QStringLiteral("下载任务完成");

using bench::SecondsSince;
using bench::SteadyClock;

// Byte i of image number n: computed, so the server holds no bodies.
inline char ByteAt(int n, std::size_t i) {
  return static_cast<char>((i * 131 + static_cast<std::size_t>(n) * 17 + (i >> 9)) & 0xFF);
}

// "p0001.jpg" for 1. Built by appending: GCC 12 warns wrongly about "x" + string.
std::string ImageName(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", n);
  std::string name("p");
  name += digits;
  name += ".jpg";
  return name;
}

std::string MakePage() {
  std::string page = "<html><head><title>gallery</title></head><body>\n";
  for (int n = 1; n <= kImages; ++n) {
    page += "<div class=\"photo\"><img src=\"img/";
    page += ImageName(n);
    page += "\" alt=\"photo\"></div>\n";
  }
  page += "</body></html>\n";
  return page;
}

// True when folder holds every image with exactly the served bytes.
bool Verify(const std::string& folder) {
  for (int n = 1; n <= kImages; ++n)
    if (!bench::FileHolds(folder + "/" + ImageName(n), kImageBytes,
                          [n](std::size_t i) { return ByteAt(n, i); }))
      return false;
  return true;
}

struct Tool {
  const char* name;
  bench::External run;
};

// curl, wget and aria2c on the 500 addresses, each into a fresh folder under
// root/round, each checked byte for byte.
std::vector<Tool> RunTools(const std::string& root, const std::string& round,
                           const std::string& base) {
  const std::string folder = root + "/" + round;
  const std::string curlDir = folder + "/curl", wgetDir = folder + "/wget",
                    ariaDir = folder + "/aria2c";
  for (const std::string& dir : {curlDir, wgetDir, ariaDir})
    QDir().mkpath(QString::fromStdString(dir));
  const std::string list = folder + "/list.txt", config = folder + "/curl.cfg";
  {
    std::ofstream urls(list), cfg(config);
    for (int n = 1; n <= kImages; ++n) {
      const std::string name = ImageName(n);
      urls << base << "img/" << name << "\n";
      cfg << "url = \"" << base << "img/" << name << "\"\noutput = \"" << curlDir << "/" << name
          << "\"\n";
    }
  }
  std::vector<Tool> tools;
  const auto run = [&](const char* name, const std::vector<std::string>& args,
                       const std::string& dir) {
    tools.push_back({name, bench::RunProgram(args, kDeadlineSeconds)});
    if (tools.back().run.ran) tools.back().run.ok = tools.back().run.ok && Verify(dir);
  };
  run("curl --parallel --parallel-max 6",
      {"curl", "-s", "--parallel", "--parallel-max", "6", "--config", config}, curlDir);
  run("wget -q -i list", {"wget", "-q", "-i", list, "-P", wgetDir}, wgetDir);
  run("aria2c -q -j 6 -i list", {"aria2c", "--no-conf", "-q", "-j", "6", "-i", list, "-d", ariaDir},
      ariaDir);
  return tools;
}

enum Phase { kAcquire, kLists, kStart, kWait, kPhases };
const std::array<const char*, kPhases> kPhaseNames = {
    "acquisition (ButtonGetPicUrlListClick)", "all + import (Button6Click, Button5Click)",
    "batch start (Button14Click)", "downloads until the message and the last worker"};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  qInstallMessageHandler(bench::QuietOffscreenWarnings);
  inet::Library internetClient;  // the process's internet client, ended as main returns
  bench::TimedApplication app(argc, argv);

  bool otherPage = false;
  QString folderArgument;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--other-page") == 0)
      otherPage = true;
    else
      folderArgument = QString::fromLocal8Bit(argv[i]);
  }
  QTemporaryDir scratch(QDir::tempPath() + "/pixvane-road-XXXXXX");
  const QString root = folderArgument.isEmpty() ? scratch.path() : folderArgument;
  if (QDir(root).exists() && !QDir(root).isEmpty()) {
    std::fprintf(stderr, "bench_road: %s is not empty\n", qPrintable(root));
    return 2;
  }
  const QString programFolder = root + "/program";
  const QString batchName = QStringLiteral("road-batch");
  for (const QString& folder : {programFolder, root + "/desktop"}) QDir().mkpath(folder);
  {
    QFile launcher(programFolder + "/pixvane");
    if (launcher.open(QIODevice::WriteOnly)) launcher.write("#!/bin/sh\n");
  }
  // The desktop launcher the window writes at startup goes to the sandbox.
  qputenv("XDG_DESKTOP_DIR", (root + "/desktop").toLocal8Bit());

  // ---- the server ------------------------------------------------------
  const std::string page = MakePage();
  std::atomic<int> imageRequests{0};
  testnet::LocalServer server;
  server->new_task_queue = [] { return new httplib::ThreadPool(12); };
  // As nginx does on keep-alive connections: without it the last small
  // segment of every response waits for the client's delayed acknowledgement.
  server->set_tcp_nodelay(true);
  server->Get("/gallery/index.html", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
    res.set_content(page, "text/html");
  });
  server->Get(R"(/gallery/img/p(\d{4})\.jpg)", [&](const httplib::Request& req,
                                                   httplib::Response& res) {
    const int n = std::stoi(req.matches[1]);
    if (n < 1 || n > kImages) {
      res.status = 404;
      return;
    }
    ++imageRequests;
    res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
    // The provider's length becomes the Content-Length header.
    res.set_content_provider(kImageBytes, "image/jpeg",
                             [n](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                               char piece[16384];
                               const std::size_t count = std::min(length, sizeof piece);
                               for (std::size_t i = 0; i < count; ++i)
                                 piece[i] = ByteAt(n, offset + i);
                               sink.write(piece, count);
                               return true;
                             });
  });
  if (!server.Start()) {
    std::fprintf(stderr, "bench_road: the local server on 127.0.0.1 did not start\n");
    return 1;
  }
  const int port = server.Port();
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/gallery/";

  // ---- the same addresses with other programs, before the road ------------
  const std::vector<Tool> toolsBefore = RunTools(root.toStdString(), "before", base);

  // ---- the window --------------------------------------------------------
  SteadyClock::time_point start = SteadyClock::now();
  bench::TimedSeam seam(&start, kDoneMessage);
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = programFolder + "/pixvane";
  auto form = std::make_unique<TForm1>(options);
  form->show();
  form->grab();  // fonts and glyphs are loaded before anything is measured
  QCoreApplication::processEvents();
  form->Url->setText(QString::fromStdString(base + "index.html"));
  form->FileName->setText(batchName);
  const std::string batchFolder = (form->SavePath->text() + batchName).toStdString();

  // Progress events shown: every change of the bar's position (a lower
  // bound of the events, which almost always move it).
  long long barMoves = 0;
  QObject::connect(form->DownLoadProgressBar, &QProgressBar::valueChanged, [&] { ++barMoves; });

  // The user-interface thread's pulse, attributed to the phase it ends in.
  std::array<double, kPhases> stallMs{};
  Phase phase = kAcquire;
  std::optional<SteadyClock::time_point> lastTick;
  long long ticks = 0;
  QTimer pulse;
  pulse.setTimerType(Qt::PreciseTimer);
  pulse.setInterval(10);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const auto now = SteadyClock::now();
    if (lastTick) {
      const double gap = std::chrono::duration<double, std::milli>(now - *lastTick).count();
      stallMs[phase] = std::max(stallMs[phase], gap);
    }
    lastTick = now;
    ++ticks;
  });
  pulse.start();
  // A first tick, so the first phase's stall is measured from its start.
  QEventLoop settle;
  QTimer::singleShot(25, &settle, &QEventLoop::quit);
  settle.exec();

  const long rssBefore = bench::CurrentRssKb();
  const int requestsBefore = imageRequests.load();
  // The road runs inside an event loop, one step per pass,
  // as the user's clicks would: handlers run from an event, the workers'
  // releases (deferred deletes) are taken up as in the program, and the wait
  // ends the loop when the message has come, the last file is complete and
  // every worker has ended (or at the deadline).
  std::array<double, kPhases> phaseEnd{};
  int acquired = 0, processed = 0, imported = 0;
  std::unique_ptr<bench::CompletionWatch> watch;
  double uiCpuBefore = 0;
  bench::ProcessUsage usageBefore;
  std::optional<double> workersEndedAt;
  bool timedOut = false, lingerReported = false;
  // The outermost loop; not the application's own exec, whose quit would
  // close the window.
  QEventLoop road;
  QTimer check;
  check.setInterval(10);
  QObject::connect(&check, &QTimer::timeout, [&] {
    const double now = SecondsSince(start);
    const double completeAt = watch ? watch->CompleteAt() : -1;
    if (!workersEndedAt && THTTPGetThread::LiveCount() == 0 && completeAt >= 0)
      workersEndedAt = now;
    if (seam.DoneAt && workersEndedAt) road.quit();
    // Workers that outlive their files by far are worth a line.
    if (!lingerReported && !workersEndedAt && completeAt >= 0 && now > completeAt + 10) {
      lingerReported = true;
      std::fprintf(stderr, "  %d workers still alive 10 s after the last image was complete\n",
                   THTTPGetThread::LiveCount());
    }
    if (now > kDeadlineSeconds) {
      timedOut = true;
      road.quit();
    }
  });
  QTimer::singleShot(0, [&] {
    start = SteadyClock::now();
    lastTick = start;
    phase = kAcquire;
    form->ButtonGetPicUrlListClick(form->ButtonGetPicUrlList);
    acquired = form->ListBox_imglist->count();
    QTimer::singleShot(0, [&] {
      phaseEnd[kAcquire] = SecondsSince(start);
      phase = kLists;
      form->Button6Click(form->Button6);
      processed = static_cast<int>(MemoLines(form->Memo2).size());
      form->Button5Click(form->Button5);
      imported = form->ListBox_Download->count();
      QTimer::singleShot(0, [&] {
        phaseEnd[kLists] = SecondsSince(start);
        std::vector<std::string> files;
        for (int n = 1; n <= kImages; ++n) files.push_back(batchFolder + "/" + ImageName(n));
        watch = std::make_unique<bench::CompletionWatch>(files, kImageBytes, start,
                                                         kDeadlineSeconds + 10);
        uiCpuBefore = bench::ThreadCpuSeconds();
        usageBefore = bench::UsageNow();
        phase = kStart;
        app.Measuring = true;
        form->Button14Click(form->Button14);
        if (otherPage) form->PageControl1->setCurrentWidget(form->TabSheet2);
        QTimer::singleShot(0, [&] {
          phaseEnd[kStart] = SecondsSince(start);
          phase = kWait;
          check.start();
        });
      });
    });
  });
  road.exec();
  check.stop();
  phaseEnd[kWait] = SecondsSince(start);
  const double uiCpu = bench::ThreadCpuSeconds() - uiCpuBefore;
  app.Measuring = false;
  const bench::ProcessUsage usageAfter = bench::UsageNow();
  pulse.stop();
  watch->Stop();
  const long peakAfterRoad = bench::PeakRssKb();

  // A run that did not finish: closing the window cancels its downloads.
  if (timedOut) {
    std::fprintf(stderr, "  %d workers alive at the deadline\n", THTTPGetThread::LiveCount());
    form.reset();
    for (int i = 0; i < 3000 && THTTPGetThread::LiveCount() > 0; ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  const bool identical = !timedOut && Verify(batchFolder);
  const QStringList leftOver =
      QDir(QString::fromStdString(batchFolder)).entryList({QStringLiteral("*.log")}, QDir::Files);
  const int requestsByWindow = imageRequests.load() - requestsBefore;

  // The cost of one progress event, measured on the window alone: six
  // downloads of 100 KB at different points of their files taking turns in
  // chunks of 1,025 bytes, the event loop run now and then; once with the
  // download page (and its progress bar) showing, as during the downloads,
  // and once with another page showing, as after the completion message.
  const auto progressCostUs = [&](QWidget* page) {
    form->PageControl1->setCurrentWidget(page);
    QCoreApplication::processEvents();
    const int events = 6000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < events; ++i) {
      const std::size_t download = static_cast<std::size_t>(i % 6);
      const std::size_t readed =
          (download * kImageBytes / 6 + static_cast<std::size_t>(i / 6) * 1025) % kImageBytes;
      form->HTTPGetProgress(nullptr, static_cast<std::int32_t>(kImageBytes),
                            static_cast<std::int32_t>(readed));
      if (i % 64 == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e3 / events;
  };
  double progressUs = 0, progressHiddenUs = 0;
  if (form) {
    progressUs = progressCostUs(form->TabSheet5);
    progressHiddenUs = progressCostUs(form->TabSheet2);
  }

  // ---- the same addresses with other programs, after the road -------------
  const std::vector<Tool> toolsAfter = RunTools(root.toStdString(), "after", base);

  form.reset();
  server.Stop();

  // ---- figures ---------------------------------------------------------------
  const double mb = kImages * static_cast<double>(kImageBytes) / 1e6;
  const double doneAt = seam.DoneAt.value_or(-1);
  const double lastByteAt = watch->CompleteAt();
  const double workersAt = workersEndedAt.value_or(-1);
  const double downloadPhase = lastByteAt - phaseEnd[kLists];
  std::printf("Whole road: %d images of %zu KB (%.1f MB) from 127.0.0.1:%d, window offscreen%s\n",
              kImages, kImageBytes / 1024, mb, port,
              otherPage ? ", first page shown during the downloads" : "");
  std::printf("  lists: %d acquired, %d processed, %d imported; %d image requests served\n",
              acquired, processed, imported, requestsByWindow);
  if (timedOut) std::printf("  TIMED OUT after %.0f s\n", kDeadlineSeconds);
  std::printf("\n  %-50s %10s %12s\n", "Pixvane, from ButtonGetPicUrlListClick", "at (s)",
              "longest stall");
  for (int p = 0; p < kPhases; ++p) {
    const auto i = static_cast<std::size_t>(p);
    if (stallMs[i] > 0)
      std::printf("  %-50s %10.3f %10.1f ms\n", kPhaseNames[i], phaseEnd[i], stallMs[i]);
    else
      std::printf("  %-50s %10.3f %13s\n", kPhaseNames[i], phaseEnd[i], "(no tick)");
  }
  std::printf("  %-50s %10.3f\n", "last image complete on disk", lastByteAt);
  // Six characters of three bytes that take two columns each.
  std::printf("  %-56s %10.3f\n", "message \"下载任务完成\"", doneAt);
  std::printf("  %-50s %10.3f\n", "every worker ended", workersAt);
  std::printf("  longest stall of the user-interface thread: %.1f ms (%lld ticks of 10 ms)\n",
              *std::max_element(stallMs.begin(), stallMs.end()), ticks);
  std::printf("  peak memory (VmHWM, whole process with server and Qt): %.1f MB; %.1f MB before\n",
              peakAfterRoad / 1024.0, rssBefore / 1024.0);
  std::printf(
      "  progress events shown: >= %lld (bar moves); on the window alone, in six interleaved\n"
      "  downloads, one costs %.1f us with the download page showing, %.1f us with another page\n",
      barMoves, progressUs, progressHiddenUs);
  std::printf(
      "  from Button14Click to the end: user-interface thread busy %.2f s of %.2f s; whole "
      "process %.2f s user + %.2f s system CPU, %ld + %ld context switches (voluntary + forced)\n",
      uiCpu, phaseEnd[kWait] - phaseEnd[kLists], usageAfter.user - usageBefore.user,
      usageAfter.system - usageBefore.system,
      usageAfter.switchesVoluntary - usageBefore.switchesVoluntary,
      usageAfter.switchesForced - usageBefore.switchesForced);
  {
    const std::array<const char*, bench::TimedApplication::kKinds> names = {
        "hand-over passes (progress handler inside)", "repaints of the window",
        "completion monitor ticks", "other events"};
    std::printf("  user-interface thread by event, Button14Click to the end:\n");
    for (std::size_t k = 0; k < names.size(); ++k)
      std::printf("    %-44s %8lld events %8.2f s\n", names[k], app.Buckets[k].count,
                  app.Buckets[k].seconds);
    std::printf("    %-44s %8lld events %8.2f s\n", "  of the hand-overs: immediate paints",
                app.PaintsInHandOvers.count, app.PaintsInHandOvers.seconds);
  }
  std::printf("  messages: %s%s%s; files %s; %lld sidecars left\n",
              seam.Messages.join(QStringLiteral(" | ")).toUtf8().constData(),
              seam.Errors.isEmpty() ? "" : "; errors: ",
              seam.Errors.join(QStringLiteral(" | ")).toUtf8().constData(),
              identical ? "identical" : "DIFFERENT", static_cast<long long>(leftOver.size()));

  std::printf("\n  %-34s %9s %9s %8s %10s %9s %16s\n", "program", "before(s)", "after(s)", "MB/s",
              "peak MB", "bytes", "Pixvane/tool");
  std::printf("  %-34s %9.3f %9s %8.1f %10.1f %9s %16s\n", "Pixvane road, to the message", doneAt,
              "", mb / doneAt, peakAfterRoad / 1024.0, identical ? "identical" : "DIFFERENT",
              "1.00");
  std::printf("  %-34s %9.3f %9s %8.1f\n", "Pixvane, Button14Click to last byte", downloadPhase, "",
              mb / downloadPhase);
  for (std::size_t i = 0; i < toolsBefore.size(); ++i) {
    const bench::External& before = toolsBefore[i].run;
    const bench::External& after = toolsAfter[i].run;
    if (!before.ran) {
      std::printf("  %-34s not run (missing)\n", toolsBefore[i].name);
      continue;
    }
    std::printf("  %-34s %9.3f %9.3f %8.1f %10.1f %9s %7.1f / %6.1f\n", toolsBefore[i].name,
                before.seconds, after.seconds, mb / before.seconds,
                std::max(before.peakKb, after.peakKb) / 1024.0,
                before.ok && after.ok ? "identical" : "DIFFERENT", doneAt / before.seconds,
                downloadPhase / before.seconds);
  }
  std::printf(
      "  (tools run before and after the road in this run; ratios use the run before: the whole\n"
      "   road to the message / Button14Click to the last byte)\n");
  return identical && !timedOut ? 0 : 1;
}
