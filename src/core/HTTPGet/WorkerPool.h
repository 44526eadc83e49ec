// The threads the download workers run on, and each server's admission.
//
// A worker holds a thread only while it has a request slot of its server:
// the six connections of an HTTP/1.1 server, or the hundred streams of an
// HTTP/2 one (as the internet session reports them). Workers beyond that
// wait in their server's line as plain entries, holding no thread, no
// connection and no curl handle, so that a batch of 10,000 addresses costs
// as many threads as the session can carry requests at once, not 10,000.
// Threads are started as admitted workers need them, never more than
// kMaxThreads, and end after kIdleLinger without work.
//
// Why a pool sized to the slots and not one thread per address or one event
// loop for all: a worker's steps block (the request, file writes), so each
// running worker needs a thread; a worker past its server's slots would only
// block in the session's line, so it is not given one.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace workerpool {

// Threads the pool may run at once, all servers together.
inline constexpr int kMaxThreads = 128;
// How long a thread without work waits for the next before it ends.
inline constexpr std::chrono::seconds kIdleLinger{2};

struct Job {
  std::string server;              // the line it waits in ("host:port")
  std::function<int()> capacity;   // requests the server carries at once
  std::function<void()> run;       // runs on a pool thread
  std::function<void()> noThread;  // called instead when no thread can be had
};

// Queues the job in its server's line; it runs on a pool thread once the
// server has a free slot. When the system refuses a thread and the pool has
// none running, noThread is called (on the submitting or a pool thread).
void Submit(Job job);

// Threads of the pool alive right now.
int ThreadsAlive();

}  // namespace workerpool
