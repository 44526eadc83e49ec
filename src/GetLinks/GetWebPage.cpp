#include "GetWebPage.h"

#include <memory>

#include "Inet.h"

namespace {

// One transfer buffer per call: it bounds both the header block that can be
// handed over and every chunk of the body.
constexpr std::size_t kTransferBufferBytes = 32768;
const char kPageAgent[] = "Internet Explorer 6.0";

}  // namespace

void GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page) {
  std::string contentType;
  GetWebPage(Url, IncludeHeaders, Page, contentType);
}

void GetWebPage(const std::string& Url, bool IncludeHeaders, std::string& Page,
                std::string& ContentType) {
  // Root handle with the page agent and the system's proxy settings. The
  // request and the session are released on every path by their owners.
  inet::Session session(kPageAgent);
  std::unique_ptr<inet::Request> request =
      inet::Request::OpenUrl(session, Url, kTransferBufferBytes);

  std::string result;
  if (request && IncludeHeaders) {
    // The header block is handed over only when it fits the transfer buffer
    // with its terminating NUL.
    const std::string& headers = request->RawHeaders();
    if (!headers.empty() && headers.size() < kTransferBufferBytes) result.append(headers);
  }
  if (!request) return;  // the address could not be opened: Page stays as given

  auto buffer = std::make_unique<char[]>(kTransferBufferBytes);
  std::size_t got = 0;
  while (request->Read(buffer.get(), kTransferBufferBytes, got) && got > 0)
    result.append(buffer.get(), got);
  std::string type;
  if (!request->QueryHeader("Content-Type", kTransferBufferBytes, type)) type.clear();
  Page = std::move(result);
  ContentType = std::move(type);
}
