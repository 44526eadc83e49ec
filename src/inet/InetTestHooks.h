// What only tests, benchmarks and tools may call on the internet client
// layer: process-wide overrides of what a session would choose, and counters
// of the network connections. Production code never includes this header:
// it is the library pixvane_inet_testhooks, which only tests (through the
// shared test main), benchmarks and tools link.
#pragma once

#include <string>

namespace inet::testing {

// Time limits, in milliseconds, that replace every session's own for
// requests sent afterwards; 0 leaves a session's own limit in force.
void SetTimeouts(long connectMs, long idleMs);
// The overrides in force; 0 where there is none.
long ConnectTimeoutMs();
long IdleTimeoutMs();

// A file of trusted certificates used in place of the system CA store, for
// requests sent afterwards; empty restores the system store. For tests and
// benchmarks with a throw-away certificate; the system's store is never
// touched. A connection or TLS session made under one set of trusted
// certificates is never reused under another.
void SetCaFile(const std::string& path);

// Network connections that requests on Connections to host:port hold open
// right now (carrying a request or kept alive for the next), and the most
// ever open at the same moment (host compared without regard to letter case).
int OpenSockets(const std::string& host, int port);
int PeakSockets(const std::string& host, int port);
// The same figure as OpenSockets: the server's connection slots in use.
int SlotsInUse(const std::string& host, int port);

}  // namespace inet::testing
