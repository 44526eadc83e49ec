// A deliberately naive transcription of the image link scan, step by step:
// 1-based positions, a byte-by-byte search, a rebuilt replacement and the
// quadratic duplicate check. It is slow on purpose and shares no code with
// the extractor, so the tests and the fuzzer can compare the two.
#pragma once

#include <string>
#include <vector>

namespace reference {

using Pos = long long;

inline unsigned char At(const std::string& s, Pos position) {
  return static_cast<unsigned char>(s[static_cast<std::size_t>(position - 1)]);
}

inline unsigned char Fold(unsigned char b) {
  return static_cast<unsigned char>((b >= 'A' && b <= 'Z') ? b + 32 : b);
}

inline Pos Length(const std::string& s) {
  return static_cast<Pos>(s.size());
}

// Bytes from..to (1-based, inclusive) of s; empty when to < from.
inline std::string Bytes(const std::string& s, Pos from, Pos to) {
  std::string out;
  for (Pos p = from; p <= to && p <= Length(s); ++p) out += static_cast<char>(At(s, p));
  return out;
}

inline Pos PosFromIgnoreCase(const std::string& pattern, const std::string& text, Pos start) {
  if (pattern.empty() || text.empty()) return 0;
  const Pos lastStart = Length(text) - Length(pattern) + 1;
  if (start > lastStart) return 0;
  if (start < 1) start = 1;
  for (Pos candidate = start; candidate <= lastStart; ++candidate) {
    bool all = true;
    for (Pos j = 1; j <= Length(pattern); ++j)
      if (Fold(At(text, candidate + j - 1)) != Fold(At(pattern, j))) all = false;
    if (all) return candidate;
  }
  return 0;
}

inline bool SameTextIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (Pos p = 1; p <= Length(a); ++p)
    if (Fold(At(a, p)) != Fold(At(b, p))) return false;
  return true;
}

inline bool IsAddressByte(unsigned char b) {
  return (b >= 0x24 && b <= 0x26) || (b >= 0x28 && b <= 0x3B) || b == 0x3D ||
         (b >= 0x3F && b <= 0x5F) || (b >= 0x61 && b <= 0x7F) || (b >= 0x80 && b <= 0xFE);
}

inline bool IsQuote(unsigned char b) {
  return b == 0x22 || b == 0x27;
}

// The page text twice, with the same positions: lowered (for finding tags
// and attributes) and cased (the page's own bytes, for cutting values). In
// both every "<input" found in the lowered page up to its first NUL byte is
// replaced by "<img".
struct PageTexts {
  std::string lowered;
  std::string cased;
};

inline PageTexts MakePageTexts(const std::string& page) {
  std::string lowered;
  for (Pos p = 1; p <= Length(page); ++p) lowered += static_cast<char>(Fold(At(page, p)));
  Pos limit = Length(lowered);
  for (Pos p = 1; p <= Length(lowered); ++p) {
    if (At(lowered, p) == 0) {
      limit = p - 1;
      break;
    }
  }
  PageTexts texts;
  Pos p = 1;
  while (p <= Length(lowered)) {
    if (p + 5 <= limit && Bytes(lowered, p, p + 5) == "<input") {
      texts.lowered += "<img";
      texts.cased += "<img";
      p += 6;
    } else {
      texts.lowered += static_cast<char>(At(lowered, p));
      texts.cased += static_cast<char>(At(page, p));
      ++p;
    }
  }
  return texts;
}

inline bool IsLetter(unsigned char b) {
  return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// Length of the "scheme:" that s begins with when "://" follows the scheme
// (a letter, then letters, digits, "+", "-", "."); 0 otherwise.
inline Pos SchemeLength(const std::string& s) {
  if (Length(s) < 1 || !IsLetter(At(s, 1))) return 0;
  Pos p = 2;
  while (p <= Length(s) && (IsLetter(At(s, p)) || (At(s, p) >= '0' && At(s, p) <= '9') ||
                            At(s, p) == '+' || At(s, p) == '-' || At(s, p) == '.'))
    ++p;
  return Bytes(s, p, p + 2) == "://" ? p : 0;
}

inline std::string PageBase(const std::string& url) {
  if (Length(url) < 9) return "";
  for (Pos p = Length(url); p >= 9; --p)
    if (At(url, p) == '/') return Bytes(url, 1, p);
  return url + "/";
}

inline std::string SiteRoot(const std::string& base) {
  for (Pos p = 9; p <= Length(base); ++p)
    if (At(base, p) == '/') return Bytes(base, 1, p);
  return "";
}

inline std::vector<std::string> GetImageLinksFromPage(const std::string& url,
                                                      const std::string& page) {
  std::vector<std::string> result;
  const PageTexts texts = MakePageTexts(page);
  const std::string& text = texts.lowered;
  const Pos length = Length(text);
  const std::string base = PageBase(url);
  const std::string root = SiteRoot(base);
  const std::string scheme = Bytes(url, 1, SchemeLength(url));
  Pos cursor = 1;
  for (;;) {
    const Pos tagPos = PosFromIgnoreCase("<img", text, cursor);
    const Pos srcPos = PosFromIgnoreCase("src=", text, tagPos);
    if (srcPos == 0 || srcPos < cursor) break;
    // An unquoted value begins right after "="; else one byte is skipped.
    Pos valueStart = srcPos + 5;
    if (srcPos + 4 <= length && IsAddressByte(At(text, srcPos + 4))) valueStart = srcPos + 4;
    Pos read = valueStart;
    for (;;) {
      if (read > length) break;
      const unsigned char b = At(text, read);
      if (IsAddressByte(b)) {
        ++read;
      } else if (IsQuote(b) && read == valueStart) {
        ++read;
        ++valueStart;
      } else {
        break;
      }
    }
    const std::string value = Bytes(texts.cased, valueStart, read - 1);
    if (Length(value) > 8 && PosFromIgnoreCase(".js", value, 1) == 0 &&
        PosFromIgnoreCase("mailto:", value, 1) == 0 &&
        PosFromIgnoreCase("javascript:", value, 1) == 0) {
      std::string address;
      if (SchemeLength(value) != 0)
        address = value;
      else if (Bytes(value, 1, 2) == "//" && !scheme.empty())
        address = scheme + value;
      else if (At(value, 1) == '/')
        address = root + Bytes(value, 2, Length(value));
      else
        address = base + value;
      bool found = false;
      for (const std::string& entry : result)
        if (SameTextIgnoreCase(entry, address)) found = true;
      if (!found) result.push_back(address);
    }
    cursor = read;
  }
  return result;
}

}  // namespace reference
