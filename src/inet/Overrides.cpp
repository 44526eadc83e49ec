#include "Overrides.h"

#include <atomic>
#include <mutex>

namespace inet::detail {

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

void SetTimeoutOverrides(long connectMs, long idleMs) {
  Current().connectMs = connectMs;
  Current().idleMs = idleMs;
}
void SetCaFileOverride(const std::string& path) {
  std::lock_guard<std::mutex> lock(Current().caMutex);
  Current().caFile = path;
}

}  // namespace inet::detail
