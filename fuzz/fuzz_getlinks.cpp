// libFuzzer target for the page decoding and the page scan. The input up to
// its first newline (when that comes within the first 64 bytes) is the page
// address, the rest is the page; otherwise the whole input is the page of a
// fixed address. Besides surviving every input under ASan/UBSan, a decoded
// page must be well-formed UTF-8, the scan must agree with the naive
// step-by-step transcription, and so must the search function.
#include <cstddef>
#include <cstdint>
#include <string>

#include "GetLinks.h"
#include "PageEncoding.h"
#include "ReferenceScan.h"
#include "Unit_Function.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string url = "http://host/dir/page.htm";
  std::string page = input;
  const std::size_t newline = input.find('\n');
  if (newline != std::string::npos && newline <= 64) {
    url = input.substr(0, newline);
    page = input.substr(newline + 1);
  }

  // One input in four is decoded first, under one of four declared
  // encodings chosen by its length; decoding is slow beside the scan.
  static const char* const kTypes[] = {"", "text/html; charset=gbk", "text/html;charset=\"utf-16\"",
                                       "text/html; charset=iso-2022-jp"};
  if (size % 4 == 0) {
    page = PageToUtf8(page, kTypes[(size / 4) % 4]);
    if (!IsValidUtf8(page)) __builtin_trap();
  }
  if (page.size() > 8192) return 0;
  if (GetImageLinksFromPage(url, page) != reference::GetImageLinksFromPage(url, page))
    __builtin_trap();

  // The first bytes of the address serve as a search pattern, its length as
  // the start position.
  const std::string pattern = url.substr(0, 3);
  const int start = static_cast<int>(url.size()) - 2;
  if (PosFromIgnoreCase(pattern, page, start) != reference::PosFromIgnoreCase(pattern, page, start))
    __builtin_trap();
  return 0;
}
