// The page fetcher against in-process servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "GetWebPage.h"
#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "Sandbox.h"

using testnet::LocalServer;

namespace {

class GetWebPageTest : public SandboxTest {
 protected:
  void SetUp() override {
    server_->Get("/index.html", [this](const httplib::Request& req, httplib::Response& res) {
      agent_ = req.get_header_value("User-Agent");
      res.set_header("X-Page", "index");
      res.set_content("<html><img src=\"a.jpg\"></html>", "text/html; charset=GBK");
    });
    server_->Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<h1>Not Found</h1>", "text/html");
    });
    server_->Get("/big", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(big_, "application/octet-stream");
    });
    server_->Get("/old", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/index.html");
    });
    server_->Get("/cut", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(100000, "text/html",
                               [](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset > 0) return false;
                                 sink.write(std::string(5000, 'p').data(), 5000);
                                 return true;
                               });
    });
    ASSERT_TRUE(server_.Start());
  }
  void TearDown() override {
    inet::testing::SetTimeouts(60000, 60000);
    inet::testing::SetCaFile("");
  }

  LocalServer server_;
  std::string agent_;
  const std::string big_ = testnet::PatternBytes(700 * 1024, 3);
};

TEST_F(GetWebPageTest, PageComesBackWithThePageAgentAndItsContentType) {
  std::string page;
  TPageFetch fetch = GetWebPage(server_.Url("/index.html"), false, page);
  EXPECT_TRUE(fetch.Came()) << fetch.Reason;
  EXPECT_EQ(page, "<html><img src=\"a.jpg\"></html>");
  EXPECT_EQ(agent_, "Internet Explorer 6.0");
  fetch = GetWebPage(server_.Url("/old"), false, page);  // the final response's
  EXPECT_EQ(fetch.ContentType, "text/html; charset=GBK");
  fetch = GetWebPage(server_.Url("/cut"), false, page);
  EXPECT_EQ(fetch.ContentType, "text/html");
}

TEST_F(GetWebPageTest, ErrorStatusIsNoPageButItsBodyIsReturned) {
  std::string page;
  const TPageFetch fetch = GetWebPage(server_.Url("/missing"), false, page);
  EXPECT_EQ(fetch.Outcome, TPageFetch::TOutcome::kStatus);
  EXPECT_EQ(fetch.Reason, "HTTP 404 Not Found");
  EXPECT_EQ(page, "<h1>Not Found</h1>");
}

TEST_F(GetWebPageTest, IncludeHeadersPutsTheHeaderBlockFirst) {
  std::string page;
  GetWebPage(server_.Url("/index.html"), true, page);
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page;
  const std::size_t end = page.find("\r\n\r\n");
  ASSERT_NE(end, std::string::npos);
  const std::string headers = page.substr(0, end + 4);
  EXPECT_NE(headers.find("\r\nX-Page: index\r\n"), std::string::npos);
  EXPECT_NE(headers.find("\r\nContent-Length: 30\r\n"), std::string::npos);
  EXPECT_EQ(page.substr(end + 4), "<html><img src=\"a.jpg\"></html>");

  std::string missing;
  GetWebPage(server_.Url("/missing"), true, missing);
  EXPECT_EQ(missing.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << missing;
  EXPECT_EQ(missing.substr(missing.size() - 18), "<h1>Not Found</h1>");
}

TEST_F(GetWebPageTest, LargePageArrivesByteForByte) {
  std::string page;
  GetWebPage(server_.Url("/big"), false, page);
  ASSERT_EQ(page.size(), big_.size());
  EXPECT_TRUE(page == big_);
}

TEST_F(GetWebPageTest, RedirectIsFollowedAndHeadersAreTheFinalOnes) {
  std::string page;
  GetWebPage(server_.Url("/old"), true, page);
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << page;
  EXPECT_EQ(page.find("302"), std::string::npos);
  EXPECT_EQ(page.substr(page.find("\r\n\r\n") + 4), "<html><img src=\"a.jpg\"></html>");
}

TEST_F(GetWebPageTest, PageBrokenOffReturnsTheBytesReceivedAndSaysSo) {
  std::string page;
  const TPageFetch fetch = GetWebPage(server_.Url("/cut"), false, page);
  EXPECT_EQ(fetch.Outcome, TPageFetch::TOutcome::kBroken);
  EXPECT_FALSE(fetch.Reason.empty());
  EXPECT_EQ(page, std::string(5000, 'p'));
}

TEST_F(GetWebPageTest, UnopenableAddressLeavesThePageAsGiven) {
  std::string page;
  GetWebPage("http://no-such-host.invalid/index.html", false, page);
  EXPECT_EQ(page, "");
  std::string kept = "kept";
  const TPageFetch fetch = GetWebPage("http://no-such-host.invalid/index.html", true, kept);
  EXPECT_EQ(fetch.Outcome, TPageFetch::TOutcome::kNotOpened);
  EXPECT_NE(fetch.Reason.find("no-such-host.invalid"), std::string::npos) << fetch.Reason;
  EXPECT_EQ(kept, "kept");
  GetWebPage("http://127.0.0.1:" + std::to_string(testnet::ClosedPort()) + "/", true, kept);
  EXPECT_EQ(kept, "kept");
  GetWebPage("gopher://127.0.0.1/", false, kept);
  EXPECT_EQ(kept, "kept");
}

TEST_F(GetWebPageTest, SilentServerIsGivenUp) {
  inet::testing::SetTimeouts(5000, 300);
  testnet::SilentListener silent;
  ASSERT_GT(silent.Port(), 0);
  std::string page = "kept";
  const TPageFetch fetch = GetWebPage(silent.Url("/"), true, page);
  EXPECT_EQ(fetch.Outcome, TPageFetch::TOutcome::kNotOpened);
  EXPECT_EQ(fetch.Reason, "timed out");
  EXPECT_EQ(page, "kept");
}

// A page past its size or its time in all is given up with its reason: one
// announced too large, one sent without end, one dripped a byte at a time.
TEST_F(GetWebPageTest, APageIsBoundedInSizeAndInTime) {
  const auto endless = [](std::size_t pause, std::size_t bytes) {
    return [pause, bytes](size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      return sink.is_writable() && sink.write(std::string(bytes, 'x').data(), bytes);
    };
  };
  server_->Get("/announced", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string((1 << 20) + 1, 'a'), "text/html");
  });
  server_->Get("/endless", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/html", endless(0, 16384));
  });
  server_->Get("/drip", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/html", endless(100, 1));
  });
  const TPageLimits limits{1 << 20, std::chrono::milliseconds(2000)};
  const struct {
    std::string path;
    TPageFetch::TOutcome outcome;
    std::string reason;
  } cases[] = {
      {"/announced", TPageFetch::TOutcome::kTooLarge, "the page is larger than 1 MB"},
      {"/endless", TPageFetch::TOutcome::kTooLarge, "the page is larger than 1 MB"},
      {"/drip", TPageFetch::TOutcome::kTooSlow, "the page took longer than 2 s"},
      {"/index.html", TPageFetch::TOutcome::kCame, ""},
  };
  for (const auto& c : cases) {
    std::string page;
    const auto start = std::chrono::steady_clock::now();
    const TPageFetch fetch = GetWebPage(server_.Url(c.path), false, page, limits);
    EXPECT_EQ(fetch.Outcome, c.outcome) << c.path;
    EXPECT_EQ(fetch.Reason, c.reason) << c.path;
    EXPECT_LT(page.size(), (1u << 20) + 65536) << c.path;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.path;
  }
}

TEST_F(GetWebPageTest, HttpsPage) {
  std::string cert, key;
  ASSERT_TRUE(testnet::MakeCertificate(Dir(), cert, key));
  LocalServer secure(cert, key);
  secure->Get("/s", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("secure page", "text/html");
  });
  ASSERT_TRUE(secure.Start());
  inet::testing::SetCaFile(cert);
  std::string page;
  GetWebPage(secure.Url("/s"), false, page);
  EXPECT_EQ(page, "secure page");
}

}  // namespace
