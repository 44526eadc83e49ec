// Image link extractor: the image addresses a web page refers to.
//
// Tags and attribute names match in any ASCII letter case; every "<input"
// before the page's first NUL byte counts as "<img". The text is walked for
// "<img" followed by "src=". An unquoted value begins right after "=";
// otherwise the byte after "=" is skipped, and a quote after it as well. The
// value is read up to the first end byte, in the page's own letter case.
// Values of 8 bytes or fewer and values holding ".js", "mailto:" or
// "javascript:" (any case) are dropped. A value that begins with a scheme and
// "://" is taken as it is, one that begins with "//" takes the page address's
// scheme, one that begins with "/" the site root, any other the page base.
// Each address enters the result once (ASCII letter case ignored, the first
// one found kept), in the order first found. All texts are byte strings.
#pragma once

#include <string>
#include <vector>

// Fetches the page at Url, the page address as the window shows it (UTF-8),
// requesting it as RequestUrlOf gives it; decodes the page once into UTF-8
// (PageToUtf8) and scans that text. Every entry is UTF-8 text. A page that
// cannot be fetched yields an empty list. Never throws for bad markup.
std::vector<std::string> GetImageLinks(const std::string& Url);

// The scan alone, on page text already in memory: Url is the page address as
// typed (its letter case is kept in resolved addresses), Page the text.
std::vector<std::string> GetImageLinksFromPage(const std::string& Url, const std::string& Page);

// 1-based position of the first occurrence of Pattern in Text that begins at
// StartPos or later, comparing ASCII letters regardless of case and every other
// byte exactly; 0 when there is none. Returns 0 when Pattern or Text is empty
// or when StartPos is greater than the length of Text minus the length of
// Pattern plus 1. A StartPos of 1 or less searches the whole text.
int PosFromIgnoreCase(const std::string& Pattern, const std::string& Text, int StartPos);
