// The download component and its worker against scripted servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "FileOrigin.h"
#include "HTTPGet.h"
#include "Inet.h"
#include "InetTestHooks.h"
#include "LocalServer.h"
#include "Sandbox.h"
#include "WorkerParts.h"

using testnet::LocalServer;
using testnet::PatternBytes;

namespace {

constexpr std::size_t kNone = std::string::npos;

// What the server answers for one name.
struct Resource {
  std::string body;
  std::string lastModified;  // empty: no Last-Modified header
  int status = 200;          // status of an answer without a range
  bool chunked = false;      // no Content-Length
  bool hugeLength = false;   // announces 3000000000 bytes
  // How a ranged request is answered: as asked; with the whole body as 200;
  // 416; 500; a 206 that carries the whole body; a 206 whose total is not the
  // resource's length; a 206 with another Last-Modified value; a 206 whose
  // own length is the whole resource's; a 206 whose body runs past its
  // length.
  enum RangeAnswer {
    kHonour,
    kIgnore,
    kNotSatisfiable,
    kServerError,
    kWholeAs206,
    kWrongTotal,
    kChangedStamp,
    kLongerThanRange,
    kOverrun
  } range = kHonour;
  std::size_t cutAfter = kNone;   // drop the connection after this many bytes
  std::size_t holdAfter = kNone;  // wait for the test's release after this many bytes
};

// One request as the server saw it.
struct Seen {
  std::string method, body, rawRange;  // rawRange: header spelled exactly "RANGE"
  bool anyRange = false, hasAgent = false;
  std::string agent, accept, referer, authorization, contentType;
};

// Everything a component raised, and whether the rules for Sender and thread held.
struct Recorder {
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;  // TotalSize, Readed
  int doneFiles = 0, errors = 0;
  std::string doneName, reason;  // reason: of the last error
  std::int32_t doneSize = -1;
  bool broken = false;  // wrong Sender or a handler off the user-interface thread

  void Bind(THTTPGet& component) {
    auto check = [this](bool ok) {
      broken = broken || !ok || QThread::currentThread() != qApp->thread();
    };
    THTTPGet* self = &component;
    component.OnProgress = [=, this](QObject* Sender, std::int32_t TotalSize, std::int32_t Readed) {
      check(Sender != self && dynamic_cast<THTTPGetThread*>(Sender) != nullptr);
      progress.emplace_back(TotalSize, Readed);
    };
    component.OnDoneFile = [=, this](QObject* Sender, const std::string& FileName,
                                     std::int32_t FileSize) {
      check(Sender == self);
      ++doneFiles;
      doneName = FileName;
      doneSize = FileSize;
    };
    component.OnError = [=, this](QObject* Sender, const std::string& Reason) {
      check(Sender == self && !Reason.empty());
      ++errors;
      reason = Reason;
    };
  }
  int Ended() const { return doneFiles + errors; }
};

class HTTPGetTest : public SandboxTest {
 protected:
  void SetUp() override {
    auto serve = [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); };
    server_->Get(R"(/f/(.+))", serve);
    server_->Post(R"(/f/(.+))", serve);
    ASSERT_TRUE(server_.Start());
  }

  void TearDown() override {
    release_ = true;
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 60000));
    inet::testing::SetCaFile("");
  }

  void Put(const std::string& name, Resource resource) {
    std::lock_guard<std::mutex> lock(mutex_);
    resources_[name] = std::move(resource);
  }

  std::vector<Seen> SeenFor(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_[name];
  }

  std::string Url(const std::string& name) const { return server_.Url("/f/" + name); }
  // The sidecar a run leaves for name: the stamp, then the address.
  std::string Sidecar(const std::string& stamp, const std::string& name) const {
    return stamp + "\r\n" + Url(name) + "\r\n";
  }

  // Starts the component and waits until it raised its end and became idle.
  static bool Run(THTTPGet& component, Recorder& recorder, int timeoutMs = 20000) {
    const int before = recorder.Ended();
    component.StartDownload();
    return WaitUntil([&] { return recorder.Ended() > before && component.Worker() == nullptr; },
                     timeoutMs);
  }

  // Downloads name into the sandbox file of that name with a new component;
  // setup may change its properties first.
  Recorder Fetch(const std::string& name, const std::function<void(THTTPGet&)>& setup = {}) {
    THTTPGet component(&owner_);
    Recorder recorder;
    recorder.Bind(component);
    component.URL = Url(name);
    component.FileName = PathOf(name);
    if (setup) setup(component);
    EXPECT_TRUE(Run(component, recorder)) << name;
    EXPECT_FALSE(recorder.broken);
    return recorder;
  }

  void Serve(const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.path.substr(3);
    const bool ranged = req.has_header("Range");
    Resource resource;
    bool found = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Seen seen;
      seen.method = req.method;
      seen.body = req.body;
      seen.rawRange = "<none>";
      seen.anyRange = ranged;
      seen.hasAgent = req.has_header("User-Agent");
      for (const auto& [key, value] : req.headers)
        if (key == "RANGE") seen.rawRange = value;
      seen.agent = req.get_header_value("User-Agent");
      seen.accept = req.get_header_value("Accept");
      seen.referer = req.get_header_value("Referer");
      seen.authorization = req.get_header_value("Authorization");
      seen.contentType = req.get_header_value("Content-Type");
      seen_[name].push_back(seen);
      if (auto it = resources_.find(name); it != resources_.end()) {
        resource = it->second;
        found = true;
      }
    }
    if (!found) return Chunked(res, 404, "no such resource");
    if (!resource.lastModified.empty()) res.set_header("Last-Modified", resource.lastModified);
    if (ranged && resource.range == Resource::kNotSatisfiable) {
      res.status = 416;
      return;
    }
    if (ranged && resource.range == Resource::kServerError) return Chunked(res, 500, "trouble");
    if (ranged && resource.range >= Resource::kWholeAs206) {
      const std::size_t size = resource.body.size();
      const std::size_t from = resource.range == Resource::kWholeAs206 ? 0 : size - 700;
      const std::size_t total = resource.range == Resource::kWrongTotal ? 2 * size : size;
      if (resource.range == Resource::kChangedStamp) {
        res.headers.erase("Last-Modified");
        res.set_header("Last-Modified", "changed");
      }
      res.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                          std::to_string(size - 1) + "/" + std::to_string(total));
      // A length of its own beside the chunked body, as a server may send it.
      if (resource.range >= Resource::kLongerThanRange)
        res.set_header("Content-Length",
                       std::to_string(resource.range == Resource::kOverrun ? 700 : size));
      Chunked(res, 206,
              resource.body.substr(from) +
                  (resource.range == Resource::kOverrun ? std::string(300, 'x') : std::string()));
      return;
    }
    if (resource.status != 200) return Chunked(res, resource.status, "error page");
    if (resource.hugeLength) {
      res.set_content_provider(3000000000ULL, "image/jpeg",
                               [](size_t, size_t, httplib::DataSink&) { return false; });
      return;
    }
    // A chunked answer also serves as the answer that ignores a range: the
    // server library would otherwise apply the range to any sized body.
    if (resource.chunked || (ranged && resource.range == Resource::kIgnore))
      return Chunked(res, 200, resource.body);
    if (ranged) return res.set_content(resource.body, "image/jpeg");  // the library's 206
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
  std::map<std::string, std::vector<Seen>> seen_;
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
  bool Is(const std::string& h, const std::string& p, const std::string& pa, bool s) const {
    return host == h && port == p && path == pa && secure == s;
  }
};

TEST(SplitAddress, Cases) {
  EXPECT_TRUE(Split("http://MyHost:8080/Pics/A.JPG").Is("MyHost", "8080", "/Pics/A.JPG", false));
  EXPECT_TRUE(Split("HTTP://MyHost:8080/Pics/A.JPG").Is("MyHost", "8080", "/Pics/A.JPG", false));
  EXPECT_TRUE(Split("http://host/d/a.jpg?x=1").Is("host", "80", "/d/a.jpg?x=1", false));
  // An empty or bad port text, read as a number, gives 80.
  EXPECT_TRUE(Split("http://host:/a").Is("host", "", "/a", false));
  EXPECT_TRUE(Split("http://host:abc/a").Is("host", "abc", "/a", false));
  EXPECT_EQ(THTTPGetThread::PortNumber("", 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("abc", 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("80x", 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("99999999999", 80), 80);
  EXPECT_EQ(THTTPGetThread::PortNumber("8080", 80), 8080);
  // A ":" after the first "/" starts no port.
  EXPECT_TRUE(Split("http://host/a:b/c.jpg?t=1:2").Is("host", "80", "/a:b/c.jpg?t=1:2", false));
  // https in any letter case: TLS on 443 unless a port is named.
  EXPECT_TRUE(Split("https://Secure.Example/x.png").Is("Secure.Example", "443", "/x.png", true));
  EXPECT_TRUE(Split("HTTPS://h:8443/x.png").Is("h", "8443", "/x.png", true));
  // No "/" after the scheme: no host. Other schemes are not recognised.
  EXPECT_TRUE(Split("http://example.com").Is("", "80", "example.com", false));
  EXPECT_TRUE(Split("ftp://host/a").Is("ftp", "", "//host/a", false));
}

TEST_F(HTTPGetTest, SidecarAndFileHelpers) {
  using T = THTTPGetThread;
  WriteFile("s.log", "old content that is longer\r\n");
  EXPECT_TRUE(T::WriteOneLine("Sat, 29 Oct 1994 19:43:31 GMT", PathOf("s.log")));
  EXPECT_EQ(ReadFile("s.log"), "Sat, 29 Oct 1994 19:43:31 GMT\r\n");
  EXPECT_EQ(*T::ReadFirstLine(PathOf("s.log")), "Sat, 29 Oct 1994 19:43:31 GMT");
  EXPECT_TRUE(T::WriteOneLine("new", PathOf("fresh.log")));
  EXPECT_EQ(ReadFile("fresh.log"), "new\r\n");
  for (const char* text : {"one\rtwo", "one\ntwo", "one\r\ntwo"}) {
    WriteFile("line", text);
    EXPECT_EQ(*T::ReadFirstLine(PathOf("line")), "one");
  }
  WriteFile("empty", "");
  EXPECT_EQ(*T::ReadFirstLine(PathOf("empty")), "");
  WriteFile("long", std::string(3000, 'z'));
  EXPECT_EQ(*T::ReadFirstLine(PathOf("long")), std::string(3000, 'z'));
  EXPECT_EQ(*T::FileSizeOf(PathOf("long")), 3000);
  EXPECT_EQ(*T::FileSizeOf(PathOf("empty")), 0);
  // A sidecar's two lines, whatever ends them.
  for (const char* text : {"X\rb\r\nc", "X\nb", "X\r\nb\n"}) {
    WriteFile("line", text);
    EXPECT_EQ(*T::ReadLines(PathOf("line"), 2), (std::vector<std::string>{"X", "b"}));
  }
  // Failures name the file and the system's reason.
  const std::string absent = PathOf("absent");
  EXPECT_EQ(T::ReadFirstLine(absent).Reason(),
            "cannot open " + absent + ": No such file or directory");
  EXPECT_EQ(T::FileSizeOf(absent).Reason(),
            "cannot open " + absent + ": No such file or directory");
  EXPECT_EQ(T::WriteOneLine("x", PathOf("no/such/folder.log")).Reason(),
            "cannot create " + PathOf("no/such/folder.log") + ": No such file or directory");
}

// --- The component -------------------------------------------------------------

TEST_F(HTTPGetTest, InitialPropertiesAndOwner) {
  auto* owner = new QObject;
  QPointer<THTTPGet> component = new THTTPGet(owner);
  EXPECT_EQ(component->AcceptTypes, "*/*");
  EXPECT_EQ(component->Agent, "Brenmoor HTTPGet");
  EXPECT_FALSE(component->BinaryData || component->UseCache || component->WaitThread);
  EXPECT_TRUE(component->URL.empty() && component->FileName.empty() &&
              component->UserName.empty() && component->Password.empty() &&
              component->PostQuery.empty() && component->Referer.empty());
  EXPECT_FALSE(component->OnProgress || component->OnDoneFile || component->OnDoneString ||
               component->OnError);
  EXPECT_EQ(component->Worker(), nullptr);
  delete owner;
  EXPECT_TRUE(component.isNull());
}

TEST_F(HTTPGetTest, FreshDownloadWritesFileAndSidecarAndReportsEveryChunk) {
  const std::string body = PatternBytes(5000, 1);
  Put("a.jpg", {body, "Sat, 29 Oct 1994 19:43:31 GMT"});
  const Recorder r = Fetch("a.jpg");
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_EQ(r.errors, 0);
  EXPECT_EQ(r.doneName, PathOf("a.jpg"));
  EXPECT_EQ(r.doneSize, 5000);
  EXPECT_TRUE(ReadFile("a.jpg") == body);
  EXPECT_EQ(ReadFile("a.jpg.log"), Sidecar("Sat, 29 Oct 1994 19:43:31 GMT", "a.jpg"));
  ASSERT_FALSE(r.progress.empty());  // the latest figures, the last one always
  std::int32_t previous = 0;
  for (const auto& [total, readed] : r.progress) {
    EXPECT_EQ(total, 5000);
    EXPECT_GT(readed, previous);
    previous = readed;
  }
  EXPECT_EQ(previous, 5000);
  const auto seen = SeenFor("a.jpg");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "GET");
  EXPECT_EQ(seen[0].agent, "Brenmoor HTTPGet");
  EXPECT_EQ(seen[0].accept, "*/*");
  EXPECT_FALSE(seen[0].anyRange);
}

TEST_F(HTTPGetTest, ResumesFrom300To1000WithTheExactRangeLine) {
  const std::string body = PatternBytes(1000, 2);
  Put("r.jpg", {body, "X"});
  WriteFile("r.jpg", body.substr(0, 300));
  WriteFile("r.jpg.log", Sidecar("X", "r.jpg"));
  const Recorder r = Fetch("r.jpg");
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_EQ(r.doneSize, 1000);
  EXPECT_TRUE(ReadFile("r.jpg") == body);
  EXPECT_EQ(ReadFile("r.jpg.log"), Sidecar("X", "r.jpg"));
  const auto seen = SeenFor("r.jpg");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen[0].anyRange);
  EXPECT_EQ(seen[1].rawRange, "bytes=300-1000");
  ASSERT_FALSE(r.progress.empty());
  EXPECT_GT(r.progress.front().second, 300);
  for (const auto& [total, readed] : r.progress) EXPECT_EQ(total, 1000);
  EXPECT_EQ(r.progress.back().second, 1000);
}

TEST_F(HTTPGetTest, ChangedOrMissingStampsTakeTheFreshPath) {
  // Changed resource: sidecar rewritten, file rewritten from 0.
  const std::string body = PatternBytes(1000, 3);
  Put("c.jpg", {body, "Y"});
  WriteFile("c.jpg", std::string(300, 'o'));
  WriteFile("c.jpg.log", Sidecar("X", "c.jpg"));
  Recorder r = Fetch("c.jpg");
  EXPECT_EQ(r.doneSize, 1000);
  EXPECT_TRUE(ReadFile("c.jpg") == body);
  EXPECT_EQ(ReadFile("c.jpg.log"), Sidecar("Y", "c.jpg"));
  EXPECT_EQ(SeenFor("c.jpg").size(), 1u);
  for (const auto& [total, readed] : r.progress) EXPECT_LE(readed, 1000);  // counted from 0

  // No sidecar: the file is replaced and the sidecar created.
  Put("n.jpg", {body, "Z"});
  WriteFile("n.jpg", std::string(2000, 'j'));
  r = Fetch("n.jpg");
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_TRUE(ReadFile("n.jpg") == body);
  EXPECT_EQ(ReadFile("n.jpg.log"), Sidecar("Z", "n.jpg"));

  // An answer without Last-Modified: the whole body from 0, and the old
  // sidecar goes, since it would claim a prefix the file no longer holds.
  Put("nolm.jpg", {body, ""});
  WriteFile("nolm.jpg", body.substr(0, 300));
  WriteFile("nolm.jpg.log", Sidecar("X", "nolm.jpg"));
  r = Fetch("nolm.jpg");
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_TRUE(ReadFile("nolm.jpg") == body);
  EXPECT_FALSE(Exists("nolm.jpg.log"));
  EXPECT_EQ(SeenFor("nolm.jpg").size(), 1u);

  // A value of 256 bytes counts as absent; 255 bytes fit.
  Put("long.jpg", {body, std::string(256, 'm')});
  Put("fits.jpg", {body, std::string(255, 'm')});
  EXPECT_EQ(Fetch("long.jpg").doneFiles, 1);
  EXPECT_TRUE(ReadFile("long.jpg") == body);
  EXPECT_FALSE(Exists("long.jpg.log"));
  EXPECT_EQ(Fetch("fits.jpg").doneFiles, 1);
  EXPECT_EQ(ReadFile("fits.jpg.log"), Sidecar(std::string(255, 'm'), "fits.jpg"));
}

TEST_F(HTTPGetTest, APartialFileIsContinuedOnlyByItsOwnAddress) {
  const std::string body = PatternBytes(1000, 30);
  Put("o.jpg", {body, "X"});
  // Another address's partial file, and one whose sidecar names no address:
  // fetched whole, the sidecar then naming this address.
  for (const std::string sidecar : {"X\r\nhttp://other/o.jpg\r\n", "X\r\n"}) {
    WriteFile("o.jpg", std::string(300, 'L'));
    WriteFile("o.jpg.log", sidecar);
    EXPECT_EQ(Fetch("o.jpg").doneFiles, 1);
    EXPECT_TRUE(ReadFile("o.jpg") == body);
    EXPECT_EQ(ReadFile("o.jpg.log"), Sidecar("X", "o.jpg"));
  }
  for (const Seen& seen : SeenFor("o.jpg")) EXPECT_FALSE(seen.anyRange);
  WriteFile("probe", "");
  const bool origins = RecordFileOrigin(PathOf("probe"), "probe");
  if (origins) {
    EXPECT_EQ(FileOriginOf(PathOf("o.jpg")), Url("o.jpg"));
  }

  // Its own, named by Origin when the request carries more than the address:
  // continued, and the whole file records that address.
  WriteFile("o.jpg", body.substr(0, 300));
  WriteFile("o.jpg.log", "X\r\nhttp://shown/o.jpg\r\n");
  const Recorder r = Fetch("o.jpg", [&](THTTPGet& c) {
    c.URL = Url("o.jpg") + "?20101027";
    c.Origin = "http://shown/o.jpg";
  });
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_TRUE(ReadFile("o.jpg") == body);
  EXPECT_EQ(SeenFor("o.jpg").back().rawRange, "bytes=300-1000");
  if (origins) {
    EXPECT_EQ(FileOriginOf(PathOf("o.jpg")), "http://shown/o.jpg");
  }

  // A fresh start that fails leaves no claim of a finished file behind.
  Resource cut{body, "Z"};
  cut.cutAfter = 400;
  Put("o.jpg", cut);
  EXPECT_EQ(Fetch("o.jpg").errors, 1);
  EXPECT_EQ(FileOriginOf(PathOf("o.jpg")), "");
  EXPECT_EQ(ReadFile("o.jpg.log"), Sidecar("Z", "o.jpg"));
}

TEST_F(HTTPGetTest, AnnouncedLengthDecidesSuccess) {
  // Without Content-Length the body is written but the run fails, unless it is empty.
  const std::string body = PatternBytes(3000, 5);
  Resource chunked{body, "L"};
  chunked.chunked = true;
  Put("nl.jpg", chunked);
  Recorder r = Fetch("nl.jpg");
  EXPECT_EQ(r.errors, 1);
  EXPECT_EQ(r.reason, "the server announced no length (3000 bytes received)");
  EXPECT_TRUE(ReadFile("nl.jpg") == body);
  ASSERT_FALSE(r.progress.empty());
  EXPECT_EQ(r.progress.back(), std::make_pair(0, 3000));
  chunked.body.clear();
  Put("empty.jpg", chunked);
  r = Fetch("empty.jpg");
  EXPECT_EQ(r.doneFiles, 1);
  EXPECT_EQ(r.doneSize, 0);
  EXPECT_TRUE(Exists("empty.jpg"));

  // 3000000000 fails before the sidecar and the file are touched.
  Resource huge{"", "H"};
  huge.hugeLength = true;
  Put("huge.jpg", huge);
  WriteFile("huge.jpg", "keep me");
  r = Fetch("huge.jpg");
  EXPECT_EQ(r.errors, 1);
  EXPECT_EQ(r.reason, "larger than 2 GiB: 3000000000 bytes");
  EXPECT_FALSE(Exists("huge.jpg.log"));
  EXPECT_EQ(ReadFile("huge.jpg"), "keep me");
}

TEST_F(HTTPGetTest, AnswersToTheRangedRequest) {
  struct Case {
    Resource::RangeAnswer answer;
    std::size_t kept;  // bytes of the resource already in the file
    bool rewritten;    // the file ends up holding the whole resource
    std::size_t requests;
    const char* reason;  // of a failure; null: success
  };
  const Case cases[] = {
      {Resource::kIgnore, 300, true, 2, nullptr},            // 200: rewrite from 0
      {Resource::kNotSatisfiable, 1000, false, 2, nullptr},  // 416 on a whole file: done
      {Resource::kServerError, 300, false, 2, "HTTP 500 Internal Server Error"},
      // Answers that do not continue the partial file: fetched whole again.
      {Resource::kNotSatisfiable, 300, true, 3, nullptr},
      {Resource::kWholeAs206, 300, true, 3, nullptr},
      {Resource::kWrongTotal, 300, true, 3, nullptr},
      {Resource::kChangedStamp, 300, true, 3, nullptr},
      {Resource::kLongerThanRange, 300, true, 3, nullptr},
      // A body that runs past what it announced: none of it stays.
      {Resource::kOverrun, 300, false, 2, "the answer does not fit the range asked for"},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string name = "range" + std::to_string(index++) + ".jpg";
    const std::string body = PatternBytes(1000, 8 + index);
    Resource resource{body, "X"};
    resource.range = c.answer;
    Put(name, resource);
    // The local bytes differ from the server's, so any write shows.
    const std::string local(c.kept, 'L');
    WriteFile(name, local);
    WriteFile(name + ".log", Sidecar("X", name));
    const Recorder r = Fetch(name);
    EXPECT_EQ(r.doneFiles, c.reason ? 0 : 1) << name;
    EXPECT_EQ(r.reason, c.reason ? c.reason : "") << name;
    EXPECT_EQ(r.doneSize, c.reason ? -1 : 1000) << name;
    EXPECT_TRUE(ReadFile(name) == (c.rewritten ? body : local)) << name;
    EXPECT_EQ(ReadFile(name + ".log"), Sidecar("X", name));
    const auto seen = SeenFor(name);
    ASSERT_EQ(seen.size(), c.requests) << name;
    EXPECT_EQ(seen[1].rawRange, "bytes=" + std::to_string(c.kept) + "-1000");
    if (c.requests == 3) {
      EXPECT_FALSE(seen[2].anyRange) << name;
    }
    for (const auto& [total, readed] : r.progress) EXPECT_LE(readed, 1000) << name;
    if (c.reason == nullptr) {
      EXPECT_EQ(r.progress.empty(), !c.rewritten) << name;
    }
  }
}

TEST(RangeFits, OnlyARangeFromThePartialSizeToTheLastByte) {
  const struct {
    const char* range;
    std::int64_t length;  // the answer's own length; -1: none
    bool fits;
  } cases[] = {
      {"bytes 300-999/1000", 700, true},
      {"BYTES 300-999/1000", -1, true},
      // The end asked for, repeated by the server, borne out by the length.
      {"bytes 300-1000/1000", 700, true},
      {"bytes 300-1000/1000", -1, false},
      {"bytes 300-999/1000", 1000, false},  // longer than its range
      {"bytes 300-998/1000", 699, false},   // short of the end
      {"bytes 300-999/*", -1, false},
  };
  for (const auto& c : cases) EXPECT_EQ(RangeFits(c.range, c.length, 300, 1000), c.fits) << c.range;
}

// Counts the messages of the download log while it exists.
struct DownloadLog {
  static inline int count = 0;
  QtMessageHandler previous;
  DownloadLog() {
    count = 0;
    previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString&) {
          if (context.category != nullptr && std::string(context.category) == "pixvane.download")
            ++count;
        });
  }
  ~DownloadLog() { qInstallMessageHandler(previous); }
};

TEST_F(HTTPGetTest, FailuresSayWhyAndLeaveFileAndSidecarAsTheyWere) {
  DownloadLog log;
  // An error status saves nothing, and touches no partial file.
  Resource gone{"", "X"};
  gone.status = 404;
  Put("gone.jpg", gone);
  EXPECT_EQ(Fetch("gone.jpg").reason, "HTTP 404 Not Found");
  EXPECT_FALSE(Exists("gone.jpg"));
  EXPECT_FALSE(Exists("gone.jpg.log"));
  WriteFile("gone.jpg", "partial");
  WriteFile("gone.jpg.log", "X\r\n");
  EXPECT_EQ(Fetch("gone.jpg").errors, 1);
  EXPECT_EQ(ReadFile("gone.jpg"), "partial");
  EXPECT_EQ(ReadFile("gone.jpg.log"), "X\r\n");

  // No answer at all (nothing listens; no host) leaves them too, and the
  // transport says why.
  WriteFile("x.jpg", std::string(300, 'p'));
  WriteFile("x.jpg.log", "X\r\n");
  const std::string closed = "http://127.0.0.1:" + std::to_string(testnet::ClosedPort());
  for (const std::string& address : {closed + "/x.jpg", std::string("http://127.0.0.1")}) {
    const Recorder r = Fetch("x.jpg", [&](THTTPGet& c) { c.URL = address; });
    EXPECT_EQ(r.errors, 1) << address;
    EXPECT_FALSE(r.reason.empty()) << address;
    EXPECT_EQ(ReadFile("x.jpg"), std::string(300, 'p'));
    EXPECT_EQ(ReadFile("x.jpg.log"), "X\r\n");
  }

  // A server closing mid-body: the bytes received stay, with the sidecar.
  const std::string body = PatternBytes(10000, 12);
  Resource cut{body, "X"};
  cut.cutAfter = 4100;
  Put("cut.jpg", cut);
  Recorder r = Fetch("cut.jpg");
  EXPECT_EQ(r.errors, 1);
  EXPECT_NE(r.reason.find("after 4100 of 10000 bytes"), std::string::npos) << r.reason;
  EXPECT_TRUE(ReadFile("cut.jpg") == body.substr(0, 4100));
  EXPECT_EQ(ReadFile("cut.jpg.log"), Sidecar("X", "cut.jpg"));

  // A server that stops sending: "timed out", the partial file kept.
  Resource stalled{body, "X"};
  stalled.holdAfter = 2050;
  Put("stalled.jpg", stalled);
  inet::testing::SetTimeouts(inet::testing::ConnectTimeoutMs(), 300);
  r = Fetch("stalled.jpg");
  inet::testing::SetTimeouts(inet::testing::ConnectTimeoutMs(), 60000);
  EXPECT_EQ(r.reason.rfind("timed out", 0), 0u) << r.reason;
  EXPECT_TRUE(ReadFile("stalled.jpg") == body.substr(0, 2050));

  // A target that cannot be created: the file error with its path. The
  // sidecar is stamped only once the target is emptied: an old one stays.
  Put("t.jpg", {"abc", "Y"});
  r = Fetch("t.jpg", [&](THTTPGet& c) { c.FileName = PathOf("no-folder/t.jpg"); });
  EXPECT_EQ(r.reason, "cannot create " + PathOf("no-folder/t.jpg") + ": No such file or directory");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(PathOf("t.jpg"))));
  WriteFile("t.jpg.log", Sidecar("X", "t.jpg"));
  EXPECT_EQ(Fetch("t.jpg").reason, "cannot create " + PathOf("t.jpg") + ": Is a directory");
  EXPECT_EQ(ReadFile("t.jpg.log"), Sidecar("X", "t.jpg"));
  // Each failure is logged once.
  EXPECT_EQ(log.count, 8);
}

TEST_F(HTTPGetTest, FailingProgressHandlerFailsTheRun) {
  Put("f.jpg", {PatternBytes(5000, 13), "X"});
  int calls = 0;
  const Recorder r = Fetch("f.jpg", [&](THTTPGet& c) {
    c.OnProgress = [&](QObject*, std::int32_t, std::int32_t) {
      ++calls;
      throw std::runtime_error("handler failed");
    };
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(r.reason, "handler failed");
  EXPECT_EQ(ReadFile("f.jpg.log"), Sidecar("X", "f.jpg"));
}

// Many downloads at once, each component with its own events: progress
// figures, then exactly one done or error, never a progress after it, and a
// done preceded by the whole file's figures. So with handlers that release
// their component (in the done handler, or in the middle of the download),
// one that raises, and components that wait for their end.
TEST_F(HTTPGetTest, EventsKeepTheirOrderUnderLoad) {
  constexpr int kCount = 48;
  constexpr std::int32_t kSize = 400000;
  Put("load.jpg", {PatternBytes(kSize, 30), "X"});
  enum Mode { kReleaseLater, kDeleteInDone, kRaise, kDeleteInProgress, kModes };
  struct Log {
    std::string events;  // 'p' progress, 'd' done, 'e' error, 'x' released
    std::int32_t last = 0;
  };
  std::vector<Log> logs(kCount + 3);
  auto start = [&](int n, Mode mode, bool wait) {
    auto* c = new THTTPGet(&owner_);
    c->URL = Url("load.jpg");
    c->FileName = PathOf("load" + std::to_string(n) + ".jpg");
    c->WaitThread = wait;
    Log& log = logs[n];
    c->OnProgress = [&log, c, mode](QObject*, std::int32_t, std::int32_t Readed) {
      log.events += 'p';
      log.last = Readed;
      if (mode == kRaise) throw std::runtime_error("handler failed");
      if (mode == kDeleteInProgress) {
        log.events += 'x';
        delete c;
      }
    };
    auto end = [&log, mode](QObject* Sender, char what) {
      log.events += what;
      if (mode == kDeleteInDone)
        delete Sender;
      else
        Sender->deleteLater();
    };
    c->OnDoneFile = [end](QObject* Sender, const std::string&, std::int32_t) { end(Sender, 'd'); };
    c->OnError = [end](QObject* Sender, const std::string&) { end(Sender, 'e'); };
    c->StartDownload();
  };
  for (int n = 0; n < kCount; ++n) start(n, static_cast<Mode>(n % kModes), false);
  // Waiting components among the running ones: all their events come first.
  static_assert(kCount % kModes == 0);
  for (int n = kCount; n < kCount + 3; ++n) {
    start(n, static_cast<Mode>(n % kModes), true);  // never kDeleteInProgress
    EXPECT_TRUE(logs[n].events.ends_with('d') || logs[n].events.ends_with('e')) << n;
  }
  ASSERT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 60000));
  for (int n = 0; n < kCount + 3; ++n) {
    const std::string& events = logs[n].events;
    const Mode mode = static_cast<Mode>(n % kModes);
    SCOPED_TRACE("download " + std::to_string(n) + ": " + events);
    if (mode == kRaise) {
      EXPECT_EQ(events, "pe");
    } else if (mode == kDeleteInProgress) {
      EXPECT_EQ(events, "px");
    } else {
      ASSERT_GE(events.size(), 2u);
      EXPECT_EQ(events.find_first_not_of('p'), events.size() - 1);
      EXPECT_EQ(events.back(), 'd');
      EXPECT_EQ(logs[n].last, kSize);
    }
  }
}

TEST_F(HTTPGetTest, WorkerInTextModeGathersTheBody) {
  const std::string body = PatternBytes(3000, 21);
  Put("text.html", {body, "X"});
  bool ended = false, succeeded = false;
  std::string text;
  TWorkerRequest request;
  request.AcceptTypes = "*/*";
  request.Agent = "t";
  request.URL = Url("text.html");
  request.FileName = PathOf("text.html");
  request.ToFile = false;
  new THTTPGetThread(std::move(request), [&](THTTPGetThread* Sender) {
    ended = true;
    succeeded = Sender->Succeeded;
    text = Sender->TextResult;
  });
  ASSERT_TRUE(WaitUntil([&] { return ended; }));
  EXPECT_TRUE(succeeded);
  EXPECT_TRUE(text == body);
  EXPECT_FALSE(Exists("text.html") || Exists("text.html.log"));
}

// --- Stopping, restarting, waiting ---------------------------------------------------

TEST_F(HTTPGetTest, StopDuringTransferKeepsPartialFileAndALaterRunResumes) {
  const std::string body = PatternBytes(50000, 14);
  Resource held{body, "X"};
  held.holdAfter = 8200;
  Put("s.jpg", held);
  std::int32_t stoppedAt = 0;
  std::vector<std::int32_t> readeds;
  const Recorder r = Fetch("s.jpg", [&](THTTPGet& c) {
    c.OnProgress = [&](QObject*, std::int32_t, std::int32_t Readed) {
      readeds.push_back(Readed);
      if (stoppedAt == 0 && Readed >= 4000) {
        stoppedAt = Readed;
        c.CancelDownload();
      }
    };
  });
  // The server still holds the body: the stop ended the worker's waiting
  // read, and the run ends as a cancel, not as a body that broke off.
  release_ = true;
  EXPECT_EQ(r.reason, "stopped");
  ASSERT_GE(stoppedAt, 4000);
  // The worker does not wait for the window: it may have read on up to
  // where the server held, but no chunk read after the stop is written, and
  // the last figures are those of the file.
  const std::size_t kept = ReadFile("s.jpg").size();
  EXPECT_GE(kept, static_cast<std::size_t>(stoppedAt));
  EXPECT_LE(kept, 8200u);
  EXPECT_EQ(readeds.back(), static_cast<std::int32_t>(kept));
  EXPECT_TRUE(ReadFile("s.jpg") == body.substr(0, kept));
  EXPECT_EQ(ReadFile("s.jpg.log"), Sidecar("X", "s.jpg"));

  Put("s.jpg", {body, "X"});
  const Recorder later = Fetch("s.jpg");
  EXPECT_EQ(later.doneSize, 50000);
  EXPECT_TRUE(ReadFile("s.jpg") == body);
  const auto seen = SeenFor("s.jpg");
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].rawRange, "bytes=" + std::to_string(kept) + "-50000");
}

TEST_F(HTTPGetTest, SecondStartWhileBusyIsIgnoredAndCancelWhenIdleDoesNothing) {
  const std::string body = PatternBytes(6000, 15);
  Resource held{body, "X"};
  held.holdAfter = 2050;
  Put("b.jpg", held);
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.CancelDownload();  // idle: nothing happens
  EXPECT_EQ(component.Worker(), nullptr);
  component.URL = Url("b.jpg");
  component.FileName = PathOf("b.jpg");
  component.StartDownload();
  THTTPGetThread* first = component.Worker();
  ASSERT_NE(first, nullptr);
  // Changes after the start do not reach the running download.
  component.URL = Url("other.jpg");
  component.FileName = PathOf("other.jpg");
  ASSERT_TRUE(WaitUntil([&] { return !recorder.progress.empty(); }));
  component.StartDownload();
  EXPECT_EQ(component.Worker(), first);
  EXPECT_EQ(recorder.Ended(), 0);
  release_ = true;
  ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.doneName, PathOf("b.jpg"));
  EXPECT_TRUE(ReadFile("b.jpg") == body);
  EXPECT_EQ(SeenFor("b.jpg").size(), 1u);
  EXPECT_TRUE(SeenFor("other.jpg").empty());
  component.CancelDownload();
  EXPECT_EQ(recorder.Ended(), 1);
  // Idle again: a new start works (other.jpg is unknown: an error).
  ASSERT_TRUE(Run(component, recorder));
  EXPECT_EQ(recorder.errors, 1);
  EXPECT_FALSE(recorder.broken);
}

TEST_F(HTTPGetTest, NoHandlersAssignedStillEndsCleanly) {
  Put("q.jpg", {PatternBytes(3000, 16), "X"});
  THTTPGet component(&owner_);
  for (const char* name : {"q.jpg", "absent.jpg"}) {
    component.URL = Url(name);
    component.FileName = PathOf(name);
    component.StartDownload();
    EXPECT_NE(component.Worker(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.Worker() == nullptr; }));
  }
  EXPECT_EQ(ReadFile("q.jpg").size(), 3000u);
}

TEST_F(HTTPGetTest, WaitThreadReturnsAfterTheEvents) {
  Put("w.jpg", {PatternBytes(8000, 17), "X"});
  THTTPGet component(&owner_);
  Recorder recorder;
  recorder.Bind(component);
  component.WaitThread = true;
  for (const char* name : {"w.jpg", "absent.jpg"}) {
    component.URL = Url(name);
    component.FileName = PathOf(name);
    component.StartDownload();
    EXPECT_EQ(component.Worker(), nullptr);
  }
  EXPECT_EQ(recorder.doneFiles, 1);
  EXPECT_EQ(recorder.errors, 1);
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_EQ(recorder.progress.back().second, 8000);  // the last figures are never skipped
  EXPECT_EQ(ReadFile("w.jpg").size(), 8000u);
  EXPECT_FALSE(recorder.broken);
}

TEST_F(HTTPGetTest, HandlerMayWaitForAnotherDownload) {
  // The second download's events run in the event loop that the first
  // download's done handler waits in.
  Put("outer.jpg", {PatternBytes(3000, 22), "X"});
  Put("inner.jpg", {PatternBytes(4000, 23), "X"});
  THTTPGet inner(&owner_);
  Recorder innerEvents;
  innerEvents.Bind(inner);
  inner.WaitThread = true;
  inner.URL = Url("inner.jpg");
  inner.FileName = PathOf("inner.jpg");
  const Recorder outer = Fetch("outer.jpg", [&](THTTPGet& c) {
    c.OnDoneFile = [&, recorded = c.OnDoneFile](QObject* Sender, const std::string& File,
                                                std::int32_t Size) {
      inner.StartDownload();
      recorded(Sender, File, Size);
    };
  });
  EXPECT_EQ(outer.doneFiles, 1);
  EXPECT_EQ(innerEvents.doneFiles, 1);
  ASSERT_FALSE(innerEvents.progress.empty());
  EXPECT_EQ(innerEvents.progress.back().second, 4000);
  EXPECT_EQ(ReadFile("inner.jpg").size(), 4000u);
  EXPECT_EQ(ReadFile("outer.jpg").size(), 3000u);
}

TEST_F(HTTPGetTest, ComponentDestroyedByItsOwnDoneHandler) {
  Put("d.jpg", {"done", "X"});
  QPointer<THTTPGet> component = new THTTPGet(&owner_);
  bool raised = false;
  component->OnDoneFile = [&](QObject* Sender, const std::string&, std::int32_t) {
    raised = true;
    delete Sender;
  };
  component->URL = Url("d.jpg");
  component->FileName = PathOf("d.jpg");
  component->StartDownload();
  ASSERT_TRUE(WaitUntil([&] { return raised; }));
  EXPECT_TRUE(component.isNull());
}

// --- Many at once ------------------------------------------------------------------

TEST_F(HTTPGetTest, ThreeHundredDownloadsFromOneServerUseAtMostSixConnections) {
  constexpr int kCount = 300;
  std::vector<std::string> bodies;
  for (int i = 0; i < kCount; ++i) {
    bodies.push_back(PatternBytes(20000 + i * 13, i));
    Put("many" + std::to_string(i), {bodies.back(), "M"});
  }
  // Slots taken, sampled; network connections, counted as they open.
  std::atomic<bool> sampling{true};
  std::atomic<int> peakSlots{0};
  std::thread sampler([&] {
    while (sampling) {
      peakSlots =
          std::max(peakSlots.load(), inet::testing::SlotsInUse("127.0.0.1", server_.Port()));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int done = 0, errors = 0;
  auto* batch = new QObject(&owner_);
  for (int i = 0; i < kCount; ++i) {
    auto* component = new THTTPGet(batch);
    component->URL = Url("many" + std::to_string(i));
    component->FileName = PathOf("many" + std::to_string(i));
    component->OnProgress = [](QObject*, std::int32_t, std::int32_t) {};
    component->OnDoneFile = [&](QObject*, const std::string&, std::int32_t) { ++done; };
    component->OnError = [&](QObject*, const std::string&) { ++errors; };
    component->StartDownload();
  }
  const bool finished = WaitUntil([&] { return done + errors == kCount; }, 100000);
  sampling = false;
  sampler.join();
  ASSERT_TRUE(finished) << done << " done, " << errors << " failed";
  EXPECT_EQ(done, kCount);
  const int peakSockets = inet::testing::PeakSockets("127.0.0.1", server_.Port());
  EXPECT_LE(peakSockets, inet::kMaxConnectionsPerServer);
  EXPECT_GE(peakSockets, 2);
  EXPECT_TRUE(WaitUntil(
      [&] { return inet::testing::OpenSockets("127.0.0.1", server_.Port()) == 0; }, 3000));
  EXPECT_LE(peakSlots, inet::kMaxConnectionsPerServer);
  for (int i = 0; i < kCount; ++i)
    ASSERT_TRUE(ReadFile("many" + std::to_string(i)) == bodies[i]) << i;
  delete batch;
}

TEST_F(HTTPGetTest, DestroyingComponentsWithRunningWorkersRaisesNothingAndDoesNotHang) {
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i) {
    Resource held{PatternBytes(30000, i), "D"};
    held.holdAfter = 2050;
    Put("destroy" + std::to_string(i), held);
  }
  int events = 0, progress = 0;
  auto* window = new QObject;
  for (int i = 0; i < kCount; ++i) {
    auto* component = new THTTPGet(window);
    component->URL = Url("destroy" + std::to_string(i));
    component->FileName = PathOf("destroy" + std::to_string(i));
    component->OnProgress = [&](QObject*, std::int32_t, std::int32_t) { ++progress; };
    component->OnDoneFile = [&](QObject*, const std::string&, std::int32_t) { ++events; };
    component->OnError = [&](QObject*, const std::string&) { ++events; };
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

TEST_F(HTTPGetTest, PostQueryCredentialsRefererAgentAndAcceptReachTheServer) {
  const std::string body = PatternBytes(1200, 19);
  Put("post.jpg", {body, "P"});
  auto setup = [](THTTPGet& c) {
    c.PostQuery = "name=a+b&x=1";
    c.UserName = "user";
    c.Password = "secret";
    c.Referer = "http://pages.example/gallery.html";
    c.Agent = "";
    c.AcceptTypes = "image/gif, image/jpeg, */*";
  };
  EXPECT_EQ(Fetch("post.jpg", setup).doneFiles, 1);
  EXPECT_TRUE(ReadFile("post.jpg") == body);
  // A resumed POST sends the form data again, with both header lines.
  WriteFile("post.jpg", body.substr(0, 500));
  EXPECT_EQ(Fetch("post.jpg", setup).doneFiles, 1);
  EXPECT_TRUE(ReadFile("post.jpg") == body);
  const auto seen = SeenFor("post.jpg");
  ASSERT_EQ(seen.size(), 3u);
  for (const Seen& s : {seen[0], seen[2]}) {
    EXPECT_EQ(s.method, "POST");
    EXPECT_EQ(s.body, "name=a+b&x=1");
    EXPECT_EQ(s.contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(s.authorization, "Basic dXNlcjpzZWNyZXQ=");  // user:secret
    EXPECT_EQ(s.referer, "http://pages.example/gallery.html");
    EXPECT_FALSE(s.hasAgent);
    EXPECT_EQ(s.accept, "image/gif, image/jpeg, */*");
  }
  EXPECT_EQ(seen[0].rawRange, "<none>");
  EXPECT_EQ(seen[2].rawRange, "bytes=500-1200");
}

TEST_F(HTTPGetTest, IPv6LiteralsAndUserInformationNameTheServerAsCurlReadsThem) {
  const std::string body = PatternBytes(2000, 31);
  Put("v.jpg", {body, "V"});
  // The user information goes as credentials, decoded, not into the host.
  const std::string at = "127.0.0.1:" + std::to_string(server_.Port());
  Recorder r =
      Fetch("v.jpg", [&](THTTPGet& c) { c.URL = "http://us%65r:p%40ss@" + at + "/f/v.jpg"; });
  EXPECT_EQ(r.doneFiles, 1) << r.reason;
  EXPECT_EQ(SeenFor("v.jpg").back().authorization, "Basic dXNlcjpwQHNz");  // user:p@ss

  httplib::Server v6;
  v6.Get(R"(/f/(.+))",
         [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
  const int port = v6.bind_to_any_port("::1");
  if (port <= 0) GTEST_SKIP() << "no IPv6 loopback here";
  std::thread serving([&] { v6.listen_after_bind(); });
  r = Fetch("v.jpg",
            [&](THTTPGet& c) { c.URL = "http://[::1]:" + std::to_string(port) + "/f/v.jpg"; });
  v6.stop();
  serving.join();
  EXPECT_EQ(r.doneFiles, 1) << r.reason;
  EXPECT_TRUE(ReadFile("v.jpg") == body);
}

TEST_F(HTTPGetTest, HttpsAddressesDownloadOverTls) {
  std::string cert, key;
  ASSERT_TRUE(testnet::MakeCertificate(Dir(), cert, key));
  const std::string body = PatternBytes(7000, 20);
  LocalServer secure(cert, key);
  secure->Get("/tls.jpg", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("Last-Modified", "T");
    res.set_content(body, "image/jpeg");
  });
  ASSERT_TRUE(secure.Start());
  std::string upper = secure.Url("/tls.jpg");
  upper.replace(0, 5, "HTTPS");
  auto from = [](const std::string& url) { return [url](THTTPGet& c) { c.URL = url; }; };
  EXPECT_EQ(Fetch("tls.jpg", from(secure.Url("/tls.jpg"))).errors, 1);  // not trusted yet
  inet::testing::SetCaFile(cert);
  EXPECT_EQ(Fetch("tls.jpg", from(secure.Url("/tls.jpg"))).doneFiles, 1);
  EXPECT_TRUE(ReadFile("tls.jpg") == body);
  EXPECT_EQ(ReadFile("tls.jpg.log"), "T\r\n" + secure.Url("/tls.jpg") + "\r\n");
  EXPECT_EQ(Fetch("tls2.jpg", from(upper)).doneFiles, 1);
  EXPECT_TRUE(ReadFile("tls2.jpg") == body);
}

}  // namespace
