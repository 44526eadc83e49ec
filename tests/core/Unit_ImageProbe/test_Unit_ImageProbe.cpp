// The probe against a server that ignores the range, and bytes that tell no
// size. (The window's tests probe servers that honour the range.)
#include <gtest/gtest.h>

#include "LocalServer.h"
#include "TestImages.h"
#include "Unit_ImageProbe.h"

namespace {

std::string Png(int width, int height, bool noise) {
  return testimages::Encoded(testimages::Picture(width, height, noise), "PNG");
}

}  // namespace

TEST(ImageProbe, AServerIgnoringTheRangeGivesASmallFileWholeAndALargeOneCut) {
  const std::string small = Png(50, 40, false);
  const std::string large = Png(400, 300, true);
  ASSERT_GT(static_cast<std::int64_t>(large.size()), kSmallImageBytes);
  testnet::LocalServer server;
  std::atomic<std::size_t> sent{0};
  // Chunked answers without a length, status 200 whatever the range.
  const auto whole = [&sent](const std::string& body) {
    return [&sent, body](const httplib::Request&, httplib::Response& res) {
      res.status = 200;
      res.set_chunked_content_provider(
          "image/png", [&sent, body](std::size_t offset, httplib::DataSink& sink) {
            const std::size_t n = std::min<std::size_t>(16384, body.size() - offset);
            if (!sink.write(body.data() + offset, n)) return false;
            sent += n;
            if (offset + n == body.size()) sink.done();
            return true;
          });
    };
  };
  server->Get("/small.png", whole(small));
  server->Get("/large.png", whole(large));
  ASSERT_TRUE(server.Start());

  const TImageProbe a = ProbeImage(server.Url("/small.png"), 32);
  EXPECT_EQ(a.Size, QSize(50, 40));
  EXPECT_EQ(a.FileBytes, static_cast<std::int64_t>(small.size()));  // read to its end
  EXPECT_EQ(a.Thumbnail.size(), QSize(32, 25));
  const TImageProbe b = ProbeImage(server.Url("/large.png"), 32);
  EXPECT_EQ(b.Size, QSize(400, 300));
  EXPECT_EQ(b.FileBytes, -1);  // not read to its end
  EXPECT_TRUE(b.Reason.empty());
}

TEST(ImageProbe, BytesThatTellNoSizeSayWhy) {
  const struct {
    QByteArray bytes;
    const char* reason;
  } cases[] = {
      {"", "the server sent no bytes"},
      {"<html>not found</html>", "not an image this program can read"},
      {QByteArray::fromStdString(Png(10, 10, false).substr(0, 12)),
       "the first 12 bytes tell no size"},
  };
  for (const auto& c : cases) {
    const TImageProbe probe = ReadImageBytes(c.bytes, 16);
    EXPECT_FALSE(probe.Size.isValid()) << c.reason;
    EXPECT_EQ(probe.Reason, c.reason);
  }
}
