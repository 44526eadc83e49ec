// Letter case of the ASCII text the client compares: schemes, host names and
// header names, which HTTP compares without regard to case. Bytes outside
// A-Z are left as they are, whatever the locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace inet::detail {

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace inet::detail
