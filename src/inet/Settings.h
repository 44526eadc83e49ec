// What the parts of the internet client layer share beyond a transfer: the
// test overrides in force (set through InetTestHooks.h), read when a request
// is configured.
#pragma once

#include <string>

namespace inet::detail {

// The override in force, or 0 when the session's own limit applies.
long ConnectTimeoutOverrideMs();
long IdleTimeoutOverrideMs();
// The trusted-certificate file in force; empty: the system store.
std::string CaFileOverride();

}  // namespace inet::detail
