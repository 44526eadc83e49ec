// libFuzzer target for the page scan. The input up to its first newline
// (when that comes within the first 64 bytes) is the page address, the rest
// is the page; otherwise the whole input is the page of a fixed address.
// Besides surviving every input under ASan/UBSan, the scan must agree with
// the naive step-by-step transcription, and so must the search function.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GetLinks.h"
#include "GetWebPage.h"
#include "ReferenceScan.h"

// The scan on pages in memory never fetches; the fetcher is not linked here.
void GetWebPage(const std::string&, bool, std::string&) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string url = "http://host/dir/page.htm";
  std::string page = input;
  const std::size_t newline = input.find('\n');
  if (newline != std::string::npos && newline <= 64) {
    url = input.substr(0, newline);
    page = input.substr(newline + 1);
  }

  const std::vector<std::string> links = GetImageLinksFromPage(url, page);
  if (page.size() <= 8192 && links != reference::GetImageLinksFromPage(url, page)) __builtin_trap();

  // The first bytes of the address serve as a search pattern, its length as
  // the start position.
  const std::string pattern = url.substr(0, 3);
  const int start = static_cast<int>(url.size()) - 2;
  if (page.size() <= 8192 &&
      PosFromIgnoreCase(pattern, page, start) != reference::PosFromIgnoreCase(pattern, page, start))
    __builtin_trap();
  return 0;
}
