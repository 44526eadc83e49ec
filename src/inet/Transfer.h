// One HTTP transfer of the internet client: a curl easy handle, the response
// head its header callback gathers, a small buffer of body bytes for the
// reader, and the handshake between the thread that drives curl and the
// thread that reads. A driver runs the transfer: the shared network thread
// for requests on a Connection, a private one on the caller's thread for the
// page fetch.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inet::detail {

using Clock = std::chrono::steady_clock;

// Body bytes a transfer holds for its reader. When they are this many, curl
// is paused for that transfer until the reader has taken half of them; one
// delivery of curl (at most its 64 KB buffer) may come on top. The reader
// (a download worker) never waits for the window, so the room is only ever
// used up when the disk is slower than the network.
constexpr std::size_t kBodyBufferBytes = 262144;

// Network connections open to one server, counted as curl opens and closes
// their sockets. Never freed: curl may close a socket long after the request
// that opened it is gone.
struct SocketTally {
  std::atomic<int> open{0};
  std::atomic<int> peak{0};
};
SocketTally& TallyFor(const std::string& key);

// The head of the response being received. Reset at each status line, since
// redirects and interim answers pass through the header callback as well.
struct ResponseHead {
  std::string block;
  std::vector<std::pair<std::string, std::string>> fields;
  int status = 0;
  bool final = false;  // the block belongs to the final response

  void Line(std::string_view line);
  void Clear();

 private:
  void EndOfBlock();
};

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

class Transfer {
 public:
  Transfer();  // throws std::bad_alloc when curl has no handle to give
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  CURL* Easy() const { return easy_.get(); }

  // Kept alive for curl, which does not copy them.
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  std::string body;
  // Where the sockets of the transfer are counted; null: not counted.
  SocketTally* tally = nullptr;
  // The server it goes to ("host:port", host in lower case), and whether over TLS.
  std::string serverKey;
  bool secure = false;

  // Everything below is guarded by mutex; changed is signalled only while
  // the reader waits.
  mutable std::mutex mutex;
  std::condition_variable changed;
  ResponseHead head;
  const std::atomic<bool>* stop = nullptr;  // gives up a transfer without answer
  bool waiting = false;                     // the reader waits on changed
  bool done = false;
  CURLcode result = CURLE_OK;
  std::string failure;  // why the transfer was ended here, or curl's own text
  bool paused = false;  // curl holds back the body until resumed
  bool resumeAsked = false;
  bool connected = false;                      // the request is on its way; the idle clock runs
  std::chrono::milliseconds idleLimit{60000};  // set before the transfer starts
  Clock::time_point lastActivity = Clock::now();

  std::size_t Buffered() const { return buffer_.size() - readPos_; }
  // Moves up to size buffered bytes out; the count moved.
  std::size_t Take(char* out, std::size_t size);
  // Ends the transfer with curl's result (or one of the layer's own with its
  // text) and wakes the reader.
  void End(CURLcode code, std::string text = {});
  void Notify() {
    if (waiting) changed.notify_one();
  }
  // True when the idle time limit has passed without a byte while the
  // request was on its way and the body not held back for the reader.
  bool IdleExpired(Clock::time_point now) const;
  // Starts the idle clock once curl reports the request on its way.
  void NoteProgress(Clock::time_point now);

  // Driver's bookkeeping, touched only by the thread that drives curl.
  bool attached = false;
  bool held = false;  // waits in line until the server's protocol is known
  bool retried = false;

  char errorText[CURL_ERROR_SIZE] = {};  // curl's detailed text of a failure

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* user);
  std::size_t BodyData(const char* data, std::size_t size);

  std::unique_ptr<CURL, EasyDeleter> easy_;
  std::string buffer_;
  std::size_t readPos_ = 0;
};

// Runs transfers. Start, Resume and Finish are called by the reader's
// thread without the transfer's lock; Wait with it held.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual void Start(Transfer& transfer) = 0;
  // Blocks until ready() (evaluated with the lock held) or the transfer ended.
  virtual void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
                    const std::function<bool()>& ready) = 0;
  // Lets curl deliver the body again after a pause.
  virtual void Resume(Transfer& transfer) = 0;
  // Takes a started transfer out of the driver and releases it.
  virtual void Finish(std::unique_ptr<Transfer> transfer) = 0;
};

// The page fetch's driver: a curl multi handle of its own, run on the
// caller's thread while it waits.
class LocalDriver final : public Driver {
 public:
  LocalDriver();
  ~LocalDriver() override;
  void Start(Transfer& transfer) override;
  void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
            const std::function<bool()>& ready) override;
  void Resume(Transfer& transfer) override;
  void Finish(std::unique_ptr<Transfer> transfer) override;

 private:
  void Step(Transfer& transfer, const std::function<bool()>& ready);
  CURLM* multi_;
};

}  // namespace inet::detail
