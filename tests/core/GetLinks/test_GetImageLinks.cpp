// GetImageLinks end to end: pages fetched from an in-process server on
// 127.0.0.1 and scanned.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "PageImages.h"
#include "Sandbox.h"

namespace {

using Links = std::vector<std::string>;

class GetImageLinksTest : public SandboxTest {
 protected:
  void SetUp() override {
    server_->Get("/Gallery/index.htm", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<html><body><IMG SRC='Pics/Photo01.JPG'><img src=\"/Images/Logo.gif\">"
          "<input type=image src='btn/go_now.gif'><img src='http://other/a.png'>"
          "<img src='pics/photo01.jpg'></body></html>",
          "text/html");
    });
    server_->Get("/frames.htm", [](const httplib::Request&, httplib::Response& res) {
      // The fetch leaves the header block out, so its "src=" is never seen.
      res.set_header("X-Note", "src=xheader/in_the_header.gif");
      res.set_content("<frameset><frame src='frames/body_frame.htm'></frameset>", "text/html");
    });
    server_->Get("/gone.htm", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<h1>Not here</h1><img src='errors/not_found.png'>", "text/html");
    });
    ASSERT_TRUE(server_.Start());
  }

  testnet::LocalServer server_;
};

TEST_F(GetImageLinksTest, FetchesThePageAndResolvesAgainstItsAddress) {
  const std::string site = server_.Url("/");
  EXPECT_EQ(GetImageLinks(server_.Url("/Gallery/index.htm")),
            (Links{site + "Gallery/Pics/Photo01.JPG", site + "Images/Logo.gif",
                   site + "Gallery/btn/go_now.gif", "http://other/a.png"}));
}

TEST_F(GetImageLinksTest, ScansTheBodyWithoutTheHeaderBlock) {
  EXPECT_EQ(GetImageLinks(server_.Url("/frames.htm")),
            Links{server_.Url("/frames/body_frame.htm")});
}

TEST_F(GetImageLinksTest, AnErrorPageIsNoPage) {
  const TPageImages images = GetPageImages(server_.Url("/gone.htm"), TScanKind::kScan);
  EXPECT_FALSE(images.Listed());
  EXPECT_EQ(images.Fetch.Reason, "HTTP 404 Not Found");
  EXPECT_TRUE(images.Links.empty());
}

TEST_F(GetImageLinksTest, UnreachablePageGivesAnEmptyList) {
  server_.Stop();
  EXPECT_TRUE(GetImageLinks(server_.Url("/Gallery/index.htm")).empty());
}

TEST_F(GetImageLinksTest, DoubleSlashOnASecurePageTakesHttps) {
  std::string cert, key;
  ASSERT_TRUE(testnet::MakeCertificate(Dir(), cert, key));
  testnet::LocalServer secure(cert, key);
  secure->Get("/s.htm", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<img src='//cdn.example.org/b.jpg'><img src='/Root/C.jpg'>", "text/html");
  });
  ASSERT_TRUE(secure.Start());
  inet::testing::SetCaFile(cert);
  const Links found = GetImageLinks(secure.Url("/s.htm"));
  inet::testing::SetCaFile("");
  EXPECT_EQ(found, (Links{"https://cdn.example.org/b.jpg", secure.Url("/Root/C.jpg")}));
}

}  // namespace
