// Internet client layer: blocking HTTP/1.1 requests over libcurl, in the
// shape the page fetcher and the download worker use (a session with the
// agent, a connection to one server, requests on it; header queries; reads in
// chunks). Every object owns its own curl handles and closes them when it is
// destroyed; calls block the calling thread. Nothing here touches Qt.
//
// What the layer guarantees to its callers:
// - the agent string is sent as User-Agent (none at all when it is empty);
// - the system's proxy settings apply (the usual proxy environment variables);
// - redirects are followed, at most 10 in a row;
// - the raw header block, the single header values and the status code are
//   those of the final response;
// - extra request headers are sent exactly as given ("RANGE: bytes=..." keeps
//   its capitals);
// - the body is read in chunks of at most the size asked for and is never
//   held in memory beyond one chunk;
// - 60 s to connect; a wait for the response or the next body byte fails after
//   60 s without a byte (both settable for tests);
// - at most 6 download connections per server are open at once; a connection
//   beyond that waits for a free slot and gives up when its stop flag is set;
//   the page fetch takes no slot;
// - http:// and https:// (system CA store); addresses are handed over with
//   bytes outside printable ASCII and blanks percent-encoded.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inet {

// Initialises libcurl for the whole process. Call it once from the main
// thread before any thread starts; further calls do nothing. The layer also
// calls it on first use, so forgetting it is not fatal.
void GlobalInit();

// Chunk sizes of the two users of the layer.
constexpr std::size_t kWorkerChunkBytes = 1025;
constexpr std::size_t kPageChunkBytes = 32768;
// Download connections that may be open to one server at the same time.
constexpr int kMaxConnectionsPerServer = 6;
// Redirects followed in a row before a request fails.
constexpr long kMaxRedirects = 10;

// Time limits, in milliseconds: to establish a connection, and without a byte
// arriving while a response or body is awaited. Both default to 60000.
// Changing them affects requests sent afterwards.
void SetTimeouts(long connectMs, long idleMs);
long ConnectTimeoutMs();
long IdleTimeoutMs();

// A file of trusted certificates used in place of the system CA store; empty
// restores the system store. Meant for tests with a throw-away certificate.
void SetCaFile(const std::string& path);

// The address with every byte outside printable ASCII (below 0x21 or above
// 0x7E, the blank included) written as %XX with upper-case hex digits.
std::string EncodeAddress(std::string_view address);

// The number of download connection slots in use for host:port right now
// (host compared without regard to letter case).
int SlotsInUse(const std::string& host, int port);
// Network connections that download connections to host:port hold open right
// now, and the most they ever held open at the same moment.
int OpenSockets(const std::string& host, int port);
int PeakSockets(const std::string& host, int port);

// Session: the agent string; the root of the connections and requests made
// under it. Holds no network resource of its own.
class Session {
 public:
  explicit Session(std::string agent);
  const std::string& Agent() const { return agent_; }

 private:
  std::string agent_;
};

struct MultiHandle;

// Connection to one server (host, port, plain or TLS) with the credentials
// offered to it. Requests made on it share one connection cache, so at most
// one network connection is open per Connection at a time. A Connection
// created with a stop flag is a download connection: it takes one of the
// server's slots at its first request and gives it back when it is destroyed.
// Requests must be destroyed before their Connection, and Connections before
// their Session.
class Connection {
 public:
  Connection(const Session& session, std::string host, int port, bool secure, std::string userName,
             std::string password, const std::atomic<bool>* stop = nullptr);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const Session& Owner() const { return session_; }
  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  bool Secure() const { return secure_; }
  const std::string& UserName() const { return userName_; }
  const std::string& Password() const { return password_; }

  // Takes a server slot unless one is held already or this is not a download
  // connection; waits while all slots are in use. False when the stop flag was
  // set before a slot came free.
  bool AcquireSlot();
  MultiHandle& Multi() { return *multi_; }
  // Key of the server in the slot table; empty for a connection without slot.
  const std::string& ServerKey() const { return serverKey_; }

 private:
  const Session& session_;
  std::string host_;
  int port_;
  bool secure_;
  std::string userName_;
  std::string password_;
  const std::atomic<bool>* stop_;
  std::string serverKey_;
  std::string slotKey_;  // empty while no slot is held
  std::unique_ptr<MultiHandle> multi_;
};

// One HTTP request and its response. Send blocks until the headers of the
// final response have arrived (or the request failed); Read hands the body
// over chunk by chunk.
class Request {
 public:
  // A request on a connection: verb ("GET", "POST", ...), the path with its
  // query, the referrer (none when empty), the Accept value (none when
  // empty), and the largest chunk a Read will be asked for.
  Request(Connection& connection, std::string verb, std::string path, std::string referer,
          std::string acceptTypes, std::size_t chunkBytes);
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Opens a whole address with a GET under the session (no server slot, no
  // extra headers) and sends it. Null when no response could be had: a
  // malformed address, an unsupported scheme, a host that cannot be resolved,
  // no connection, no answer in time.
  static std::unique_ptr<Request> OpenUrl(const Session& session, const std::string& url,
                                          std::size_t chunkBytes);

  // Sends the request with the extra header text (lines separated by CR LF,
  // a final line end optional) and the body (a POST's form data). True when a
  // final response arrived; a request is sent only once.
  bool Send(const std::string& extraHeaders = {}, const std::string& body = {});

  // Status code of the final response; 0 when there was none.
  int StatusCode() const;
  // The final response's status line and header lines, each ended by CR LF,
  // then an empty line (CR LF). Empty when there was no response.
  const std::string& RawHeaders() const;
  // The value of the first header of that name (letter case ignored) in the
  // final response, as the server sent it without surrounding blanks. False
  // when the header is absent or its value with a terminating NUL would not
  // fit a buffer of bufferBytes bytes.
  bool QueryHeader(std::string_view name, std::size_t bufferBytes, std::string& value) const;

  // Reads the next chunk of the body, at most size bytes (and never more than
  // the chunk size given at construction). True with got > 0 for data, true
  // with got == 0 at the end of the body; false on failure (no response,
  // broken connection, nothing received in time).
  bool Read(char* buffer, std::size_t size, std::size_t& got);

  // Why the request failed, in the transport's own words ("timed out" when
  // nothing arrived within the idle time limit); empty while nothing failed.
  // An HTTP error status is a response, not a failure of the request.
  std::string ErrorText() const;

  struct State;  // transfer state shared with the curl callbacks

 private:
  Request(std::unique_ptr<MultiHandle> ownMulti, std::string url, std::string agent,
          std::string verb, std::string referer, std::string acceptTypes, std::size_t chunkBytes);
  void Configure(std::size_t chunkBytes);
  // Runs the transfer until the state says ready, the transfer ended or the
  // idle time limit passed.
  template <typename Ready>
  void RunUntil(Ready ready);
  void Abort(int reason);

  Connection* connection_ = nullptr;
  std::unique_ptr<MultiHandle> ownMulti_;
  MultiHandle* multi_;
  std::string url_;
  std::string agent_;
  std::string verb_;
  std::string referer_;
  std::string acceptTypes_;
  std::string userName_;
  std::string password_;
  std::string body_;
  std::unique_ptr<State> state_;
  bool sent_ = false;
};

}  // namespace inet
