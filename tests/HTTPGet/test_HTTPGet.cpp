// The download component and its worker against scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "HTTPGet.h"
#include "Inet.h"
#include "LocalServer.h"
#include "Sandbox.h"

using testnet::LocalServer;

namespace {

constexpr std::size_t kNone = std::string::npos;

// What the server answers for one path.
struct Resource {
  std::string body;
  std::string lastModified;  // empty: no Last-Modified header
  int status = 200;          // status of an answer without a range
  bool chunked = false;      // no Content-Length (chunked transfer)
  bool hugeLength = false;   // announces 3000000000 bytes
  enum RangeAnswer { kHonour, kIgnore, kNotSatisfiable, kServerError } range = kHonour;
  std::size_t cutAfter = kNone;   // drop the connection once this many bytes went out
  std::size_t holdAfter = kNone;  // wait for the test's release after this many bytes
};

// One request as the server saw it.
struct Seen {
  std::string method, path, body;
  std::string rawRange;  // value of a header spelled exactly "RANGE"; "<none>" if absent
  bool anyRange = false;
  std::string agent, accept, referer, authorization, contentType;
  bool hasAgent = false;
};

// Everything a component raised.
struct Recorder {
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;  // TotalSize, Readed
  std::vector<QObject*> progressSenders;
  int doneFiles = 0;
  int errors = 0;
  std::string doneName;
  std::int32_t doneSize = -1;
  QObject* doneSender = nullptr;

  bool offUiThread = false;  // a handler ran on another thread than the user-interface one

  void Bind(THTTPGet& component) {
    component.OnProgress = [this](QObject* Sender, std::int32_t TotalSize, std::int32_t Readed) {
      progress.emplace_back(TotalSize, Readed);
      progressSenders.push_back(Sender);
      offUiThread = offUiThread || QThread::currentThread() != qApp->thread();
    };
    component.OnDoneFile = [this](QObject* Sender, const std::string& FileName,
                                  std::int32_t FileSize) {
      ++doneFiles;
      offUiThread = offUiThread || QThread::currentThread() != qApp->thread();
      doneName = FileName;
      doneSize = FileSize;
      doneSender = Sender;
    };
    component.OnError = [this](QObject* Sender) {
      ++errors;
      doneSender = Sender;
    };
  }
  int Ended() const { return doneFiles + errors; }
};

class HTTPGetTest : public SandboxTest {
 protected:
  void SetUp() override {
    inet::GlobalInit();
    auto serve = [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); };
    server_->Get(R"(/f/(.+))", serve);
    server_->Post(R"(/f/(.+))", serve);
    ASSERT_TRUE(server_.Start());
  }

  void TearDown() override {
    release_ = true;
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 60000));
    inet::SetCaFile("");
  }

  void Put(const std::string& name, Resource resource) {
    std::lock_guard<std::mutex> lock(mutex_);
    resources_[name] = std::move(resource);
  }

  std::vector<Seen> SeenFor(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Seen> result;
    for (const Seen& seen : seen_)
      if (seen.path == "/f/" + name) result.push_back(seen);
    return result;
  }

  std::string Url(const std::string& name) const { return server_.Url("/f/" + name); }

  // Starts the component and waits until it raised its end and became idle.
  static bool Run(THTTPGet& component, Recorder& recorder, int timeoutMs = 20000) {
    const int before = recorder.Ended();
    component.StartDownload();
    return WaitUntil([&] { return recorder.Ended() > before && component.Worker() == nullptr; },
                     timeoutMs);
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    Resource resource;
    bool found = false;
    const bool ranged = req.has_header("Range");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Seen seen;
      seen.method = req.method;
      seen.path = req.path;
      seen.body = req.body;
      seen.rawRange = "<none>";
      for (const auto& [key, value] : req.headers)
        if (key == "RANGE") seen.rawRange = value;
      seen.anyRange = ranged;
      seen.hasAgent = req.has_header("User-Agent");
      seen.agent = req.get_header_value("User-Agent");
      seen.accept = req.get_header_value("Accept");
      seen.referer = req.get_header_value("Referer");
      seen.authorization = req.get_header_value("Authorization");
      seen.contentType = req.get_header_value("Content-Type");
      seen_.push_back(seen);
      auto it = resources_.find(req.path.substr(3));
      if (it != resources_.end()) {
        resource = it->second;
        found = true;
      }
    }
    if (!found) {
      Chunked(res, 404, "no such resource");
      return;
    }
    if (!resource.lastModified.empty()) res.set_header("Last-Modified", resource.lastModified);
    if (ranged && resource.range == Resource::kNotSatisfiable) {
      res.status = 416;
      return;
    }
    if (ranged && resource.range == Resource::kServerError) {
      Chunked(res, 500, "range trouble");
      return;
    }
    if (resource.status != 200) {
      Chunked(res, resource.status, "error page");
      return;
    }
    if (resource.hugeLength) {
      res.set_content_provider(3000000000ULL, "image/jpeg",
                               [](size_t, size_t, httplib::DataSink&) { return false; });
      return;
    }
    if (resource.chunked || (ranged && resource.range == Resource::kIgnore)) {
      Chunked(res, 200, resource.body);
      return;
    }
    if (ranged) {
      res.set_content(resource.body, "image/jpeg");  // the server answers the range itself
      return;
    }
    // Sized body, sent piece by piece so that it can be cut or held.
    auto body = std::make_shared<std::string>(resource.body);
    res.set_content_provider(
        body->size(), "image/jpeg",
        [this, body, resource](size_t offset, size_t length, httplib::DataSink& sink) {
          if (offset >= resource.cutAfter) return false;
          if (offset >= resource.holdAfter) {
            for (int i = 0; i < 1000 && !release_; ++i)
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          std::size_t piece = std::min<std::size_t>(length, 1025);
          if (offset < resource.cutAfter) piece = std::min(piece, resource.cutAfter - offset);
          if (offset < resource.holdAfter) piece = std::min(piece, resource.holdAfter - offset);
          sink.write(body->data() + offset, piece);
          return true;
        });
  }

  static void Chunked(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    auto body = std::make_shared<std::string>(text);
    res.set_chunked_content_provider(
        "application/octet-stream", [body](size_t offset, httplib::DataSink& sink) {
          if (offset < body->size())
            sink.write(body->data() + offset, std::min<size_t>(1000, body->size() - offset));
          else
            sink.done();
          return true;
        });
  }

  std::mutex mutex_;
  std::map<std::string, Resource> resources_;
  std::vector<Seen> seen_;
  std::atomic<bool> release_{false};
  QObject owner_;
  LocalServer server_;  // last: stopped before what its handlers use
};

// --- Small operations --------------------------------------------------------

struct Split {
  std::string host, path, port = "80";
  bool secure = false;
  explicit Split(const std::string& address) {
    THTTPGetThread::SplitAddress(address, host, path, port, secure);
  }
};

TEST(SplitAddress, HostPortAndPath) {
  Split a("http://MyHost:8080/Pics/A.JPG");
  EXPECT_EQ(a.host, "MyHost");
  EXPECT_EQ(a.port, "8080");
  EXPECT_EQ(a.path, "/Pics/A.JPG");
  EXPECT_FALSE(a.secure);
  Split b("HTTP://MyHost:8080/Pics/A.JPG");
  EXPECT_EQ(b.host, "MyHost");
  EXPECT_EQ(b.port, "8080");
  EXPECT_EQ(b.path, "/Pics/A.JPG");
  Split c("http://host/dir/a.jpg?x=1&y=2");
  EXPECT_EQ(c.host, "host");
  EXPECT_EQ(c.port, "80");  // left as the caller set it
  EXPECT_EQ(c.path, "/dir/a.jpg?x=1&y=2");
}

TEST(SplitAddress, EmptyOrBadPortTextGives80) {
  Split empty("http://host:/a.jpg");
  EXPECT_EQ(empty.host, "host");
  EXPECT_EQ(empty.port, "");
  EXPECT_EQ(THTTPGetThread::PortNumber(empty.port, 80), 80);
  Split letters("http://host:abc/a.jpg");
  EXPECT_EQ(letters.port, "abc");
  EXPECT_EQ(THTTPGetThread::PortNumber(letters.port, 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("8080", 80), 8080);
  EXPECT_EQ(THTTPGetThread::PortNumber("80x", 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("99999999999", 80), 80);
}

TEST(SplitAddress, ColonAfterTheFirstSlashIsNoPort) {
  Split a("http://host/a:b/c.jpg?t=1:2");
  EXPECT_EQ(a.host, "host");
  EXPECT_EQ(a.port, "80");
  EXPECT_EQ(a.path, "/a:b/c.jpg?t=1:2");
}

TEST(SplitAddress, HttpsInAnyCaseIsSecureWithPort443) {
  Split a("https://Secure.Example/x.png");
  EXPECT_TRUE(a.secure);
  EXPECT_EQ(a.host, "Secure.Example");
  EXPECT_EQ(a.port, "443");
  EXPECT_EQ(a.path, "/x.png");
  Split b("HTTPS://h:8443/x.png");
  EXPECT_TRUE(b.secure);
  EXPECT_EQ(b.host, "h");
  EXPECT_EQ(b.port, "8443");
}

TEST(SplitAddress, NoSlashGivesAnEmptyHostAndOtherSchemesStay) {
  Split a("http://example.com");
  EXPECT_EQ(a.host, "");
  EXPECT_EQ(a.path, "example.com");
  EXPECT_EQ(a.port, "80");
  Split b("ftp://host/a");
  EXPECT_EQ(b.host, "ftp");
  EXPECT_EQ(b.port, "");
  EXPECT_EQ(b.path, "//host/a");
  EXPECT_FALSE(b.secure);
}

TEST_F(HTTPGetTest, SidecarAndFileHelpers) {
  WriteFile("s.log", "old content that is longer\r\n");
  THTTPGetThread::WriteOneLine("Sat, 29 Oct 1994 19:43:31 GMT", PathOf("s.log"));
  EXPECT_EQ(ReadFile("s.log"), "Sat, 29 Oct 1994 19:43:31 GMT\r\n");
  EXPECT_EQ(THTTPGetThread::ReadFirstLine(PathOf("s.log")), "Sat, 29 Oct 1994 19:43:31 GMT");
  THTTPGetThread::WriteOneLine("new", PathOf("fresh.log"));
  EXPECT_EQ(ReadFile("fresh.log"), "new\r\n");

  WriteFile("cr", "one\rtwo");
  WriteFile("lf", "one\ntwo");
  WriteFile("empty", "");
  WriteFile("long", std::string(3000, 'z'));
  EXPECT_EQ(THTTPGetThread::ReadFirstLine(PathOf("cr")), "one");
  EXPECT_EQ(THTTPGetThread::ReadFirstLine(PathOf("lf")), "one");
  EXPECT_EQ(THTTPGetThread::ReadFirstLine(PathOf("empty")), "");
  EXPECT_EQ(THTTPGetThread::ReadFirstLine(PathOf("long")), std::string(3000, 'z'));
  EXPECT_THROW(THTTPGetThread::ReadFirstLine(PathOf("absent")), std::exception);

  WriteFile("300", std::string(300, 'x'));
  EXPECT_EQ(THTTPGetThread::FileSizeOf(PathOf("300")), 300);
  EXPECT_EQ(THTTPGetThread::FileSizeOf(PathOf("empty")), 0);
  EXPECT_THROW(THTTPGetThread::FileSizeOf(PathOf("absent")), std::exception);
}

// --- The component -------------------------------------------------------------

TEST_F(HTTPGetTest, InitialProperties) {
  THTTPGet component(&owner_);
  EXPECT_EQ(component.parent(), &owner_);
  EXPECT_EQ(component.AcceptTypes, "*/*");
  EXPECT_EQ(component.Agent, "Brenmoor HTTPGet");
  EXPECT_FALSE(component.BinaryData);
  EXPECT_TRUE(component.URL.empty());
  EXPECT_FALSE(component.UseCache);
  EXPECT_TRUE(component.FileName.empty());
  EXPECT_TRUE(component.UserName.empty());
  EXPECT_TRUE(component.Password.empty());
  EXPECT_TRUE(component.PostQuery.empty());
  EXPECT_TRUE(component.Referer.empty());
  EXPECT_FALSE(component.WaitThread);
  EXPECT_FALSE(component.OnProgress);
  EXPECT_FALSE(component.OnDoneFile);
  EXPECT_FALSE(component.OnDoneString);
  EXPECT_FALSE(component.OnError);
  EXPECT_EQ(component.Worker(), nullptr);
}

TEST_F(HTTPGetTest, OwnerDestroysTheComponent) {
  auto* owner = new QObject;
  QPointer<THTTPGet> component = new THTTPGet(owner);
  delete owner;
  EXPECT_TRUE(component.isNull());
}

TEST_F(HTTPGetTest, FreshDownloadWritesFileAndSidecarAndReportsEveryChunk) {
  const std::string body = testnet::PatternBytes(5000, 1);
  Put("a.jpg", {body, "Sat, 29 Oct 1994 19:43:31 GMT"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("a.jpg");
  component.FileName = PathOf("a.jpg");
  ASSERT_TRUE(Run(component, recorder));

  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.errors, 0);
  EXPECT_EQ(recorder.doneName, PathOf("a.jpg"));
  EXPECT_EQ(recorder.doneSize, 5000);
  EXPECT_EQ(recorder.doneSender, &component);
  EXPECT_TRUE(ReadFile("a.jpg") == body);
  EXPECT_EQ(ReadFile("a.jpg.log"), "Sat, 29 Oct 1994 19:43:31 GMT\r\n");

  // One report per chunk of at most 1025 bytes, the worker as Sender.
  ASSERT_GE(recorder.progress.size(), 5u);
  std::int32_t previous = 0;
  for (std::size_t i = 0; i < recorder.progress.size(); ++i) {
    EXPECT_EQ(recorder.progress[i].first, 5000);
    EXPECT_GT(recorder.progress[i].second, previous);
    EXPECT_LE(recorder.progress[i].second - previous, 1025);
    previous = recorder.progress[i].second;
    EXPECT_NE(recorder.progressSenders[i], &component);
    EXPECT_NE(dynamic_cast<THTTPGetThread*>(recorder.progressSenders[i]), nullptr);
  }
  EXPECT_EQ(recorder.progress.back().second, 5000);
  EXPECT_FALSE(recorder.offUiThread);

  const auto seen = SeenFor("a.jpg");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].agent, "Brenmoor HTTPGet");
  EXPECT_EQ(seen[0].accept, "*/*");
  EXPECT_FALSE(seen[0].anyRange);
}

TEST_F(HTTPGetTest, ResumesFrom300To1000WithTheExactRangeLine) {
  const std::string body = testnet::PatternBytes(1000, 2);
  Put("r.jpg", {body, "X"});
  WriteFile("r.jpg", body.substr(0, 300));
  WriteFile("r.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("r.jpg");
  component.FileName = PathOf("r.jpg");
  ASSERT_TRUE(Run(component, recorder));

  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneSize, 1000);
  EXPECT_TRUE(ReadFile("r.jpg") == body);
  EXPECT_EQ(ReadFile("r.jpg.log"), "X\r\n");
  const auto seen = SeenFor("r.jpg");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen[0].anyRange);
  EXPECT_EQ(seen[1].rawRange, "bytes=300-1000");
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_GT(recorder.progress.front().second, 300);
  EXPECT_LE(recorder.progress.front().second, 300 + 1025);
  for (const auto& [total, readed] : recorder.progress) EXPECT_EQ(total, 1000);
  EXPECT_EQ(recorder.progress.back().second, 1000);
}

TEST_F(HTTPGetTest, ChangedResourceRewritesSidecarAndFileFromZero) {
  const std::string body = testnet::PatternBytes(1000, 3);
  Put("c.jpg", {body, "Y"});
  WriteFile("c.jpg", std::string(300, 'o'));
  WriteFile("c.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("c.jpg");
  component.FileName = PathOf("c.jpg");
  ASSERT_TRUE(Run(component, recorder));

  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneSize, 1000);
  EXPECT_TRUE(ReadFile("c.jpg") == body);
  EXPECT_EQ(ReadFile("c.jpg.log"), "Y\r\n");
  ASSERT_EQ(SeenFor("c.jpg").size(), 1u);
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_LE(recorder.progress.front().second, 1000);
  EXPECT_EQ(recorder.progress.back().second, 1000);
  std::int32_t previous = 0;
  for (const auto& [total, readed] : recorder.progress) {
    EXPECT_LE(readed - previous, 1025);
    previous = readed;
  }
}

TEST_F(HTTPGetTest, WithoutSidecarTheFreshPathReplacesTheFileAndCreatesTheSidecar) {
  const std::string body = testnet::PatternBytes(1000, 4);
  Put("n.jpg", {body, "Z"});
  WriteFile("n.jpg", std::string(2000, 'j'));
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("n.jpg");
  component.FileName = PathOf("n.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_TRUE(ReadFile("n.jpg") == body);
  EXPECT_EQ(ReadFile("n.jpg.log"), "Z\r\n");
  ASSERT_EQ(SeenFor("n.jpg").size(), 1u);
}

TEST_F(HTTPGetTest, WithoutContentLengthTheBodyIsWrittenButTheRunFails) {
  const std::string body = testnet::PatternBytes(3000, 5);
  Resource chunked{body, "L"};
  chunked.chunked = true;
  Put("nl.jpg", chunked);
  Resource empty{"", "L"};
  empty.chunked = true;
  Put("empty.jpg", empty);

  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("nl.jpg");
  component.FileName = PathOf("nl.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_EQ(recorder.doneFiles, 0);
  EXPECT_EQ(recorder.doneSender, &component);
  EXPECT_TRUE(ReadFile("nl.jpg") == body);
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_EQ(recorder.progress.back(), std::make_pair(0, 3000));

  // An empty body without a length is a success of size 0.
  component.URL = Url("empty.jpg");
  component.FileName = PathOf("empty.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneSize, 0);
  EXPECT_TRUE(Exists("empty.jpg"));
  EXPECT_EQ(ReadFile("empty.jpg"), "");
}

TEST_F(HTTPGetTest, LengthBeyond32BitsFailsBeforeSidecarAndFile) {
  Resource huge{"", "H"};
  huge.hugeLength = true;
  Put("huge.jpg", huge);
  WriteFile("huge.jpg", "keep me");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("huge.jpg");
  component.FileName = PathOf("huge.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_FALSE(Exists("huge.jpg.log"));
  EXPECT_EQ(ReadFile("huge.jpg"), "keep me");
  EXPECT_TRUE(recorder.progress.empty());
}

TEST_F(HTTPGetTest, LastModifiedOf256BytesCountsAsAbsent) {
  const std::string body = testnet::PatternBytes(2000, 6);
  Put("long.jpg", {body, std::string(256, 'm')});
  Put("fits.jpg", {body, std::string(255, 'm')});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("long.jpg");
  component.FileName = PathOf("long.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_TRUE(ReadFile("long.jpg") == body);
  EXPECT_FALSE(Exists("long.jpg.log"));

  component.URL = Url("fits.jpg");
  component.FileName = PathOf("fits.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 2);
  EXPECT_EQ(ReadFile("fits.jpg.log"), std::string(255, 'm') + "\r\n");
}

TEST_F(HTTPGetTest, AnswerWithoutLastModifiedRewritesTheWholeFile) {
  const std::string body = testnet::PatternBytes(1500, 7);
  Put("nolm.jpg", {body, ""});
  WriteFile("nolm.jpg", body.substr(0, 300));
  WriteFile("nolm.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("nolm.jpg");
  component.FileName = PathOf("nolm.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_TRUE(ReadFile("nolm.jpg") == body);
  EXPECT_EQ(ReadFile("nolm.jpg.log"), "X\r\n");  // a worker never deletes a sidecar
  ASSERT_EQ(SeenFor("nolm.jpg").size(), 1u);
}

// --- Answers to the ranged request --------------------------------------------

TEST_F(HTTPGetTest, IgnoredRangeRewritesTheFileFromZero) {
  const std::string body = testnet::PatternBytes(1000, 8);
  Resource resource{body, "X"};
  resource.range = Resource::kIgnore;
  Put("ign.jpg", resource);
  WriteFile("ign.jpg", body.substr(0, 300));
  WriteFile("ign.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("ign.jpg");
  component.FileName = PathOf("ign.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneSize, 1000);
  EXPECT_TRUE(ReadFile("ign.jpg") == body);
  ASSERT_EQ(SeenFor("ign.jpg").size(), 2u);
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_EQ(recorder.progress.back().second, 1000);
  for (const auto& [total, readed] : recorder.progress) EXPECT_LE(readed, 1000);  // from 0, not 300
}

TEST_F(HTTPGetTest, NotSatisfiableRangeOnACompleteFileSucceedsWithoutTouchingIt) {
  Resource resource{testnet::PatternBytes(1000, 9), "X"};
  resource.range = Resource::kNotSatisfiable;
  Put("whole.jpg", resource);
  const std::string local(1000, 'L');  // differs from the server's bytes on purpose
  WriteFile("whole.jpg", local);
  WriteFile("whole.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("whole.jpg");
  component.FileName = PathOf("whole.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneSize, 1000);
  EXPECT_EQ(ReadFile("whole.jpg"), local);
  const auto seen = SeenFor("whole.jpg");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].rawRange, "bytes=1000-1000");
  EXPECT_TRUE(recorder.progress.empty());
}

TEST_F(HTTPGetTest, NotSatisfiableRangeOnAPartialFileFailsAndKeepsIt) {
  const std::string body = testnet::PatternBytes(1000, 10);
  Resource resource{body, "X"};
  resource.range = Resource::kNotSatisfiable;
  Put("part.jpg", resource);
  WriteFile("part.jpg", body.substr(0, 300));
  WriteFile("part.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("part.jpg");
  component.FileName = PathOf("part.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_TRUE(ReadFile("part.jpg") == body.substr(0, 300));
  EXPECT_EQ(ReadFile("part.jpg.log"), "X\r\n");
}

TEST_F(HTTPGetTest, ErrorAnswerToTheRangeFailsAndKeepsTheFile) {
  const std::string body = testnet::PatternBytes(1000, 11);
  Resource resource{body, "X"};
  resource.range = Resource::kServerError;
  Put("err.jpg", resource);
  WriteFile("err.jpg", body.substr(0, 300));
  WriteFile("err.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("err.jpg");
  component.FileName = PathOf("err.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_TRUE(ReadFile("err.jpg") == body.substr(0, 300));
  EXPECT_TRUE(recorder.progress.empty());
}

// --- Failures -------------------------------------------------------------------

TEST_F(HTTPGetTest, ErrorStatusSavesNoFileAndNoSidecar) {
  Resource gone{"", "X"};
  gone.status = 404;
  Put("gone.jpg", gone);
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("gone.jpg");
  component.FileName = PathOf("gone.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_EQ(recorder.doneSender, &component);
  EXPECT_FALSE(Exists("gone.jpg"));
  EXPECT_FALSE(Exists("gone.jpg.log"));

  // Neither is a partial file with its sidecar touched by an error answer.
  WriteFile("gone.jpg", "partial");
  WriteFile("gone.jpg.log", "X\r\n");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 2);
  EXPECT_EQ(ReadFile("gone.jpg"), "partial");
  EXPECT_EQ(ReadFile("gone.jpg.log"), "X\r\n");
}

TEST_F(HTTPGetTest, ServerClosingMidBodyLeavesThePartialFile) {
  const std::string body = testnet::PatternBytes(10000, 12);
  Resource resource{body, "X"};
  resource.cutAfter = 4100;
  Put("cut.jpg", resource);
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("cut.jpg");
  component.FileName = PathOf("cut.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_TRUE(ReadFile("cut.jpg") == body.substr(0, 4100));
  EXPECT_EQ(ReadFile("cut.jpg.log"), "X\r\n");
}

TEST_F(HTTPGetTest, NoAnswerAtAllLeavesPartialFileAndSidecar) {
  WriteFile("x.jpg", std::string(300, 'p'));
  WriteFile("x.jpg.log", "X\r\n");
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = "http://127.0.0.1:" + std::to_string(testnet::ClosedPort()) + "/x.jpg";
  component.FileName = PathOf("x.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_EQ(ReadFile("x.jpg"), std::string(300, 'p'));
  EXPECT_EQ(ReadFile("x.jpg.log"), "X\r\n");

  // An address without a "/" after the scheme names no host.
  component.URL = "http://127.0.0.1";
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 2);
  EXPECT_EQ(ReadFile("x.jpg"), std::string(300, 'p'));
}

TEST_F(HTTPGetTest, TargetThatCannotBeCreatedFails) {
  Put("t.jpg", {"abc", "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("t.jpg");
  component.FileName = PathOf("no-such-folder/t.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
}

TEST_F(HTTPGetTest, FailingProgressHandlerFailsTheRun) {
  const std::string body = testnet::PatternBytes(5000, 13);
  Put("f.jpg", {body, "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  int calls = 0;
  component.OnProgress = [&](QObject*, std::int32_t, std::int32_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  component.URL = Url("f.jpg");
  component.FileName = PathOf("f.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_LE(ReadFile("f.jpg").size(), 1025u);
  EXPECT_EQ(ReadFile("f.jpg.log"), "X\r\n");
}

TEST_F(HTTPGetTest, WorkerInTextModeGathersTheBody) {
  const std::string body = testnet::PatternBytes(3000, 21);
  Put("text.html", {body, "X"});
  bool ended = false, succeeded = false;
  std::string text;
  std::int32_t length = -1;
  new THTTPGetThread("*/*", "t", Url("text.html"), PathOf("text.html"), "", "", "", "", false, {},
                     /*ToFile=*/false, [&](THTTPGetThread* Sender) {
                       ended = true;
                       succeeded = Sender->Succeeded;
                       text = Sender->TextResult;
                       length = Sender->ContentLength;
                     });
  ASSERT_TRUE(WaitUntil([&] { return ended; }));
  EXPECT_TRUE(succeeded);
  EXPECT_TRUE(text == body);
  EXPECT_EQ(length, 3000);
  EXPECT_FALSE(Exists("text.html"));
  EXPECT_FALSE(Exists("text.html.log"));
}

// --- Stop requests -----------------------------------------------------------------

TEST_F(HTTPGetTest, StopDuringTransferKeepsPartialFileAndALaterRunResumes) {
  const std::string body = testnet::PatternBytes(50000, 14);
  Resource held{body, "X"};
  held.holdAfter = 8200;
  Put("s.jpg", held);
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  std::int32_t stoppedAt = 0;
  component.OnProgress = [&](QObject*, std::int32_t, std::int32_t Readed) {
    recorder.progress.emplace_back(0, Readed);
    if (stoppedAt == 0 && Readed >= 4000) {
      stoppedAt = Readed;
      component.CancelDownload();
      release_ = true;
    }
  };
  component.URL = Url("s.jpg");
  component.FileName = PathOf("s.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  ASSERT_GE(stoppedAt, 4000);
  EXPECT_EQ(recorder.progress.back().second, stoppedAt);  // no chunk after the stop
  EXPECT_TRUE(ReadFile("s.jpg") == body.substr(0, stoppedAt));
  EXPECT_EQ(ReadFile("s.jpg.log"), "X\r\n");

  Put("s.jpg", {body, "X"});
  THTTPGet again(&owner_);
  Recorder later;
  later.Bind(again);
  again.URL = Url("s.jpg");
  again.FileName = PathOf("s.jpg");
  ASSERT_TRUE(Run(again, later));
  EXPECT_EQ(later.doneFiles, 1);
  EXPECT_EQ(later.doneSize, 50000);
  EXPECT_TRUE(ReadFile("s.jpg") == body);
  const auto seen = SeenFor("s.jpg");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].rawRange, "bytes=" + std::to_string(stoppedAt) + "-50000");
}

TEST_F(HTTPGetTest, CancelWhenIdleDoesNothing) {
  Put("i.jpg", {"idle", "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.CancelDownload();
  EXPECT_EQ(component.Worker(), nullptr);
  EXPECT_EQ(recorder.Ended(), 0);
  component.URL = Url("i.jpg");
  component.FileName = PathOf("i.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  component.CancelDownload();
  EXPECT_EQ(recorder.Ended(), 1);
}

TEST_F(HTTPGetTest, SecondStartWhileBusyIsIgnored) {
  const std::string body = testnet::PatternBytes(6000, 15);
  Resource held{body, "X"};
  held.holdAfter = 2050;
  Put("b.jpg", held);
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("b.jpg");
  component.FileName = PathOf("b.jpg");
  component.StartDownload();
  THTTPGetThread* first = component.Worker();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return !recorder.progress.empty(); }));
  component.StartDownload();
  EXPECT_EQ(component.Worker(), first);
  EXPECT_EQ(recorder.Ended(), 0);
  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(SeenFor("b.jpg").size(), 1u);

  // Idle again: a new start works.
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 2);
}

TEST_F(HTTPGetTest, NoHandlersAssignedStillEndsCleanly) {
  Put("q.jpg", {testnet::PatternBytes(3000, 16), "X"});
  Resource gone{"", ""};
  gone.status = 500;
  Put("bad.jpg", gone);
  THTTPGet component(&owner_);
  component.URL = Url("q.jpg");
  component.FileName = PathOf("q.jpg");
  component.StartDownload();
  EXPECT_NE(component.Worker(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  EXPECT_EQ(ReadFile("q.jpg").size(), 3000u);
  component.URL = Url("bad.jpg");
  component.FileName = PathOf("bad.jpg");
  component.StartDownload();
  ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }));
}

TEST_F(HTTPGetTest, WaitThreadReturnsAfterTheEvents) {
  Put("w.jpg", {testnet::PatternBytes(8000, 17), "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.WaitThread = true;
  component.URL = Url("w.jpg");
  component.FileName = PathOf("w.jpg");
  component.StartDownload();
  EXPECT_EQ(component.Worker(), nullptr);
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_GE(recorder.progress.size(), 8u);
  EXPECT_EQ(ReadFile("w.jpg").size(), 8000u);

  component.URL = Url("absent.jpg");  // 404
  component.FileName = PathOf("absent.jpg");
  component.StartDownload();
  EXPECT_EQ(component.Worker(), nullptr);
  EXPECT_EQ(recorder.errors, 1);
}

TEST_F(HTTPGetTest, RunningDownloadKeepsThePropertiesItStartedWith) {
  const std::string body = testnet::PatternBytes(4000, 18);
  Resource held{body, "X"};
  held.holdAfter = 1025;
  Put("p1.jpg", held);
  Put("p2.jpg", {"other", "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("p1.jpg");
  component.FileName = PathOf("p1.jpg");
  component.StartDownload();
  int lateCalls = 0;
  component.URL = Url("p2.jpg");
  component.FileName = PathOf("p2.jpg");
  component.OnProgress = [&](QObject*, std::int32_t, std::int32_t) { ++lateCalls; };
  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneName, PathOf("p1.jpg"));
  EXPECT_TRUE(ReadFile("p1.jpg") == body);
  EXPECT_FALSE(Exists("p2.jpg"));
  EXPECT_EQ(lateCalls, 0);
  EXPECT_FALSE(recorder.progress.empty());
}

TEST_F(HTTPGetTest, ComponentDestroyedByItsOwnDoneHandler) {
  Put("d.jpg", {"done", "X"});
  auto* component = new THTTPGet(&owner_);
  QPointer<THTTPGet> watch(component);
  bool raised = false;
  component->OnDoneFile = [&](QObject* Sender, const std::string&, std::int32_t) {
    raised = true;
    delete Sender;
  };
  component->URL = Url("d.jpg");
  component->FileName = PathOf("d.jpg");
  component->StartDownload();
  ASSERT_TRUE(WaitUntil([&] { return raised; }));
  EXPECT_TRUE(watch.isNull());
}

// --- Many at once ------------------------------------------------------------------

TEST_F(HTTPGetTest, ThreeHundredDownloadsFromOneServerUseAtMostSixConnections) {
  constexpr int kCount = 300;
  std::vector<std::string> bodies;
  for (int i = 0; i < kCount; ++i) {
    bodies.push_back(testnet::PatternBytes(20000 + i * 13, i));
    Put("many/" + std::to_string(i) + ".jpg", {bodies.back(), "M"});
  }
  // Slots taken, sampled; network connections, counted as they open.
  std::atomic<bool> sampling{true};
  std::atomic<int> peakSlots{0};
  std::thread sampler([&] {
    while (sampling) {
      const int inUse = inet::SlotsInUse("127.0.0.1", server_.Port());
      if (inUse > peakSlots) peakSlots = inUse;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int done = 0, errors = 0;
  std::int64_t progressEvents = 0;
  auto* batch = new QObject(&owner_);
  for (int i = 0; i < kCount; ++i) {
    auto* component = new THTTPGet(batch);
    component->URL = Url("many/" + std::to_string(i) + ".jpg");
    component->FileName = PathOf(std::to_string(i) + ".jpg");
    component->OnProgress = [&](QObject*, std::int32_t, std::int32_t) { ++progressEvents; };
    component->OnDoneFile = [&](QObject*, const std::string&, std::int32_t) { ++done; };
    component->OnError = [&](QObject*) { ++errors; };
    component->StartDownload();
  }
  const bool finished = WaitUntil([&] { return done + errors == kCount; }, 100000);
  sampling = false;
  sampler.join();
  ASSERT_TRUE(finished) << done << " done, " << errors << " failed";
  EXPECT_EQ(done, kCount);
  EXPECT_LE(inet::PeakSockets("127.0.0.1", server_.Port()), inet::kMaxConnectionsPerServer);
  EXPECT_GE(inet::PeakSockets("127.0.0.1", server_.Port()), 2);
  EXPECT_EQ(inet::OpenSockets("127.0.0.1", server_.Port()), 0);
  EXPECT_LE(peakSlots, inet::kMaxConnectionsPerServer);
  EXPECT_GE(peakSlots, 2);
  EXPECT_GT(progressEvents, kCount * 19);
  for (int i = 0; i < kCount; ++i)
    ASSERT_TRUE(ReadFile(std::to_string(i) + ".jpg") == bodies[i]) << i;
  delete batch;
}

TEST_F(HTTPGetTest, DestroyingComponentsWithRunningWorkersRaisesNothingAndDoesNotHang) {
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i) {
    Resource held{testnet::PatternBytes(30000, i), "D"};
    held.holdAfter = 2050;
    Put("destroy/" + std::to_string(i) + ".jpg", held);
  }
  int events = 0;
  int progress = 0;
  auto* window = new QObject;
  for (int i = 0; i < kCount; ++i) {
    auto* component = new THTTPGet(window);
    component->URL = Url("destroy/" + std::to_string(i) + ".jpg");
    component->FileName = PathOf("d" + std::to_string(i) + ".jpg");
    component->OnProgress = [&](QObject*, std::int32_t, std::int32_t) { ++progress; };
    component->OnDoneFile = [&](QObject*, const std::string&, std::int32_t) { ++events; };
    component->OnError = [&](QObject*) { ++events; };
    component->StartDownload();
  }
  // Some downloads are under way (and held), the others wait for a slot.
  ASSERT_TRUE(WaitUntil([&] { return progress >= 6; }));
  delete window;
  const int progressAtDestruction = progress;
  release_ = true;
  EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 60000));
  EXPECT_EQ(events, 0);
  EXPECT_EQ(progress, progressAtDestruction);
}

// --- Requests ------------------------------------------------------------------------

TEST_F(HTTPGetTest, PostQueryCredentialsRefererAndAgentReachTheServer) {
  const std::string body = testnet::PatternBytes(1200, 19);
  Put("post.jpg", {body, "P"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = Url("post.jpg");
  component.FileName = PathOf("post.jpg");
  component.PostQuery = "name=a+b&x=1";
  component.UserName = "user";
  component.Password = "secret";
  component.Referer = "http://pages.example/gallery.html";
  component.Agent = "";
  component.AcceptTypes = "image/gif, image/jpeg, */*";
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_TRUE(ReadFile("post.jpg") == body);
  auto seen = SeenFor("post.jpg");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "POST");
  EXPECT_EQ(seen[0].body, "name=a+b&x=1");
  EXPECT_EQ(seen[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(seen[0].authorization, "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_EQ(seen[0].referer, "http://pages.example/gallery.html");
  EXPECT_FALSE(seen[0].hasAgent);
  EXPECT_EQ(seen[0].accept, "image/gif, image/jpeg, */*");

  // A resumed POST sends the form data again with both header lines.
  WriteFile("post.jpg", body.substr(0, 500));
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 2);
  EXPECT_TRUE(ReadFile("post.jpg") == body);
  seen = SeenFor("post.jpg");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].method, "POST");
  EXPECT_EQ(seen[2].rawRange, "bytes=500-1200");
  EXPECT_EQ(seen[2].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(seen[2].body, "name=a+b&x=1");
}

TEST_F(HTTPGetTest, HttpsAddressesDownloadOverTls) {
  std::string cert, key;
  ASSERT_TRUE(testnet::MakeCertificate(Dir(), cert, key));
  const std::string body = testnet::PatternBytes(7000, 20);
  LocalServer secure(cert, key);
  secure->Get("/tls.jpg", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Last-Modified", "T");
    res.set_content(body, "image/jpeg");
  });
  ASSERT_TRUE(secure.Start());

  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.URL = secure.Url("/tls.jpg");
  component.FileName = PathOf("tls.jpg");
  ASSERT_TRUE(Run(component, recorder));  // not trusted yet
  EXPECT_EQ(recorder.errors, 1);

  inet::SetCaFile(cert);
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_TRUE(ReadFile("tls.jpg") == body);
  EXPECT_EQ(ReadFile("tls.jpg.log"), "T\r\n");

  std::string upper = secure.Url("/tls.jpg");
  upper.replace(0, 5, "HTTPS");
  component.URL = upper;
  component.FileName = PathOf("tls2.jpg");
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.doneFiles, 2);
  EXPECT_TRUE(ReadFile("tls2.jpg") == body);
}

}  // namespace
