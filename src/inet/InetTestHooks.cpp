#include "InetTestHooks.h"

#include <atomic>
#include <mutex>

#include "Address.h"
#include "Settings.h"
#include "SocketTally.h"

namespace inet {

namespace {

// Allocated once and never freed, so that a worker still running while the
// process exits never meets a destroyed object.
struct Overrides {
  std::atomic<long> connectMs{0};
  std::atomic<long> idleMs{0};
  std::mutex caMutex;
  std::string caFile;
};

Overrides& Current() {
  static Overrides* overrides = new Overrides;
  return *overrides;
}

}  // namespace

namespace detail {

long ConnectTimeoutOverrideMs() {
  return Current().connectMs;
}
long IdleTimeoutOverrideMs() {
  return Current().idleMs;
}
std::string CaFileOverride() {
  std::lock_guard<std::mutex> lock(Current().caMutex);
  return Current().caFile;
}

}  // namespace detail

namespace testing {

void SetTimeouts(long connectMs, long idleMs) {
  Current().connectMs = connectMs;
  Current().idleMs = idleMs;
}
long ConnectTimeoutMs() {
  return Current().connectMs;
}
long IdleTimeoutMs() {
  return Current().idleMs;
}

void SetCaFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Current().caMutex);
  Current().caFile = path;
}

int OpenSockets(const std::string& host, int port) {
  return detail::TallyFor(detail::ServerKey(host, port)).open;
}
int PeakSockets(const std::string& host, int port) {
  return detail::TallyFor(detail::ServerKey(host, port)).peak;
}
int SlotsInUse(const std::string& host, int port) {
  return OpenSockets(host, port);
}

}  // namespace testing

}  // namespace inet
