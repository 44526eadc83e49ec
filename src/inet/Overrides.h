// The overrides in force of what a session would choose: time limits and a
// file of trusted certificates. Only the test hooks (InetTestHooks.h, a
// library of their own that only tests, benchmarks and tools link) set them;
// in the programs they keep their defaults, which leave every session's own
// choice in force. Read when a request is configured.
#pragma once

#include <string>

namespace inet::detail {

// The override in force, or 0 when the session's own limit applies.
long ConnectTimeoutOverrideMs();
long IdleTimeoutOverrideMs();
// The trusted-certificate file in force; empty: the system store.
std::string CaFileOverride();

// What the test hooks set; 0 and empty restore the defaults.
void SetTimeoutOverrides(long connectMs, long idleMs);
void SetCaFileOverride(const std::string& path);

}  // namespace inet::detail
