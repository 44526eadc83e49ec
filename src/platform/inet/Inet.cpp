#include "Inet.h"
#include "Unit_Function.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace inet {

namespace {

using Clock = std::chrono::steady_clock;

// Process-wide settings. Allocated once and never freed, so that a worker
// still running while the process exits never meets a destroyed object.
struct Settings {
  std::atomic<long> connectMs{60000};
  std::atomic<long> idleMs{60000};
  std::mutex caMutex;
  std::string caFile;
};

Settings& Config() {
  static Settings* settings = new Settings;
  return *settings;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The per-server download connection slots. Waiters are served in the order
// they asked; a waiter whose stop flag is set leaves the queue. Each waiter
// sleeps on its own condition, and a freed slot wakes only the waiter at the
// head of the queue: with hundreds of downloads waiting for one server, waking
// them all at every release costs more than the transfers.
class SlotTable {
 public:
  bool Acquire(const std::string& key, const std::atomic<bool>* stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    Entry& entry = table_[key];
    auto me = std::make_shared<Waiter>();
    entry.queue.push_back(me);
    for (;;) {
      if (entry.used < kMaxConnectionsPerServer && entry.queue.front() == me) {
        entry.queue.pop_front();
        ++entry.used;
        WakeHead(entry);  // room for more: the next in line goes on too
        return true;
      }
      if (stop != nullptr && stop->load()) {
        entry.queue.erase(std::find(entry.queue.begin(), entry.queue.end(), me));
        if (entry.used == 0 && entry.queue.empty())
          table_.erase(key);
        else
          WakeHead(entry);
        return false;
      }
      // The stop flag is set without a notification: look at it now and then.
      me->wake.wait_for(lock, std::chrono::milliseconds(50));
    }
  }

  void Release(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = table_.find(key);
    if (it == table_.end()) return;
    if (--it->second.used <= 0 && it->second.queue.empty())
      table_.erase(it);
    else
      WakeHead(it->second);
  }

  int InUse(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = table_.find(key);
    return it == table_.end() ? 0 : it->second.used;
  }

  // Network connections actually open, counted as curl opens and closes them.
  void SocketOpened(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    Sockets& sockets = sockets_[key];
    sockets.peak = std::max(sockets.peak, ++sockets.open);
  }
  void SocketClosed(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    --sockets_[key].open;
  }
  std::pair<int, int> SocketCounts(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sockets_.find(key);
    return it == sockets_.end() ? std::pair(0, 0) : std::pair(it->second.open, it->second.peak);
  }

 private:
  struct Waiter {
    std::condition_variable wake;
  };
  struct Entry {
    int used = 0;
    std::deque<std::shared_ptr<Waiter>> queue;
  };
  static void WakeHead(Entry& entry) {
    if (entry.used < kMaxConnectionsPerServer && !entry.queue.empty())
      entry.queue.front()->wake.notify_one();
  }
  struct Sockets {
    int open = 0;
    int peak = 0;
  };
  std::mutex mutex_;
  std::unordered_map<std::string, Entry> table_;
  std::unordered_map<std::string, Sockets> sockets_;
};

SlotTable& Slots() {
  static SlotTable* table = new SlotTable;
  return *table;
}

std::string SlotKey(const std::string& host, int port) {
  return AsciiLower(host) + ":" + std::to_string(port);
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool IsFollowedRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void SetTimeouts(long connectMs, long idleMs) {
  Config().connectMs = connectMs;
  Config().idleMs = idleMs;
}

long ConnectTimeoutMs() {
  return Config().connectMs;
}
long IdleTimeoutMs() {
  return Config().idleMs;
}

void SetCaFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(Config().caMutex);
  Config().caFile = path;
}

std::string EncodeAddress(std::string_view address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

int SlotsInUse(const std::string& host, int port) {
  return Slots().InUse(SlotKey(host, port));
}
int OpenSockets(const std::string& host, int port) {
  return Slots().SocketCounts(SlotKey(host, port)).first;
}
int PeakSockets(const std::string& host, int port) {
  return Slots().SocketCounts(SlotKey(host, port)).second;
}

namespace {

// Socket callbacks of download connections. Their data is the Connection,
// which outlives every network connection made for it: its destructor closes
// the connection cache before anything else.
curl_socket_t OpenCountedSocket(void* connection, curlsocktype, curl_sockaddr* address) {
  const curl_socket_t fd =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd != CURL_SOCKET_BAD)
    Slots().SocketOpened(static_cast<Connection*>(connection)->ServerKey());
  return fd;
}

int CloseCountedSocket(void* connection, curl_socket_t fd) {
  const int result = ::close(fd);
  Slots().SocketClosed(static_cast<Connection*>(connection)->ServerKey());
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------

struct MultiHandle {
  MultiHandle() : handle(curl_multi_init()) {
    if (handle == nullptr) throw std::bad_alloc();
  }
  ~MultiHandle() { curl_multi_cleanup(handle); }
  MultiHandle(const MultiHandle&) = delete;
  MultiHandle& operator=(const MultiHandle&) = delete;
  CURLM* handle;
};

Session::Session(std::string agent) : agent_(std::move(agent)) {
  GlobalInit();
}

Connection::Connection(const Session& session, std::string host, int port, bool secure,
                       std::string userName, std::string password, const std::atomic<bool>* stop)
    : session_(session),
      host_(std::move(host)),
      port_(port),
      secure_(secure),
      userName_(std::move(userName)),
      password_(std::move(password)),
      stop_(stop),
      serverKey_(stop != nullptr ? SlotKey(host_, port_) : std::string()),
      multi_(std::make_unique<MultiHandle>()) {}

Connection::~Connection() {
  // Close the cached network connection before the slot is given back.
  multi_.reset();
  if (!slotKey_.empty()) Slots().Release(slotKey_);
}

bool Connection::AcquireSlot() {
  if (stop_ == nullptr || !slotKey_.empty()) return true;
  std::string key = SlotKey(host_, port_);
  if (!Slots().Acquire(key, stop_)) return false;
  slotKey_ = std::move(key);
  return true;
}

// ---------------------------------------------------------------------------

struct Request::State {
  std::unique_ptr<CURL, EasyDeleter> easy;
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  bool attached = false;

  // Header block of the response being received; reset at each status line,
  // since redirects and interim answers pass through here as well.
  std::string block;
  std::vector<std::pair<std::string, std::string>> fields;
  int status = 0;
  bool final = false;  // the block above belongs to the final response

  // One chunk delivered by curl and not yet handed to the reader.
  std::string pending;
  std::size_t pendingPos = 0;
  bool paused = false;

  bool done = false;
  CURLcode result = CURLE_OK;
  char errorText[CURL_ERROR_SIZE] = {};  // curl's detailed message of a failure
  bool connected = false;
  Clock::time_point lastActivity = Clock::now();

  bool HasPending() const { return pendingPos < pending.size(); }

  void EndOfBlock() {
    if (status >= 100 && status < 200) return;  // an interim answer; the real one follows
    if (IsFollowedRedirect(status)) {
      for (const auto& [name, value] : fields)
        if (SameTextIgnoreCase(name, "Location") && !value.empty()) return;
    }
    final = true;
  }

  void HeaderLine(std::string_view line) {
    lastActivity = Clock::now();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
      block.clear();
      fields.clear();
      final = false;
      status = 0;
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

  std::size_t BodyData(const char* data, std::size_t size) {
    lastActivity = Clock::now();
    final = true;  // body bytes only ever follow the final header block
    if (HasPending()) {
      paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    pending.assign(data, size);
    pendingPos = 0;
    return size;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<State*>(user)->HeaderLine(std::string_view(data, size * count));
    return size * count;
  }

  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* user) {
    return static_cast<State*>(user)->BodyData(data, size * count);
  }
};

Request::Request(Connection& connection, std::string verb, std::string path, std::string referer,
                 std::string acceptTypes, std::size_t chunkBytes)
    : connection_(&connection),
      multi_(&connection.Multi()),
      agent_(connection.Owner().Agent()),
      verb_(std::move(verb)),
      referer_(std::move(referer)),
      acceptTypes_(std::move(acceptTypes)),
      userName_(connection.UserName()),
      password_(connection.Password()) {
  if (!connection.Host().empty()) {
    url_ = EncodeAddress((connection.Secure() ? "https://" : "http://") + connection.Host() + ":" +
                         std::to_string(connection.Port()) + path);
  }
  Configure(chunkBytes);
}

Request::Request(std::unique_ptr<MultiHandle> ownMulti, std::string url, std::string agent,
                 std::string verb, std::string referer, std::string acceptTypes,
                 std::size_t chunkBytes)
    : ownMulti_(std::move(ownMulti)),
      multi_(ownMulti_.get()),
      url_(EncodeAddress(url)),
      agent_(std::move(agent)),
      verb_(std::move(verb)),
      referer_(std::move(referer)),
      acceptTypes_(std::move(acceptTypes)) {
  Configure(chunkBytes);
}

Request::~Request() {
  if (state_ && state_->attached) curl_multi_remove_handle(multi_->handle, state_->easy.get());
}

void Request::Configure(std::size_t chunkBytes) {
  GlobalInit();
  state_ = std::make_unique<State>();
  state_->easy.reset(curl_easy_init());
  if (!state_->easy) throw std::bad_alloc();
  CURL* easy = state_->easy.get();
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs());
  curl_easy_setopt(
      easy, CURLOPT_BUFFERSIZE,
      static_cast<long>(std::clamp<std::size_t>(chunkBytes, 1024, CURL_MAX_READ_SIZE)));
  curl_easy_setopt(easy, CURLOPT_UPLOAD_BUFFERSIZE, 16384L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &State::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, state_.get());
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &State::OnWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, state_.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, state_->errorText);
  if (!agent_.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, agent_.c_str());
  if (!referer_.empty()) curl_easy_setopt(easy, CURLOPT_REFERER, referer_.c_str());
  if (!userName_.empty() || !password_.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, userName_.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password_.c_str());
  }
  std::string caFile;
  {
    std::lock_guard<std::mutex> lock(Config().caMutex);
    caFile = Config().caFile;
  }
  if (!caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());
  if (connection_ != nullptr && !connection_->ServerKey().empty()) {
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OpenCountedSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, connection_);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &CloseCountedSocket);
    curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, connection_);
  }
}

std::unique_ptr<Request> Request::OpenUrl(const Session& session, const std::string& url,
                                          std::size_t chunkBytes) {
  std::unique_ptr<Request> request(new Request(std::make_unique<MultiHandle>(), url,
                                               session.Agent(), "GET", "", "*/*", chunkBytes));
  if (!request->Send()) return nullptr;
  return request;
}

void Request::Abort(int reason) {
  State& s = *state_;
  if (s.attached) curl_multi_remove_handle(multi_->handle, s.easy.get());
  s.attached = false;
  s.done = true;
  s.result = static_cast<CURLcode>(reason);
}

template <typename Ready>
void Request::RunUntil(Ready ready) {
  State& s = *state_;
  while (!s.done && !ready()) {
    int running = 0;
    if (curl_multi_perform(multi_->handle, &running) != CURLM_OK) {
      Abort(CURLE_FAILED_INIT);
      return;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_->handle, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == s.easy.get()) {
        s.done = true;
        s.result = message->data.result;
      }
    }
    if (s.done || ready()) return;
    // The idle clock starts once the request is on its way; reaching the
    // server is bounded by the connect time limit instead.
    if (!s.connected) {
      curl_off_t pretransfer = 0;
      curl_easy_getinfo(s.easy.get(), CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
      if (pretransfer > 0) {
        s.connected = true;
        s.lastActivity = Clock::now();
      }
    }
    const auto idle = std::chrono::milliseconds(IdleTimeoutMs());
    const auto waited = Clock::now() - s.lastActivity;
    if (s.connected && waited >= idle) {
      Abort(CURLE_OPERATION_TIMEDOUT);
      return;
    }
    auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(idle - waited);
    slice = std::clamp(slice, std::chrono::milliseconds(1), std::chrono::milliseconds(200));
    curl_multi_poll(multi_->handle, nullptr, 0, static_cast<int>(slice.count()), nullptr);
  }
}

bool Request::Send(const std::string& extraHeaders, const std::string& body) {
  if (sent_) return StatusCode() != 0;
  sent_ = true;
  State& s = *state_;
  if (url_.empty()) return false;
  if (connection_ != nullptr && !connection_->AcquireSlot()) return false;

  CURL* easy = s.easy.get();
  curl_slist* list = nullptr;
  auto add = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown == nullptr) {
      curl_slist_free_all(list);
      throw std::bad_alloc();
    }
    list = grown;
  };
  // The extra header text, line by line, exactly as given.
  std::size_t start = 0;
  while (start < extraHeaders.size()) {
    std::size_t end = extraHeaders.find_first_of("\r\n", start);
    if (end == std::string::npos) end = extraHeaders.size();
    if (end > start) add(extraHeaders.substr(start, end - start));
    start = end + 1;
  }
  add(acceptTypes_.empty() ? "Accept:" : "Accept: " + acceptTypes_);
  add("Expect:");
  s.headers.reset(list);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);

  body_ = body;
  if (verb_ == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else if (verb_ == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.data());
  } else if (verb_ == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb_.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());

  if (curl_multi_add_handle(multi_->handle, easy) != CURLM_OK) return false;
  s.attached = true;
  s.lastActivity = Clock::now();
  RunUntil([&s] { return s.final; });
  if (s.done && !s.final && s.result == CURLE_OK && s.status != 0) s.final = true;
  if (!s.final) {
    s.block.clear();
    s.fields.clear();
    s.status = 0;
  }
  return s.final;
}

std::string Request::ErrorText() const {
  const State& s = *state_;
  if (!sent_) return {};
  if (url_.empty()) return "no host in the address";
  if (s.result == CURLE_OPERATION_TIMEDOUT) return "timed out";
  if (s.result != CURLE_OK)
    return s.errorText[0] != '\0' ? s.errorText : curl_easy_strerror(s.result);
  if (!s.final) return s.done ? "the server sent no answer" : "no answer yet";
  return {};
}

int Request::StatusCode() const {
  return state_->final ? state_->status : 0;
}

const std::string& Request::RawHeaders() const {
  static const std::string kNone;
  return state_->final ? state_->block : kNone;
}

bool Request::QueryHeader(std::string_view name, std::size_t bufferBytes,
                          std::string& value) const {
  if (!state_->final) return false;
  for (const auto& [field, text] : state_->fields) {
    if (!SameTextIgnoreCase(field, name)) continue;
    if (text.size() + 1 > bufferBytes) return false;
    value = text;
    return true;
  }
  return false;
}

bool Request::Read(char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  State& s = *state_;
  if (!sent_ || !s.final || size == 0) return false;
  s.lastActivity = Clock::now();  // the time spent by the reader is not idle time
  for (;;) {
    if (s.HasPending()) {
      got = std::min(size, s.pending.size() - s.pendingPos);
      std::memcpy(buffer, s.pending.data() + s.pendingPos, got);
      s.pendingPos += got;
      return true;
    }
    if (s.done) return s.result == CURLE_OK;
    if (s.paused) {
      s.paused = false;
      curl_easy_pause(s.easy.get(), CURLPAUSE_CONT);  // may hand a chunk over at once
      continue;
    }
    RunUntil([&s] { return s.HasPending(); });
  }
}

}  // namespace inet
