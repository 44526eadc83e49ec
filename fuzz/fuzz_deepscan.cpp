// libFuzzer target for the deep scan. The input is the page of a fixed
// address. Besides surviving every input under ASan/UBSan, every address it
// lists must be an http or https address, listed once. One input in four is
// scanned with no time at all, so that the parser is given up at its first
// look at the clock: that way out is fuzzed too.
#include <QUrl>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "DeepScan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const std::chrono::milliseconds limit(size % 4 == 0 ? 0 : 10000);
  std::vector<std::string> links;
  if (!DeepImageLinksFromPage("http://host/dir/page.htm", page, links, limit)) {
    if (!links.empty()) __builtin_trap();
    return 0;
  }
  std::set<std::string> seen;
  for (const std::string& link : links) {
    const QUrl url(QString::fromStdString(link));
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) __builtin_trap();
    if (!seen.insert(link).second) __builtin_trap();
  }
  return 0;
}
