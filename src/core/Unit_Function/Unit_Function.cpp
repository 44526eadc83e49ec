#include "Unit_Function.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Start of the character that holds byte pos, when pos is inside a
// well-formed multi-byte character; pos itself otherwise.
std::size_t CharStart(std::string_view text, std::size_t pos) {
  if (pos >= text.size() || !IsContinuation(static_cast<unsigned char>(text[pos]))) return pos;
  for (std::size_t back = 1; back <= 3 && back <= pos; ++back) {
    const std::size_t start = pos - back;
    if (IsContinuation(static_cast<unsigned char>(text[start]))) continue;
    const std::size_t len = Utf8CharLength(text, start);
    return (len > back) ? start : pos;
  }
  return pos;
}

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};

}  // namespace

std::size_t Utf8CharLength(std::string_view text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = at(i);
  std::size_t len = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    len = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    len = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    len = 4;
  else
    return 0;
  if (i + len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k)
    if (!IsContinuation(at(i + k))) return 0;
  const unsigned char c1 = at(i + 1);
  if (c == 0xE0 && c1 < 0xA0) return 0;  // overlong
  if (c == 0xED && c1 > 0x9F) return 0;  // surrogates
  if (c == 0xF0 && c1 < 0x90) return 0;  // overlong
  if (c == 0xF4 && c1 > 0x8F) return 0;  // above U+10FFFF
  return len;
}

std::string LeftChars(std::string_view text, std::uint16_t n) {
  if (n >= text.size()) return std::string(text);
  return std::string(text.substr(0, CharStart(text, n)));
}

std::string RightChars(std::string_view text, std::uint16_t n) {
  if (n >= text.size()) return std::string(text);
  std::size_t from = text.size() - n;
  const std::size_t start = CharStart(text, from);
  if (start != from) from = start + Utf8CharLength(text, start);
  return std::string(text.substr(from));
}

std::string UrlLastSegment(std::string_view text) {
  const auto slash = text.rfind('/');
  if (slash == std::string_view::npos) return std::string(text);
  return std::string(text.substr(slash + 1));
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  return true;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    // Eight ASCII bytes at a time: pages are mostly markup.
    if (i + 8 <= text.size()) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        i += 8;
        continue;
      }
    }
    const std::size_t len = Utf8CharLength(text, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string ToListText(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  iconv_t raw = iconv_open("UTF-8", "GB18030");
  if (raw == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::unique_ptr<void, IconvCloser> cd(raw);

  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 8);
  std::vector<char> in(bytes.begin(), bytes.end());
  char* src = in.data();
  std::size_t srcLeft = in.size();
  char buffer[4096];
  while (srcLeft > 0) {
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    const std::size_t rc = iconv(raw, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, dst);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: keep a replacement mark and go on.
      out += "\xEF\xBF\xBD";
      ++src;
      --srcLeft;
    }
  }
  return out;
}

std::string CutToBytes(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  return std::string(text.substr(0, CharStart(text, maxBytes)));
}

namespace {

// Drops the last segment of output and the "/" before it.
void DropLastSegment(std::string& output) {
  const std::size_t slash = output.rfind('/');
  output.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

// The input always begins with "/" or is empty, so only the rules B, C and
// E of RFC 3986 section 5.2.4 apply.
std::string PathWithoutDotSegments(std::string_view input) {
  std::string output;
  output.reserve(input.size());
  while (!input.empty()) {
    if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      output += '/';
      break;
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      DropLastSegment(output);
    } else if (input == "/..") {
      DropLastSegment(output);
      output += '/';
      break;
    } else {
      const std::size_t next = input.find('/', 1);
      output.append(input.substr(0, next));
      input.remove_prefix(next == std::string_view::npos ? input.size() : next);
    }
  }
  return output;
}
