// The hand-over between many workers and the user-interface thread, also
// while that thread sits in a nested event loop (as under a modal box).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "HTTPGet.h"
#include "Inet.h"
#include "LocalServer.h"
#include "Sandbox.h"

using testnet::LocalServer;
using testnet::PatternBytes;

namespace {

constexpr int kPerServer = 12;  // two servers: twelve worker threads at once
constexpr int kCount = 2 * kPerServer;
constexpr std::size_t kSize = 300000;
constexpr std::size_t kHeldAt = 8200;  // a failing download's server waits here
bool Failing(int n) {
  return n % 6 == 5;
}

class HandOverTest : public SandboxTest {
 protected:
  void SetUp() override {
    for (LocalServer& server : servers_) {
      server->Get(R"(/f/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
        const int n = std::stoi(req.matches[1]);
        res.set_content_provider(
            kSize, "image/jpeg", [this, n](size_t offset, size_t length, httplib::DataSink& sink) {
              for (int i = 0; i < 2000 && offset >= kHeldAt && Failing(n) && !released_[n]; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
              const std::size_t end = offset < kHeldAt ? kHeldAt : kSize;
              sink.write(body_.data() + offset,
                         std::min(length, std::min<size_t>(end - offset, 4100)));
              return true;
            });
      });
      ASSERT_TRUE(server.Start());
    }
  }
  void TearDown() override {
    for (auto& released : released_) released = true;
    EXPECT_TRUE(WaitUntil([] { return THTTPGetThread::LiveCount() == 0; }, 30000));
  }

  const std::string body_ = PatternBytes(kSize, 40);
  std::array<std::atomic<bool>, kCount> released_{};
  std::array<LocalServer, 2> servers_;
};

struct Log {
  std::vector<std::int32_t> readeds;
  int ends = 0;
  std::string reason;  // empty: done
};

}  // namespace

TEST_F(HandOverTest, EachDeliveryAndCompletionRunsOnceOnTheUserInterfaceThread) {
  QObject owner;
  std::array<Log, kCount> logs;
  int ended = 0, offThread = 0, deliveredNested = 0, endedNested = 0, ticks = 0, ticksNested = 0;
  bool nested = false, nestedDone = false;
  auto onUi = [&] { offThread += QThread::currentThread() == qApp->thread() ? 0 : 1; };
  QTimer zero;  // the event loop's own turns, counted
  QObject::connect(&zero, &QTimer::timeout, [&] { ++(nested ? ticksNested : ticks); });
  zero.start(0);
  // Once the downloads deliver, the user-interface thread enters an event
  // loop of its own until half of them have ended.
  QEventLoop inner;
  auto enterNested = [&] {
    if (nested || nestedDone || ended >= kCount / 2) return;
    nested = true;
    QTimer::singleShot(20000, &inner, &QEventLoop::quit);
    inner.exec();
    nested = false;
    nestedDone = true;
  };
  for (int n = 0; n < kCount; ++n) {
    auto* c = new THTTPGet(&owner);
    c->URL = servers_[n / kPerServer].Url("/f/" + std::to_string(n));
    c->FileName = PathOf(std::to_string(n) + ".jpg");
    c->OnProgress = [&, n](QObject*, std::int32_t, std::int32_t Readed) {
      onUi();
      logs[n].readeds.push_back(Readed);
      deliveredNested += nested ? 1 : 0;
      if (!nested && !nestedDone) QTimer::singleShot(0, enterNested);
      if (!Failing(n)) return;
      // The server goes on only after the failure is kept.
      QTimer::singleShot(0, [this, n] { released_[n] = true; });
      throw std::runtime_error("handler failed");
    };
    auto end = [&, n](QObject* Sender, const std::string& reason) {
      onUi();
      ++logs[n].ends;
      logs[n].reason = reason;
      endedNested += nested ? 1 : 0;
      if (++ended == kCount / 2) inner.quit();
      Sender->deleteLater();
    };
    c->OnDoneFile = [end](QObject* Sender, const std::string&, std::int32_t) { end(Sender, {}); };
    c->OnError = [end](QObject* Sender, const std::string& Reason) { end(Sender, Reason); };
    c->StartDownload();
  }
  ASSERT_TRUE(
      WaitUntil([&] { return ended == kCount && THTTPGetThread::LiveCount() == 0; }, 30000));
  EXPECT_EQ(offThread, 0);
  EXPECT_TRUE(nestedDone);
  EXPECT_GT(deliveredNested, 0);
  EXPECT_GT(endedNested, 0);
  EXPECT_GT(ticksNested, 0);
  EXPECT_GT(ticks, 0);
  for (int n = 0; n < kCount; ++n) {
    const Log& log = logs[n];
    SCOPED_TRACE("download " + std::to_string(n));
    EXPECT_EQ(log.ends, 1);
    ASSERT_FALSE(log.readeds.empty());
    // A delivery run twice would repeat its figures.
    EXPECT_EQ(std::adjacent_find(log.readeds.begin(), log.readeds.end(), std::greater_equal<>()),
              log.readeds.end());
    if (Failing(n)) {
      // Raised again in the worker: the download fails at its next piece.
      EXPECT_EQ(log.reason, "handler failed");
      EXPECT_EQ(log.readeds.size(), 1u);
      EXPECT_LT(ReadFile(std::to_string(n) + ".jpg").size(), kSize);
    } else {
      EXPECT_EQ(log.reason, "");
      EXPECT_EQ(log.readeds.back(), static_cast<std::int32_t>(kSize));
      EXPECT_TRUE(ReadFile(std::to_string(n) + ".jpg") == body_);
    }
  }
}
