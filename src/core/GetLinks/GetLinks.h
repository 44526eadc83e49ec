// Image link extractor: the image addresses a web page refers to.
//
// Tags and attribute names match in any ASCII letter case; every "<input"
// before the page's first NUL byte counts as "<img". The text is walked for
// "<img" followed by "src=". An unquoted value begins right after "=";
// otherwise the byte after "=" is skipped, and a quote after it as well. The
// value is read up to the first end byte ("!" is an address byte), in the
// page's own letter case.
//
// The value as found decides whether it is taken (any ASCII letter case):
// one of 8 bytes or fewer only when it ends in a file name ("a.gif"); none
// that begins with "data:", whose path (before any "?") ends in ".js", or
// that holds "mailto:" or "javascript:". Then "&amp;", "&lt;", "&gt;",
// "&quot;" and "&apos;" are decoded, once, left to right. A value that begins
// with a scheme and "://" is taken as it is, one that begins with "//" takes
// the page address's scheme, one that begins with "/" the site root, any
// other the page base. The address's path is cleaned of "." and ".."
// segments (RFC 3986, 5.2.4); its query stays as it is.
// Each address enters the result once (ASCII letter case ignored, the first
// one found kept), in the order first found. All texts are byte strings.
#pragma once

#include <string>
#include <vector>

// The scan, on page text in memory: Url is the page address as typed (its
// letter case is kept in resolved addresses), Page the text (UTF-8 after
// PageToUtf8). Every entry is UTF-8 text. Never throws for bad markup.
// GetImageLinks (PageImages.h) fetches the page and scans it.
std::vector<std::string> GetImageLinksFromPage(const std::string& Url, const std::string& Page);

// 1-based position of the first occurrence of Pattern in Text that begins at
// StartPos or later, comparing ASCII letters regardless of case and every other
// byte exactly; 0 when there is none. Returns 0 when Pattern or Text is empty
// or when StartPos is greater than the length of Text minus the length of
// Pattern plus 1. A StartPos of 1 or less searches the whole text.
int PosFromIgnoreCase(const std::string& Pattern, const std::string& Text, int StartPos);
