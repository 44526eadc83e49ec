// The bytes to request for an address as the window shows it.
#pragma once

#include <string>
#include <string_view>

// The bytes a browser requests for the shown address (UTF-8 text): the text
// parsed by QUrl in its tolerant mode and written fully encoded. Characters
// beyond ASCII are percent-encoded as UTF-8, an existing %XX stays as it is,
// a "%" without two hex digits after it becomes %25, blanks become %20, and
// the scheme and host are written in lower case (a host beyond ASCII in its
// ASCII form). An address QUrl cannot read is returned unchanged, so that the
// request fails there as it would have before.
//
// queryEncoding is the encoding of the page the address was found on (an
// iconv name); a browser sends such an address's query in it: "中文" in the
// query of an address on a GBK page goes out as %D6%D0%CE%C4, while the path
// stays UTF-8. A character the encoding cannot write goes out as "&#N;"
// (its code point in decimal), percent-encoded, as a browser sends it. Empty,
// UTF-8 and UTF-16 mean UTF-8 throughout (addresses typed or pasted).
std::string RequestUrlOf(std::string_view shown, std::string_view queryEncoding = {});
