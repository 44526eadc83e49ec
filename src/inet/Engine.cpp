#include "Engine.h"

#include <pthread.h>

#include <array>
#include <new>

#include "Inet.h"
#include "Limits.h"
#include "Reasons.h"

namespace inet::detail {

namespace {

// The share handle is used by the network thread only; its locks guard it
// all the same, should curl touch it from a handle being released elsewhere.
std::array<std::mutex, CURL_LOCK_DATA_LAST>& ShareLocks() {
  static auto* locks = new std::array<std::mutex, CURL_LOCK_DATA_LAST>;
  return *locks;
}
void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
  ShareLocks()[static_cast<std::size_t>(data)].lock();
}
void UnlockShare(CURL*, curl_lock_data data, void*) {
  ShareLocks()[static_cast<std::size_t>(data)].unlock();
}

}  // namespace

Engine::Engine(std::shared_ptr<const CurlGlobal> curl) : curl_(std::move(curl)) {
  net_.share = curl_share_init();
  if (net_.share == nullptr) throw std::bad_alloc();
  curl_share_setopt(net_.share, CURLSHOPT_LOCKFUNC, &LockShare);
  curl_share_setopt(net_.share, CURLSHOPT_UNLOCKFUNC, &UnlockShare);
  curl_share_setopt(net_.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  curl_share_setopt(net_.share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  NewMulti();
  thread_ = std::thread([this] { Loop(); });
  pthread_setname_np(thread_.native_handle(), "pixvane-net");
}

// Made by the constructor before the loop starts, then by the network thread.
void Engine::NewMulti() {
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) throw std::bad_alloc();
  curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                    static_cast<long>(kMaxConnectionsPerServer));
  curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
  curl_multi_setopt(multi, CURLMOPT_MAX_CONCURRENT_STREAMS, kStreamsPerConnection);
  // Kept-alive connections of many servers; curl's own size follows the
  // transfers attached, which a server's line keeps few.
  curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kKeptConnections);
  CURLM* old = net_.multi;
  net_.multi = multi;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shared_.wakeTarget = multi;
  }
  if (old != nullptr) curl_multi_cleanup(old);  // closes the connections it kept
}

Engine::~Engine() {
  Stop();
}

void Engine::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shared_.quit) {
      shared_.quit = true;
      curl_multi_wakeup(shared_.wakeTarget);
    }
  }
  if (thread_.joinable()) thread_.join();
  // The network thread has let go of every handle: they are released here.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shared_.wakeTarget = nullptr;
  }
  if (net_.multi != nullptr) curl_multi_cleanup(net_.multi);
  if (net_.share != nullptr) curl_share_cleanup(net_.share);
  net_.multi = nullptr;
  net_.share = nullptr;
}

bool Engine::Stopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_.closed;
}

// --- Called by the requests' threads ---------------------------------------------

void Engine::Post(Command command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!shared_.closed) {
      shared_.commands.push_back(std::move(command));
      if (!shared_.wakePending) {
        shared_.wakePending = true;
        curl_multi_wakeup(shared_.wakeTarget);
      }
      return;
    }
  }
  // The network thread has ended: a transfer started now ends at once, one
  // removed goes with the command, and there is nothing to resume.
  if (command.kind == Kind::kAdd) {
    const auto lock = command.transfer->Lock();
    command.transfer->End(lock, CURLE_FAILED_INIT, reason::kNotStarted);
  }
}

void Engine::Start(Transfer& transfer) {
  Post({Kind::kAdd, &transfer, nullptr});
}

void Engine::Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
                  const std::function<bool()>& ready) {
  Transfer::Shared& shared = transfer.Locked(lock);
  shared.waiting = true;
  transfer.changed.wait(lock, [&] { return shared.done || ready(); });
  shared.waiting = false;
}

void Engine::Resume(Transfer& transfer) {
  Post({Kind::kResume, &transfer, nullptr});
}

void Engine::Finish(std::unique_ptr<Transfer> transfer) {
  // The stop flag belongs to the request's owner, which may go at once.
  {
    const auto lock = transfer->Lock();
    transfer->Locked(lock).stop = nullptr;
  }
  Transfer* released = transfer.get();
  Post({Kind::kRemove, released, std::move(transfer)});
}

void Engine::ConnectionOpened() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++shared_.liveConnections;
}

// The network connections close once no Connection has been alive for
// kLinger (CloseWhenUnused, at every scan while there are servers).
void Engine::ConnectionClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (--shared_.liveConnections == 0) shared_.lastConnectionGone = Clock::now();
}

int Engine::RequestsAtOnce(const std::string& serverKey) {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_.multiplexed.contains(serverKey) ? static_cast<int>(kStreamsPerConnection)
                                                 : kMaxConnectionsPerServer;
}

// --- The network thread --------------------------------------------------------------

void Engine::Loop() {
  networkThread_ = std::this_thread::get_id();
  for (;;) {
    std::vector<Command> commands;
    bool quit = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      commands.swap(shared_.commands);
      shared_.wakePending = false;
      quit = shared_.closed = shared_.quit;
    }
    if (quit) {
      Close(std::move(commands));
      return;
    }
    for (Command& command : commands) Apply(command);
    int running = 0;
    curl_multi_perform(net_.multi, &running);
    Collect();
    SettleProbes();
    const auto now = Clock::now();
    if (now >= net_.nextScan) {
      Scan(now);
      CloseWhenUnused(now);
      net_.nextScan = now + kScanInterval;
    }
    const auto untilScan =
        std::chrono::duration_cast<std::chrono::milliseconds>(net_.nextScan - now).count();
    const bool idle = net_.active.empty() && net_.servers.empty();
    const int timeoutMs = idle ? kIdleLoopWaitMs : static_cast<int>(std::max<long>(1, untilScan));
    {
      // Never sleep while commands wait. One posted since they were taken
      // woke the multi handle of that moment, which NewMulti may have
      // replaced since; and while wakePending is set no later Post wakes
      // again, so the loop would sleep its whole time-out (60 s when idle)
      // with every request in line behind it.
      std::lock_guard<std::mutex> lock(mutex_);
      if (!shared_.commands.empty()) continue;
    }
    curl_multi_poll(net_.multi, nullptr, 0, timeoutMs, nullptr);
  }
}

void Engine::Apply(Command& command) {
  Transfer* transfer = command.transfer;
  switch (command.kind) {
    case Kind::kAdd:
      net_.owned.insert(transfer);
      Add(*transfer);
      break;
    case Kind::kResume: {
      {
        const auto lock = transfer->Lock();
        Transfer::Shared& shared = transfer->Locked(lock);
        shared.paused = false;
        shared.resumeAsked = false;
      }
      // May hand the held-back delivery over at once.
      if (transfer->net.attached) curl_easy_pause(transfer->Easy(), CURLPAUSE_CONT);
      break;
    }
    case Kind::kRemove:
      Detach(*transfer);
      Forget(*transfer);
      net_.owned.erase(transfer);
      command.removed.reset();
      break;
  }
}

// The last round of the network thread, as the Library ends: the commands
// not yet applied are settled, and every transfer still here leaves the
// multi and share handles; one still under way ends "stopped". Its request
// keeps it until it goes, and its reader is woken with the reason.
void Engine::Close(std::vector<Command> commands) {
  assert(OnNetworkThread());
  for (Command& command : commands) {
    if (command.kind == Kind::kAdd) net_.owned.insert(command.transfer);
    if (command.kind != Kind::kRemove) continue;
    Transfer* transfer = command.transfer;
    if (transfer->net.attached) curl_multi_remove_handle(net_.multi, transfer->Easy());
    transfer->net.attached = false;
    net_.owned.erase(transfer);
    command.removed.reset();
  }
  for (Transfer* transfer : net_.owned) {
    if (transfer->net.attached) curl_multi_remove_handle(net_.multi, transfer->Easy());
    transfer->net.attached = false;
    transfer->net.held = false;
    curl_easy_setopt(transfer->Easy(), CURLOPT_SHARE, nullptr);
    const auto lock = transfer->Lock();
    if (!transfer->Locked(lock).done)
      transfer->End(lock, CURLE_ABORTED_BY_CALLBACK, reason::kStopped);
  }
  net_.owned.clear();
  net_.active.clear();
  net_.servers.clear();
}

// With no Connection alive for kLinger, no request is attached or waiting in
// line (each belongs to a live Connection): the multi handle and its kept
// connections go, and what was learnt of the servers with them.
void Engine::CloseWhenUnused(Clock::time_point now) {
  if (net_.servers.empty() || !net_.active.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shared_.liveConnections != 0 || now - shared_.lastConnectionGone < kLinger) return;
    shared_.multiplexed.clear();
  }
  net_.servers.clear();
  NewMulti();
}

}  // namespace inet::detail
