// What the download benchmarks share: memory figures from /proc, running an
// external downloader to its end, checking downloaded files byte for byte,
// and keeping the offscreen platform's chatter out of the printed figures.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// A "Name:   1234 kB" field of a /proc status file, in kB; -1 when absent.
inline long StatusFieldKb(const std::string& file, const char* field) {
  std::ifstream status(file);
  std::string line;
  const std::string key(field);
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

inline long PeakRssKb() {
  return StatusFieldKb("/proc/self/status", "VmHWM:");
}
inline long CurrentRssKb() {
  return StatusFieldKb("/proc/self/status", "VmRSS:");
}

// True when the file holds exactly size bytes, byte i being byteAt(i).
template <typename ByteAt>
bool FileHolds(const std::string& path, std::size_t size, ByteAt byteAt) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(1 << 16);
  std::size_t offset = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i)
      if (buffer[i] != byteAt(offset + i)) return false;
    offset += got;
  }
  return offset == size;
}

struct External {
  bool ran = false;
  double seconds = 0;
  long peakKb = 0;
  bool ok = false;
};

// Runs a program to its end with its output discarded: wall time, and its
// peak memory read from /proc while it runs (the kernel's own figure for a
// child also carries the parent's peak across exec). A program still running
// after deadlineSeconds is ended by its process id and counts as failed.
inline External RunProgram(const std::vector<std::string>& args, double deadlineSeconds = 300) {
  using Clock = std::chrono::steady_clock;
  External result;
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const auto start = Clock::now();
  const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  int status = 0;
  bool killed = false;
  for (;;) {
    const long hwm = StatusFieldKb("/proc/" + std::to_string(pid) + "/status", "VmHWM:");
    if (hwm > result.peakKb) result.peakKb = hwm;
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (!killed && elapsed() > deadlineSeconds) {
      kill(pid, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.ran = true;
  result.seconds = elapsed();
  result.ok = !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

// Message handler that drops the offscreen platform's notices and debug
// output, so only real warnings appear between the figures.
inline void QuietOffscreenWarnings(QtMsgType type, const QMessageLogContext&,
                                   const QString& message) {
  if (message.contains(QLatin1String("propagateSizeHints"))) return;
  if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace bench
