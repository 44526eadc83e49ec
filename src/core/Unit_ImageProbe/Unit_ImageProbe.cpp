#include "Unit_ImageProbe.h"

#include <QBuffer>
#include <QImageReader>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <charconv>

#include "ImageRequest.h"
#include "Inet.h"
#include "Outcome.h"
#include "RequestUrl.h"

namespace {

// Header values must fit these buffers with their terminating NUL.
constexpr std::size_t kHeaderBufferBytes = 256;
// Decoding a thumbnail may take at most this much memory (in MB): a small
// file can announce a huge picture.
constexpr int kDecodeLimitMb = 64;

TImageProbe Failed(std::string reason) {
  TImageProbe probe;
  probe.Reason = std::move(reason);
  return probe;
}

// "HTTP/1.1 404 Not Found" gives "HTTP 404 Not Found".
std::string StatusReason(const inet::Request& request) {
  const std::string& raw = request.RawHeaders();
  const std::string line = raw.substr(0, raw.find_first_of("\r\n"));
  const std::size_t blank = line.find(' ');
  return blank == std::string::npos ? "HTTP " + std::to_string(request.StatusCode())
                                    : "HTTP " + line.substr(blank + 1);
}

// A header's decimal value; -1 when it is absent or no number.
std::int64_t NumberAfter(const std::string& text, std::size_t from) {
  std::int64_t value = -1;
  if (from > text.size()) return -1;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data() + from, end, value);
  return error == std::errc() && rest == end && value >= 0 ? value : -1;
}

// The whole file's size: the total of a 206's Content-Range
// ("bytes 0-65535/TOTAL", "*" when unknown) or a 200's Content-Length.
std::int64_t FileBytesOf(const inet::Request& request) {
  if (request.StatusCode() == 206) {
    const std::optional<std::string> range =
        request.QueryHeader("Content-Range", kHeaderBufferBytes);
    if (!range) return -1;
    const std::size_t slash = range->rfind('/');
    return slash == std::string::npos ? -1 : NumberAfter(*range, slash + 1);
  }
  const std::optional<std::string> length =
      request.QueryHeader("Content-Length", kHeaderBufferBytes);
  return length ? NumberAfter(*length, 0) : -1;
}

// Reads at most limit body bytes, fewer once *stop is set. complete: the
// body ended within them.
std::string ReadBody(inet::Request& request, std::int64_t limit, const std::atomic<bool>* stop,
                     bool& complete, std::string& failure) {
  std::string body;
  char buffer[inet::kWorkerChunkBytes];
  complete = false;
  while (static_cast<std::int64_t>(body.size()) < limit) {
    if (stop != nullptr && stop->load()) return body;
    const std::size_t want =
        std::min<std::size_t>(sizeof buffer, static_cast<std::size_t>(limit) - body.size());
    const inet::Result<std::size_t> got = request.Read(buffer, want);
    if (!got) {
      failure = got.Reason();
      return body;
    }
    if (*got == 0) {
      complete = true;
      return body;
    }
    body.append(buffer, *got);
  }
  return body;
}

}  // namespace

TImageProbe ReadImageBytes(const QByteArray& bytes, int thumbnailSide) {
  if (bytes.isEmpty()) return Failed("the server sent no bytes");
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAllocationLimit(kDecodeLimitMb);
  TImageProbe probe;
  if (!reader.canRead()) return Failed("not an image this program can read");
  probe.Size = reader.size();
  if (!probe.Size.isValid())
    return Failed("the first " + std::to_string(bytes.size()) + " bytes tell no size");
  if (thumbnailSide > 0) {
    const QSize side(thumbnailSide, thumbnailSide);
    if (probe.Size.width() > thumbnailSide || probe.Size.height() > thumbnailSide)
      reader.setScaledSize(probe.Size.scaled(side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    probe.Thumbnail = reader.read();
  }
  return probe;
}

TImageProbe ProbeImage(const std::string& address, int thumbnailSide,
                       const std::atomic<bool>* stop) {
  const std::string url =
      RequestUrlOf(RequestAddress(QString::fromStdString(address)).toStdString());
  const QUrl parsed(QString::fromStdString(url));
  const QString scheme = parsed.scheme().toLower();
  const bool secure = scheme == QLatin1String("https");
  if (!parsed.isValid() || parsed.host().isEmpty() || (!secure && scheme != QLatin1String("http")))
    return Failed("not a web address");

  const inet::Session session(inet::SessionOptions{kImageAgent, 60000, kProbeIdleMs});
  inet::Connection connection(session, parsed.host(QUrl::FullyEncoded).toStdString(),
                              parsed.port(secure ? 443 : 80), secure, {}, {}, stop);
  inet::Request request(connection, "GET", url, {}, kImageAcceptTypes, inet::kWorkerChunkBytes);
  if (inet::Outcome sent = request.Send("Range: bytes=0-" + std::to_string(kProbeBytes - 1)); !sent)
    return Failed(sent.Reason());
  const int status = request.StatusCode();
  if (status == 0) return Failed(inet::reason::kNoResponse);
  if (status != 200 && status != 206) return Failed(StatusReason(request));

  // A 200 ignored the range: a small file is read whole.
  const std::int64_t announced = FileBytesOf(request);
  const std::int64_t limit =
      status == 206 || announced > kSmallImageBytes ? kProbeBytes : kSmallImageBytes;
  bool complete = false;
  std::string failure;
  const std::string body = ReadBody(request, limit, stop, complete, failure);
  if (stop != nullptr && stop->load()) return Failed(inet::reason::kStopped);
  TImageProbe probe = ReadImageBytes(QByteArray::fromStdString(body), thumbnailSide);
  probe.FileBytes = announced >= 0              ? announced
                    : complete && status == 200 ? static_cast<std::int64_t>(body.size())
                                                : -1;
  if (!probe.Size.isValid() && !failure.empty()) probe.Reason = failure;
  return probe;
}
