// One HTTP transfer of the internet client: a curl easy handle, the response
// head its header callback gathers, a small buffer of body bytes for the
// reader, and the handshake between the thread that drives curl and the
// thread that reads. A driver (Driver.h) runs the transfer.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Library.h"
#include "SocketTally.h"

namespace inet::detail {

using Clock = std::chrono::steady_clock;

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

// A transfer's state falls in three zones, each its own member, so that
// every access shows which thread may make it:
// - setup: filled in by the request's thread before it hands the transfer to
//   a driver, only read from then on;
// - the shared state: touched by the reader's thread and the driving thread,
//   only with the transfer's mutex held (Locked hands it out against the lock);
// - net: touched only by the thread that drives curl for the transfer (the
//   network thread, or the page fetch's caller while it runs curl), as are
//   the easy handle's options once the transfer is started.
class Transfer {
 public:
  struct Setup {
    // Kept alive for curl, which does not copy them.
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    std::string body;
    // Where the sockets of the transfer are counted; null: not counted.
    SocketTally* tally = nullptr;
    // The server it goes to ("host:port", host in lower case), and whether over TLS.
    std::string serverKey;
    bool secure = false;
    std::chrono::milliseconds idleLimit{60000};
  };

  class Shared {
   public:
    ResponseHead head;
    // Ends the transfer "stopped" at the next scan, in line, before its
    // answer or in its body; cleared as the request goes, since the flag
    // belongs to the request's owner.
    const std::atomic<bool>* stop = nullptr;
    bool waiting = false;  // the reader waits on changed
    bool done = false;
    CURLcode result = CURLE_OK;
    std::string failure;  // why the transfer was ended here, or curl's own text
    bool paused = false;  // curl holds back the body until resumed
    bool resumeAsked = false;
    Clock::time_point lastActivity = Clock::now();

    std::size_t Buffered() const { return buffer_.size() - readPos_; }
    // Moves up to size buffered bytes out; the count moved.
    std::size_t Take(char* out, std::size_t size);

   private:
    friend class Transfer;
    std::string buffer_;
    std::size_t readPos_ = 0;
  };

  struct NetworkSide {
    bool attached = false;                 // in the driver's multi handle
    bool held = false;                     // waits in its server's line
    bool retried = false;                  // sent again once on a fresh connection
    bool connected = false;                // the request is on its way; the idle clock runs
    char errorText[CURL_ERROR_SIZE] = {};  // curl's detailed text of a failure
  };

  // Holds curl's global state while the easy handle lives; throws
  // std::bad_alloc when curl has no handle to give.
  explicit Transfer(std::shared_ptr<const CurlGlobal> curl);
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  CURL* Easy() const { return easy_.get(); }

  Setup setup;
  NetworkSide net;
  // Signalled only while the reader waits.
  std::condition_variable changed;

  std::unique_lock<std::mutex> Lock() const { return std::unique_lock<std::mutex>(mutex_); }
  Shared& Locked(const std::unique_lock<std::mutex>& lock) {
    assert(lock.owns_lock() && lock.mutex() == &mutex_);
    static_cast<void>(lock);
    return shared_;
  }
  const Shared& Locked(const std::unique_lock<std::mutex>& lock) const {
    assert(lock.owns_lock() && lock.mutex() == &mutex_);
    static_cast<void>(lock);
    return shared_;
  }

  // On the driving thread, with the lock held: ends the transfer with curl's
  // result (or one of the layer's own with its text) and wakes the reader.
  void End(const std::unique_lock<std::mutex>& lock, CURLcode code, std::string text = {});
  // On the driving thread, with the lock held: true when the idle time limit
  // has passed without a byte while the request was on its way and the body
  // not held back for the reader.
  bool IdleExpired(const std::unique_lock<std::mutex>& lock, Clock::time_point now) const;
  // On the driving thread, with the lock held: starts the idle clock once
  // curl reports the request on its way.
  void NoteProgress(const std::unique_lock<std::mutex>& lock, Clock::time_point now);

 private:
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* user);
  std::size_t BodyData(const char* data, std::size_t size);
  void Notify() {
    if (shared_.waiting) changed.notify_one();
  }

  std::shared_ptr<const CurlGlobal> curl_;  // outlives easy_
  std::unique_ptr<CURL, EasyDeleter> easy_;
  mutable std::mutex mutex_;
  Shared shared_;
};

}  // namespace inet::detail
