// Conditional requests for finished files, and the validators a whole file
// keeps for them.
#include "Revalidate.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <limits>

#include "FileOrigin.h"
#include "HTTPGetThread.h"
#include "Inet.h"

namespace revalidate {

namespace {

// Header values a whole file keeps must fit this buffer with their NUL.
constexpr std::size_t kValidatorBufferBytes = 256;

// A value that can go into a header line as it is: no control character
// (a recorded ETag is read from the file system, which anyone may write).
bool FitsHeader(const std::string& value) {
  return !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

}  // namespace

bool ParseHttpDate(const std::string& text, std::time_t& seconds) {
  // libcurl reads the three date forms HTTP allows (and the usual variants).
  const std::time_t parsed = curl_getdate(text.c_str(), nullptr);
  if (text.empty() || parsed == -1) return false;
  seconds = parsed;
  return true;
}

std::string HttpDate(std::time_t seconds) {
  const QDateTime when = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
  if (!when.isValid() || when.date().year() < 1 || when.date().year() > 9999) return {};
  // Day and month names in English whatever the user's locale.
  return QLocale::c()
      .toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
      .toStdString();
}

std::string ConditionsFor(const std::string& file, const std::string& sidecar,
                          const std::string& origin) {
  struct stat info {};
  if (origin.empty() || ::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  // Anything under the sidecar's name makes the file a partial download.
  struct stat beside {};
  if (::lstat(sidecar.c_str(), &beside) == 0) return {};
  if (FileOriginOf(file) != origin) return {};
  std::string lines;
  if (const std::string date = HttpDate(info.st_mtime); !date.empty())
    lines = "If-Modified-Since: " + date;
  if (const std::string etag = FileETagOf(file); FitsHeader(etag))
    lines += (lines.empty() ? "" : "\r\n") + std::string("If-None-Match: ") + etag;
  return lines;
}

void KeepValidators(const std::string& file, const inet::Request& answer,
                    const std::string& fallbackStamp) {
  const std::string stamp =
      answer.QueryHeader("Last-Modified", kValidatorBufferBytes).value_or(fallbackStamp);
  std::time_t modified = 0;
  if (ParseHttpDate(stamp, modified)) {
    // The access time stays; the modification time is the server's.
    const timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
  }
  const std::optional<std::string> etag = answer.QueryHeader("ETag", kValidatorBufferBytes);
  if (etag && FitsHeader(*etag))
    RecordFileETag(file, *etag);
  else
    ForgetFileETag(file);
}

}  // namespace revalidate

inet::Outcome THTTPGetThread::KeepUnchanged() {
  Unchanged = true;
  ResumeOffset = 0;
  ReadCount = 0;
  // The done event reports the size of the file as it is. A finished file
  // is never larger than a download may be.
  const inet::Result<std::int64_t> size = FileSizeOf(FileName);
  if (!size) return size.AsOutcome();
  ContentLength = static_cast<std::int32_t>(
      std::min<std::int64_t>(*size, std::numeric_limits<std::int32_t>::max()));
  return inet::Outcome::Done();
}
