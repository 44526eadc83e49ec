// Internet client layer: blocking HTTP requests over libcurl, in the shape
// the page fetcher and the download worker use (a session with the agent, a
// connection to one server, requests on it; header queries; reads in
// chunks). Calls block the calling thread. Nothing here touches Qt.
//
// Every call that can fail says so in what it returns: an Outcome, or a
// Result holding the value or the reason there is none (Outcome.h), in the
// transport's own words or the layer's (Reasons.h). An HTTP error status is
// a response, not a failure.
//
// One internet session serves the whole process: every request made on a
// Connection joins one curl multi handle driven by one network thread, so
// all of them share the network connections (kept alive and handed from one
// request to the next), TLS sessions and DNS answers. Each request keeps its
// own headers, range and credentials; nothing of one reaches another. The
// page fetch (OpenUrl) runs on a handle of its own on the caller's thread.
//
// What the layer guarantees to its callers:
// - the agent string is sent as User-Agent (none at all when it is empty);
// - the system's proxy settings apply (the usual proxy environment variables);
// - redirects are followed, at most 10 in a row;
// - the raw header block, the single header values and the status code are
//   those of the final response;
// - extra request headers are sent exactly as given ("RANGE: bytes=..." keeps
//   its capitals over HTTP/1.1; HTTP/2 writes every header name in lower case);
// - the body is read in chunks of at most the size asked for; the session
//   holds at most 256 KB of a request's body (and one 64 KB delivery more)
//   until it is read, and pauses the transfer beyond that;
// - 60 s to connect; a wait for the response or the next body byte fails after
//   60 s without a byte (both session options);
// - at most 6 network connections per server are open at once; requests
//   beyond what they carry wait in line, and a waiting request gives up when
//   its Connection's stop flag is set; the page fetch does not wait in line;
// - how long a stop takes (see Connection): at most 50 ms, whether the
//   request waits for its answer or its body;
// - HTTP/2 over TLS where the server offers it (ALPN), many requests as
//   streams of one connection; HTTP/1.1 with keep-alive otherwise;
// - a request sent on a kept-alive connection that the server had closed
//   meanwhile (or ended with an HTTP/2 GOAWAY) is sent again once on a fresh
//   connection instead of failing;
// - the network connections close a second after the last Connection object
//   is gone; a Connection made meanwhile reuses them;
// - http:// and https:// (system CA store); addresses are handed over with
//   bytes outside printable ASCII and blanks percent-encoded.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Outcome.h"

namespace inet {

namespace detail {
class CurlGlobal;
class Driver;
class Engine;
class Transfer;
struct SocketTally;
}  // namespace detail

// The internet client of the process. Made once in main, before any thread
// that sends requests starts, and ended after the last request: its
// constructor prepares libcurl and starts the network thread; its destructor
// ends every request still waiting for its answer or its body (each fails
// with "stopped", its reader woken at once), ends the network thread and
// closes the network connections. curl is cleaned up once the last Request
// still holding a handle of it is gone as well.
//
// While no Library is alive, or after it ended, a request is not sent: it
// fails with "the internet client is not started" (Send, OpenUrl), and
// RequestsAtOnce reports kMaxConnectionsPerServer. One Library at a time; a
// new one may be made after the last one ended.
class Library {
 public:
  Library();  // throws std::runtime_error when libcurl cannot be prepared
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

 private:
  std::shared_ptr<detail::Engine> engine_;  // null when another Library was alive
};

// Chunk sizes of the users of the layer: the image probe, the download
// worker, the page fetch.
constexpr std::size_t kWorkerChunkBytes = 1025;
constexpr std::size_t kDownloadChunkBytes = 65536;
constexpr std::size_t kPageChunkBytes = 32768;
// Network connections that may be open to one server at the same time.
constexpr int kMaxConnectionsPerServer = 6;
// Redirects followed in a row before a request fails.
constexpr long kMaxRedirects = 10;

// The address with every byte outside printable ASCII (below 0x21 or above
// 0x7E, the blank included) written as %XX with upper-case hex digits.
std::string EncodeAddress(std::string_view address);

// The server an address names, as the layer itself reads the address: its
// host (an IPv6 literal in its brackets, "[::1]"), its port (the scheme's
// default when it names none), whether it is https, and the user
// information, percent-decoded, which is never part of the host.
struct ServerName {
  std::string host;
  int port = 0;
  bool secure = false;
  std::string userName, password;
};
// Fails with "not an http:// or https:// address" when the address is none
// the layer can read.
Result<ServerName> ReadServer(const std::string& address);

// How many requests to host:port the session carries at once: one per
// network connection, or a hundred streams of one connection once the server
// is known to speak HTTP/2. Requests beyond that wait in the server's line.
int RequestsAtOnce(const std::string& host, int port);

// What a session's requests carry: the agent string (sent as User-Agent;
// none at all when empty) and the time limits, in milliseconds, to establish
// a connection and without a byte arriving while a response or body is
// awaited.
struct SessionOptions {
  std::string agent;
  long connectTimeoutMs = 60000;
  long idleTimeoutMs = 60000;
  long totalTimeoutMs = 0;  // the whole transfer, answer and body; 0: no limit
};

// Session: its options; the root of the connections and requests made under
// it. Holds no network resource of its own.
class Session {
 public:
  explicit Session(std::string agent);
  explicit Session(SessionOptions options);
  const SessionOptions& Options() const { return options_; }
  const std::string& Agent() const { return options_.agent; }

 private:
  SessionOptions options_;
};

// Connection to one server (host, port, plain or TLS) with the credentials
// offered to it. Requests made on it join the process's internet session.
// Requests must be destroyed before their Connection, and Connections before
// their Session.
//
// A stop flag, when given, ends a request on it in every phase: in line for
// a connection, waiting for the server's answer, or in its body. The network
// thread looks at the flag every 50 ms (kScanInterval) and ends the transfer
// with "stopped", so a Send or a Read that waits (a stalled body included)
// fails with "stopped" at most 50 ms after the flag is set. Body bytes that
// had arrived before are still handed out first; the caller checks the flag
// between Reads as well. Ending the Library ends a waiting Read at once.
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
  const std::atomic<bool>* StopFlag() const { return stop_; }
  detail::SocketTally& Tally() const { return *tally_; }

 private:
  const Session& session_;
  std::string host_;
  int port_;
  bool secure_;
  std::string userName_;
  std::string password_;
  const std::atomic<bool>* stop_;
  detail::SocketTally* tally_;
  // The engine of the Library alive when the Connection was made; null when none was.
  std::shared_ptr<detail::Engine> engine_;
  friend class Request;
};

// One HTTP request and its response. Send blocks until the headers of the
// final response have arrived (or the request failed); Read hands the body
// over chunk by chunk.
class Request {
 public:
  // A request on a connection: verb ("GET", "POST", ...), the whole address
  // (scheme, server, path and query), the referrer (none when empty), the
  // Accept value (none when empty), and the largest chunk a Read will be
  // asked for. The address must name the connection's server (scheme, host
  // without regard to letter case, port or its default); otherwise, or when
  // the connection names no host, the request fails without being sent.
  Request(Connection& connection, std::string verb, std::string address, std::string referer,
          std::string acceptTypes, std::size_t chunkBytes);
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Opens a whole address with a GET under the session (on a handle of its
  // own, never in line behind downloads; no extra headers) and sends it: the
  // request with its final response, or why none could be had (a malformed
  // address, an unsupported scheme, a host that cannot be resolved, no
  // connection, no answer in time).
  static Result<std::unique_ptr<Request>> OpenUrl(const Session& session, const std::string& url,
                                                  std::size_t chunkBytes);

  // Sends the request with the extra header text (lines separated by CR LF,
  // a final line end optional) and the body (a POST's form data). Done when
  // a final response arrived; otherwise failed in the transport's own words
  // ("timed out" when nothing arrived within the idle time limit, "stopped"
  // when the stop flag was set). A request is sent only once: a second call
  // gives the first one's outcome.
  Outcome Send(const std::string& extraHeaders = {}, const std::string& body = {});

  // Status code of the final response; 0 when there was none.
  int StatusCode() const;
  // The final response's status line and header lines, each ended by CR LF,
  // then an empty line (CR LF). Empty when there was no response.
  const std::string& RawHeaders() const;
  // The value of the first header of that name (letter case ignored) in the
  // final response, as the server sent it without surrounding blanks. None
  // when there is no final response, the header is absent, or its value with
  // a terminating NUL would not fit a buffer of bufferBytes bytes.
  std::optional<std::string> QueryHeader(std::string_view name, std::size_t bufferBytes) const;

  // Reads the next chunk of the body into buffer, at most size bytes (and
  // never more than the chunk size given at construction): the count read,
  // 0 at the end of the body. Fails without a final response (with Send's
  // reason), on a broken connection, when nothing arrived in time ("timed
  // out"), on a stop ("stopped"), and when size is 0.
  Result<std::size_t> Read(char* buffer, std::size_t size);

 private:
  Request(std::shared_ptr<detail::Driver> driver, std::shared_ptr<const detail::CurlGlobal> curl,
          const Session& session, std::string url, std::string verb, std::string referer,
          std::string acceptTypes, std::size_t chunkBytes);
  void Configure(const std::string& extraHeaders, const std::string& body);
  // Why Send gave no final response.
  std::string Failure() const;

  // The connection's engine, or the page fetch's own driver; null when the
  // request cannot be sent.
  std::shared_ptr<detail::Driver> driver_;
  std::unique_ptr<detail::Transfer> transfer_;
  Connection* connection_ = nullptr;
  std::string url_;      // empty: the request cannot be sent, for refusal_
  std::string refusal_;  // why the address cannot be sent
  SessionOptions options_;
  std::string verb_;
  std::string referer_;
  std::string acceptTypes_;
  std::size_t chunkBytes_;
  bool sent_ = false;
  bool started_ = false;
  // The final response, copied from the transfer once it has arrived.
  bool final_ = false;
  int status_ = 0;
  std::string block_;
  std::vector<std::pair<std::string, std::string>> fields_;
};

}  // namespace inet
