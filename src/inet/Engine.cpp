#include "Engine.h"

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <new>

#include "Inet.h"
#include "Limits.h"

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

curl_socket_t OpenCountedSocket(void* data, curlsocktype, curl_sockaddr* address) {
  const curl_socket_t fd =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd != CURL_SOCKET_BAD) {
    auto* tally = static_cast<SocketTally*>(data);
    const int open = ++tally->open;
    int peak = tally->peak;
    while (open > peak && !tally->peak.compare_exchange_weak(peak, open)) {
    }
  }
  return fd;
}

int CloseCountedSocket(void* data, curl_socket_t fd) {
  const int result = ::close(fd);
  --static_cast<SocketTally*>(data)->open;
  return result;
}

// Failures of a connection that may have been closed by the server while it
// waited in the pool: nothing of an answer came back.
bool ConnectionDied(CURLcode code) {
  return code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
         code == CURLE_HTTP2 || code == CURLE_HTTP2_STREAM;
}

Engine* gEngine = nullptr;
void QuitAtExit() {
  if (gEngine != nullptr) gEngine->Quit();
}

}  // namespace

Engine& Engine::Get() {
  // Never freed: a worker may still use it while the process exits. The
  // network thread itself is ended at exit, before the TLS library is.
  static Engine* engine = [] {
    auto* created = new Engine;
    gEngine = created;
    std::atexit(QuitAtExit);
    return created;
  }();
  return *engine;
}

Engine::Engine() {
  GlobalInit();
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

void Engine::Quit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shared_.quit) return;
    shared_.quit = true;
    curl_multi_wakeup(shared_.wakeTarget);
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

// --- Called by the requests' threads ---------------------------------------------

void Engine::Post(Command command) {
  std::lock_guard<std::mutex> lock(mutex_);
  shared_.commands.push_back(std::move(command));
  if (!shared_.wakePending) {
    shared_.wakePending = true;
    curl_multi_wakeup(shared_.wakeTarget);
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
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (shared_.quit) return;
      commands.swap(shared_.commands);
      shared_.wakePending = false;
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
      command.removed.reset();
      break;
  }
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

int Engine::Server::Limit() const {
  switch (protocol) {
    case Protocol::kAsking:
      return 1;  // the request that asks, alone
    case Protocol::kHttp2:
      return kStreamsPerConnection;
    default:
      return kMaxConnectionsPerServer;
  }
}

// A request joins its server's line; it is attached to the multi handle when
// the server has room for it.
void Engine::Add(Transfer& transfer) {
  Server& server = net_.servers[transfer.setup.serverKey];
  if (server.protocol == Server::Protocol::kUnknown) {
    if (transfer.setup.secure) {
      server.protocol = Server::Protocol::kAsking;
      server.probe = &transfer;
      Attach(transfer, server);
      return;
    }
    server.protocol = Server::Protocol::kHttp1;  // plain HTTP never multiplexes
  }
  if (server.held.empty() && server.attached < server.Limit()) {
    Attach(transfer, server);
  } else {
    transfer.net.held = true;
    server.held.push_back(&transfer);
  }
}

void Engine::Attach(Transfer& transfer, Server& server) {
  assert(OnNetworkThread());
  CURL* easy = transfer.Easy();
  curl_easy_setopt(easy, CURLOPT_SHARE, net_.share);
  // HTTP/2: join the connection as a stream rather than open one more.
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, server.protocol == Server::Protocol::kHttp2 ? 1L : 0L);
  if (SocketTally* tally = transfer.setup.tally; tally != nullptr) {
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OpenCountedSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, tally);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &CloseCountedSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, tally);
  }
  if (curl_multi_add_handle(net_.multi, easy) != CURLM_OK) {
    if (server.probe == &transfer) server.probe = nullptr;
    transfer.End(transfer.Lock(), CURLE_FAILED_INIT);
    return;
  }
  transfer.net.attached = true;
  ++server.attached;
  net_.active.insert(&transfer);
}

// Attaches requests from the head of the server's line while it has room.
void Engine::Promote(Server& server) {
  while (!server.held.empty() && server.attached < server.Limit()) {
    Transfer* next = server.held.front();
    server.held.pop_front();
    next->net.held = false;
    Attach(*next, server);
  }
}

// Servers whose asking request has its answer.
void Engine::SettleProbes() {
  for (auto& [key, server] : net_.servers) {
    if (server.probe == nullptr) continue;
    bool answered = false;
    {
      const auto lock = server.probe->Lock();
      answered = server.probe->Locked(lock).head.final;
    }
    if (answered) Settle(server);
  }
}

// The asking request's answer tells the server's protocol, and the line
// moves on. A request that ended without an answer tells nothing: the
// server is then treated as HTTP/1.1, so that a server that cannot be
// reached fails its requests six at a time rather than one by one.
void Engine::Settle(Server& server) {
  Transfer* probe = server.probe;
  server.probe = nullptr;
  long version = 0;
  if (probe != nullptr) curl_easy_getinfo(probe->Easy(), CURLINFO_HTTP_VERSION, &version);
  server.protocol =
      version == CURL_HTTP_VERSION_2_0 ? Server::Protocol::kHttp2 : Server::Protocol::kHttp1;
  if (server.protocol == Server::Protocol::kHttp2 && probe != nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    shared_.multiplexed.insert(probe->setup.serverKey);
  }
  Promote(server);
}

// A request about to be released leaves the line it waits in.
void Engine::Forget(Transfer& transfer) {
  if (!transfer.net.held) return;
  auto it = net_.servers.find(transfer.setup.serverKey);
  if (it != net_.servers.end()) std::erase(it->second.held, &transfer);
  transfer.net.held = false;
}

void Engine::Collect() {
  assert(OnNetworkThread());
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(net_.multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    const CURLcode result = message->data.result;
    Transfer* transfer = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
    if (transfer == nullptr || RetryOnFreshConnection(*transfer, result)) continue;
    End(*transfer, result);
  }
}

// A request sent on a kept-alive connection that the server had closed while
// it was idle (or that an HTTP/2 GOAWAY ended before the request was taken)
// gets no answer at all. curl itself sends such a request again on a fresh
// connection in most cases; when it still failed, it is sent once more here,
// the same request with the same header lines (a Range included), on a fresh
// connection.
bool Engine::RetryOnFreshConnection(Transfer& transfer, CURLcode result) {
  if (transfer.net.retried || !ConnectionDied(result)) return false;
  CURL* easy = transfer.Easy();
  long newConnections = 0, headerBytes = 0;
  curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &newConnections);
  curl_easy_getinfo(easy, CURLINFO_HEADER_SIZE, &headerBytes);
  if (newConnections > 0 || headerBytes > 0) return false;
  {
    const auto lock = transfer.Lock();
    Transfer::Shared& shared = transfer.Locked(lock);
    if (shared.head.final || shared.Buffered() > 0 || shared.done) return false;
    shared.head.Clear();
  }
  transfer.net.connected = false;
  transfer.net.errorText[0] = '\0';
  transfer.net.retried = true;
  curl_multi_remove_handle(net_.multi, easy);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
  if (curl_multi_add_handle(net_.multi, easy) != CURLM_OK) return false;
  return true;
}

void Engine::Scan(Clock::time_point now) {
  assert(OnNetworkThread());
  std::vector<Transfer*> stopped, idle;
  for (auto& [key, server] : net_.servers)
    for (Transfer* transfer : server.held) {
      const auto lock = transfer->Lock();
      const Transfer::Shared& shared = transfer->Locked(lock);
      if (shared.stop != nullptr && shared.stop->load()) stopped.push_back(transfer);
    }
  for (Transfer* transfer : net_.active) {
    const auto lock = transfer->Lock();
    const Transfer::Shared& shared = transfer->Locked(lock);
    if (shared.done) continue;
    // A request still waiting for its answer gives up when told to stop.
    if (shared.stop != nullptr && shared.stop->load() && !shared.head.final) {
      stopped.push_back(transfer);
      continue;
    }
    transfer->NoteProgress(lock, now);
    if (transfer->IdleExpired(lock, now)) idle.push_back(transfer);
  }
  for (Transfer* transfer : stopped) {
    Forget(*transfer);
    End(*transfer, CURLE_ABORTED_BY_CALLBACK, "stopped");
  }
  for (Transfer* transfer : idle) End(*transfer, CURLE_OPERATION_TIMEDOUT, "timed out");
}

void Engine::End(Transfer& transfer, CURLcode code, std::string text) {
  Detach(transfer);
  transfer.End(transfer.Lock(), code, std::move(text));
}

void Engine::Detach(Transfer& transfer) {
  assert(OnNetworkThread());
  if (!transfer.net.attached) return;
  curl_multi_remove_handle(net_.multi, transfer.Easy());
  transfer.net.attached = false;
  net_.active.erase(&transfer);
  Server& server = net_.servers[transfer.setup.serverKey];
  --server.attached;
  if (server.probe == &transfer)
    Settle(server);
  else
    Promote(server);
}

}  // namespace inet::detail
