// The internet session of the process: one curl multi handle driven by one
// network thread, which every request made on a Connection joins. The
// requests' own threads only wait: for the head of the response, for body
// bytes, and they are woken only when they wait. Through the multi handle the
// requests share the server connections (at most six per server, kept alive
// and handed from one request to the next; HTTP/2 over TLS where the server
// offers it, many requests as streams of one connection); through a share
// handle used by the network thread they share TLS sessions and DNS answers.
//
// Each server has a line: at most six of its requests are attached to the
// multi handle at once over HTTP/1.1 (one per connection, the connections
// handed from one request to the next), a hundred over HTTP/2 (streams of
// one connection); the others wait in the line, holding no curl resources
// beyond their handle. A server reached over TLS is first asked by one
// request alone; its answer tells whether the server speaks HTTP/2, and only
// then do the others join, so that they share its connection instead of
// each opening one before the first could be shared.
//
// curl handles are never touched by two threads at once: a request's thread
// fills in its transfer's options, then hands the transfer to the network
// thread, which alone calls curl for it from then on and releases it.
//
// The Library (Inet.h) makes the engine and stops it; Connections and
// Requests share it, so that one outliving the Library still finds it. Once
// stopped, the engine runs nothing: a request still under way has ended
// "stopped", and one started later ends at once as not started.
#pragma once

#include <curl/curl.h>

#include <cassert>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Driver.h"
#include "Library.h"
#include "Transfer.h"

namespace inet::detail {

class Engine final : public Driver {
 public:
  // Starts the network thread.
  explicit Engine(std::shared_ptr<const CurlGlobal> curl);
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // curl's global state, which the transfers started here hold as well.
  const std::shared_ptr<const CurlGlobal>& Curl() const { return curl_; }

  void Start(Transfer& transfer) override;
  void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
            const std::function<bool()>& ready) override;
  void Resume(Transfer& transfer) override;
  void Finish(std::unique_ptr<Transfer> transfer) override;

  // Connections (the API objects) alive. Once none has been alive for
  // kLinger, the network connections close: a batch keeps them, even across
  // the moments between one worker's end and the next one's start, and
  // nothing lingers long after it. TLS sessions and DNS answers stay.
  void ConnectionOpened();
  void ConnectionClosed();

  // How many requests to the server of this key are attached at once: six,
  // or the streams of one connection once the server is known to speak
  // HTTP/2. Callers size their own admission to it, so that their requests
  // rarely wait in the server's line.
  int RequestsAtOnce(const std::string& serverKey);

  // Ends every request under way ("stopped"), ends the network thread and
  // releases the multi and share handles. Called by the Library; further
  // calls do nothing. Never on the network thread.
  void Stop();
  // True once the network thread has taken its last commands.
  bool Stopped();

 private:
  enum class Kind { kAdd, kResume, kRemove };
  // What a request's thread asks of the network thread. A removal carries
  // the transfer it releases.
  struct Command {
    Kind kind;
    Transfer* transfer = nullptr;
    std::unique_ptr<Transfer> removed;
  };
  // A server's line: what is known of its protocol, the requests attached
  // to the multi handle, and those waiting for room.
  struct Server {
    enum class Protocol { kUnknown, kAsking, kHttp1, kHttp2 } protocol = Protocol::kUnknown;
    Transfer* probe = nullptr;  // the request that asks a TLS server first
    int attached = 0;
    std::deque<Transfer*> held;
    int Limit() const;
  };

  void Post(Command command);
  void Close(std::vector<Command> commands);
  void Loop();
  bool OnNetworkThread() const { return std::this_thread::get_id() == networkThread_; }
  void CloseWhenUnused(Clock::time_point now);
  void Apply(Command& command);
  void Add(Transfer& transfer);
  void Collect();
  bool RetryOnFreshConnection(Transfer& transfer, CURLcode result);
  void Scan(Clock::time_point now);
  void End(Transfer& transfer, CURLcode code, std::string text = {});
  void Detach(Transfer& transfer);
  void NewMulti();
  void Attach(Transfer& transfer, Server& server);
  void Promote(Server& server);
  void SettleProbes();
  void Settle(Server& server);
  void Forget(Transfer& transfer);

  // Touched by every thread, only with mutex_ held.
  struct Shared {
    std::vector<Command> commands;
    bool wakePending = false;  // commands posted and the multi handle woken for them
    bool quit = false;         // Stop asks the network thread to end
    bool closed = false;  // the network thread took its last commands; Post settles them itself
    int liveConnections = 0;
    Clock::time_point lastConnectionGone;
    // The multi handle in use, for the other threads' curl_multi_wakeup; the
    // network thread sets it whenever it makes a new one.
    CURLM* wakeTarget = nullptr;
    // Servers known to speak HTTP/2, as RequestsAtOnce reports them.
    std::unordered_set<std::string> multiplexed;
  };
  // The network thread's own, touched by no other thread once the loop runs.
  struct NetworkSide {
    CURLM* multi = nullptr;
    CURLSH* share = nullptr;
    std::unordered_set<Transfer*> owned;   // started here and not yet removed
    std::unordered_set<Transfer*> active;  // in the multi handle
    std::unordered_map<std::string, Server> servers;
    Clock::time_point nextScan;
  };

  std::shared_ptr<const CurlGlobal> curl_;  // first made, last gone
  std::mutex mutex_;
  Shared shared_;
  NetworkSide net_;
  std::thread thread_;
  std::thread::id networkThread_;  // recorded as the loop starts, for the asserts
};

}  // namespace inet::detail
