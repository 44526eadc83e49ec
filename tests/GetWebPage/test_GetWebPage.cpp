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
    inet::GlobalInit();
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
  GetWebPage(server_.Url("/index.html"), false, page);
  EXPECT_EQ(page, "<html><img src=\"a.jpg\"></html>");
  EXPECT_EQ(agent_, "Internet Explorer 6.0");
  std::string type = "kept";
  GetWebPage(server_.Url("/old"), false, page, type);  // the final response's
  EXPECT_EQ(type, "text/html; charset=GBK");
  GetWebPage(server_.Url("/cut"), false, page, type);
  EXPECT_EQ(type, "text/html");
}

TEST_F(GetWebPageTest, ErrorStatusReturnsTheErrorPageBody) {
  std::string page;
  GetWebPage(server_.Url("/missing"), false, page);
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

TEST_F(GetWebPageTest, PageBrokenOffReturnsTheBytesReceived) {
  std::string page;
  GetWebPage(server_.Url("/cut"), false, page);
  EXPECT_EQ(page, std::string(5000, 'p'));
}

TEST_F(GetWebPageTest, UnopenableAddressLeavesThePageAsGiven) {
  std::string page;
  GetWebPage("http://no-such-host.invalid/index.html", false, page);
  EXPECT_EQ(page, "");
  std::string kept = "kept";
  GetWebPage("http://no-such-host.invalid/index.html", true, kept);
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
  GetWebPage(silent.Url("/"), true, page);
  EXPECT_EQ(page, "kept");
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
