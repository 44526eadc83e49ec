// The engine's server lines: who is attached to the multi handle, who waits,
// what a TLS server's first answer tells of its protocol, and how a request
// leaves: done, sent again on a fresh connection, stopped or timed out. All
// of it runs on the network thread.
#include "Engine.h"
#include "Inet.h"
#include "Limits.h"
#include "Reasons.h"

namespace inet::detail {

namespace {

// Failures of a connection that may have been closed by the server while it
// waited in the pool: nothing of an answer came back.
bool ConnectionDied(CURLcode code) {
  return code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
         code == CURLE_HTTP2 || code == CURLE_HTTP2_STREAM;
}

}  // namespace

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
    // A request told to stop ends, whether it waits for its answer or its
    // body: a stalled body would otherwise hold its reader until the idle limit.
    if (shared.stop != nullptr && shared.stop->load()) {
      stopped.push_back(transfer);
      continue;
    }
    transfer->NoteProgress(lock, now);
    if (transfer->IdleExpired(lock, now)) idle.push_back(transfer);
  }
  for (Transfer* transfer : stopped) {
    Forget(*transfer);
    End(*transfer, CURLE_ABORTED_BY_CALLBACK, reason::kStopped);
  }
  for (Transfer* transfer : idle) End(*transfer, CURLE_OPERATION_TIMEDOUT, reason::kTimedOut);
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
