// pixvane-get as a user runs it: the real program, its output, its error
// lines and its exit status, against pages served from 127.0.0.1.
#include <QFile>
#include <QProcess>
#include <atomic>

#include "LocalServer.h"
#include "Sandbox.h"

namespace {

struct Outcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

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
    ASSERT_TRUE(server_.Start());
  }

  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }
  std::string Site(const std::string& path) const { return server_.Url(path); }

  Outcome Run(const QStringList& arguments, const QByteArray& input = {},
              const QString& program = QStringLiteral(PIXVANE_GET_BINARY)) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", QString::fromStdString(PathOf("data")));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    Outcome outcome;
    if (!process.waitForFinished(60000)) return outcome;
    outcome.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.Out = process.readAllStandardOutput().toStdString();
    outcome.Err = process.readAllStandardError().toStdString();
    return outcome;
  }

  // One stderr line from the program that mentions what.
  static void ExpectOneErrorLine(const Outcome& outcome, const std::string& what) {
    EXPECT_EQ(outcome.Err.rfind("pixvane-get: ", 0), 0u) << outcome.Err;
    EXPECT_EQ(std::count(outcome.Err.begin(), outcome.Err.end(), '\n'), 1) << outcome.Err;
    EXPECT_NE(outcome.Err.find(what), std::string::npos) << outcome.Err;
  }

  testnet::LocalServer server_;
  std::atomic<int> hits_ = 0;
};

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
  EXPECT_EQ(run.Out, "http://h/a.JPG\nhttp://h/b.png\n");
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
