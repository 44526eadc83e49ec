#include "Transfer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Ascii.h"
#include "Inet.h"
#include "Limits.h"
#include "Reasons.h"

namespace inet::detail {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsFollowedRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

// --- The response head --------------------------------------------------------

void ResponseHead::Clear() {
  block.clear();
  fields.clear();
  status = 0;
  final = false;
}

void ResponseHead::EndOfBlock() {
  if (status >= 100 && status < 200) return;  // an interim answer; the real one follows
  if (IsFollowedRedirect(status)) {
    for (const auto& [name, value] : fields)
      if (SameTextIgnoreCase(name, "Location") && !value.empty()) return;
  }
  final = true;
}

void ResponseHead::Line(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    Clear();
    const std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
      for (std::size_t i = blank + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i)
        status = status * 10 + (line[i] - '0');
    }
  } else if (final || block.empty()) {
    return;  // trailers after the body, or a stray line before any status line
  }
  block.append(line);
  block.append("\r\n");
  if (line.empty()) {
    EndOfBlock();
  } else if ((line.front() == ' ' || line.front() == '\t') && !fields.empty()) {
    std::string& value = fields.back().second;
    value += ' ';
    value += TrimBlanks(line);
  } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
    fields.emplace_back(std::string(line.substr(0, colon)),
                        std::string(TrimBlanks(line.substr(colon + 1))));
  }
}

// --- The transfer ---------------------------------------------------------------

Transfer::Transfer(std::shared_ptr<const CurlGlobal> curl)
    : curl_(std::move(curl)), easy_(curl_easy_init()) {
  if (!easy_) throw std::bad_alloc();
  CURL* easy = easy_.get();
  curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, net.errorText);
}

std::size_t Transfer::OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const auto lock = transfer->Lock();
  Shared& shared = transfer->Locked(lock);
  shared.lastActivity = Clock::now();
  shared.head.Line(std::string_view(data, size * count));
  if (shared.head.final) transfer->Notify();
  return size * count;
}

std::size_t Transfer::OnWrite(char* data, std::size_t size, std::size_t count, void* user) {
  return static_cast<Transfer*>(user)->BodyData(data, size * count);
}

std::size_t Transfer::BodyData(const char* data, std::size_t size) {
  const auto lock = Lock();
  Shared& shared = Locked(lock);
  shared.lastActivity = Clock::now();
  shared.head.final = true;  // body bytes only ever follow the final header block
  if (shared.Buffered() >= kBodyBufferBytes) {
    shared.paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  std::string& buffer = shared.buffer_;
  if (shared.readPos_ > 0 && shared.readPos_ * 2 >= buffer.size()) {
    buffer.erase(0, shared.readPos_);
    shared.readPos_ = 0;
  }
  buffer.append(data, size);
  Notify();
  return size;
}

std::size_t Transfer::Shared::Take(char* out, std::size_t size) {
  const std::size_t count = std::min(size, Buffered());
  std::memcpy(out, buffer_.data() + readPos_, count);
  readPos_ += count;
  if (readPos_ == buffer_.size()) {
    buffer_.clear();
    readPos_ = 0;
  }
  return count;
}

void Transfer::End(const std::unique_lock<std::mutex>& lock, CURLcode code, std::string text) {
  Shared& shared = Locked(lock);
  shared.done = true;
  shared.result = code;
  if (!text.empty())
    shared.failure = std::move(text);
  else if (code == CURLE_OPERATION_TIMEDOUT)
    shared.failure = reason::kTimedOut;
  else if (code != CURLE_OK)
    shared.failure = net.errorText[0] != '\0' ? net.errorText : curl_easy_strerror(code);
  Notify();
}

bool Transfer::IdleExpired(const std::unique_lock<std::mutex>& lock, Clock::time_point now) const {
  const Shared& shared = Locked(lock);
  return net.connected && !shared.paused && !shared.done &&
         now - shared.lastActivity >= setup.idleLimit;
}

void Transfer::NoteProgress(const std::unique_lock<std::mutex>& lock, Clock::time_point now) {
  if (net.connected) return;
  curl_off_t pretransfer = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  if (pretransfer > 0) {
    net.connected = true;
    Locked(lock).lastActivity = now;
  }
}

}  // namespace inet::detail
