// The batch both programs drive: outcomes, reasons, the sidecar sweep, the
// release of every component at its end, and the counts.
#include <QDir>

#include "HTTPGet.h"
#include "LocalServer.h"
#include "Sandbox.h"
#include "Unit_Batch.h"

using testnet::LocalServer;
using testnet::PatternBytes;
using TState = TDownloadBatch::TState;

namespace {

class Batch : public SandboxTest {
 protected:
  void SetUp() override {
    server_->Get("/ok.jpg", [this](const httplib::Request&, httplib::Response& res) {
      res.set_header("Last-Modified", "Sat, 29 Oct 1994 19:43:31 GMT");
      res.set_content(body_, "image/jpeg");
    });
    server_->Get("/missing.jpg", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("not found", "text/html");
    });
    ASSERT_TRUE(server_.Start());
  }
  void TearDown() override {
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 30000));
  }
  QString Url(const std::string& path) const { return QString::fromStdString(server_.Url(path)); }
  QString Path(const std::string& name) const { return QString::fromStdString(PathOf(name)); }

  const std::string body_ = PatternBytes(30000, 5);
  LocalServer server_;
};

}  // namespace

TEST_F(Batch, EveryAddressEndsOnceWithItsOutcomeAndLeavesNothingRunning) {
  // A partial file of the address with its sidecar, as an earlier run left it.
  WriteFile("ok.jpg", body_.substr(0, 10000));
  WriteFile("ok.jpg.log", "Sat, 29 Oct 1994 19:43:31 GMT\r\n" + server_.Url("/ok.jpg") + "\r\n");
  TDownloadBatch batch;
  EXPECT_TRUE(batch.Add(Url("/ok.jpg"), Path("ok.jpg")));
  EXPECT_FALSE(batch.Add(Url("/other.jpg"), Path("ok.jpg")));  // one writer per file
  EXPECT_TRUE(batch.Add(Url("/missing.jpg"), Path("missing.jpg")));
  EXPECT_TRUE(batch.Add(Url("/ok.jpg"), Path("no/folder/ok.jpg")));
  EXPECT_TRUE(batch.Add(Url("/ok.jpg"), Path("planned.jpg")));
  batch.Fail(Path("planned.jpg"), "refused by the plan");
  EXPECT_EQ(batch.Pending(), 3);

  QStringList ended;
  batch.OnEnded = [&](const TDownloadBatch::TDownload& d) { ended << QDir(d.Target).dirName(); };
  int progress = 0;
  batch.OnProgress = [&](const TDownloadBatch::TDownload&, std::int32_t, std::int32_t) {
    ++progress;
  };
  int between = 0;
  batch.StartAll([&] { ++between; });
  EXPECT_EQ(between, 3);
  ASSERT_TRUE(WaitUntil([&] { return batch.Pending() == 0; }));
  ended.sort();
  EXPECT_EQ(ended, (QStringList{"missing.jpg", "ok.jpg", "ok.jpg"}));
  EXPECT_GT(progress, 0);

  const TDownloadBatch::TDownload* ok = batch.Find(Path("ok.jpg"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->State, TState::Succeeded);
  EXPECT_EQ(ok->Readed, 30000);
  EXPECT_EQ(ok->Received, 20000);  // resumed: only the missing bytes came
  EXPECT_EQ(ReadFile("ok.jpg"), body_);
  EXPECT_FALSE(Exists("ok.jpg.log"));
  EXPECT_EQ(batch.Find(Path("missing.jpg"))->Reason, "HTTP 404 Not Found");
  EXPECT_TRUE(batch.Find(Path("no/folder/ok.jpg"))->Reason.startsWith("cannot create "));
  EXPECT_EQ(batch.Find(Path("planned.jpg"))->State, TState::Failed);

  const TDownloadBatch::TTally tally = batch.Tally();
  EXPECT_EQ(tally.Total, 4);
  EXPECT_EQ(tally.Ended, 4);
  EXPECT_EQ(tally.Succeeded, 1);
  EXPECT_EQ(tally.Failed, 3);
  EXPECT_EQ(tally.Bytes, 30000);
  EXPECT_EQ(tally.Received, 20000);
  // Every component went with its download's end.
  EXPECT_TRUE(WaitUntil([&] { return batch.findChildren<THTTPGet*>().isEmpty(); }));

  batch.ForgetEnded();
  EXPECT_EQ(batch.Tally().Total, 0);
  EXPECT_EQ(batch.Find(Path("ok.jpg")), nullptr);
  EXPECT_TRUE(batch.Add(Url("/ok.jpg"), Path("ok.jpg")));
}
