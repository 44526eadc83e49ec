#include "Library.h"

#include <curl/curl.h>

#include <cassert>
#include <mutex>
#include <stdexcept>

#include "Engine.h"
#include "Inet.h"

namespace inet {

namespace detail {

namespace {

// Which Library is alive. Allocated once and never freed, so that a worker
// still running while the process exits never meets a destroyed object.
struct Live {
  std::mutex mutex;
  std::shared_ptr<Engine> engine;
};
Live& TheLive() {
  static Live* live = new Live;
  return *live;
}

// curl_global_init and curl_global_cleanup never run at the same time; the
// last holder of curl may let it go on any thread.
std::mutex& CurlGlobalMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

}  // namespace

CurlGlobal::CurlGlobal() {
  std::lock_guard<std::mutex> lock(CurlGlobalMutex());
  if (const CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT); code != CURLE_OK)
    throw std::runtime_error(std::string("libcurl cannot be prepared: ") +
                             curl_easy_strerror(code));
}

CurlGlobal::~CurlGlobal() {
  std::lock_guard<std::mutex> lock(CurlGlobalMutex());
  curl_global_cleanup();
}

std::shared_ptr<Engine> CurrentEngine() {
  Live& live = TheLive();
  std::lock_guard<std::mutex> lock(live.mutex);
  return live.engine;
}

}  // namespace detail

Library::Library() {
  detail::Live& live = detail::TheLive();
  std::lock_guard<std::mutex> lock(live.mutex);
  // One internet client at a time: a second one made while the first lives
  // takes no part, and the first goes on serving.
  assert(!live.engine && "one inet::Library at a time");
  if (live.engine) return;
  engine_ = std::make_shared<detail::Engine>(std::make_shared<detail::CurlGlobal>());
  live.engine = engine_;
}

Library::~Library() {
  if (!engine_) return;
  {
    detail::Live& live = detail::TheLive();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.engine.reset();
  }
  // Requests still under way end "stopped"; the network thread ends and the
  // multi and share handles go. The engine object itself, and curl, stay
  // until the last Connection and Request holding them are gone.
  engine_->Stop();
}

}  // namespace inet
