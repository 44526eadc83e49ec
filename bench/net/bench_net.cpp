// The whole road of a batch through the real window, headless, against a real
// web server: nginx (started here on free ports with a configuration of its
// own, stopped at the end) serving four galleries
//
//   500 x 100 KB over loopback, HTTP
//   200 x 1 MB over loopback, HTTP
//   500 x 100 KB through a 20 ms round trip (a delay proxy of our own), HTTP
//   500 x 100 KB through a 20 ms round trip, HTTPS (nginx offers HTTP/2)
//
// For each gallery: curl --parallel, wget -i and aria2c -j 6 on the same
// addresses (before and after the window's run), then Pixvane from the first
// click (ButtonGetPicUrlListClick) to the last whole file, in a child process
// of its own so that its peak memory is its own. HTTPS uses a self-signed
// certificate made with openssl, trusted by every program for this run only
// (inet::testing::SetCaFile for Pixvane, --cacert and --ca-certificate for the tools).
// Every file is checked byte for byte. Prints the times with the ratios to
// curl, the peak memory, the window's longest stall and where the window's
// time went, beside the figures measured on the code before the shared
// internet session.
//
// Usage: bench_net [--only N[,N...]] [--tools-once] [folder]
//   --only        run only these galleries (1-4)
//   --tools-once  run the other programs once, before the window
//   folder        a new or empty folder; default: a new one under /tmp, removed
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "InetTestHooks.h"
#include "Nginx.h"
#include "RoadWatch.h"
#include "Unit1.h"

namespace {

constexpr double kDeadlineSeconds = 300;
constexpr int kOneWayDelayMs = 10;

struct Gallery {
  const char* title;
  const char* folder;  // under the server's root
  int count;
  std::size_t size;
  bool delayed;
  bool secure;
  int curlParallel;  // --parallel-max of the curl run the target compares with
  double target;     // Pixvane / curl wanted at most
};

const Gallery kGalleries[] = {
    {"500 x 100 KB, loopback, HTTP", "small", 500, 100 * 1024, false, false, 6, 1.5},
    {"200 x 1 MB, loopback, HTTP", "large", 200, 1024 * 1024, false, false, 6, 2.0},
    {"500 x 100 KB, 20 ms round trip, HTTP", "small", 500, 100 * 1024, true, false, 6, 1.25},
    {"500 x 100 KB, 20 ms round trip, HTTPS", "small", 500, 100 * 1024, true, true, 100, 1.5},
};

// Measured on the code before the shared session (one connection per image,
// HTTP/1.1 only, hand-overs from a timer) with this benchmark, load average
// about 2: seconds from the first click to the last whole file, peak memory
// in MB, the window's longest stall in ms over the whole road (page fetch
// included).
struct Before {
  double seconds, peakMb, stallMs;
};
const Before kBefore[] = {
    {3.278, 77.4, 23.3},
    {4.835, 65.8, 16.1},
    {6.471, 78.1, 59.0},
    {8.947, 81.4, 103.1},
};

// Byte i of image number n: computed, so nothing is held to compare with.
inline char ByteAt(int n, std::size_t i) {
  return static_cast<char>((i * 131 + static_cast<std::size_t>(n) * 17 + (i >> 9)) & 0xFF);
}

std::string ImageName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "p%04d.jpg", n);
  return name;
}

bool Verify(const std::string& folder, int count, std::size_t size) {
  for (int n = 1; n <= count; ++n)
    if (!bench::FileHolds(folder + "/" + ImageName(n), size,
                          [n](std::size_t i) { return ByteAt(n, i); }))
      return false;
  return true;
}

// ---- the child: one gallery through the window --------------------------------

int ChildMain(int argc, char** argv) {
  // bench_net --child PAGE_URL COUNT SIZE CA_FILE FOLDER
  if (argc != 7) return 2;
  const std::string pageUrl = argv[2], caFile = argv[5], root = argv[6];
  const int count = std::atoi(argv[3]);
  const auto size = static_cast<std::size_t>(std::atol(argv[4]));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(bench::QuietOffscreenWarnings);
  inet::Library internetClient;  // the process's internet client, ended as main returns
  if (caFile != "-") inet::testing::SetCaFile(caFile);
  bench::TimedApplication app(argc, argv);

  const QString programFolder = QString::fromStdString(root + "/program");
  for (const QString& folder : {programFolder, QString::fromStdString(root + "/desktop")})
    QDir().mkpath(folder);
  {
    std::ofstream launcher((root + "/program/pixvane").c_str());
    launcher << "#!/bin/sh\n";
  }
  qputenv("XDG_DESKTOP_DIR", QByteArray::fromStdString(root + "/desktop"));

  bench::SteadyClock::time_point start = bench::SteadyClock::now();
  bench::TimedSeam seam(&start, QStringLiteral("下载任务完成"));
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = programFolder + "/pixvane";
  auto form = std::make_unique<TForm1>(options);
  form->show();
  form->grab();  // fonts and glyphs are loaded before anything is measured
  QCoreApplication::processEvents();
  form->Url->setText(QString::fromStdString(pageUrl));
  form->FileName->setText(QStringLiteral("batch"));
  const std::string batchFolder = (form->SavePath->text() + QStringLiteral("batch")).toStdString();
  std::vector<std::string> files;
  for (int n = 1; n <= count; ++n) files.push_back(batchFolder + "/" + ImageName(n));

  long long barMoves = 0;
  QObject::connect(form->DownLoadProgressBar, &QProgressBar::valueChanged, [&] { ++barMoves; });
  // The window's pulse: the largest gap between ticks of a 10 ms timer.
  double stallMs = 0;
  auto lastTick = bench::SteadyClock::now();
  QTimer pulse;
  pulse.setTimerType(Qt::PreciseTimer);
  pulse.setInterval(10);
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const auto now = bench::SteadyClock::now();
    stallMs = std::max(stallMs, std::chrono::duration<double, std::milli>(now - lastTick).count());
    lastTick = now;
  });
  pulse.start();

  std::unique_ptr<bench::CompletionWatch> watch;
  double startedAt = 0, uiCpuBefore = 0, workersEndedAt = -1, acquireStallMs = 0;
  bench::ProcessUsage usageBefore;
  bool timedOut = false;
  int acquired = 0;
  QEventLoop road;
  QTimer check;
  check.setInterval(5);
  QObject::connect(&check, &QTimer::timeout, [&] {
    const double now = bench::SecondsSince(start);
    if (workersEndedAt < 0 && watch->CompleteAt() >= 0 && THTTPGetThread::LiveCount() == 0)
      workersEndedAt = now;
    if (seam.DoneAt && workersEndedAt >= 0) road.quit();
    if (now > kDeadlineSeconds) {
      timedOut = true;
      road.quit();
    }
  });
  // One step per pass of the event loop, as the user's clicks would come.
  QTimer::singleShot(0, [&] {
    start = bench::SteadyClock::now();
    lastTick = start;
    stallMs = 0;
    form->ButtonGetPicUrlListClick(form->ButtonGetPicUrlList);
    acquired = form->ListBox_imglist->count();
    QTimer::singleShot(0, [&] {
      form->Button6Click(form->Button6);
      form->Button5Click(form->Button5);
      QTimer::singleShot(0, [&] {
        watch = std::make_unique<bench::CompletionWatch>(files, size, start, kDeadlineSeconds);
        startedAt = bench::SecondsSince(start);
        uiCpuBefore = bench::ThreadCpuSeconds();
        acquireStallMs = stallMs;  // the page fetch blocks the window by design
        stallMs = 0;
        usageBefore = bench::UsageNow();
        app.Measuring = true;
        form->Button14Click(form->Button14);
        check.start();
      });
    });
  });
  road.exec();
  check.stop();
  const double endedAt = bench::SecondsSince(start);
  app.Measuring = false;
  const double uiCpu = bench::ThreadCpuSeconds() - uiCpuBefore;
  const bench::ProcessUsage usage = bench::UsageNow();
  pulse.stop();
  watch->Stop();
  const long peakKb = bench::PeakRssKb();
  const bool identical = !timedOut && Verify(batchFolder, count, size);

  // The progress handler alone: six downloads taking turns in 1,025-byte
  // chunks, the event loop run now and then, the download page showing.
  form->PageControl1->setCurrentWidget(form->TabSheet5);
  QCoreApplication::processEvents();
  const int events = 6000;
  const auto begin = bench::SteadyClock::now();
  for (int i = 0; i < events; ++i) {
    const std::size_t download = static_cast<std::size_t>(i % 6);
    const std::size_t readed =
        (download * size / 6 + static_cast<std::size_t>(i / 6) * 1025) % size;
    form->HTTPGetProgress(nullptr, static_cast<std::int32_t>(size),
                          static_cast<std::int32_t>(readed));
    if (i % 64 == 0) QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  const double progressUs = bench::SecondsSince(begin) * 1e6 / events;
  if (timedOut) {
    form.reset();
    for (int i = 0; i < 3000 && THTTPGetThread::LiveCount() > 0; ++i) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  const auto& b = app.Buckets;
  std::printf(
      "FIGURES total=%.3f message=%.3f started=%.3f workers=%.3f stall=%.1f peak=%.1f "
      "acquired=%d identical=%d timedout=%d bar=%lld uicpu=%.3f span=%.3f user=%.3f sys=%.3f "
      "vcsw=%ld icsw=%ld handover=%.3f handovers=%lld repaint=%.3f repaints=%lld monitor=%.3f "
      "other=%.3f others=%lld paints=%.3f progress_us=%.2f errors=%lld acquire_stall=%.1f\n",
      watch->CompleteAt(), seam.DoneAt.value_or(-1), startedAt, workersEndedAt, stallMs,
      peakKb / 1024.0, acquired, identical ? 1 : 0, timedOut ? 1 : 0, barMoves, uiCpu,
      endedAt - startedAt, usage.user - usageBefore.user, usage.system - usageBefore.system,
      usage.switchesVoluntary - usageBefore.switchesVoluntary,
      usage.switchesForced - usageBefore.switchesForced, b[0].seconds, b[0].count, b[1].seconds,
      b[1].count, b[2].seconds, b[3].seconds, b[3].count, app.PaintsInHandOvers.seconds, progressUs,
      static_cast<long long>(seam.Errors.size()), acquireStallMs);
  // The other events, the costliest kinds first.
  std::vector<std::pair<int, bench::TimedApplication::Bucket>> others(app.OtherByType.begin(),
                                                                      app.OtherByType.end());
  std::sort(others.begin(), others.end(),
            [](const auto& a, const auto& b) { return a.second.seconds > b.second.seconds; });
  std::printf("DETAIL   other events by QEvent type:");
  for (std::size_t i = 0; i < others.size() && i < 6; ++i)
    std::printf(" %d: %lld in %.3f s;", others[i].first, others[i].second.count,
                others[i].second.seconds);
  std::printf("\n");
  std::fflush(stdout);
  form.reset();
  return identical ? 0 : 1;
}

// ---- the parent: server, proxies, files, tools ------------------------------

std::map<std::string, double> ParseFigures(const std::string& text) {
  std::map<std::string, double> figures;
  const std::size_t at = text.find("FIGURES ");
  if (at == std::string::npos) return figures;
  std::istringstream fields(text.substr(at + 8));
  std::string field;
  while (fields >> field) {
    const std::size_t eq = field.find('=');
    if (eq != std::string::npos) figures[field.substr(0, eq)] = std::atof(field.c_str() + eq + 1);
  }
  return figures;
}

// Runs a program and returns what it printed on its standard output.
std::string Capture(const std::vector<std::string>& args) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return {};
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  std::string out;
  if (spawned == 0) {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<std::size_t>(got));
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  ::close(pipeFds[0]);
  return out;
}

// A child process ended by its process id when this object goes.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
};

bool StartProxy(const std::string& program, int listenPort, int upstreamPort, Child& child) {
  const std::vector<std::string> args = {program, std::to_string(listenPort),
                                         std::to_string(upstreamPort),
                                         std::to_string(kOneWayDelayMs)};
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&child.pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  for (int i = 0; i < 500; ++i) {
    if (testnet::Accepts(listenPort)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void WriteGallery(const std::string& folder, int count, std::size_t size) {
  QDir().mkpath(QString::fromStdString(folder));
  std::ofstream page(folder + "/index.html");
  page << "<html><head><title>gallery</title></head><body>\n";
  std::vector<char> bytes(size);
  for (int n = 1; n <= count; ++n) {
    page << "<div class=\"photo\"><img src=\"" << ImageName(n) << "\" alt=\"photo\"></div>\n";
    for (std::size_t i = 0; i < size; ++i) bytes[i] = ByteAt(n, i);
    std::ofstream(folder + "/" + ImageName(n), std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(size));
  }
  page << "</body></html>\n";
}

struct ToolRun {
  std::string name;
  bench::External before, after;
  double Best() const {
    if (!before.ran || !before.ok) return -1;
    return after.ran && after.ok ? std::min(before.seconds, after.seconds) : before.seconds;
  }
};

std::vector<ToolRun> RunTools(const Gallery& g, const std::string& base, const std::string& cert,
                              const std::string& folder, bool twice) {
  std::vector<ToolRun> runs;
  const std::string list = folder + "/list.txt", config = folder + "/curl.cfg";
  for (int round = 0; round < (twice ? 2 : 1); ++round) {
    const std::string dir = folder + (round == 0 ? "/before" : "/after");
    const std::string curlDir = dir + "/curl", wgetDir = dir + "/wget", ariaDir = dir + "/aria2c";
    for (const std::string& d : {curlDir, wgetDir, ariaDir})
      QDir().mkpath(QString::fromStdString(d));
    {
      std::ofstream urls(list), cfg(config);
      for (int n = 1; n <= g.count; ++n) {
        urls << base << ImageName(n) << "\n";
        cfg << "url = \"" << base << ImageName(n) << "\"\noutput = \"" << curlDir << "/"
            << ImageName(n) << "\"\n";
      }
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> tools;
    std::vector<std::string> curl = {
        "curl",     "-s",  "--parallel", "--parallel-max", std::to_string(g.curlParallel),
        "--config", config};
    std::vector<std::string> wget = {"wget", "-q", "-i", list, "-P", wgetDir};
    std::vector<std::string> aria = {"aria2c", "--no-conf", "-q", "-j",   "6",
                                     "-i",     list,        "-d", ariaDir};
    if (g.secure) {
      curl.insert(curl.begin() + 1, {"--cacert", cert});
      wget.push_back("--ca-certificate=" + cert);
      aria.push_back("--ca-certificate=" + cert);
    }
    tools.push_back({"curl --parallel-max " + std::to_string(g.curlParallel), curl});
    if (g.secure && g.curlParallel != 6) {
      std::vector<std::string> six = curl;
      *(std::find(six.begin(), six.end(), "--parallel-max") + 1) = "6";
      six.insert(six.begin() + 1, "--http1.1");
      tools.push_back({"curl --parallel-max 6 --http1.1", six});
    }
    tools.push_back({"wget -i", wget});
    tools.push_back({"aria2c -j 6", aria});
    for (std::size_t i = 0; i < tools.size(); ++i) {
      if (round == 0) runs.push_back({tools[i].first, {}, {}});
      bench::External run = bench::RunProgram(tools[i].second, kDeadlineSeconds);
      const std::string target = tools[i].first.rfind("curl", 0) == 0   ? curlDir
                                 : tools[i].first.rfind("wget", 0) == 0 ? wgetDir
                                                                        : ariaDir;
      if (run.ran) run.ok = run.ok && Verify(target, g.count, g.size);
      QDir(QString::fromStdString(curlDir)).removeRecursively();
      QDir().mkpath(QString::fromStdString(curlDir));
      (round == 0 ? runs[i].before : runs[i].after) = run;
    }
  }
  return runs;
}

std::string Ratio(double ours, double theirs) {
  if (ours <= 0 || theirs <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", ours / theirs);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return ChildMain(argc, argv);
  std::vector<int> only;
  bool toolsTwice = true;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      std::stringstream list(argv[++i]);
      std::string item;
      while (std::getline(list, item, ',')) only.push_back(std::atoi(item.c_str()));
    } else if (std::strcmp(argv[i], "--tools-once") == 0) {
      toolsTwice = false;
    } else {
      folder = argv[i];
    }
  }
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  std::string scratch;
  if (folder.empty()) {
    char name[] = "/tmp/pixvane-net-XXXXXX";
    if (::mkdtemp(name) == nullptr) return 2;
    folder = scratch = name;
  }
  QDir().mkpath(QString::fromStdString(folder));
  char exe[4096] = {};
  const ssize_t exeLength = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (exeLength <= 0) return 2;
  const std::string program(exe, static_cast<std::size_t>(exeLength));
  const std::string proxyProgram =
      program.substr(0, program.rfind('/') + 1) + "pixvane_delay_proxy";

  // ---- files, certificate, server, proxies --------------------------------------
  const std::string root = folder + "/www";
  WriteGallery(root + "/small", 500, 100 * 1024);
  if (only.empty() || std::count(only.begin(), only.end(), 2) > 0)
    WriteGallery(root + "/large", 200, 1024 * 1024);
  const std::string cert = folder + "/cert.pem", key = folder + "/key.pem";
  const std::string makeCert =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key + "' -out '" + cert + "' >/dev/null 2>&1";
  if (std::system(makeCert.c_str()) != 0) {
    std::fprintf(stderr, "bench_net: openssl could not make a certificate\n");
    return 2;
  }
  testnet::Nginx nginx;
  testnet::NginxOptions options;
  options.root = root;
  options.certFile = cert;
  options.keyFile = key;
  if (!nginx.Start(folder + "/nginx", options)) {
    std::fprintf(stderr, "bench_net: %s\n", nginx.Failure().c_str());
    return 2;
  }
  Child plainProxy, secureProxy;
  const int plainDelayed = testnet::ClosedPort(), secureDelayed = testnet::ClosedPort();
  if (!StartProxy(proxyProgram, plainDelayed, nginx.Port(), plainProxy) ||
      !StartProxy(proxyProgram, secureDelayed, nginx.TlsPort(), secureProxy)) {
    std::fprintf(stderr, "bench_net: cannot start %s\n", proxyProgram.c_str());
    return 2;
  }
  std::printf("nginx %d (HTTP) and %d (HTTPS, HTTP/2); delay proxies %d and %d, %d ms each way\n",
              nginx.Port(), nginx.TlsPort(), plainDelayed, secureDelayed, kOneWayDelayMs);

  bool allIdentical = true;
  for (int index = 0; index < 4; ++index) {
    if (!only.empty() && std::count(only.begin(), only.end(), index + 1) == 0) continue;
    const Gallery& g = kGalleries[index];
    const int port = g.delayed ? (g.secure ? secureDelayed : plainDelayed)
                               : (g.secure ? nginx.TlsPort() : nginx.Port());
    const std::string base = std::string(g.secure ? "https" : "http") +
                             "://127.0.0.1:" + std::to_string(port) + "/" + g.folder + "/";
    const std::string work = folder + "/run" + std::to_string(index + 1);
    QDir().mkpath(QString::fromStdString(work + "/pixvane"));

    std::vector<ToolRun> tools = RunTools(g, base, cert, work, false);
    const std::string out =
        Capture({program, "--child", base + "index.html", std::to_string(g.count),
                 std::to_string(g.size), g.secure ? cert : "-", work + "/pixvane"});
    if (toolsTwice) {
      std::vector<ToolRun> again = RunTools(g, base, cert, work + "/again", false);
      for (std::size_t i = 0; i < tools.size() && i < again.size(); ++i)
        tools[i].after = again[i].before;
    }
    std::map<std::string, double> f = ParseFigures(out);
    const bool identical = f["identical"] == 1;
    allIdentical = allIdentical && identical;
    const Before& was = kBefore[index];
    const double total = f.count("total") ? f["total"] : -1;
    const double curl = tools.front().Best();

    std::printf("\n== %d. %s: %d files, %s ==\n", index + 1, g.title, g.count, base.c_str());
    std::printf("  %-40s %9s %9s %9s %9s\n", "program (first click to last whole file)", "seconds",
                "before", "vs curl", "peak MB");
    std::printf("  %-40s %9.3f %9.3f %9s %9.1f   files %s%s\n", "Pixvane (window, headless)", total,
                was.seconds, Ratio(total, curl).c_str(), f["peak"],
                identical ? "identical" : "DIFFERENT", f["timedout"] == 1 ? ", TIMED OUT" : "");
    for (const ToolRun& t : tools)
      std::printf("  %-40s %9.3f %9s %9s %9.1f   files %s\n", t.name.c_str(), t.Best(), "",
                  Ratio(total, t.Best()).c_str(),
                  std::max(t.before.peakKb, t.after.peakKb) / 1024.0,
                  t.before.ok && (!toolsTwice || t.after.ok) ? "identical" : "DIFFERENT");
    std::printf("  target: Pixvane within %.2fx of curl --parallel-max %d: %s\n", g.target,
                g.curlParallel,
                total > 0 && curl > 0 && total <= g.target * curl ? "met" : "NOT met");
    std::printf(
        "  peak memory %.1f MB (before %.1f); longest window stall from Button14Click %.1f ms "
        "(before %.1f); during the page fetch %.1f ms\n",
        f["peak"], was.peakMb, f["stall"], was.stallMs, f["acquire_stall"]);
    std::printf(
        "  page and lists %.3f s; Button14Click to last whole file %.3f s; message at %.3f s\n",
        f["started"], total - f["started"], f["message"]);
    std::printf(
        "  window thread from Button14Click: busy %.2f s of %.2f s; hand-overs %.2f s in %.0f "
        "passes (%.2f s of it immediate paints), repaints %.2f s in %.0f, monitor %.2f s, other "
        "%.2f s in %.0f events\n",
        f["uicpu"], f["span"], f["handover"], f["handovers"], f["paints"], f["repaint"],
        f["repaints"], f["monitor"], f["other"], f["others"]);
    std::printf(
        "  progress events >= %.0f; one costs %.2f us in the window alone; process CPU %.2f s "
        "user + %.2f s system, %.0f + %.0f context switches\n",
        f["bar"], f["progress_us"], f["user"], f["sys"], f["vcsw"], f["icsw"]);
    for (std::size_t at = out.find("DETAIL"); at != std::string::npos;
         at = out.find("DETAIL", at + 1))
      std::printf("%s\n", out.substr(at + 6, out.find('\n', at) - at - 6).c_str());
    std::fflush(stdout);
  }
  nginx.Stop();
  if (!scratch.empty()) QDir(QString::fromStdString(scratch)).removeRecursively();
  return allIdentical ? 0 : 1;
}
