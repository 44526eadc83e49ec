// Large batches against nginx, started the way the window starts them: one
// component per address, one after another with the pending events run
// between, each releasing itself at its end. The batch must flow: a finished
// file at least every second while the server answers, and the server's
// kept-alive connections reused rather than thousands opened. Prints each
// run's figures; no address waiting for a connection holds a thread of its
// own. PIXVANE_FLOW_RUNS and PIXVANE_FLOW_ADDRESSES change the
// number of runs and their size (10,000 as a large batch of the window).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "HTTPGet.h"
#include "ImageRequest.h"
#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "Nginx.h"
#include "Sandbox.h"
#include "WorkerPool.h"

namespace {

constexpr std::size_t kImageBytes = 10 * 1024;
constexpr int kAddresses = 2000;
// Under the sanitizers a run costs several times as much: fewer runs there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRuns = 4;
#else
constexpr int kRuns = 20;
#endif
// The longest a batch may go without a finished file while nginx answers.
constexpr qint64 kLongestPauseMs = 1000;
// A batch is given up when it has not ended after 10 ms per address, 20 s
// at least (a stall would otherwise hold the test until the idle time limit).
int DeadlineMs(int count) {
  return std::max(20000, count * 10);
}

int Knob(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

std::string ImageName(int n) {
  return "p" + std::to_string(n) + ".jpg";
}

// Where the batches write: in memory where the system offers it, so that a
// run measures the network and the workers rather than the file system
// creating and deleting 4,000 files (on ext4 that alone takes seconds).
QString BatchRoot() {
  const QString memory = QStringLiteral("/dev/shm");
  return (QFileInfo(memory).isDir() && QFileInfo(memory).isWritable() ? memory : QDir::tempPath()) +
         QStringLiteral("/pixvane-flow-XXXXXX");
}

// Sockets of the port in TIME-WAIT, as ss lists them.
int TimeWaitSockets(int port) {
  const std::string command = "ss -Htan state time-wait '( sport = :" + std::to_string(port) +
                              " or dport = :" + std::to_string(port) + " )' 2>/dev/null | wc -l";
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
  int count = -1;
  if (pipe && std::fscanf(pipe.get(), "%d", &count) != 1) count = -1;
  return count;
}

// Threads of this process alive right now.
int ThreadsAlive() {
  std::error_code error;
  const std::filesystem::directory_iterator tasks("/proc/self/task", error);
  return error ? -1 : static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

struct RunFigures {
  int done = 0, failed = 0;
  int mostThreads = 0;  // of the process, sampled while the batch runs
  qint64 longestPauseMs = 0, totalMs = 0;
  bool ended = false;
  std::string firstFailure;
};

class BatchFlowTest : public SandboxTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testnet::Nginx::Program().empty()) << "nginx missing: run scripts/deps";
    ASSERT_TRUE(batches_.isValid()) << batches_.errorString().toStdString();
  }

  // Runs one batch of count addresses into a folder of its own, removed
  // afterwards. Each component releases itself when its download has ended,
  // as the window's do; the ones left are released with owner.
  RunFigures RunBatch(int run, int count, int port) {
    const QString folderName = batches_.filePath(QString::number(run));
    QDir().mkpath(folderName);
    const std::string folder = folderName.toStdString() + "/";
    QObject owner;
    RunFigures figures;
    QElapsedTimer clock, sinceFile;
    clock.start();
    sinceFile.start();
    for (int n = 0; n < count; ++n) {
      auto* download = new THTTPGet(&owner);
      download->BinaryData = true;
      download->UseCache = false;
      download->Agent = kImageAgent;
      download->AcceptTypes = kImageAcceptTypes;
      download->URL = "http://127.0.0.1:" + std::to_string(port) + "/" + ImageName(n);
      download->FileName = folder + ImageName(n);
      download->OnProgress = [](QObject*, std::int32_t, std::int32_t) {};
      download->OnDoneFile = [&](QObject* sender, const std::string&, std::int32_t) {
        ++figures.done;
        figures.longestPauseMs = std::max(figures.longestPauseMs, sinceFile.restart());
        sender->deleteLater();
      };
      download->OnError = [&](QObject* sender, const std::string& reason) {
        if (figures.failed++ == 0) figures.firstFailure = reason;
        figures.longestPauseMs = std::max(figures.longestPauseMs, sinceFile.restart());
        sender->deleteLater();
      };
      QCoreApplication::processEvents();
      download->StartDownload();
      if (n % 50 == 0) figures.mostThreads = std::max(figures.mostThreads, ThreadsAlive());
    }
    sinceFile.restart();  // the pauses count from the last start
    bool reported = false;
    figures.ended = WaitUntil(
        [&] {
          if (!reported && sinceFile.elapsed() > 2 * kLongestPauseMs) {
            reported = true;
            std::fprintf(stderr,
                         "run %d stalls at %d of %d: %d workers alive, %d connections open, "
                         "%d in TIME-WAIT\n",
                         run, figures.done + figures.failed, count, THTTPGetThread::LiveCount(),
                         inet::testing::OpenSockets("127.0.0.1", port), TimeWaitSockets(port));
          }
          figures.mostThreads = std::max(figures.mostThreads, ThreadsAlive());
          return figures.done + figures.failed == count;
        },
        DeadlineMs(count));
    figures.longestPauseMs = std::max(figures.longestPauseMs, sinceFile.elapsed());
    figures.totalMs = clock.elapsed();
    QDir(folderName).removeRecursively();
    return figures;
  }

  QTemporaryDir batches_{BatchRoot()};
};

TEST_F(BatchFlowTest, ManyAddressesFromNginxNeverPauseAndReuseTheConnections) {
  const int runs = Knob("PIXVANE_FLOW_RUNS", kRuns);
  const int count = Knob("PIXVANE_FLOW_ADDRESSES", kAddresses);
  for (int n = 0; n < count; ++n)
    WriteFile("www/" + ImageName(n), testnet::PatternBytes(kImageBytes, static_cast<unsigned>(n)));
  testnet::NginxOptions options;
  options.root = PathOf("www");
  testnet::Nginx nginx;
  ASSERT_TRUE(nginx.Start(PathOf("nginx"), options)) << nginx.Failure();

  // Network connections one batch may use: six at a time, a new one each
  // time nginx ends one after its 1,000th request, and six more that a run
  // may share with the one before; thousands when they are not reused.
  const std::size_t mostConnections =
      2 * inet::kMaxConnectionsPerServer + count / options.keepaliveRequests;
  // Threads a batch may add: the network thread and the download pool's,
  // one per connection of the one server.
  const int threadsBefore = ThreadsAlive();
  ASSERT_GT(threadsBefore, 0);
  const int mostThreads = threadsBefore + 1 + inet::kMaxConnectionsPerServer;
  for (int run = 0; run < runs; ++run) {
    const std::size_t hitsBefore = nginx.Hits().size();
    const RunFigures figures = RunBatch(run, count, nginx.Port());
    std::set<long> connections;
    const std::vector<testnet::NginxHit> hits = nginx.Hits();
    for (std::size_t i = hitsBefore; i < hits.size(); ++i) connections.insert(hits[i].connection);
    std::fprintf(stderr,
                 "run %d: %d done, %d failed in %lld ms, longest pause %lld ms, %zu "
                 "connections, %d threads at most\n",
                 run, figures.done, figures.failed, static_cast<long long>(figures.totalMs),
                 static_cast<long long>(figures.longestPauseMs), connections.size(),
                 figures.mostThreads);
    EXPECT_TRUE(figures.ended) << "run " << run;
    EXPECT_EQ(figures.done, count) << "run " << run << ": " << figures.firstFailure;
    EXPECT_LE(figures.longestPauseMs, kLongestPauseMs) << "run " << run;
    EXPECT_LE(connections.size(), mostConnections) << "run " << run;
    EXPECT_LE(figures.mostThreads, mostThreads) << "run " << run;
    EXPECT_LE(workerpool::ThreadsAlive(), inet::kMaxConnectionsPerServer) << "run " << run;
    if (!figures.ended) break;
  }
}

}  // namespace
