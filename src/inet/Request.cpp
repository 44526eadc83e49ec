// One request of the internet client: its options set on the caller's
// thread, then handed to its driver; the caller waits for the head and reads
// the body out of the transfer's buffer.
#include <curl/curl.h>

#include <algorithm>
#include <new>

#include "Address.h"
#include "Ascii.h"
#include "Engine.h"
#include "Inet.h"
#include "Library.h"
#include "Limits.h"
#include "LocalDriver.h"
#include "Overrides.h"
#include "Reasons.h"
#include "Transfer.h"

namespace inet {

namespace {

// A time limit: the test override when one is in force, else the session's.
long Limit(long overrideMs, long ownMs) {
  return overrideMs > 0 ? overrideMs : ownMs;
}

// The request's header lines: the extra header text line by line, exactly
// as given, then the Accept value (none when empty) and no Expect.
std::unique_ptr<curl_slist, detail::SlistDeleter> HeaderLines(const std::string& extraHeaders,
                                                              const std::string& acceptTypes) {
  std::unique_ptr<curl_slist, detail::SlistDeleter> list;
  auto add = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) throw std::bad_alloc();
    static_cast<void>(list.release());
    list.reset(grown);
  };
  std::size_t start = 0;
  while (start < extraHeaders.size()) {
    std::size_t end = extraHeaders.find_first_of("\r\n", start);
    if (end == std::string::npos) end = extraHeaders.size();
    if (end > start) add(extraHeaders.substr(start, end - start));
    start = end + 1;
  }
  add(acceptTypes.empty() ? "Accept:" : "Accept: " + acceptTypes);
  add("Expect:");
  return list;
}

// The verb, and the body a POST carries (kept alive by the caller, since
// curl does not copy it).
void SetVerb(CURL* easy, const std::string& verb, const std::string& body) {
  if (verb == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else if (verb == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body.data());
  } else if (verb == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
}

}  // namespace

Request::Request(Connection& connection, std::string verb, std::string address, std::string referer,
                 std::string acceptTypes, std::size_t chunkBytes)
    : connection_(&connection),
      options_(connection.Owner().Options()),
      verb_(std::move(verb)),
      referer_(std::move(referer)),
      acceptTypes_(std::move(acceptTypes)),
      chunkBytes_(chunkBytes) {
  const std::shared_ptr<detail::Engine>& engine = connection.engine_;
  if (!engine || engine->Stopped()) {
    refusal_ = detail::reason::kNotStarted;
    return;
  }
  driver_ = engine;
  transfer_ = std::make_unique<detail::Transfer>(engine->Curl());
  if (connection.Host().empty()) {
    refusal_ = detail::reason::kNoHost;
    return;
  }
  url_ = detail::AddressFor(connection, address);
  if (url_.empty()) {
    refusal_ = detail::reason::OtherServer(connection.Host(), connection.Port());
  }
}

Request::Request(std::shared_ptr<detail::Driver> driver,
                 std::shared_ptr<const detail::CurlGlobal> curl, const Session& session,
                 std::string url, std::string verb, std::string referer, std::string acceptTypes,
                 std::size_t chunkBytes)
    : driver_(std::move(driver)),
      transfer_(std::make_unique<detail::Transfer>(std::move(curl))),
      url_(EncodeAddress(url)),
      options_(session.Options()),
      verb_(std::move(verb)),
      referer_(std::move(referer)),
      acceptTypes_(std::move(acceptTypes)),
      chunkBytes_(chunkBytes) {
  if (url_.empty()) refusal_ = detail::reason::kNoHost;
}

Request::~Request() {
  if (started_) driver_->Finish(std::move(transfer_));
}

Result<std::unique_ptr<Request>> Request::OpenUrl(const Session& session, const std::string& url,
                                                  std::size_t chunkBytes) {
  const std::shared_ptr<detail::Engine> engine = detail::CurrentEngine();
  if (!engine) return Outcome::Failed(detail::reason::kNotStarted);
  const std::shared_ptr<const detail::CurlGlobal>& curl = engine->Curl();
  std::unique_ptr<Request> request(new Request(std::make_shared<detail::LocalDriver>(curl), curl,
                                               session, url, "GET", "", "*/*", chunkBytes));
  if (Outcome sent = request->Send(); !sent) return sent;
  return request;
}

// Every option of the transfer, set on this thread before it starts.
void Request::Configure(const std::string& extraHeaders, const std::string& body) {
  detail::Transfer& t = *transfer_;
  CURL* easy = t.Easy();
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   Limit(detail::ConnectTimeoutOverrideMs(), options_.connectTimeoutMs));
  t.setup.idleLimit =
      std::chrono::milliseconds(Limit(detail::IdleTimeoutOverrideMs(), options_.idleTimeoutMs));
  if (options_.totalTimeoutMs > 0)
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, options_.totalTimeoutMs);
  curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, detail::kUploadBufferBytes);
  if (connection_ != nullptr) {
    // The session's requests: HTTP/2 where TLS offers it.
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, detail::kSessionReceiveBytes);
    t.setup.tally = &connection_->Tally();
    t.setup.serverKey = detail::ServerKey(connection_->Host(), connection_->Port());
    t.setup.secure = connection_->Secure();
    const auto lock = t.Lock();
    t.Locked(lock).stop = connection_->StopFlag();
    if (!connection_->UserName().empty() || !connection_->Password().empty()) {
      curl_easy_setopt(easy, CURLOPT_USERNAME, connection_->UserName().c_str());
      curl_easy_setopt(easy, CURLOPT_PASSWORD, connection_->Password().c_str());
    }
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(
        easy, CURLOPT_BUFFERSIZE,
        static_cast<long>(std::clamp<std::size_t>(chunkBytes_, 1024, CURL_MAX_READ_SIZE)));
  }
  if (!options_.agent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.agent.c_str());
  if (!referer_.empty()) curl_easy_setopt(easy, CURLOPT_REFERER, referer_.c_str());
  if (const std::string caFile = detail::CaFileOverride(); !caFile.empty())
    curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());

  t.setup.headers = HeaderLines(extraHeaders, acceptTypes_);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.setup.headers.get());

  t.setup.body = body;
  SetVerb(easy, verb_, t.setup.body);
  curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
}

Outcome Request::Send(const std::string& extraHeaders, const std::string& body) {
  if (sent_) return final_ ? Outcome::Done() : Outcome::Failed(Failure());
  sent_ = true;
  if (url_.empty()) return Outcome::Failed(Failure());
  Configure(extraHeaders, body);
  detail::Transfer& t = *transfer_;
  started_ = true;
  driver_->Start(t);
  auto lock = t.Lock();
  detail::Transfer::Shared& shared = t.Locked(lock);
  driver_->Wait(t, lock, [&shared] { return shared.head.final; });
  // A response whose head never ended (cut short, or HEAD-like) still counts
  // when curl was content with it.
  if (shared.done && !shared.head.final && shared.result == CURLE_OK && shared.head.status != 0)
    shared.head.final = true;
  if (!shared.head.final) {
    lock.unlock();
    return Outcome::Failed(Failure());
  }
  // From now on the network thread leaves the head alone.
  final_ = true;
  status_ = shared.head.status;
  block_ = shared.head.block;
  fields_ = shared.head.fields;
  return Outcome::Done();
}

std::string Request::Failure() const {
  if (!sent_) return detail::reason::kNoAnswerYet;
  if (url_.empty()) return refusal_;
  const detail::Transfer& t = *transfer_;
  const auto lock = t.Lock();
  const detail::Transfer::Shared& shared = t.Locked(lock);
  if (shared.done && shared.result != CURLE_OK && !shared.failure.empty()) return shared.failure;
  return shared.done ? detail::reason::kNoAnswer : detail::reason::kNoAnswerYet;
}

int Request::StatusCode() const {
  return final_ ? status_ : 0;
}

const std::string& Request::RawHeaders() const {
  static const std::string kNone;
  return final_ ? block_ : kNone;
}

std::optional<std::string> Request::QueryHeader(std::string_view name,
                                                std::size_t bufferBytes) const {
  if (!final_) return std::nullopt;
  for (const auto& [field, text] : fields_) {
    if (!detail::SameTextIgnoreCase(field, name)) continue;
    if (text.size() + 1 > bufferBytes) return std::nullopt;
    return text;
  }
  return std::nullopt;
}

Result<std::size_t> Request::Read(char* buffer, std::size_t size) {
  if (!final_) return Outcome::Failed(Failure());
  if (size == 0) return Outcome::Failed(detail::reason::kNoRoom);
  detail::Transfer& t = *transfer_;
  auto lock = t.Lock();
  detail::Transfer::Shared& shared = t.Locked(lock);
  shared.lastActivity = detail::Clock::now();  // the time spent by the reader is not idle time
  for (;;) {
    if (shared.Buffered() > 0) {
      const std::size_t got = shared.Take(buffer, std::min(size, chunkBytes_));
      // Let curl go on once half the held bytes are taken, before the reader
      // runs dry.
      if (shared.paused && !shared.resumeAsked &&
          shared.Buffered() <= detail::kBodyBufferBytes / 2) {
        shared.resumeAsked = true;
        lock.unlock();
        driver_->Resume(t);
      }
      return got;
    }
    if (shared.done) {
      if (shared.result == CURLE_OK) return std::size_t{0};
      return Outcome::Failed(shared.failure.empty() ? detail::reason::kNoAnswer : shared.failure);
    }
    if (shared.paused && !shared.resumeAsked) {
      shared.resumeAsked = true;
      lock.unlock();
      driver_->Resume(t);
      lock.lock();
      continue;
    }
    driver_->Wait(t, lock, [&shared] { return shared.Buffered() > 0; });
  }
}

}  // namespace inet
