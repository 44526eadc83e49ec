// pixvane-get as a user runs it: the real program, its output, its error
// lines and its exit status, against pages served from 127.0.0.1.
#include <unistd.h>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <atomic>
#include <map>
#include <mutex>

#include "FileOrigin.h"
#include "LocalServer.h"
#include "RunGet.h"
#include "Sandbox.h"

namespace {

// A GBK page (declared so by its server) and a second page that repeats one
// of its addresses in other letter case.
const std::string kGallery =
    "<IMG SRC='Pics/Photo01.JPG'><img src=\"/Images/Logo.gif\"><input type=image "
    "src='btn/go_now.gif'><img src='pics/photo01.jpg'><img src='http://other/a.png'>"
    "<img src='scripts/app.js?v=12'><img src='pics/\xD6\xD0\xCE\xC4.jpg'>";
const std::string kSecond = "<img src='/Gallery/PICS/photo01.jpg'><img src='/b/new.png'>";

class Cli : public SandboxTest {
 protected:
  void SetUp() override {
    server_->Get("/Gallery/index.htm", [this](const httplib::Request&, httplib::Response& res) {
      ++hits_;
      res.set_content(kGallery, "text/html; charset=gbk");
    });
    server_->Get("/second.htm", [this](const httplib::Request&, httplib::Response& res) {
      ++hits_;
      res.set_content(kSecond, "text/html");
    });
    // Whatever a test puts on the site, with the requests it gets.
    server_->Get("/site/.*", [this](const httplib::Request& req, httplib::Response& res) {
      const std::lock_guard lock(mutex_);
      requested_.push_back(req.path);
      ranges_[req.path].push_back(req.get_header_value("Range"));
      const auto found = site_.find(req.path);
      // A server that cannot answer a range (the probe learns nothing).
      const bool refused =
          req.path.find("/norange/") != std::string::npos && req.has_header("Range");
      if (found == site_.end() || refused) {
        res.status = 404;
        return;
      }
      // A server that says a file it was asked about is as the folder holds it.
      if (req.path.find("/fresh/") != std::string::npos && req.has_header("If-Modified-Since")) {
        res.status = 304;
        return;
      }
      res.set_content(found->second, req.path.ends_with(".htm") ? "text/html" : "image/png");
    });
    ASSERT_TRUE(server_.Start());
  }

  void Put(const std::string& path, const std::string& body) {
    const std::lock_guard lock(mutex_);
    site_["/site/" + path] = body;
  }
  int RequestsOf(const std::string& path) {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(requested_.begin(), requested_.end(), "/site/" + path));
  }

  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }
  std::string Site(const std::string& path) const { return server_.Url(path); }

  Outcome Run(const QStringList& arguments, const QByteArray& input = {},
              const QString& program = QStringLiteral(PIXVANE_GET_BINARY)) const {
    return RunGet(Dir(), PathOf("data"), arguments, input, program);
  }

  // One stderr line from the program that mentions what.
  static void ExpectOneErrorLine(const Outcome& outcome, const std::string& what) {
    EXPECT_EQ(outcome.Err.rfind("pixvane-get: ", 0), 0u) << outcome.Err;
    EXPECT_EQ(std::count(outcome.Err.begin(), outcome.Err.end(), '\n'), 1) << outcome.Err;
    EXPECT_NE(outcome.Err.find(what), std::string::npos) << outcome.Err;
  }

  testnet::LocalServer server_;
  std::atomic<int> hits_ = 0;
  std::mutex mutex_;
  std::map<std::string, std::string> site_;
  std::vector<std::string> requested_;
  std::map<std::string, std::vector<std::string>> ranges_;  // each request's Range
};

std::string Png(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

}  // namespace

TEST_F(Cli, ListsEachAddressOfThePagesOnceAsTheWindowFindsThem) {
  const Outcome run = Run({"--list", Url("/Gallery/index.htm"), Url("/second.htm")});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(run.Out, Site("/Gallery/Pics/Photo01.JPG\n") + Site("/Images/Logo.gif\n") +
                         Site("/Gallery/btn/go_now.gif\n") + "http://other/a.png\n" +
                         Site("/Gallery/pics/中文.jpg\n") + Site("/b/new.png\n"));
}

TEST_F(Cli, TypeFiltersAndTheBlacklistScreenTheAddresses) {
  // Two types; a blacklist entry in other letter case.
  WriteFile("list.txt", "HTTP://OTHER/A.PNG\r\n");
  const QString page = Url("/Gallery/index.htm");
  const QString blacklist = QString::fromStdString(PathOf("list.txt"));
  Outcome run = Run({"--list", "--type", "JPG", "--type", ".png", "--blacklist", blacklist, page});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, Site("/Gallery/Pics/Photo01.JPG\n") + Site("/Gallery/pics/中文.jpg\n"));

  // Without --blacklist the window's own file applies: beside the program.
  const QString copy = QString::fromStdString(PathOf("bin/pixvane-get"));
  WriteFile("bin/黑名单.txt", Site("/gallery/pics/photo01.jpg\n"));
  ASSERT_TRUE(QFile::copy(PIXVANE_GET_BINARY, copy));
  run = Run({"--list", "--type", "jpg", page}, {}, copy);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, Site("/Gallery/pics/中文.jpg\n"));
}

TEST_F(Cli, InputTakesAddressLinesFromStandardInput) {
  WriteFile("list.txt", "http://h/ad.gif\n");
  const Outcome run =
      Run({"--list", "--input", "-", "--blacklist", QString::fromStdString(PathOf("list.txt"))},
          "http://h/a.JPG\r\n\r\n  http://h/b.png \nHTTP://H/A.jpg\nhttp://h/AD.gif\n");
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "http://h/a.JPG\nhttp://h/b.png\nHTTP://H/A.jpg\n");
  EXPECT_EQ(hits_, 0);
}

TEST_F(Cli, BadUsageIsOneLineAndExitTwoAndFetchesNothing) {
  const QString page = Url("/Gallery/index.htm");
  const std::vector<std::pair<QStringList, std::string>> cases = {
      {{}, "no page address"},
      {{"--list"}, "no page address"},
      {{"--bogus", page}, "bogus"},
      {{page, "--folder"}, "--folder"},
      {{page, "--input", "-"}, "not both"},
      {{"--input", "a", "--input", "b"}, "more than once"},
      {{"--type", "..", page}, "--type"},
      {{"--min-size", "800", page}, "--min-size"},
      {{"--min-size", "800x", page}, "--min-size"},
      {{"127.0.0.1/gallery.htm"}, "127.0.0.1/gallery.htm"},
      {{"ftp://h/gallery.htm"}, "ftp://h/gallery.htm"},
  };
  for (const auto& [arguments, what] : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const Outcome run = Run(arguments);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, "");
    ExpectOneErrorLine(run, what);
  }
  EXPECT_EQ(hits_, 0);

  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Usage: pixvane-get [options] PAGE_URL...", 0), 0u) << help.Out;
  EXPECT_EQ(Run({"--version"}).Out.rfind("pixvane-get 1.", 0), 0u);
}

TEST_F(Cli, WhatCannotBeReadIsOneLineAndExitOne) {
  // An unreachable page among good ones: the others are still listed.
  const QString closed = QString::fromStdString(
      "http://127.0.0.1:" + std::to_string(testnet::ClosedPort()) + "/gone.htm");
  Outcome run = Run({"--list", closed, Url("/second.htm")});
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, closed.toStdString());
  EXPECT_EQ(run.Out, Site("/Gallery/PICS/photo01.jpg\n") + Site("/b/new.png\n"));

  // A blacklist or an address file that cannot be read.
  const int before = hits_;
  run = Run(
      {"--list", "--blacklist", QString::fromStdString(PathOf("none.txt")), Url("/second.htm")});
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, "none.txt");
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(hits_, before) << "nothing is fetched without its blacklist";
  run = Run({"--list", "--input", QString::fromStdString(PathOf("none.txt"))});
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, "none.txt");
}

TEST_F(Cli, DownloadsPagesIntoTheirFolderAndAFailingAddressSaysWhy) {
  // Two pages into one folder, both with an "a.png": each keeps its own file.
  Put("p1.htm", "<img src='photo-a.png'><img src='photo-gone.jpg'><img src='photo-b.png'>");
  Put("p2.htm", "<img src='more/photo-a.png'>");
  Put("photo-a.png", testnet::PatternBytes(3000));
  Put("photo-b.png", testnet::PatternBytes(10, 1));
  Put("more/photo-a.png", testnet::PatternBytes(2000, 2));
  Outcome run = Run({"--folder", "out", Url("/site/p1.htm"), Url("/site/p2.htm")});
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, "failed " + Site("/site/photo-gone.jpg") + ": HTTP 404");
  EXPECT_TRUE(ReadFile("out/photo-a.png") == testnet::PatternBytes(3000));
  EXPECT_TRUE(ReadFile("out/photo-b.png") == testnet::PatternBytes(10, 1));
  EXPECT_TRUE(ReadFile("out/photo-a (2).png") == testnet::PatternBytes(2000, 2));
  EXPECT_FALSE(Exists("out/photo-a.png.log"));
  EXPECT_NE(run.Out.find("done out/photo-a.png 3000\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("4 files: 3 done, 0 skipped, 1 failed"), std::string::npos) << run.Out;

  // Without --folder a page's images go into a folder named after the page.
  run = Run({Url("/site/p2.htm")});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string folder = "127.0.0.1_" + std::to_string(server_.Port()) + "_site_p2.htm";
  EXPECT_TRUE(ReadFile(folder + "/photo-a.png") == testnet::PatternBytes(2000, 2));
}

// A second run asks about the files it finished, and a 304 leaves them as
// they are, reported unchanged.
TEST_F(Cli, ASecondRunReportsWhatTheServerSaysIsUnchanged) {
  WriteFile("probe", "");
  if (!RecordFileOrigin(PathOf("probe"), "probe")) GTEST_SKIP() << "no extended attributes";
  Put("fresh/a.png", testnet::PatternBytes(3000));
  Put("b.png", testnet::PatternBytes(100));
  const QStringList addresses{"--folder", "out", "--input", "-"};
  const QByteArray list = (Site("/site/fresh/a.png") + "\n" + Site("/site/b.png") + "\n").c_str();
  ASSERT_EQ(Run(addresses, list).Status, 0);
  Outcome run = Run(addresses, list);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("unchanged out/a.png 3000\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("2 files: 1 done, 1 unchanged, 0 skipped, 0 failed"), std::string::npos)
      << run.Out;
  run = Run(QStringList(addresses) << "--json", list);
  const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
  EXPECT_EQ(report["unchanged"].toInt(), 1);
  EXPECT_EQ(report["addresses"].toArray()[0].toObject()["outcome"].toString(), "unchanged");
  EXPECT_TRUE(ReadFile("out/a.png") == testnet::PatternBytes(3000));
}

// The probe drops what it shows to be smaller before any download; what it
// cannot size is downloaded and checked after.
TEST_F(Cli, MinSizeProbesFirstAndChecksAfterWhatTheProbeCouldNotSize) {
  Put("gallery.htm",
      "<img src='large.png'><img src='small.png'><img src='plain.png'>"
      "<img src='norange/tiny.png'>");
  Put("large.png", Png(300, 200));
  Put("small.png", Png(300, 50));
  Put("plain.png", "no image at all");
  Put("norange/tiny.png", Png(20, 20));
  const Outcome run =
      Run({"--json", "--min-size", "200x100", "--folder", "out", Url("/site/gallery.htm")});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Err, "");
  EXPECT_EQ(ReadFile("out/large.png"), Png(300, 200));
  EXPECT_FALSE(Exists("out/small.png"));
  EXPECT_FALSE(Exists("out/tiny.png"));
  EXPECT_TRUE(Exists("out/plain.png")) << "a size that cannot be read removes nothing";
  {
    const std::lock_guard lock(mutex_);
    EXPECT_EQ(ranges_["/site/small.png"], std::vector<std::string>{"bytes=0-65535"})
        << "only the probe asks for the small image";
    EXPECT_EQ(ranges_["/site/large.png"].size(), 2u);
  }

  QJsonParseError error;
  const QJsonObject report =
      QJsonDocument::fromJson(QByteArray::fromStdString(run.Out), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << run.Out;
  EXPECT_EQ(report["total"].toInt(), 4);
  EXPECT_EQ(report["done"].toInt(), 2);
  EXPECT_EQ(report["skipped"].toInt(), 2);
  EXPECT_EQ(report["failed"].toInt(), 0);
  const QJsonArray addresses = report["addresses"].toArray();
  ASSERT_EQ(addresses.size(), 4);
  const QJsonObject big = addresses[0].toObject();
  EXPECT_EQ(big["address"].toString(), Url("/site/large.png"));
  EXPECT_EQ(big["page"].toString(), Url("/site/gallery.htm"));
  EXPECT_EQ(big["file"].toString(), "out/large.png");
  EXPECT_EQ(big["bytes"].toInteger(), static_cast<qint64>(Png(300, 200).size()));
  EXPECT_EQ(big["outcome"].toString(), "done");
  const QJsonObject small = addresses[1].toObject();
  EXPECT_EQ(small["address"].toString(), Url("/site/small.png"));
  EXPECT_EQ(small["page"].toString(), Url("/site/gallery.htm"));
  EXPECT_EQ(small["outcome"].toString(), "skipped");
  EXPECT_EQ(small["reason"].toString(), "smaller than 200x100 (300x50)");
  EXPECT_EQ(addresses[2].toObject()["outcome"].toString(), "done");
  const QJsonObject tiny = addresses[3].toObject();
  EXPECT_EQ(tiny["outcome"].toString(), "skipped");
  EXPECT_EQ(tiny["reason"].toString(), "smaller than 200x100 (20x20)");

  // Without --json a line per skipped address, in the batch's words, and
  // their count before the downloads start.
  const Outcome plain =
      Run({"--min-size", "200x100", "--folder", "out2", Url("/site/gallery.htm")});
  EXPECT_EQ(plain.Status, 0);
  EXPECT_EQ(plain.Out.rfind("skipped " + Site("/site/small.png") +
                                ": smaller than 200x100 (300x50)\n"
                                "1 skipped before their download, 3 to download\n",
                            0),
            0u)
      << plain.Out;
}

TEST_F(Cli, ACutDownloadResumesWithARangeRequestOnTheNextRun) {
  const std::string body = testnet::PatternBytes(50000);
  std::vector<std::string> ranges;  // the Range header of each request, "" for none
  server_->Get("/cut/big.png", [&](const httplib::Request& req, httplib::Response& res) {
    {
      const std::lock_guard lock(mutex_);
      ranges.push_back(req.get_header_value("Range"));
    }
    res.set_header("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT");
    if (req.has_header("Range")) return res.set_content(body, "image/png");
    // The whole length announced, the connection dropped after about 20000 bytes.
    res.set_content_provider(body.size(), "image/png",
                             [&body](size_t offset, size_t length, httplib::DataSink& sink) {
                               if (offset >= 20000) return false;
                               sink.write(body.data() + offset, std::min<size_t>(length, 1025));
                               return true;
                             });
  });
  const QStringList arguments = {"--folder", "out", "--input", "-"};
  const QByteArray input = QByteArray::fromStdString(Site("/cut/big.png"));
  Outcome run = Run(arguments, input);
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, "failed " + Site("/cut/big.png"));
  EXPECT_TRUE(Exists("out/big.png.log")) << "the sidecar stays for the resume";
  const std::size_t kept = ReadFile("out/big.png").size();
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, body.size());

  run = Run(arguments, input);
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(ReadFile("out/big.png") == body);
  EXPECT_FALSE(Exists("out/big.png.log"));
  const std::lock_guard lock(mutex_);
  ASSERT_FALSE(ranges.empty());
  EXPECT_EQ(ranges.front(), "");
  EXPECT_EQ(ranges.back().rfind("bytes=" + std::to_string(kept) + "-", 0), 0u) << ranges.back();
}

TEST_F(Cli, AFolderThatCannotBeWrittenIsOneLineAndNothingIsFetched) {
  Put("p.htm", "<img src='photo-a.png'>");
  Put("photo-a.png", "x");
  WriteFile("file", "");
  const Outcome run = Run({"--folder", "file/sub", Url("/site/p.htm")});
  EXPECT_EQ(run.Status, 1);
  ExpectOneErrorLine(run, "file/sub");
  EXPECT_EQ(RequestsOf("photo-a.png"), 0);
}

TEST_F(Cli, AFolderThroughALinkIsTheOneWrittenAndAFileOfAnotherAddressStays) {
  // link/../out is real/out to the file system, not ./out.
  Put("photo-a.png", testnet::PatternBytes(3000, 3));
  WriteFile("real/deep/.keep", "");
  ASSERT_EQ(::symlink("real/deep", PathOf("link").c_str()), 0);
  WriteFile("real/out/photo-a.png", "someone else's photo");
  const QStringList arguments = {"--folder", "link/../out", "--input", "-"};
  const QByteArray input = QByteArray::fromStdString(Site("/site/photo-a.png"));
  for (int run = 0; run < 2; ++run) {  // the second run writes over its own file
    const Outcome outcome = Run(arguments, input);
    EXPECT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_EQ(outcome.Out.rfind("done link/../out/photo-a (2).png 3000\n", 0), 0u) << outcome.Out;
    EXPECT_EQ(ReadFile("real/out/photo-a.png"), "someone else's photo");
    EXPECT_TRUE(ReadFile("real/out/photo-a (2).png") == testnet::PatternBytes(3000, 3));
    EXPECT_FALSE(Exists("out"));
    if (FileOriginOf(PathOf("real/out/photo-a (2).png")).empty())
      GTEST_SKIP() << "this file system keeps no origin";
  }
}
