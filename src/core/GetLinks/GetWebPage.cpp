#include "GetWebPage.h"

#include <charconv>
#include <cstdint>
#include <memory>

#include "Inet.h"

namespace {

// One transfer buffer per call: it bounds both the header block that can be
// handed over and every chunk of the body.
constexpr std::size_t kTransferBufferBytes = inet::kPageChunkBytes;
const char kPageAgent[] = "Internet Explorer 6.0";

using Clock = std::chrono::steady_clock;

// "HTTP/1.1 404 Not Found" as "HTTP 404 Not Found"; "HTTP 404" when the
// status line carries no reason (HTTP/2).
std::string StatusReason(const inet::Request& request) {
  const std::string& block = request.RawHeaders();
  const std::string line = block.substr(0, block.find("\r\n"));
  const std::size_t code = line.find(' ');
  if (code == std::string::npos) return "HTTP " + std::to_string(request.StatusCode());
  return "HTTP " + line.substr(code + 1);
}

// The Content-Length the answer announced; 0 when it announced none.
std::size_t AnnouncedLength(const inet::Request& request) {
  const std::optional<std::string> announced =
      request.QueryHeader("Content-Length", kTransferBufferBytes);
  if (!announced) return 0;
  const std::string& value = *announced;
  std::size_t length = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
  if (error == std::errc::result_out_of_range) return SIZE_MAX;
  return error == std::errc() && end == value.data() + value.size() ? length : 0;
}

std::string TooLargeText(const TPageLimits& limits) {
  return "the page is larger than " + std::to_string(limits.MaxBytes >> 20) + " MB";
}

std::string TooSlowText(const TPageLimits& limits) {
  return "the page took longer than " + std::to_string(limits.MaxTime.count() / 1000) + " s";
}

// The outcome of a transfer that failed with the layer's reason: past the
// time limit in all (the layer stops it then, give or take its clock's
// granularity), or broken (or never opened) for its own reason.
TPageFetch Failed(TPageFetch::TOutcome outcome, std::string reason, Clock::time_point start,
                  const TPageLimits& limits) {
  if (Clock::now() - start >= limits.MaxTime - std::chrono::milliseconds(100))
    return {TPageFetch::TOutcome::kTooSlow, TooSlowText(limits), {}};
  return {outcome, reason.empty() ? std::string(inet::reason::kNoResponse) : std::move(reason), {}};
}

}  // namespace

TPageFetch GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page,
                      const TPageLimits& Limits) {
  const Clock::time_point start = Clock::now();
  // Root handle with the page agent and the system's proxy settings. The
  // request and the session are released on every path by their owners.
  inet::SessionOptions options;
  options.agent = kPageAgent;
  options.totalTimeoutMs = static_cast<long>(Limits.MaxTime.count());
  inet::Session session(options);
  inet::Result<std::unique_ptr<inet::Request>> opened =
      inet::Request::OpenUrl(session, Url, kTransferBufferBytes);
  if (!opened)  // the address could not be opened: Page stays as given
    return Failed(TPageFetch::TOutcome::kNotOpened, opened.Reason(), start, Limits);
  const std::unique_ptr<inet::Request> request = std::move(*opened);

  TPageFetch fetch;
  fetch.ContentType =
      request->QueryHeader("Content-Type", kTransferBufferBytes).value_or(std::string());
  std::string result;
  // The header block is handed over only when it fits the transfer buffer
  // with its terminating NUL.
  const std::string& headers = request->RawHeaders();
  if (IncludeHeaders && !headers.empty() && headers.size() < kTransferBufferBytes)
    result.append(headers);
  const std::size_t headerBytes = result.size();

  const int status = request->StatusCode();
  if (status < 200 || status > 299) {
    fetch.Outcome = TPageFetch::TOutcome::kStatus;
    fetch.Reason = StatusReason(*request);
  } else if (AnnouncedLength(*request) > Limits.MaxBytes) {
    Page = std::move(result);
    return {TPageFetch::TOutcome::kTooLarge, TooLargeText(Limits), fetch.ContentType};
  } else {
    fetch.Outcome = TPageFetch::TOutcome::kCame;
  }

  auto buffer = std::make_unique<char[]>(kTransferBufferBytes);
  bool whole = false;
  std::string broke;  // why the body broke off
  while (result.size() - headerBytes <= Limits.MaxBytes) {
    const inet::Result<std::size_t> got = request->Read(buffer.get(), kTransferBufferBytes);
    if (!got) {
      broke = got.Reason();
      break;
    }
    if (*got == 0) {
      whole = true;
      break;
    }
    result.append(buffer.get(), *got);
  }
  Page = std::move(result);
  if (!fetch.Came()) return fetch;
  if (Page.size() - headerBytes > Limits.MaxBytes)
    return {TPageFetch::TOutcome::kTooLarge, TooLargeText(Limits), fetch.ContentType};
  if (!whole) {
    TPageFetch broken = Failed(TPageFetch::TOutcome::kBroken, std::move(broke), start, Limits);
    broken.ContentType = fetch.ContentType;
    return broken;
  }
  return fetch;
}
