// The end of the internet client: what a request under way, and one made
// afterwards, get when the Library ends.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "Inet.h"
#include "InternetClient.h"
#include "LocalServer.h"

namespace {

using namespace std::chrono_literals;

constexpr char kNotStarted[] = "the internet client is not started";

// The client comes back for the tests after this one, whatever happened.
struct ClientBack {
  ~ClientBack() { testmain::StartInternetClient(); }
};

TEST(LibraryTest, EndingItEndsWaitingRequestsStoppedAndLaterOnesFailWithoutBeingSent) {
  ClientBack back;
  std::atomic<bool> release{false};
  testnet::LocalServer server;
  server->Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain",
                                     [&](std::size_t offset, httplib::DataSink& sink) {
                                       if (offset == 0) return sink.write("first", 5);
                                       for (int i = 0; i < 1000 && !release; ++i)
                                         std::this_thread::sleep_for(10ms);
                                       sink.done();
                                       return true;
                                     });
  });
  ASSERT_TRUE(server.Start());
  testnet::SilentListener silent;
  ASSERT_GT(silent.Port(), 0);

  const inet::Session session("t");
  inet::Connection connection(session, "127.0.0.1", server.Port(), false, "", "");
  inet::Connection mute(session, "127.0.0.1", silent.Port(), false, "", "");
  // One request stalls in its body, the other waits for an answer that never comes.
  inet::Request body(connection, "GET", server.Url("/stall"), "", "", inet::kWorkerChunkBytes);
  ASSERT_TRUE(body.Send());
  char buffer[inet::kWorkerChunkBytes];
  const inet::Result<std::size_t> got = body.Read(buffer, sizeof buffer);
  ASSERT_TRUE(got);
  ASSERT_EQ(*got, 5u);
  auto reading = std::async(std::launch::async, [&] { return body.Read(buffer, sizeof buffer); });
  inet::Request head(mute, "GET", "http://127.0.0.1:" + std::to_string(silent.Port()) + "/", "", "",
                     inet::kWorkerChunkBytes);
  auto sending = std::async(std::launch::async, [&] { return head.Send(); });
  EXPECT_EQ(reading.wait_for(300ms), std::future_status::timeout);
  EXPECT_EQ(sending.wait_for(1ms), std::future_status::timeout);

  const auto start = std::chrono::steady_clock::now();
  testmain::EndInternetClient();
  ASSERT_EQ(reading.wait_for(5s), std::future_status::ready);
  ASSERT_EQ(sending.wait_for(5s), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(reading.get().Reason(), "stopped");
  EXPECT_EQ(sending.get().Reason(), "stopped");

  // Without a live client nothing is sent, on an old Connection or a new
  // one, and each call says why.
  inet::Request late(connection, "GET", server.Url("/stall"), "", "", inet::kWorkerChunkBytes);
  EXPECT_EQ(late.Send().Reason(), kNotStarted);
  inet::Connection after(session, "127.0.0.1", server.Port(), false, "", "");
  inet::Request orphan(after, "GET", server.Url("/stall"), "", "", inet::kWorkerChunkBytes);
  EXPECT_EQ(orphan.Send().Reason(), kNotStarted);
  EXPECT_EQ(inet::Request::OpenUrl(session, server.Url("/stall"), inet::kPageChunkBytes).Reason(),
            kNotStarted);
  EXPECT_EQ(inet::RequestsAtOnce("127.0.0.1", server.Port()), inet::kMaxConnectionsPerServer);
  release = true;

  // A new client serves again.
  testmain::StartInternetClient();
  inet::Connection again(session, "127.0.0.1", server.Port(), false, "", "");
  inet::Request fresh(again, "GET", server.Url("/stall"), "", "", inet::kWorkerChunkBytes);
  const inet::Outcome sent = fresh.Send();
  ASSERT_TRUE(sent) << sent.Reason();
  EXPECT_EQ(fresh.StatusCode(), 200);
}

}  // namespace
