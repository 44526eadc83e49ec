// The character encoding of a fetched page, decided once for the whole page
// as a browser decides it, and the page decoded into UTF-8 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The encoding a page is read with, as an iconv name ("UTF-8", "GB18030",
// "UTF-16LE", ...), and the length of the byte order mark that chose it (0
// when none did). The first of these that gives a known encoding wins:
//   1. a byte order mark (UTF-8, UTF-16LE, UTF-16BE);
//   2. the charset parameter of the response's Content-Type;
//   3. a charset declared by a meta tag in the first 1024 bytes
//      (<meta charset=...> or <meta http-equiv=... content="...charset=...">);
//   4. UTF-8, when the whole page is well-formed UTF-8;
//   5. GB18030.
// The labels gbk, gb2312 and their aliases mean GB18030 (its superset), the
// Latin-1 and ASCII labels mean windows-1252, as in browsers; any other label
// is taken when iconv knows it and ignored otherwise.
struct PageEncoding {
  std::string name;
  std::size_t bomBytes = 0;
};
PageEncoding PageEncodingOf(std::string_view page, std::string_view contentType);

// The page as UTF-8 text, decoded once with PageEncodingOf's encoding, its
// byte order mark left out. Every byte that does not decode is written as
// the three characters %XX (upper-case hexadecimal), so that it stays visible
// and distinct, and reaches a server as the byte it was.
std::string PageToUtf8(std::string page, std::string_view contentType);
