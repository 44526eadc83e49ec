// A second run moves nothing that is unchanged: 200 images of 1 MB served
// by nginx on 127.0.0.1 (which sends Last-Modified and ETag and answers
// conditional requests itself), downloaded through the download component
// into a folder, then once more into the complete folder, all components
// started at once as the batch start does. Prints the body bytes each run
// moved (counted as the worker reads them), the answers nginx logged, and
// the ratio; then curl -R/-z and wget -N on the same files.
//
// Usage: bench_again [folder]   (default: a new folder under /tmp)
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "Nginx.h"
#include "TargetFiles.h"

namespace {

constexpr int kFiles = 200;
constexpr std::size_t kFileBytes = 1024 * 1024;

inline char ByteAt(unsigned seed, std::size_t i) {
  return static_cast<char>((i * 131 + seed * 17 + (i >> 9)) & 0xFF);
}

std::string NameOf(int number) {
  std::string name("again");
  name += std::to_string(number);
  name += ".jpg";
  return name;
}

// "/" and the name, built by appending (see NameOf).
std::string UrlPathOf(int number) {
  std::string path("/");
  path += NameOf(number);
  return path;
}

void WriteImages(const std::string& root) {
  QDir().mkpath(QString::fromStdString(root));
  std::string bytes(kFileBytes, '\0');
  for (int n = 0; n < kFiles; ++n) {
    for (std::size_t i = 0; i < kFileBytes; ++i) bytes[i] = ByteAt(n, i);
    std::ofstream(root + "/" + NameOf(n), std::ios::binary) << bytes;
  }
}

bool AllIdentical(const std::string& folder) {
  for (int n = 0; n < kFiles; ++n)
    if (!bench::FileHolds(folder + "/" + NameOf(n), kFileBytes,
                          [n](std::size_t i) { return ByteAt(n, i); }))
      return false;
  return true;
}

// Modification time and inode of every file, to tell a rewritten file.
std::vector<std::pair<long, long>> Marks(const std::string& folder) {
  std::vector<std::pair<long, long>> marks;
  for (int n = 0; n < kFiles; ++n) {
    struct stat info {};
    ::stat((folder + "/" + NameOf(n)).c_str(), &info);
    marks.emplace_back(static_cast<long>(info.st_ino),
                       static_cast<long>(info.st_mtim.tv_nsec) + 1000000000L * info.st_mtim.tv_sec);
  }
  return marks;
}

struct OurRun {
  double seconds = 0;
  int done = 0, unchanged = 0, failed = 0;
  long long bytes = 0;  // body bytes the workers read
};

// Every address started at once, each request with the date tag the batch
// appends; the file records the address without it.
OurRun RunOurs(const testnet::Nginx& nginx, const std::string& folder, const std::string& tag) {
  OurRun run;
  QEventLoop loop;
  QObject owner;
  QElapsedTimer wall;
  wall.start();
  const auto ended = [&] {
    if (run.done + run.failed == kFiles) loop.quit();
  };
  for (int n = 0; n < kFiles; ++n) {
    auto* component = new THTTPGet(&owner);
    component->Origin = nginx.Url(UrlPathOf(n));
    component->URL = component->Origin + "?" + tag;
    component->FileName = folder + "/" + NameOf(n);
    component->OnProgress = [&](QObject* Sender, std::int32_t, std::int32_t) {
      run.bytes += static_cast<THTTPGetThread*>(Sender)->ChunkBytes;
    };
    component->OnDoneFile = [&run, ended, component](QObject*, const std::string& file,
                                                     std::int32_t) {
      // As the batch does: the whole file's sidecar goes at once.
      targetfiles::SweepWhole(file);
      ++run.done;
      if (component->Unchanged()) ++run.unchanged;
      ended();
    };
    component->OnError = [&](QObject*, const std::string& reason) {
      if (++run.failed == 1) std::fprintf(stderr, "failed: %s\n", reason.c_str());
      ended();
    };
    component->StartDownload();
  }
  if (run.done + run.failed < kFiles) loop.exec();
  run.seconds = wall.nsecsElapsed() / 1e9;
  while (THTTPGetThread::LiveCount() > 0) QCoreApplication::processEvents();
  return run;
}

// The answers nginx logged from entry "from" on: their count by status, and
// the body bytes they imply (a 200 carries a whole file, a 304 none).
struct Answers {
  std::map<int, int> byStatus;
  long long bytes = 0;
  std::size_t end = 0;
};
Answers AnswersSince(const testnet::Nginx& nginx, std::size_t from) {
  Answers answers;
  const std::vector<testnet::NginxHit> hits = nginx.Hits();
  for (std::size_t i = from; i < hits.size(); ++i) {
    ++answers.byStatus[hits[i].status];
    if (hits[i].status == 200) answers.bytes += kFileBytes;
  }
  answers.end = hits.size();
  return answers;
}

std::string Statuses(const Answers& a) {
  std::string text;
  for (const auto& [status, count] : a.byStatus)
    text += (text.empty() ? "" : ", ") + std::to_string(count) + " x " + std::to_string(status);
  return text;
}

double Percent(long long part, long long whole) {
  return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : -1;
}

// curl: one transfer after another from a config file; -R keeps the
// server's time, and the second run asks with -z against the file.
bench::External RunCurl(const testnet::Nginx& nginx, const std::string& folder, bool again) {
  const std::string config = folder + (again ? "/curl-again.conf" : "/curl.conf");
  std::ofstream out(config);
  for (int n = 0; n < kFiles; ++n) {
    const std::string file = folder + "/" + NameOf(n);
    out << "url = \"" << nginx.Url(UrlPathOf(n)) << "\"\noutput = \"" << file
        << "\"\nremote-time\n";
    if (again) out << "time-cond = \"" << file << "\"\n";
    if (n + 1 < kFiles) out << "next\n";
  }
  out.close();
  return bench::RunProgram({"curl", "-s", "-K", config});
}

bench::External RunWget(const testnet::Nginx& nginx, const std::string& folder) {
  const std::string list = folder + "/wget.list";
  std::ofstream out(list);
  for (int n = 0; n < kFiles; ++n) out << nginx.Url(UrlPathOf(n)) << "\n";
  out.close();
  return bench::RunProgram({"wget", "-q", "-N", "-P", folder, "-i", list});
}

void PrintRow(const char* name, double seconds, long long bytes, const std::string& answers) {
  std::printf("  %-28s %9.3f s %13lld bytes   %s\n", name, seconds, bytes, answers.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);
  inet::Library internetClient;  // the process's internet client, ended as main returns
  std::string folder = argc > 1 ? argv[1] : std::string();
  std::string scratch;
  if (folder.empty()) {
    char name[] = "/tmp/pixvane-again-XXXXXX";
    if (::mkdtemp(name) == nullptr) return 2;
    folder = scratch = name;
  }
  WriteImages(folder + "/www");
  testnet::Nginx nginx;
  testnet::NginxOptions options;
  options.root = folder + "/www";
  if (!nginx.Start(folder + "/nginx", options)) {
    std::fprintf(stderr, "bench_again: %s\n", nginx.Failure().c_str());
    return 2;
  }
  std::printf("%d files of %zu bytes from nginx on port %d\n", kFiles, kFileBytes, nginx.Port());

  const std::string ours = folder + "/pixvane";
  QDir().mkpath(QString::fromStdString(ours));
  const OurRun first = RunOurs(nginx, ours, "20261209");
  const Answers firstLog = AnswersSince(nginx, 0);
  const auto marks = Marks(ours);
  const OurRun second = RunOurs(nginx, ours, "20261210");
  const Answers secondLog = AnswersSince(nginx, firstLog.end);
  const bool untouched = Marks(ours) == marks && AllIdentical(ours);

  std::printf("\n  %-28s %11s %19s   %s\n", "run", "time", "body bytes", "nginx answers");
  PrintRow("Pixvane, first run", first.seconds, first.bytes, Statuses(firstLog));
  PrintRow("Pixvane, second run", second.seconds, second.bytes, Statuses(secondLog));
  std::printf("  second run: %d done, %d unchanged, %d failed; files %s\n", second.done,
              second.unchanged, second.failed,
              untouched ? "identical and untouched (same inode and mtime)" : "CHANGED");
  const double percent = Percent(second.bytes, first.bytes);
  std::printf("  second run moved %.4f %% of the first run's bytes (target: under 1 %%): %s\n",
              percent, percent >= 0 && percent < 1.0 && first.failed == 0 ? "met" : "NOT met");

  // The other programs, their bytes as implied by the answers nginx logged.
  std::printf("\n  %-28s %11s %19s   %s\n", "program", "time", "bytes (from log)", "answers");
  std::size_t at = secondLog.end;
  for (const char* tool : {"curl", "wget"}) {
    const std::string work = folder + "/" + tool;
    QDir().mkpath(QString::fromStdString(work));
    const bool isCurl = std::string(tool) == "curl";
    const bench::External once = isCurl ? RunCurl(nginx, work, false) : RunWget(nginx, work);
    const Answers onceLog = AnswersSince(nginx, at);
    const bench::External twice = isCurl ? RunCurl(nginx, work, true) : RunWget(nginx, work);
    const Answers twiceLog = AnswersSince(nginx, onceLog.end);
    at = twiceLog.end;
    if (!once.ran) {
      std::printf("  %s: not installed\n", tool);
      continue;
    }
    const std::string label = isCurl ? "curl -R, then -z" : "wget -N";
    PrintRow((label + ", first").c_str(), once.seconds, onceLog.bytes, Statuses(onceLog));
    PrintRow((label + ", second").c_str(), twice.seconds, twiceLog.bytes, Statuses(twiceLog));
    std::printf("  %s second run moved %.4f %%; Pixvane's second run took %.2fx its time\n", tool,
                Percent(twiceLog.bytes, onceLog.bytes),
                twice.seconds > 0 ? second.seconds / twice.seconds : -1);
  }
  nginx.Stop();
  if (!scratch.empty()) QDir(QString::fromStdString(scratch)).removeRecursively();
  return untouched && first.failed == 0 && second.failed == 0 ? 0 : 1;
}
