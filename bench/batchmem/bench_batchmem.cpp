// Memory of one large batch through the real window, headless: 10,000
// addresses of 10 KB images, and 10,000 addresses that all answer 404, each
// imported (Button5Click) and started (Button14Click) until the batch has
// ended; the 404s are then imported and started once more, to show whether
// memory grows from one batch to the next. (The images are not run twice: a
// batch of 10,000 images takes many minutes, most of it with thousands of
// workers waiting for the server's six connection slots.) Every kind of
// batch runs in a child process of its own, so that each peak is its own.
//
// Prints, per kind: the peak memory after the first and after the second
// batch, the memory still held when the batches have ended (after handing freed
// memory back to the system), the download components still alive, and the
// figures measured before components were released at the end of their
// download, for comparison.
//
// Usage: bench_batchmem [COUNT]                both kinds, each in a child
//                                              process (COUNT addresses,
//                                              default 10000)
//        bench_batchmem --batch KIND COUNT     one kind (images or missing)
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <httplib.h>

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
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "LocalServer.h"
#include "Seam.h"
#include "Unit1.h"

namespace {

constexpr int kDefaultAddresses = 10000;
constexpr std::size_t kImageBytes = 10 * 1024;

// What a child reports, one line of "key=value" fields.
struct Figures {
  long peak1Kb = -1, peak2Kb = -1, heldKb = -1;
  long components1 = -1, components2 = -1, left = -1;
  long peakWorkers = 0, peakFiles = 0;
  double seconds = 0;
  bool ended = false;
};

// The same runs of 10,000 addresses on the commit before download components
// were released at the end of their download (2 cores, RelWithDebInfo).
const char kBeforeImages[] =
    "the batch process aborted: every waiting worker held 3 open files, and at the limit of "
    "20,000 GLib ended it (\"Creating pipes for GWakeup: Too many open files\"); with 5,000 "
    "addresses: peak 231.3 MB, 236.5 MB after the same list again, 153.7 MB held, 5,000 and "
    "10,000 components alive, 351.6 s";
const char kBeforeMissing[] =
    "peak 102.2 MB, 107.9 MB after the same list again, 93.3 MB held, 10,000 and 20,000 "
    "components alive, 18.2 s";

class TCountingSeam : public TSilentShellSeam {
 public:
  void MessageBox(QWidget*, const QString&) override { ++Messages; }
  int Messages = 0;
};

inline char ByteAt(int n, std::size_t i) {
  return static_cast<char>((i * 131 + static_cast<std::size_t>(n) * 17 + (i >> 9)) & 0xFF);
}

// Open file descriptors, counted without looking at any of them.
long OpenFiles() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  long count = 0;
  while (const dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  closedir(dir);
  return count - 1;  // the descriptor of the listing itself
}

long ComponentsOf(const TForm1& form) {
  return static_cast<long>(form.findChildren<THTTPGet*>().size());
}

// Runs events until the batch has ended: every worker gone, and either a
// message shown or a list that no tick changes for 2.5 s (a monitor that
// never stops on its own). False at the deadline.
bool WaitForTheEnd(TForm1& form, const TCountingSeam& seam, int messagesBefore) {
  QElapsedTimer total, quiet;
  total.start();
  quiet.start();
  int count = form.ListBox_Download->count();
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
    if (form.ListBox_Download->count() != count || THTTPGetThread::LiveCount() > 0) {
      count = form.ListBox_Download->count();
      quiet.restart();
    }
    if (THTTPGetThread::LiveCount() == 0 &&
        (seam.Messages > messagesBefore || quiet.elapsed() > 2500))
      return true;
    if (total.elapsed() > 3600000) return false;
  }
}

int RunBatch(const QString& kind, int count) {
  QTemporaryDir scratch(QDir::tempPath() + "/pixvane-batchmem-XXXXXX");
  const QString root = scratch.path();
  const QString programFolder = root + "/program";
  for (const QString& folder : {programFolder, root + "/desktop"}) QDir().mkpath(folder);
  {
    QFile launcher(programFolder + "/pixvane");
    if (launcher.open(QIODevice::WriteOnly)) launcher.write("#!/bin/sh\n");
  }
  qputenv("XDG_DESKTOP_DIR", (root + "/desktop").toLocal8Bit());

  testnet::LocalServer server;
  server->new_task_queue = [] { return new httplib::ThreadPool(8); };
  server->set_tcp_nodelay(true);
  server->Get(R"(/img/p(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
    const int n = std::stoi(req.matches[1]);
    res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
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
  server->Get(R"(/gone/.*)", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("<html>not found</html>", "text/html");
  });
  if (!server.Start()) {
    std::fprintf(stderr, "bench_batchmem: the local server on 127.0.0.1 did not start\n");
    return 1;
  }
  const int port = server.Port();

  const QString base = QStringLiteral("http://127.0.0.1:%1/%2/p")
                           .arg(port)
                           .arg(kind == QLatin1String("images") ? "img" : "gone");
  QStringList addresses;
  addresses.reserve(count);
  for (int i = 0; i < count; ++i) addresses << base + QString::number(i) + ".jpg";

  Figures figures;
  {
    TCountingSeam seam;
    TForm1Options options;
    options.Seam = &seam;
    options.ExecutablePath = programFolder + "/pixvane";
    TForm1 form(options);
    form.FileName->setText(QStringLiteral("batch"));
    form.Memo2->setPlainText(addresses.join(QLatin1Char('\n')));
    QElapsedTimer clock;
    clock.start();
    QTimer sampler;
    sampler.setInterval(200);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
      figures.peakWorkers = std::max<long>(figures.peakWorkers, THTTPGetThread::LiveCount());
      figures.peakFiles = std::max(figures.peakFiles, OpenFiles());
    });
    sampler.start();
    bool ended = true;
    const int rounds = kind == QLatin1String("images") ? 1 : 2;
    for (int round = 1; round <= rounds; ++round) {
      const int messages = seam.Messages;
      form.Button5->click();
      form.Button14->click();
      ended = WaitForTheEnd(form, seam, messages) && ended;
      (round == 1 ? figures.peak1Kb : figures.peak2Kb) = bench::PeakRssKb();
      (round == 1 ? figures.components1 : figures.components2) = ComponentsOf(form);
    }
    figures.seconds = clock.nsecsElapsed() / 1e9;
    figures.left = form.ListBox_Download->count();
    figures.ended = ended;
    malloc_trim(0);
    figures.heldKb = bench::CurrentRssKb();
  }
  server.Stop();
  std::printf(
      "peak1=%ld peak2=%ld held=%ld components1=%ld components2=%ld left=%ld workers=%ld "
      "files=%ld seconds=%.1f ended=%d\n",
      figures.peak1Kb, figures.peak2Kb, figures.heldKb, figures.components1, figures.components2,
      figures.left, figures.peakWorkers, figures.peakFiles, figures.seconds, figures.ended ? 1 : 0);
  return figures.ended ? 0 : 1;
}

Figures Parse(const QByteArray& output) {
  Figures figures;
  for (const QByteArray& field : output.trimmed().split(' ')) {
    const QList<QByteArray> pair = field.split('=');
    if (pair.size() != 2) continue;
    const QByteArray& key = pair[0];
    const QByteArray& value = pair[1];
    if (key == "peak1") figures.peak1Kb = value.toLong();
    if (key == "peak2") figures.peak2Kb = value.toLong();
    if (key == "held") figures.heldKb = value.toLong();
    if (key == "components1") figures.components1 = value.toLong();
    if (key == "components2") figures.components2 = value.toLong();
    if (key == "left") figures.left = value.toLong();
    if (key == "workers") figures.peakWorkers = value.toLong();
    if (key == "files") figures.peakFiles = value.toLong();
    if (key == "seconds") figures.seconds = value.toDouble();
    if (key == "ended") figures.ended = value == "1";
  }
  return figures;
}

double Mb(long kb) {
  return kb / 1024.0;
}

bool Report(const char* title, const QString& kind, int count, const char* before) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--batch"), kind, QString::number(count)});
  child.waitForFinished(-1);
  const Figures f = Parse(child.readAllStandardOutput());
  std::printf("%s (%d addresses, whole process with the server):\n", title, count);
  if (f.peak1Kb < 0) {
    std::printf("  no figures: the batch process ended early (exit %d)\n", child.exitCode());
  } else {
    if (f.peak2Kb < 0)
      std::printf("  peak memory: %.1f MB\n", Mb(f.peak1Kb));
    else
      std::printf(
          "  peak memory: %.1f MB after the first batch, %.1f MB after the same list "
          "again\n",
          Mb(f.peak1Kb), Mb(f.peak2Kb));
    std::printf("  memory held when the batches have ended: %.1f MB\n", Mb(f.heldKb));
    if (f.components2 < 0)
      std::printf("  download components alive after the batch: %ld\n", f.components1);
    else
      std::printf("  download components alive after each batch: %ld, %ld\n", f.components1,
                  f.components2);
    std::printf("  most workers alive at once: %ld; most open files: %ld\n", f.peakWorkers,
                f.peakFiles);
    std::printf("  addresses left in the list: %ld; %.1f s in all%s\n", f.left, f.seconds,
                f.ended ? "" : "; DID NOT END");
  }
  if (count == kDefaultAddresses) std::printf("  before: %s\n", before);
  return f.ended;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  qInstallMessageHandler(bench::QuietOffscreenWarnings);
  inet::GlobalInit();
  QApplication app(argc, argv);
  // Failed downloads are counted here, not listed.
  QLoggingCategory::setFilterRules(QStringLiteral("pixvane.download.warning=false"));
  if (argc == 4 && std::strcmp(argv[1], "--batch") == 0)
    return RunBatch(QString::fromLatin1(argv[2]), std::atoi(argv[3]));
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultAddresses;
  const bool images = Report("10 KB images", QStringLiteral("images"), count, kBeforeImages);
  const bool missing =
      Report("addresses that answer 404", QStringLiteral("missing"), count, kBeforeMissing);
  return images && missing ? 0 : 1;
}
