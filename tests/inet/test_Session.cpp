// The process's one internet session against real servers: nginx (plain
// HTTP, and TLS with HTTP/2) counting connections in its access log, and a
// small server of our own that ends kept-alive connections without warning.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "Nginx.h"
#include "Sandbox.h"

namespace {

constexpr int kFiles = 100;

std::string FileBody(int n) {
  return testnet::PatternBytes(20000 + static_cast<std::size_t>(n) * 37, static_cast<unsigned>(n));
}

struct Outcome {
  bool answered = false;
  int status = 0;
  std::string body;
  bool clean = false;
  std::string why;
};

// One request on the connection, read to its end.
Outcome Fetch(inet::Connection& connection, const std::string& path,
              const std::string& extraHeaders = {}) {
  const std::string address = (connection.Secure() ? "https://" : "http://") + connection.Host() +
                              ":" + std::to_string(connection.Port()) + path;
  inet::Request request(connection, "GET", address, "", "*/*", inet::kWorkerChunkBytes);
  Outcome out;
  const inet::Outcome sent = request.Send(extraHeaders);
  out.answered = sent.Ok();
  out.why = sent.Reason();
  out.status = request.StatusCode();
  char buffer[inet::kWorkerChunkBytes];
  while (out.answered) {
    const inet::Result<std::size_t> got = request.Read(buffer, sizeof buffer);
    if (!got) {
      out.why = got.Reason();
      break;
    }
    if (*got == 0) {
      out.clean = true;
      break;
    }
    out.body.append(buffer, *got);
  }
  return out;
}

class SessionTest : public SandboxTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testnet::Nginx::Program().empty()) << "nginx missing: run scripts/deps";
    ASSERT_TRUE(testnet::MakeCertificate(Dir(), cert_, key_));
    for (int n = 0; n < kFiles; ++n) WriteFile("www/f" + std::to_string(n), FileBody(n));
    options_.root = PathOf("www");
    options_.certFile = cert_;
    options_.keyFile = key_;
  }
  void TearDown() override {
    inet::testing::SetCaFile("");
    inet::testing::SetTimeouts(60000, 60000);
  }
  void StartNginx() {
    ASSERT_TRUE(nginx_.Start(PathOf("nginx"), options_)) << nginx_.Failure();
    inet::testing::SetCaFile(cert_);
  }
  // The access log once it holds at least count requests (nginx writes a
  // line just after the answer has gone out).
  std::vector<testnet::NginxHit> HitsWhenLogged(std::size_t count) {
    std::vector<testnet::NginxHit> hits;
    for (int i = 0; i < 200 && (hits = nginx_.Hits()).size() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return hits;
  }

  std::string cert_, key_;
  testnet::NginxOptions options_;
  testnet::Nginx nginx_;
  inet::Session session_{"t"};
};

// --- Sharing ----------------------------------------------------------------

// A hundred downloads at once, as the workers of a batch make them.
TEST_F(SessionTest, HundredDownloadsOpenAtMostSixConnectionsOverHttp1AndOneOverHttp2) {
  StartNginx();
  for (const bool secure : {false, true}) {
    const int port = secure ? nginx_.TlsPort() : nginx_.Port();
    {
      std::vector<std::unique_ptr<inet::Connection>> connections;
      for (int n = 0; n < kFiles; ++n)
        connections.push_back(
            std::make_unique<inet::Connection>(session_, "127.0.0.1", port, secure, "", ""));
      std::atomic<int> whole{0};
      std::vector<std::thread> workers;
      for (int n = 0; n < kFiles; ++n)
        workers.emplace_back([&, n] {
          const Outcome out = Fetch(*connections[n], "/f" + std::to_string(n));
          if (out.status == 200 && out.clean && out.body == FileBody(n)) ++whole;
        });
      for (std::thread& worker : workers) worker.join();
      EXPECT_EQ(whole, kFiles) << (secure ? "https" : "http");
      EXPECT_LE(inet::testing::PeakSockets("127.0.0.1", port), inet::kMaxConnectionsPerServer);
    }
    // Closed soon after the last Connection.
    EXPECT_TRUE(
        WaitUntil([&] { return inet::testing::OpenSockets("127.0.0.1", port) == 0; }, 3000));
  }
  int plain = 0, secure = 0;
  for (const testnet::NginxHit& hit : HitsWhenLogged(2 * kFiles)) {
    if (hit.port == nginx_.Port()) {
      ++plain;
      EXPECT_EQ(hit.protocol, "HTTP/1.1");
    } else {
      ++secure;
      EXPECT_EQ(hit.protocol, "HTTP/2.0");
    }
  }
  EXPECT_EQ(plain, kFiles);
  EXPECT_EQ(secure, kFiles);
  EXPECT_GE(nginx_.Connections(nginx_.Port()), 1);
  EXPECT_LE(nginx_.Connections(nginx_.Port()), inet::kMaxConnectionsPerServer);
  EXPECT_EQ(nginx_.Connections(nginx_.TlsPort()), 1);
}
// Workers of a batch one after another, each with its Connection gone
// before the next one comes (as the window starts them, one by one): they
// share one network connection, which closes soon after the last.
TEST_F(SessionTest, ConnectionsOneAfterAnotherReuseTheNetworkConnection) {
  StartNginx();
  constexpr int kInTurn = 10;
  for (int n = 0; n < kInTurn; ++n) {
    {
      inet::Connection connection(session_, "127.0.0.1", nginx_.Port(), false, "", "");
      EXPECT_EQ(Fetch(connection, "/f" + std::to_string(n)).body, FileBody(n)) << n;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  HitsWhenLogged(kInTurn);
  EXPECT_EQ(nginx_.Connections(nginx_.Port()), 1);
  EXPECT_TRUE(
      WaitUntil([&] { return inet::testing::OpenSockets("127.0.0.1", nginx_.Port()) == 0; }, 3000));
}

// Requests handed from one to the next on one connection: a download, its
// resume with a range, and a request of another Connection without
// credentials; nothing of one reaches the next.
TEST_F(SessionTest, ResumeOverAReusedConnectionSendsItsRangeAndNothingLeaks) {
  StartNginx();
  const std::string body = FileBody(7);
  for (const bool secure : {false, true}) {
    const int port = secure ? nginx_.TlsPort() : nginx_.Port();
    inet::Connection withCredentials(session_, "127.0.0.1", port, secure, "user", "secret");
    inet::Connection without(session_, "127.0.0.1", port, secure, "", "");
    const Outcome whole = Fetch(withCredentials, "/f7");
    EXPECT_EQ(whole.body, body);
    const Outcome rest =
        Fetch(withCredentials, "/f7", "RANGE: bytes=300-" + std::to_string(body.size()) + "\r\n");
    EXPECT_EQ(rest.status, 206);
    EXPECT_TRUE(rest.clean);
    EXPECT_TRUE(body.substr(0, 300) + rest.body == body);
    const Outcome other = Fetch(without, "/f8");
    EXPECT_EQ(other.status, 200);
    EXPECT_TRUE(other.body == FileBody(8));
  }
  const std::vector<testnet::NginxHit> hits = HitsWhenLogged(6);
  ASSERT_EQ(hits.size(), 6u);
  for (std::size_t at : {0u, 3u}) {
    const std::string protocol = at == 0 ? "HTTP/1.1" : "HTTP/2.0";
    for (std::size_t i = at; i < at + 3; ++i) {
      EXPECT_EQ(hits[i].protocol, protocol);
      EXPECT_EQ(hits[i].connection, hits[at].connection) << "request " << i << " not reused";
    }
    EXPECT_EQ(hits[at].range, "-");
    EXPECT_EQ(hits[at + 1].range, "bytes=300-" + std::to_string(body.size()));
    EXPECT_EQ(hits[at + 2].range, "-");
    EXPECT_EQ(hits[at].authorization, "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(hits[at + 1].authorization, "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(hits[at + 2].authorization, "-");
  }
}

// --- Connections the server ends ---------------------------------------------

// A server that answers one request per connection and then ends it without
// a word: it either closes the connection as soon as the answer is out, or
// takes the next request and drops the connection unanswered (the server's
// idle limit striking just as the request went out). Answers RANGE requests.
class OneShotServer {
 public:
  explicit OneShotServer(bool takeNextRequest) : takeNext_(takeNextRequest) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Accept(); });
  }
  ~OneShotServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
    for (std::thread& t : connections_) t.join();
  }
  int Port() const { return port_; }
  // Every request head received, answered or not.
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int Accepted() const { return accepted_; }

 private:
  void Accept() {
    for (;;) {
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0 || stop_) {
        if (fd >= 0) ::close(fd);
        return;
      }
      ++accepted_;
      connections_.emplace_back([this, fd] { Serve(fd); });
    }
  }
  std::string ReadHead(int fd) {
    std::string head;
    char c;
    while (head.find("\r\n\r\n") == std::string::npos && ::read(fd, &c, 1) == 1) head += c;
    return head;
  }
  void Serve(int fd) {
    const std::string head = ReadHead(fd);
    if (!head.empty()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
      }
      const std::size_t pathAt = head.find(' ') + 1;
      const std::string path = head.substr(pathAt, head.find(' ', pathAt) - pathAt);
      const std::string body = FileBody(std::atoi(path.c_str() + 2));
      std::size_t from = 0;
      if (const std::size_t range = head.find("RANGE: bytes="); range != std::string::npos)
        from = std::stoul(head.substr(range + 13));
      std::string answer = from > 0 ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
      answer += "Content-Length: " + std::to_string(body.size() - from) + "\r\n";
      if (from > 0)
        answer += "Content-Range: bytes " + std::to_string(from) + "-" +
                  std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) + "\r\n";
      answer += "\r\n" + body.substr(from);
      for (std::size_t sent = 0; sent < answer.size();) {
        const ssize_t n = ::write(fd, answer.data() + sent, answer.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      if (takeNext_) {
        const std::string next = ReadHead(fd);
        if (!next.empty()) {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(next);
        }
      }
    }
    ::close(fd);
  }

  const bool takeNext_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
  std::vector<std::thread> connections_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

TEST_F(SessionTest, ServersThatEndKeptAliveConnectionsLoseNoDownload) {
  for (const bool takeNext : {false, true}) {
    OneShotServer server(takeNext);
    inet::Connection connection(session_, "127.0.0.1", server.Port(), false, "", "");
    for (int n = 0; n < 8; ++n) {
      if (!takeNext) std::this_thread::sleep_for(std::chrono::milliseconds(20));  // idle a while
      const Outcome out = Fetch(connection, "/f" + std::to_string(n));
      EXPECT_TRUE(out.status == 200 && out.clean && out.body == FileBody(n))
          << "download " << n << (takeNext ? " (request dropped)" : " (closed while idle)") << ": "
          << out.why;
    }
    // A resume whose first try meets a dropped connection keeps its range.
    const std::string body = FileBody(3);
    const std::string range = "RANGE: bytes=1000-" + std::to_string(body.size());
    const Outcome rest = Fetch(connection, "/f3", range + "\r\n");
    EXPECT_EQ(rest.status, 206) << rest.why;
    EXPECT_TRUE(body.substr(0, 1000) + rest.body == body);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    if (takeNext) {
      EXPECT_GT(requests.size(), 9u);  // dropped requests were sent again
      EXPECT_NE(requests[requests.size() - 2].find(range), std::string::npos);
    }
    EXPECT_NE(requests.back().find(range), std::string::npos);
  }

  // HTTP/2: nginx ends every connection with a GOAWAY after ten requests.
  options_.keepaliveRequests = 10;
  StartNginx();
  std::vector<std::unique_ptr<inet::Connection>> connections;
  for (int n = 0; n < 60; ++n)
    connections.push_back(
        std::make_unique<inet::Connection>(session_, "127.0.0.1", nginx_.TlsPort(), true, "", ""));
  std::atomic<int> whole{0};
  std::vector<std::thread> workers;
  for (int n = 0; n < 60; ++n)
    workers.emplace_back([&, n] {
      const Outcome out = Fetch(*connections[n], "/f" + std::to_string(n));
      if (out.status == 200 && out.clean && out.body == FileBody(n)) ++whole;
    });
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(whole, 60);
  HitsWhenLogged(60);
  EXPECT_GE(nginx_.Connections(nginx_.TlsPort()), 6);
}

// --- Trust ------------------------------------------------------------------------

// Over HTTP/1.1, where curl resumes TLS sessions (it keeps none of HTTP/2
// connections), so that a resumable session is there to be misused.
TEST_F(SessionTest, UntrustedCertificateFailsWithAReasonAndSessionReuseDoesNotSkipVerification) {
  options_.http2 = false;
  StartNginx();
  std::string otherCert, otherKey;
  ASSERT_TRUE(testnet::MakeCertificate(PathOf("other-"), otherCert, otherKey));
  {
    // A verified connection stays in the pool and its TLS session is kept.
    inet::Connection trusted(session_, "127.0.0.1", nginx_.TlsPort(), true, "", "");
    EXPECT_TRUE(Fetch(trusted, "/f1").body == FileBody(1));
    for (const std::string& ca : {otherCert, std::string()}) {
      inet::testing::SetCaFile(ca);
      inet::Connection untrusted(session_, "127.0.0.1", nginx_.TlsPort(), true, "", "");
      const Outcome out = Fetch(untrusted, "/f2");
      EXPECT_FALSE(out.answered);
      EXPECT_NE(out.why.find("certificate"), std::string::npos) << out.why;
    }
  }
  // Trusted again, on a new connection once the kept ones have closed: the
  // kept session is resumed.
  ASSERT_TRUE(WaitUntil(
      [&] { return inet::testing::OpenSockets("127.0.0.1", nginx_.TlsPort()) == 0; }, 3000));
  inet::testing::SetCaFile(cert_);
  inet::Connection again(session_, "127.0.0.1", nginx_.TlsPort(), true, "", "");
  EXPECT_TRUE(Fetch(again, "/f3").body == FileBody(3));
  const std::vector<testnet::NginxHit> hits = HitsWhenLogged(2);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_NE(hits[0].connection, hits[1].connection);
  EXPECT_FALSE(hits[0].sessionReused);
  EXPECT_TRUE(hits[1].sessionReused);
}

}  // namespace
