// The internet client layer against in-process servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "Sandbox.h"

using testnet::LocalServer;

namespace {

class InetTest : public SandboxTest {
 protected:
  void SetUp() override { session_ = std::make_unique<inet::Session>("t"); }
  void TearDown() override {
    inet::testing::SetTimeouts(60000, 60000);
    inet::testing::SetCaFile("");
  }

  // Starts server and opens path on it through the test's session; null, with
  // the reason recorded as a failure, when either does not happen.
  std::unique_ptr<inet::Request> StartAndOpen(LocalServer& server, const std::string& path,
                                              std::size_t chunk) {
    if (!server.Start()) {
      ADD_FAILURE() << "the local server did not start";
      return nullptr;
    }
    auto request = inet::Request::OpenUrl(*session_, server.Url(path), chunk);
    if (!request) {
      ADD_FAILURE() << path << " could not be opened: " << request.Reason();
      return nullptr;
    }
    return std::move(*request);
  }

  // The whole body of an opened request, read in chunks of chunk bytes;
  // largest receives the biggest chunk seen, why the reason a Read failed
  // (empty when the body ended cleanly).
  static std::string ReadAll(inet::Request& request, std::size_t chunk, std::size_t* largest,
                             std::string* why) {
    std::string body;
    std::string buffer(chunk, '\0');
    if (largest) *largest = 0;
    if (why) why->clear();
    for (;;) {
      const inet::Result<std::size_t> got = request.Read(buffer.data(), chunk);
      if (!got) {
        if (why) *why = got.Reason();
        break;
      }
      if (*got == 0) break;
      if (largest && *got > *largest) *largest = *got;
      body.append(buffer.data(), *got);
    }
    return body;
  }

  // The header of the given name exactly as it arrived; "<none>" when absent.
  static std::string RawHeader(const httplib::Request& request, const std::string& name) {
    for (const auto& [key, value] : request.headers)
      if (key == name) return value;
    return "<none>";
  }

  std::unique_ptr<inet::Session> session_;
};

// --- Addresses -------------------------------------------------------------

TEST_F(InetTest, EncodeAddressEscapesBlanksControlsAndHighBytes) {
  EXPECT_EQ(inet::EncodeAddress("http://h/a b"), "http://h/a%20b");
  EXPECT_EQ(inet::EncodeAddress(std::string("x\x01\x7F\xC3\xA9~!", 7)), "x%01%7F%C3%A9~!");
  EXPECT_EQ(inet::EncodeAddress("http://h/p?q=1&r=%41#f"), "http://h/p?q=1&r=%41#f");
  EXPECT_EQ(inet::EncodeAddress(""), "");
}

// --- Response headers -------------------------------------------------------

TEST_F(InetTest, RawHeadersAreThoseOfTheFinalResponseAfterRedirects) {
  LocalServer server;
  server->Get("/first", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("X-First", "1");
    res.set_redirect("/second");
  });
  server->Get("/second", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/final", 301);
  });
  server->Get("/final", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("X-Final", "yes");
    res.set_content("done", "text/plain");
  });
  auto request = StartAndOpen(server, "/first", 32768);
  ASSERT_NE(request, nullptr);
  const std::string& headers = request->RawHeaders();
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers;
  EXPECT_NE(headers.find("\r\nX-Final: yes\r\n"), std::string::npos);
  EXPECT_EQ(headers.find("X-First"), std::string::npos);
  EXPECT_EQ(headers.find("Location"), std::string::npos);
  ASSERT_GE(headers.size(), 4u);
  EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
  // Every line ends in CR LF, none in a bare LF.
  for (std::size_t i = 0; i < headers.size(); ++i)
    if (headers[i] == '\n') {
      EXPECT_EQ(headers[i - 1], '\r') << "at " << i;
    }
  EXPECT_EQ(request->StatusCode(), 200);
  EXPECT_EQ(request->QueryHeader("X-First", 256), std::nullopt);
  EXPECT_EQ(request->QueryHeader("x-final", 256), "yes");
  EXPECT_EQ(ReadAll(*request, 32768, nullptr, nullptr), "done");
}

TEST_F(InetTest, FollowsTenRedirectsButNotEleven) {
  LocalServer server;
  server->Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
    const int left = std::stoi(req.matches[1]);
    if (left == 0)
      res.set_content("arrived", "text/plain");
    else
      res.set_redirect("/hop/" + std::to_string(left - 1));
  });
  auto ten = StartAndOpen(server, "/hop/10", 32768);
  ASSERT_NE(ten, nullptr);
  EXPECT_EQ(ReadAll(*ten, 32768, nullptr, nullptr), "arrived");
  EXPECT_EQ(inet::Request::OpenUrl(*session_, server.Url("/hop/11"), 32768).Reason(),
            "Maximum (10) redirects followed");
}

TEST_F(InetTest, HeaderValuesMustFitTheirBuffer) {
  LocalServer server;
  server->Get("/h", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Last-Modified", std::string(255, 'a'));
    res.set_header("X-Long", std::string(256, 'b'));
    res.set_header("X-Padded", "  value with inner blanks ");
    res.set_content("", "text/plain");
  });
  auto request = StartAndOpen(server, "/h", 1025);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->QueryHeader("Last-Modified", 256), std::string(255, 'a'));
  EXPECT_EQ(request->QueryHeader("X-Long", 256), std::nullopt);
  EXPECT_EQ(request->QueryHeader("X-Long", 257), std::string(256, 'b'));
  EXPECT_EQ(request->QueryHeader("X-PADDED", 256), "value with inner blanks");
  EXPECT_EQ(request->QueryHeader("X-Absent", 2048), std::nullopt);
  EXPECT_EQ(request->QueryHeader("Content-Length", 2048), "0");
}

// --- Body -----------------------------------------------------------------

TEST_F(InetTest, BodyArrivesInChunksOfAtMostTheAskedSize) {
  const std::string body = testnet::PatternBytes(300000);
  LocalServer server;
  server->Get("/big", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, "application/octet-stream");
  });
  server->Get("/chunked", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider(
        "application/octet-stream", [&](size_t offset, httplib::DataSink& sink) {
          if (offset < body.size()) {
            sink.write(body.data() + offset, std::min<size_t>(50000, body.size() - offset));
          } else {
            sink.done();
          }
          return true;
        });
  });
  ASSERT_TRUE(server.Start());
  inet::Session session("t");
  for (const char* path : {"/big", "/chunked"}) {
    for (std::size_t chunk : {inet::kWorkerChunkBytes, inet::kPageChunkBytes}) {
      auto request = inet::Request::OpenUrl(session, server.Url(path), chunk);
      ASSERT_TRUE(request) << request.Reason();
      std::size_t largest = 0;
      std::string why = "unread";
      EXPECT_EQ(ReadAll(**request, chunk, &largest, &why), body) << path << " " << chunk;
      EXPECT_EQ(why, "");
      EXPECT_LE(largest, chunk);
      EXPECT_GT(largest, 0u);
    }
  }
  // A reader that asks for less than the chunk size gets no more than it asked.
  auto request = inet::Request::OpenUrl(session, server.Url("/big"), 32768);
  ASSERT_TRUE(request) << request.Reason();
  std::size_t largest = 0;
  EXPECT_EQ(ReadAll(**request, 100, &largest, nullptr), body);
  EXPECT_LE(largest, 100u);
}

// --- Request ----------------------------------------------------------------

TEST_F(InetTest, RequestCarriesAgentAcceptRefererAndExtraHeadersAsGiven) {
  LocalServer server;
  std::mutex mutex;
  std::vector<httplib::Request> seen;
  server->Get("/r", [&](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(req);
    res.set_content("r", "text/plain");
  });
  ASSERT_TRUE(server.Start());

  {
    inet::Session session("Brenmoor HTTPGet");
    inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "");
    inet::Request request(connection, "GET", server.Url("/r"), "http://ref.example/page",
                          "image/gif, */*", 1025);
    ASSERT_TRUE(request.Send("RANGE: bytes=300-1000\r\nX-Two: b"));
  }
  {
    inet::Session session("");
    inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "");
    inet::Request request(connection, "GET", server.Url("/r"), "", "", 1025);
    ASSERT_TRUE(request.Send());
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(RawHeader(seen[0], "User-Agent"), "Brenmoor HTTPGet");
  EXPECT_EQ(RawHeader(seen[0], "Accept"), "image/gif, */*");
  EXPECT_EQ(RawHeader(seen[0], "Referer"), "http://ref.example/page");
  EXPECT_EQ(RawHeader(seen[0], "RANGE"), "bytes=300-1000");
  EXPECT_EQ(RawHeader(seen[0], "Range"), "<none>");
  EXPECT_EQ(RawHeader(seen[0], "X-Two"), "b");
  EXPECT_EQ(RawHeader(seen[1], "User-Agent"), "<none>");
  EXPECT_EQ(RawHeader(seen[1], "Accept"), "<none>");
  EXPECT_EQ(RawHeader(seen[1], "Referer"), "<none>");
  EXPECT_FALSE(seen[1].has_header("Range"));
}

TEST_F(InetTest, RequestGoesOnlyToTheServerOfItsConnection) {
  LocalServer server;
  std::atomic<int> seen{0};
  std::string host;
  server->Get("/r", [&](const httplib::Request& req, httplib::Response& res) {
    host = req.get_header_value("Host");
    ++seen;
    res.set_content("r", "text/plain");
  });
  ASSERT_TRUE(server.Start());
  inet::Session session("t");
  inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "");
  const std::string port = std::to_string(server.Port());
  {  // an address without a scheme is an http address
    inet::Request request(connection, "GET", "127.0.0.1:" + port + "/r", "", "*/*", 1025);
    ASSERT_TRUE(request.Send());
    EXPECT_EQ(request.StatusCode(), 200);
    EXPECT_EQ(host, "127.0.0.1:" + port);
  }
  for (const std::string& other :
       {"http://localhost:" + port + "/r", "https://127.0.0.1:" + port + "/r",
        "http://127.0.0.1:" + std::to_string(testnet::ClosedPort()) + "/r",
        "http://127.0.0.1:x" + port + "/r"}) {
    inet::Request request(connection, "GET", other, "", "*/*", 1025);
    EXPECT_NE(request.Send().Reason().find("does not name the server 127.0.0.1:" + port),
              std::string::npos)
        << other;
  }
  EXPECT_EQ(seen, 1);
}

// --- Failures and time limits ------------------------------------------------

TEST_F(InetTest, UnreachableAddressesGiveNoResponse) {
  inet::Session session("t");
  // Each fails with a reason.
  for (const std::string& address :
       {std::string("http://no-such-host.invalid/x"),
        "http://127.0.0.1:" + std::to_string(testnet::ClosedPort()) + "/",
        std::string("not an address"), std::string("ftp://127.0.0.1/x")})
    EXPECT_NE(inet::Request::OpenUrl(session, address, 1025).Reason(), "") << address;
  EXPECT_EQ(inet::Request::OpenUrl(session, "", 1025).Reason(), "no host in the address");

  inet::Connection noHost(session, "", 80, false, "", "");
  inet::Request request(noHost, "GET", "example.com", "", "*/*", 1025);
  EXPECT_EQ(request.Send().Reason(), "no host in the address");
  EXPECT_EQ(request.StatusCode(), 0);
  EXPECT_EQ(request.RawHeaders(), "");
  char buffer[16];
  EXPECT_EQ(request.Read(buffer, sizeof buffer).Reason(), "no host in the address");
}

TEST_F(InetTest, StalledBodyMakesTheReadFailAfterTheIdleTimeLimit) {
  std::atomic<bool> release{false};
  LocalServer server;
  server->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(2000, "application/octet-stream",
                             [&](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset == 0) {
                                 sink.write(std::string(100, 's').data(), 100);
                                 return true;
                               }
                               // Stall until the client has given up (bounded).
                               for (int i = 0; i < 500 && !release; ++i)
                                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
                               return false;
                             });
  });
  ASSERT_TRUE(server.Start());
  // The limit set by the test override, then the session's own.
  for (const bool overridden : {true, false}) {
    release = false;
    inet::testing::SetTimeouts(overridden ? 5000 : 0, overridden ? 300 : 0);
    inet::Session session(overridden ? inet::SessionOptions{"t"}
                                     : inet::SessionOptions{"t", 5000, 300});
    auto request = inet::Request::OpenUrl(session, server.Url("/stall"), 1025);
    ASSERT_TRUE(request) << request.Reason();
    std::string why;
    EXPECT_EQ(ReadAll(**request, 1025, nullptr, &why), std::string(100, 's'));
    EXPECT_EQ(why, "timed out") << overridden;
    release = true;
  }
}

// A stop set while a Read waits in a stalled body ends the Read "stopped" at
// the network thread's next scan, long before the idle limit.
TEST_F(InetTest, AStopEndsAReadThatWaitsInAStalledBody) {
  std::atomic<bool> release{false};
  LocalServer server;
  server->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [&](size_t offset, httplib::DataSink& sink) {
      if (offset == 0) return sink.write("first", 5);
      for (int i = 0; i < 4000 && !release; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      sink.done();
      return true;
    });
  });
  struct Release {
    std::atomic<bool>& flag;
    ~Release() { flag = true; }  // the server's thread ends before the server goes
  } releaseAtEnd{release};
  ASSERT_TRUE(server.Start());
  const inet::Session session(inet::SessionOptions{"t", 5000, 30000});
  std::atomic<bool> stop{false};
  inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "", &stop);
  inet::Request request(connection, "GET", server.Url("/stall"), "", "*/*", 1025);
  const inet::Outcome sent = request.Send();
  ASSERT_TRUE(sent) << sent.Reason();
  char buffer[1025];
  for (std::size_t had = 0; had < 5;) {
    const inet::Result<std::size_t> got = request.Read(buffer, sizeof buffer);
    ASSERT_TRUE(got && *got > 0) << got.Reason();
    had += *got;
  }
  auto reading =
      std::async(std::launch::async, [&] { return request.Read(buffer, sizeof buffer); });
  EXPECT_EQ(reading.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  stop = true;
  EXPECT_EQ(reading.get().Reason(), "stopped");
}

// --- Waiting in line ------------------------------------------------------------

// Six downloads held by the server take every connection to it: the next
// waits in line and gives up when told to stop, while the page fetch, on a
// handle of its own, is served at once.
TEST_F(InetTest, PageFetchDoesNotWaitInLineAndAWaitingRequestGivesUpWhenStopped) {
  std::atomic<bool> release{false};
  std::atomic<int> holding{0};
  LocalServer server;
  server->new_task_queue = [] { return new httplib::ThreadPool(12); };
  server->Get("/hold", [&](const httplib::Request&, httplib::Response& res) {
    ++holding;
    for (int i = 0; i < 1000 && !release; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    res.set_content("held", "text/plain");
  });
  server->Get("/p", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("page", "text/html");
  });
  ASSERT_TRUE(server.Start());
  inet::Session session("t");
  std::vector<std::thread> held;
  std::atomic<int> answered{0};
  for (int i = 0; i < inet::kMaxConnectionsPerServer; ++i)
    held.emplace_back([&] {
      inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "");
      inet::Request request(connection, "GET", server.Url("/hold"), "", "*/*", 1025);
      std::string why;
      if (request.Send() && ReadAll(request, 1025, nullptr, &why) == "held" && why.empty())
        ++answered;
    });
  for (int i = 0; i < 500 && holding < inet::kMaxConnectionsPerServer; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(holding, inet::kMaxConnectionsPerServer);
  EXPECT_EQ(inet::testing::OpenSockets("127.0.0.1", server.Port()), inet::kMaxConnectionsPerServer);

  auto page = inet::Request::OpenUrl(session, server.Url("/p"), 32768);
  ASSERT_TRUE(page) << page.Reason();
  EXPECT_EQ(ReadAll(**page, 32768, nullptr, nullptr), "page");

  std::atomic<bool> stop{false};
  auto waiting = std::async(std::launch::async, [&] {
    inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "", &stop);
    inet::Request request(connection, "GET", server.Url("/p"), "", "*/*", 1025);
    return request.Send();
  });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  stop = true;
  EXPECT_EQ(waiting.get().Reason(), "stopped");
  EXPECT_LE(inet::testing::PeakSockets("127.0.0.1", server.Port()), inet::kMaxConnectionsPerServer);

  release = true;
  for (std::thread& thread : held) thread.join();
  EXPECT_EQ(answered, inet::kMaxConnectionsPerServer);
  // The last Connection gone, the kept-alive connections close soon after.
  EXPECT_TRUE(
      WaitUntil([&] { return inet::testing::OpenSockets("127.0.0.1", server.Port()) == 0; }, 3000));
}

}  // namespace
