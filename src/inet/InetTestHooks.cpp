#include "InetTestHooks.h"

#include "Address.h"
#include "Overrides.h"
#include "SocketTally.h"

namespace inet::testing {

void SetTimeouts(long connectMs, long idleMs) {
  detail::SetTimeoutOverrides(connectMs, idleMs);
}
long ConnectTimeoutMs() {
  return detail::ConnectTimeoutOverrideMs();
}
long IdleTimeoutMs() {
  return detail::IdleTimeoutOverrideMs();
}

void SetCaFile(const std::string& path) {
  detail::SetCaFileOverride(path);
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

}  // namespace inet::testing
