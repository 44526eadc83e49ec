// The scan's rules for one source value and the address made of it: which
// values are taken, the character references a value may hold, and the dot
// segments of a resolved address. All texts are byte strings.
#pragma once

#include <string>
#include <string_view>

namespace scanvalue {

// True when the value, as found (key: the value with A-Z lower-cased), is
// taken: it is longer than 8 bytes or ends in a file name (a byte other than
// "/", then ".", then 2 to 5 ASCII letters or digits, at the very end); it
// does not begin with "data:"; its path (the part before the first "?", or
// all of it) does not end in ".js"; and it holds neither "mailto:" nor
// "javascript:".
bool IsTaken(std::string_view key);

// The value with each of "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;"
// (exactly so spelled) replaced by its character, once, from left to right:
// "&amp;lt;" gives "&lt;".
std::string DecodeReferences(std::string_view value);

// Removes the "." and ".." segments of the address's path as RFC 3986
// (section 5.2.4) removes them; a ".." at the root is dropped. The path runs
// from the first "/" after the first "://" up to the first "?" or the end.
// Nothing from the first "?" on changes; an address without "://" before its
// first "?", or without a "/" after its server part, stays as it is. True
// when the address changed.
bool RemoveDotSegments(std::string& address);

}  // namespace scanvalue
