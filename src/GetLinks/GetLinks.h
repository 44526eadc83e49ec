// Image link extractor: the image addresses a web page refers to.
//
// The page is lower-cased (A-Z only), every "<input" before the page's first
// NUL byte becomes "<img", and the text is walked for "<img" followed by
// "src=". The byte after "=" is always skipped, the value is read up to the
// first end byte, values of 8 bytes or fewer and values holding ".js",
// "mailto:" or "javascript:" are dropped, and relative values are resolved
// against the page address. Each address enters the result once (letter case
// ignored), in the order first found. All texts are byte strings.
#pragma once

#include <string>
#include <vector>

// Fetches Url with GetWebPage (no header block) and scans the page. A page that
// cannot be fetched yields an empty list. Never throws for bad markup.
std::vector<std::string> GetImageLinks(const std::string& Url);

// The scan alone, on page bytes already in memory: Url is the page address as
// typed (its letter case is kept in resolved addresses), Page the raw bytes.
std::vector<std::string> GetImageLinksFromPage(const std::string& Url, const std::string& Page);

// 1-based position of the first occurrence of Pattern in Text that begins at
// StartPos or later, comparing ASCII letters regardless of case and every other
// byte exactly; 0 when there is none. Returns 0 when Pattern or Text is empty
// or when StartPos is greater than the length of Text minus the length of
// Pattern plus 1. A StartPos of 1 or less searches the whole text.
int PosFromIgnoreCase(const std::string& Pattern, const std::string& Text, int StartPos);
