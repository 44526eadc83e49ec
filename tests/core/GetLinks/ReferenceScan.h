// A deliberately naive transcription of the image link scan, step by step:
// 1-based positions, a byte-by-byte search, a rebuilt replacement and the
// quadratic duplicate check. It is slow on purpose and shares no code with
// the extractor, so the tests and the fuzzer can compare the two.
#pragma once

#include <string>
#include <utility>
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
  return b == 0x21 || (b >= 0x24 && b <= 0x26) || (b >= 0x28 && b <= 0x3B) || b == 0x3D ||
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

inline bool IsAsciiAlnum(unsigned char b) {
  return IsLetter(b) || (b >= '0' && b <= '9');
}

// A byte other than "/", ".", then 2 to 5 ASCII letters or digits at the end.
inline bool EndsInFileName(const std::string& value) {
  for (Pos n = 2; n <= 5; ++n) {
    if (Length(value) < n + 2) continue;
    bool letters = true;
    for (Pos p = Length(value) - n + 1; p <= Length(value); ++p)
      if (!IsAsciiAlnum(At(value, p))) letters = false;
    if (letters && At(value, Length(value) - n) == '.' && At(value, Length(value) - n - 1) != '/')
      return true;
  }
  return false;
}

// Position of the first "?" of s, or one past its end.
inline Pos QueryStart(const std::string& s) {
  const Pos q = PosFromIgnoreCase("?", s, 1);
  return q == 0 ? Length(s) + 1 : q;
}

inline bool IsTaken(const std::string& value) {
  if (Length(value) <= 8 && !EndsInFileName(value)) return false;
  if (PosFromIgnoreCase("data:", value, 1) == 1) return false;
  const std::string path = Bytes(value, 1, QueryStart(value) - 1);
  if (Length(path) >= 3 && SameTextIgnoreCase(Bytes(path, Length(path) - 2, Length(path)), ".js"))
    return false;
  return PosFromIgnoreCase("mailto:", value, 1) == 0 &&
         PosFromIgnoreCase("javascript:", value, 1) == 0;
}

inline std::string DecodeReferences(const std::string& value) {
  static const std::pair<std::string, char> kReferences[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  Pos p = 1;
  while (p <= Length(value)) {
    bool replaced = false;
    for (const auto& [name, character] : kReferences) {
      if (Bytes(value, p, p + Length(name) - 1) == name) {
        out += character;
        p += Length(name);
        replaced = true;
        break;
      }
    }
    if (!replaced) out += static_cast<char>(At(value, p++));
  }
  return out;
}

inline bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// Removes the last segment of output and the "/" before it, if any.
inline void PopSegment(std::string& output) {
  Pos p = Length(output);
  while (p >= 1 && At(output, p) != '/') --p;
  output = Bytes(output, 1, p - 1);
}

// RFC 3986 section 5.2.4, every rule written out.
inline std::string RemoveDotSegments(std::string input) {
  std::string output;
  while (!input.empty()) {
    if (StartsWith(input, "../")) {
      input.erase(0, 3);
    } else if (StartsWith(input, "./")) {
      input.erase(0, 2);
    } else if (StartsWith(input, "/./")) {
      input.replace(0, 3, "/");
    } else if (input == "/.") {
      input = "/";
    } else if (StartsWith(input, "/../")) {
      input.replace(0, 4, "/");
      PopSegment(output);
    } else if (input == "/..") {
      input = "/";
      PopSegment(output);
    } else if (input == "." || input == "..") {
      input.clear();
    } else {
      Pos end = 2;
      while (end <= Length(input) && At(input, end) != '/') ++end;
      output += Bytes(input, 1, end - 1);
      input = Bytes(input, end, Length(input));
    }
  }
  return output;
}

// The address with its path, from the first "/" after "://" up to the
// first "?", cleaned; "://" must come before that "?".
inline std::string CleanAddress(const std::string& address) {
  const Pos query = QueryStart(address);
  const std::string head = Bytes(address, 1, query - 1);
  const Pos scheme = PosFromIgnoreCase("://", head, 1);
  if (scheme == 0) return address;
  Pos slash = scheme + 3;
  while (slash <= Length(head) && At(head, slash) != '/') ++slash;
  if (slash > Length(head)) return address;
  return Bytes(head, 1, slash - 1) + RemoveDotSegments(Bytes(head, slash, Length(head))) +
         Bytes(address, query, Length(address));
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
    const std::string found = Bytes(texts.cased, valueStart, read - 1);
    if (IsTaken(found)) {
      const std::string value = DecodeReferences(found);
      std::string address;
      if (SchemeLength(value) != 0)
        address = value;
      else if (Bytes(value, 1, 2) == "//" && !scheme.empty())
        address = scheme + value;
      else if (At(value, 1) == '/')
        address = root + Bytes(value, 2, Length(value));
      else
        address = base + value;
      address = CleanAddress(address);
      bool seen = false;
      for (const std::string& entry : result)
        if (SameTextIgnoreCase(entry, address)) seen = true;
      if (!seen) result.push_back(address);
    }
    cursor = read;
  }
  return result;
}

}  // namespace reference
