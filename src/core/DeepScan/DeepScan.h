// The deep scan: every image of a page that a browser shows or that the page
// links to, found by walking the tree that an HTML5 parser (MyHTML, of
// libmodest) builds of the page, as a browser builds it.
//
// It lists, in document order and each address once (resolved addresses
// compared exactly):
//   - <img src> and <input type=image src>;
//   - the largest candidate of every srcset on <img> and on <source> in
//     <picture> (by its w descriptor, else its x density; the first wins a tie);
//   - the lazy-loading attributes of ImageSources.h: on <img> and on <source>
//     in <picture> always, on any other element when the address's path ends
//     in an image extension; background attributes on any element;
//   - <a href> whose path ends in an image extension (a query allowed);
//   - url(...) in style attributes and in <style> blocks, except in
//     @font-face rules;
//   - the content of <meta> og:image (and og:image:url, og:image:secure_url)
//     and twitter:image (and twitter:image:src);
//   - <video poster> (and its lazy data-poster);
//   - all of this inside <noscript> too, which the parser reads as markup.
// Addresses are resolved against the first <base href>, itself resolved
// against the page address, or else the page address, by QUrl's RFC 3986
// resolution with "." and ".." segments removed; character references are
// decoded by the parser. Values that are data:, javascript:, blob: or about:
// are skipped, and so is every address that is not http or https. A fragment
// is left off. Script text and <template> content are never looked at.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// How long the parse of a page of this many bytes may take before it is
// given up: 2 s and 1 s per megabyte. Ordinary markup parses many times
// faster; only markup that nests without end (every tag left open) comes
// near it, because the parser's work then grows with the square of the page.
std::chrono::milliseconds DeepScanTimeLimit(std::size_t pageBytes);

// The deep scan of Page (UTF-8 text) found at Url (the page address, UTF-8).
// False, with Links empty, when the parse ran past TimeLimit.
bool DeepImageLinksFromPage(const std::string& Url, const std::string& Page,
                            std::vector<std::string>& Links, std::chrono::milliseconds TimeLimit);
