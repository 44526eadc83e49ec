// Shared text helpers. Text is a byte string (std::string); counts are bytes.
//
// The program's text is UTF-8 on Linux, so a cut never splits a UTF-8
// character: LeftChars and RightChars and the memo line cut drop a character
// that would not fit whole. Bytes that are not UTF-8 are cut like any byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The first n bytes of text (fewer when the n-th byte is inside a character);
// all of it when text is shorter; 0 gives the empty text.
std::string LeftChars(std::string_view text, std::uint16_t n);

// The last n bytes of text (fewer when the cut would fall inside a
// character); all of it when text is shorter; 0 gives the empty text.
std::string RightChars(std::string_view text, std::uint16_t n);

// The text after the last "/"; the whole text when it holds none; empty when
// it ends in "/".
std::string UrlLastSegment(std::string_view text);

// Maps the bytes "A".."Z" to "a".."z" one byte at a time; every other byte
// stays as it is. No locale is consulted.
inline char AsciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
std::string AsciiLower(std::string_view text);

// True when both texts hold the same bytes apart from the letter case of A-Z.
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

// True when text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Length of the well-formed UTF-8 character that begins at text[i] (i within
// text); 0 when the bytes there are not one.
std::size_t Utf8CharLength(std::string_view text, std::size_t i);

// Text as it enters a list or a widget: UTF-8 as it is; anything else is
// taken as GBK (read through GB18030) and converted to UTF-8. Bytes that do
// not convert become U+FFFD so that nothing is dropped silently.
std::string ToListText(std::string_view bytes);

// At most maxBytes bytes of text, cut on a whole UTF-8 character. Memo lines
// are read through a 4096-byte buffer with this rule.
std::string CutToBytes(std::string_view text, std::size_t maxBytes);

constexpr std::size_t kMemoLineBytes = 4096;

// A path that begins with "/" (or is empty) without its "." and ".."
// segments, as RFC 3986 section 5.2.4 removes them: "/a/b/../c/./d" gives
// "/a/c/d"; a ".." at the root is dropped ("/../x" gives "/x").
std::string PathWithoutDotSegments(std::string_view path);
