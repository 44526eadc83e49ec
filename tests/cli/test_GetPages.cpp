// pixvane-get and its pages: the deep scan of the fixture pages, pages that
// fail, the lines of an address file, and queries in the page's encoding.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <mutex>

#include "DeepScanPages.h"
#include "LocalServer.h"
#include "RunGet.h"
#include "Sandbox.h"

namespace {

// Fixture pages under /pages/, /status/N answers with status N, /gbk.htm is
// a GBK page; anything else is a one-byte image, its request target kept.
class GetPages : public SandboxTest {
 protected:
  void SetUp() override {
    for (const deepscanpages::TPage& page : deepscanpages::Pages())
      pages_["/pages/" + page.Name.toStdString() + ".htm"] = page.Html;
    pages_["/gbk.htm"] = "<img src='show.asp?name=\xD6\xD0\xCE\xC4.jpg'>";
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.path.starts_with("/status/")) {
        res.status = std::stoi(req.path.substr(8));
        res.set_content("<img src='/on/the/error/page.jpg'>", "text/html");
      } else if (const auto page = pages_.find(req.path); page != pages_.end()) {
        res.set_content(page->second, req.path == "/gbk.htm" ? "text/html; charset=gbk"
                                                             : "text/html; charset=utf-8");
      } else {
        const std::lock_guard lock(mutex_);
        targets_.push_back(req.target);
        res.set_content("x", "image/gif");
      }
    });
    ASSERT_TRUE(server_.Start());
  }

  Outcome Run(const QStringList& arguments, const QByteArray& input = {}) const {
    return RunGet(Dir(), PathOf("data"), arguments, input);
  }

  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }

  testnet::LocalServer server_;
  std::map<std::string, std::string> pages_;
  std::mutex mutex_;
  std::vector<std::string> targets_;
};

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

TEST_F(GetPages, DeepListsEachFixturePageExactly) {
  std::string site = server_.Url("");
  for (const deepscanpages::TPage& page : deepscanpages::Pages()) {
    const Outcome run =
        Run({"--list", "--deep", Url("/pages/" + page.Name.toStdString() + ".htm")});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, Lines(page.ListFor(site))) << page.Name.toStdString();
  }
  const Outcome help = Run({"--help"});
  EXPECT_NE(help.Out.find("--deep"), std::string::npos);
  const Outcome wrong = Run({"--deep", "--input", "-"});
  EXPECT_EQ(wrong.Status, 2);
  EXPECT_NE(wrong.Err.find("--deep"), std::string::npos) << wrong.Err;
}

TEST_F(GetPages, APageThatFailsIsAFailedLineAndInTheReport) {
  const Outcome run =
      Run({"--json", "--folder", "out", Url("/status/404"), Url("/gbk.htm"), Url("/status/500")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "pixvane-get: failed page " + server_.Url("/status/404") +
                         ": HTTP 404 Not Found\npixvane-get: failed page " +
                         server_.Url("/status/500") + ": HTTP 500 Internal Server Error\n");
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
  const QJsonArray pages = report["pages"].toArray();
  ASSERT_EQ(pages.size(), 3) << run.Out;
  EXPECT_EQ(pages[0].toObject()["outcome"].toString(), "failed");
  EXPECT_EQ(pages[0].toObject()["reason"].toString(), "HTTP 404 Not Found");
  EXPECT_EQ(pages[1].toObject()["outcome"].toString(), "done");
  EXPECT_EQ(pages[1].toObject()["addresses"].toInt(), 1);
  EXPECT_EQ(pages[2].toObject()["reason"].toString(), "HTTP 500 Internal Server Error");
  EXPECT_EQ(report["done"].toInt(), 1);

  // The GBK page's address goes out with its query in GBK.
  const std::lock_guard lock(mutex_);
  ASSERT_EQ(targets_.size(), 1u);
  EXPECT_EQ(targets_[0].rfind("/show.asp?name=%D6%D0%CE%C4.jpg&", 0), 0u) << targets_[0];
}

TEST_F(GetPages, AddressLinesKeepTheirCaseAndALineWithoutSchemeFails) {
  const QByteArray input = QByteArray::fromStdString(
      server_.Url("/a.JPG\n") + "HTTP://127.0.0.1:" + std::to_string(server_.Port()) + "/A.jpg\n" +
      server_.Url("/a.JPG\n") + "127.0.0.1/b.jpg\n");
  Outcome run = Run({"--list", "--input", "-"}, input);
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, server_.Url("/a.JPG\n") +
                         "HTTP://127.0.0.1:" + std::to_string(server_.Port()) + "/A.jpg\n");
  EXPECT_EQ(run.Err, "pixvane-get: failed 127.0.0.1/b.jpg: not an http:// or https:// address\n");

  run = Run({"--json", "--folder", "out", "--input", "-"}, input);
  EXPECT_EQ(run.Status, 1);
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
  EXPECT_EQ(report["total"].toInt(), 3);
  EXPECT_EQ(report["done"].toInt(), 2);
  EXPECT_EQ(report["failed"].toInt(), 1);
  const QJsonArray addresses = report["addresses"].toArray();
  ASSERT_EQ(addresses.size(), 3);
  EXPECT_EQ(addresses[2].toObject()["address"].toString(), "127.0.0.1/b.jpg");
  EXPECT_EQ(addresses[2].toObject()["outcome"].toString(), "failed");
}
