#include "ImageSources.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

namespace imagesources {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i)
    if (Lower(text[i]) != lowerPrefix[i]) return false;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// ---- srcset ------------------------------------------------------------

struct Candidate {
  std::string_view address;
  std::optional<double> width;
  double density = 1;
};

// The descriptors of one candidate, read up to the comma that ends it (a
// comma inside parentheses does not); at points past that comma.
std::vector<std::string_view> Descriptors(std::string_view text, std::size_t& at) {
  std::vector<std::string_view> found;
  std::size_t start = kNone;
  int depth = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (depth == 0 && (IsBlank(c) || c == ',')) {
      if (start != kNone) found.push_back(text.substr(start, at - start));
      start = kNone;
      if (c == ',') {
        ++at;
        return found;
      }
      continue;
    }
    if (start == kNone) start = at;
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
  }
  if (start != kNone) found.push_back(text.substr(start));
  return found;
}

// A number as a descriptor writes it, all of text; nothing when it is not.
std::optional<double> NumberOf(std::string_view text, bool integer) {
  if (text.empty() || text.size() > 32) return std::nullopt;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') ||
          (!integer && (c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+'))))
      return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

// Reads the descriptors into the candidate; false when one cannot be read.
bool ReadDescriptors(const std::vector<std::string_view>& descriptors, Candidate& candidate) {
  bool density = false;
  for (const std::string_view d : descriptors) {
    const char unit = Lower(d.back());
    const std::optional<double> n = NumberOf(d.substr(0, d.size() - 1), unit == 'w');
    if (!n || (unit == 'w' && (candidate.width || *n <= 0)) ||
        (unit == 'x' && (density || *n < 0)) || (unit != 'w' && unit != 'x' && unit != 'h'))
      return false;
    if (unit == 'w') candidate.width = *n;
    if (unit == 'x') {
      candidate.density = *n;
      density = true;
    }
  }
  return !(density && candidate.width);  // a width and a density contradict each other
}

std::vector<Candidate> CandidatesOf(std::string_view srcset) {
  std::vector<Candidate> candidates;
  std::size_t at = 0;
  while (at < srcset.size()) {
    while (at < srcset.size() && (IsBlank(srcset[at]) || srcset[at] == ',')) ++at;
    const std::size_t start = at;
    while (at < srcset.size() && !IsBlank(srcset[at])) ++at;
    if (at == start) break;
    Candidate candidate;
    candidate.address = srcset.substr(start, at - start);
    std::vector<std::string_view> descriptors;
    if (candidate.address.back() == ',') {
      while (!candidate.address.empty() && candidate.address.back() == ',')
        candidate.address.remove_suffix(1);
    } else {
      descriptors = Descriptors(srcset, at);
    }
    if (!candidate.address.empty() && ReadDescriptors(descriptors, candidate))
      candidates.push_back(candidate);
  }
  return candidates;
}

// ---- CSS ---------------------------------------------------------------

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void AppendUtf8(std::string& out, unsigned long code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A character of a CSS name: "myurl(" is no url(.
bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// One CSS escape after the backslash at css[at]: appended to out, at past it.
void ReadEscape(std::string_view css, std::size_t& at, std::string& out) {
  ++at;  // the backslash
  if (at >= css.size()) return;
  if (!IsHex(css[at])) {
    out += css[at++];
    return;
  }
  const std::size_t start = at;
  while (at < css.size() && at - start < 6 && IsHex(css[at])) ++at;
  AppendUtf8(out, std::strtoul(std::string(css.substr(start, at - start)).c_str(), nullptr, 16));
  if (at < css.size() && IsBlank(css[at])) ++at;
}

// The address of the url( whose "(" is at css[at - 1]; at past its ")".
std::string ReadUrl(std::string_view css, std::size_t& at) {
  while (at < css.size() && IsBlank(css[at])) ++at;
  std::string address;
  char quote = 0;
  if (at < css.size() && (css[at] == '"' || css[at] == '\'')) quote = css[at++];
  while (at < css.size()) {
    const char c = css[at];
    if (quote != 0 ? c == quote : (c == ')' || IsBlank(c))) break;
    if (c == '\\')
      ReadEscape(css, at, address);
    else
      address += css[at++];
  }
  const std::size_t close = css.find(')', at);
  at = close == kNone ? css.size() : close + 1;
  return address;
}

// Past the rule whose at-keyword begins at css[at]: to the ";" that ends a
// statement, or past the block that ends it.
std::size_t SkipAtRule(std::string_view css, std::size_t at) {
  int depth = 0;
  for (; at < css.size(); ++at) {
    if (css[at] == ';' && depth == 0) return at + 1;
    if (css[at] == '{') ++depth;
    if (css[at] == '}' && --depth <= 0) return at + 1;
  }
  return at;
}

// ---- attributes and addresses ----------------------------------------------

struct Lazy {
  std::string_view name;
  LazyKind kind;
};
// Attributes of jQuery Lazy Load, lazysizes, lozad, vanilla-lazyload, WP
// Rocket, Jetpack and a3 Lazy Load, Zhihu, WeChat, the KISSY loader of
// Taobao, echo.js, slick, WooCommerce galleries and zoom plugins.
constexpr std::array<Lazy, 20> kLazy = {{
    {"data-src", LazyKind::kSource},
    {"data-original", LazyKind::kSource},
    {"data-lazy-src", LazyKind::kSource},
    {"data-lazyload", LazyKind::kSource},
    {"data-lazy", LazyKind::kSource},
    {"data-actualsrc", LazyKind::kSource},
    {"data-echo", LazyKind::kSource},
    {"data-original-src", LazyKind::kSource},
    {"data-src-retina", LazyKind::kSource},
    {"data-ks-lazyload", LazyKind::kSource},
    {"data-large_image", LazyKind::kSource},
    {"data-zoom-image", LazyKind::kSource},
    {"data-srcset", LazyKind::kSourceSet},
    {"data-lazy-srcset", LazyKind::kSourceSet},
    {"data-bg", LazyKind::kBackground},
    {"data-bg-hidpi", LazyKind::kBackground},
    {"data-background", LazyKind::kBackground},
    {"data-background-image", LazyKind::kBackground},
    {"data-bg-set", LazyKind::kBackground},
    {"data-bgset", LazyKind::kBackgroundSet},
}};

constexpr std::array<std::string_view, 18> kImageExtensions = {
    ".jpg",  ".jpeg", ".jpe", ".jfif", ".pjpeg", ".pjp",  ".png", ".apng", ".gif",
    ".webp", ".avif", ".bmp", ".svg",  ".tif",   ".tiff", ".ico", ".heic", ".heif"};

}  // namespace

std::string LargestCandidate(std::string_view srcset) {
  const std::vector<Candidate> candidates = CandidatesOf(srcset);
  bool byWidth = false;
  for (const Candidate& c : candidates) byWidth = byWidth || c.width.has_value();
  const Candidate* best = nullptr;
  for (const Candidate& c : candidates) {
    if (byWidth && !c.width) continue;
    const double size = byWidth ? *c.width : c.density;
    if (best == nullptr || size > (byWidth ? *best->width : best->density)) best = &c;
  }
  return best == nullptr ? std::string() : std::string(best->address);
}

std::vector<std::string> LargestOfEachSet(std::string_view bgset) {
  std::vector<std::string> found;
  for (std::size_t start = 0; start <= bgset.size();) {
    const std::size_t bar = std::min(bgset.find('|', start), bgset.size());
    std::string_view set = Trimmed(bgset.substr(start, bar - start));
    if (set.ends_with(']')) set = set.substr(0, std::min(set.rfind('['), set.size()));
    if (std::string largest = LargestCandidate(set); !largest.empty())
      found.push_back(std::move(largest));
    start = bar + 1;
  }
  return found;
}

std::vector<std::string> CssUrls(std::string_view css) {
  std::vector<std::string> found;
  std::size_t at = 0;
  while (at < css.size()) {
    const char c = css[at];
    if (c == '/' && at + 1 < css.size() && css[at + 1] == '*') {
      const std::size_t end = css.find("*/", at + 2);
      at = end == kNone ? css.size() : end + 2;
    } else if (c == '@' && (StartsWithIgnoreCase(css.substr(at), "@font-face") ||
                            StartsWithIgnoreCase(css.substr(at), "@import") ||
                            StartsWithIgnoreCase(css.substr(at), "@namespace"))) {
      at = SkipAtRule(css, at);
    } else if (c == '\\') {
      std::string ignored;
      ReadEscape(css, at, ignored);
    } else if ((c == 'u' || c == 'U') && StartsWithIgnoreCase(css.substr(at), "url(") &&
               (at == 0 || !IsNameChar(css[at - 1]))) {
      at += 4;
      if (std::string address = ReadUrl(css, at); !Trimmed(address).empty())
        found.push_back(std::move(address));
    } else {
      ++at;
    }
  }
  return found;
}

LazyKind LazyKindOf(std::string_view attributeName) {
  for (const Lazy& lazy : kLazy)
    if (lazy.name == attributeName) return lazy.kind;
  return LazyKind::kNone;
}

bool HasImagePath(std::string_view address) {
  const std::string_view path = address.substr(0, address.find_first_of("?#"));
  for (const std::string_view extension : kImageExtensions) {
    if (path.size() < extension.size()) continue;
    if (StartsWithIgnoreCase(path.substr(path.size() - extension.size()), extension)) return true;
  }
  return false;
}

bool IsSkippedScheme(std::string_view value) {
  const std::string_view text = Trimmed(value);
  for (const std::string_view scheme : {"data:", "javascript:", "blob:", "about:"})
    if (StartsWithIgnoreCase(text, scheme)) return true;
  return false;
}

}  // namespace imagesources
