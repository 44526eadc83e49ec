#include "Transfer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "Ascii.h"
#include "Inet.h"
#include "Limits.h"

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

SocketTally& TallyFor(const std::string& key) {
  static std::mutex* mutex = new std::mutex;
  static auto* tallies = new std::unordered_map<std::string, std::unique_ptr<SocketTally>>;
  std::lock_guard<std::mutex> lock(*mutex);
  std::unique_ptr<SocketTally>& tally = (*tallies)[key];
  if (!tally) tally = std::make_unique<SocketTally>();
  return *tally;
}

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

Transfer::Transfer() : easy_(curl_easy_init()) {
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
    shared.failure = "timed out";
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

// --- The page fetch's own driver ---------------------------------------------------

LocalDriver::LocalDriver() : multi_(curl_multi_init()) {
  if (multi_ == nullptr) throw std::bad_alloc();
}

LocalDriver::~LocalDriver() {
  curl_multi_cleanup(multi_);
}

void LocalDriver::Start(Transfer& transfer) {
  if (curl_multi_add_handle(multi_, transfer.Easy()) != CURLM_OK) {
    transfer.End(transfer.Lock(), CURLE_FAILED_INIT);
    return;
  }
  transfer.net.attached = true;
}

void LocalDriver::Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
                       const std::function<bool()>& ready) {
  while (!transfer.Locked(lock).done && !ready()) {
    lock.unlock();
    Step(transfer, ready);
    lock.lock();
  }
}

// One round of curl on this thread: run it, take its verdict, and sleep until
// the network has something or the idle time limit is near.
void LocalDriver::Step(Transfer& transfer, const std::function<bool()>& ready) {
  int running = 0;
  CURLcode ended = CURLE_OK;
  bool finished = curl_multi_perform(multi_, &running) != CURLM_OK;
  if (finished) ended = CURLE_FAILED_INIT;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == transfer.Easy()) {
      finished = true;
      ended = message->data.result;
    }
  }
  const auto now = Clock::now();
  auto lock = transfer.Lock();
  if (finished) {
    transfer.End(lock, ended);
    return;
  }
  transfer.NoteProgress(lock, now);
  if (transfer.IdleExpired(lock, now)) {
    transfer.End(lock, CURLE_OPERATION_TIMEDOUT, "timed out");
    return;
  }
  if (ready()) return;
  const auto idle = transfer.setup.idleLimit;
  auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(
      transfer.net.connected ? idle - (now - transfer.Locked(lock).lastActivity) : idle);
  lock.unlock();
  slice = std::clamp(slice, std::chrono::milliseconds(1), kPageFetchPollSlice);
  curl_multi_poll(multi_, nullptr, 0, static_cast<int>(slice.count()), nullptr);
}

void LocalDriver::Resume(Transfer& transfer) {
  {
    const auto lock = transfer.Lock();
    Transfer::Shared& shared = transfer.Locked(lock);
    shared.paused = false;
    shared.resumeAsked = false;
  }
  curl_easy_pause(transfer.Easy(), CURLPAUSE_CONT);  // may hand a delivery over at once
}

void LocalDriver::Finish(std::unique_ptr<Transfer> transfer) {
  if (transfer->net.attached) curl_multi_remove_handle(multi_, transfer->Easy());
}

}  // namespace inet::detail
