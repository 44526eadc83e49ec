// A finished file is fetched again only when the server says it changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QObject>

#include <map>
#include <mutex>

#include "FileOrigin.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "LocalServer.h"
#include "Sandbox.h"
#include "TargetFiles.h"

using testnet::LocalServer;
using testnet::PatternBytes;

namespace {

struct Version {
  std::string body, lastModified, etag;  // etag empty: none sent
};

// The conditional headers one request carried ("-" when absent).
struct Asked {
  std::string ifModifiedSince, ifNoneMatch;
  bool ranged = false;
};

struct Ended {
  int done = 0, errors = 0;
  std::int32_t size = -1;
  bool unchanged = false;  // Unchanged() as read in OnDoneFile
};

class RevalidateTest : public SandboxTest {
 protected:
  void SetUp() override {
    server_->Get(R"(/r/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      const Version& v = versions_[req.matches[1]];
      Asked asked{req.get_header_value("If-Modified-Since"), req.get_header_value("If-None-Match"),
                  req.has_header("Range")};
      asked_.push_back(asked);
      res.set_header("Last-Modified", v.lastModified);
      if (!v.etag.empty()) res.set_header("ETag", v.etag);
      // As nginx decides: the ETag when one was asked about, else the date.
      const bool same = req.has_header("If-None-Match") ? asked.ifNoneMatch == v.etag
                                                        : asked.ifModifiedSince == v.lastModified;
      if (same && !asked.ranged) {
        res.status = 304;
        return;
      }
      res.set_content(v.body, "image/jpeg");
    });
    ASSERT_TRUE(server_.Start());
    WriteFile("probe", "");
    xattrs_ = RecordFileOrigin(PathOf("probe"), "probe");
  }

  void TearDown() override {
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 30000));
  }

  std::string Url(const std::string& name) const { return server_.Url("/r/" + name); }

  // Downloads name as a batch does: the address with a date tag, its origin
  // the address itself, the sidecar of a whole file swept.
  Ended Fetch(const std::string& name, const std::string& tag) {
    THTTPGet component(&owner_);
    Ended ended;
    component.URL = Url(name) + "?" + tag;
    component.Origin = Url(name);
    component.FileName = PathOf(name);
    component.OnDoneFile = [&](QObject*, const std::string&, std::int32_t size) {
      ++ended.done;
      ended.size = size;
      targetfiles::SweepWhole(PathOf(name));
      ended.unchanged = component.Unchanged();
    };
    component.OnError = [&](QObject*, const std::string&) { ++ended.errors; };
    component.StartDownload();
    EXPECT_TRUE(WaitUntil([&] { return ended.done + ended.errors > 0 && !component.Worker(); }));
    return ended;
  }

  void Serve(const std::string& name, Version v) {
    std::lock_guard<std::mutex> lock(mutex_);
    versions_[name] = std::move(v);
  }
  Asked LastAsked() {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_.back();
  }

  struct stat Stat(const std::string& name) const {
    struct stat info {};
    EXPECT_EQ(::stat(PathOf(name).c_str(), &info), 0);
    return info;
  }

  bool xattrs_ = false;
  std::mutex mutex_;
  std::map<std::string, Version> versions_;
  std::vector<Asked> asked_;
  QObject owner_;
  LocalServer server_;  // last: stopped before what its handler uses
};

// Wed, 21 Oct 2015 07:28:00 GMT and a day later.
constexpr time_t kFirst = 1445412480, kSecond = kFirst + 86400;

TEST_F(RevalidateTest, ASecondRunAsksAndAnUnchangedFileStaysAsItIs) {
  if (!xattrs_) GTEST_SKIP() << "no extended attributes on this file system";
  const std::string body = PatternBytes(5000, 3);
  Serve("a.jpg", {body, "Wed, 21 Oct 2015 07:28:00 GMT", "\"v1\""});
  const Ended first = Fetch("a.jpg", "20151021");
  EXPECT_EQ(first.done, 1);
  EXPECT_FALSE(first.unchanged);
  EXPECT_EQ(LastAsked().ifModifiedSince, "");
  EXPECT_EQ(Stat("a.jpg").st_mtime, kFirst);
  EXPECT_EQ(FileETagOf(PathOf("a.jpg")), "\"v1\"");

  // The same address on another day: asked, answered 304, not touched.
  const struct stat before = Stat("a.jpg");
  const Ended again = Fetch("a.jpg", "20151022");
  EXPECT_EQ(LastAsked().ifModifiedSince, "Wed, 21 Oct 2015 07:28:00 GMT");
  EXPECT_EQ(LastAsked().ifNoneMatch, "\"v1\"");
  EXPECT_EQ(again.done, 1);
  EXPECT_EQ(again.size, 5000);
  EXPECT_TRUE(again.unchanged);
  const struct stat after = Stat("a.jpg");
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_TRUE(ReadFile("a.jpg") == body);
  EXPECT_FALSE(Exists("a.jpg.log"));

  // Changed on the server (now without an ETag): a 200 replaces the file,
  // and the old ETag is not asked about again.
  const std::string changed = PatternBytes(3000, 9);
  Serve("a.jpg", {changed, "Thu, 22 Oct 2015 07:28:00 GMT", ""});
  const Ended replaced = Fetch("a.jpg", "20151023");
  EXPECT_EQ(replaced.done, 1);
  EXPECT_FALSE(replaced.unchanged);
  EXPECT_TRUE(ReadFile("a.jpg") == changed);
  EXPECT_EQ(Stat("a.jpg").st_mtime, kSecond);
  EXPECT_EQ(FileETagOf(PathOf("a.jpg")), "");
  EXPECT_TRUE(Fetch("a.jpg", "20151024").unchanged);
  EXPECT_EQ(LastAsked().ifModifiedSince, "Thu, 22 Oct 2015 07:28:00 GMT");
  EXPECT_EQ(LastAsked().ifNoneMatch, "");
}

TEST_F(RevalidateTest, OnlyAFinishedFileOfItsOwnAddressAsks) {
  if (!xattrs_) GTEST_SKIP() << "no extended attributes on this file system";
  const std::string body = PatternBytes(4000, 5);
  Serve("b.jpg", {body, "Wed, 21 Oct 2015 07:28:00 GMT", "\"b\""});
  // Another address's file, and a file that names no address.
  for (const char* origin : {"http://other/b.jpg", ""}) {
    ::unlink(PathOf("b.jpg").c_str());  // a new file: no attributes of the last run
    WriteFile("b.jpg", "old bytes");
    if (*origin != 0) RecordFileOrigin(PathOf("b.jpg"), origin);
    EXPECT_EQ(Fetch("b.jpg", "1").done, 1);
    EXPECT_EQ(LastAsked().ifModifiedSince, "");
    EXPECT_EQ(LastAsked().ifNoneMatch, "");
    EXPECT_TRUE(ReadFile("b.jpg") == body);
  }
  // A partial file of this address with its sidecar resumes and never asks,
  // even when it still carries an origin.
  WriteFile("b.jpg", body.substr(0, 1000));
  RecordFileOrigin(PathOf("b.jpg"), Url("b.jpg"));
  WriteFile("b.jpg.log", "Wed, 21 Oct 2015 07:28:00 GMT\r\n" + Url("b.jpg") + "\r\n");
  const Ended resumed = Fetch("b.jpg", "2");
  EXPECT_EQ(resumed.done, 1);
  EXPECT_FALSE(resumed.unchanged);
  EXPECT_TRUE(LastAsked().ranged);
  EXPECT_EQ(LastAsked().ifModifiedSince, "");
  EXPECT_TRUE(ReadFile("b.jpg") == body);
  EXPECT_EQ(Stat("b.jpg").st_mtime, kFirst);
}

}  // namespace
