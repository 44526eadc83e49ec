#include "GetLinks.h"

#include <array>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>

#include "ScanResult.h"
#include "ScanValue.h"
#include "Unit_Function.h"

namespace {

using scanresult::Fold;
using scanresult::kFold;
using scanresult::ResultBuilder;

constexpr std::size_t kNone = std::string_view::npos;

constexpr std::string_view kInputTag = "<input";  // image buttons, scanned as images
constexpr std::string_view kImageTag = "<img";    // start of a candidate
constexpr std::string_view kSourceName = "src";   // "src=" is found through its "="
constexpr std::size_t kFixedSkip = 5;      // a quoted value starts 5 bytes after the "s" of "src="
constexpr std::size_t kBaseScanBound = 8;  // 0-based index of position 9 in the page address

// How a byte behaves while a source value is read. Folding never changes a
// byte's kind (A-Z and a-z are all address bytes).
enum class ValueByte : unsigned char { kEnd, kAddress, kQuote };

constexpr std::array<ValueByte, 256> MakeValueTable() {
  std::array<ValueByte, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const bool address = b == 0x21 || (b >= 0x24 && b <= 0x26) || (b >= 0x28 && b <= 0x3B) ||
                         b == 0x3D || (b >= 0x3F && b <= 0x5F) || (b >= 0x61 && b <= 0xFE);
    if (b == '"' || b == '\'')
      table[b] = ValueByte::kQuote;
    else
      table[b] = address ? ValueByte::kAddress : ValueByte::kEnd;
  }
  return table;
}
constexpr auto kValueTable = MakeValueTable();

// The page text as the scan sees it, read straight from the page's bytes
// without a copy: tags and attributes are matched through the fold table
// (ASCII letters in any case), values are cut from the page's own bytes, and
// each "<input" that ends before the page's first NUL byte stands for the
// "<img" that replaces it. Neither "<img" nor "src="
// can overlap an "<input" or its replacement, so tags and sources are found
// in the same order either way; the replacement shows in a value only when the
// byte skipped after "src=" is the "<" of an "<input": the value then begins
// with the "img" of the replacement. Indices are 0-based.
class PageText {
 public:
  explicit PageText(std::string_view page) : page_(page) {
    const void* nul = std::memchr(page.data(), '\0', page.size());
    buttonLimit_ = nul ? Offset(nul) : page.size();
  }

  // The first "<img" or image button at or after from; kNone when there is none.
  std::size_t FindTag(std::size_t from) const {
    while (from < page_.size()) {
      const void* hit = std::memchr(page_.data() + from, '<', page_.size() - from);
      if (!hit) return kNone;
      const std::size_t at = Offset(hit);
      if (Matches(at, kImageTag) || ImageButtonAt(at)) return at;
      from = at + 1;
    }
    return kNone;
  }

  // The first "src=" at or after from: each "=" is found and the three bytes
  // before it compared.
  std::size_t FindSource(std::size_t from) const {
    std::size_t at = from + kSourceName.size();
    while (at < page_.size()) {
      const void* hit = std::memchr(page_.data() + at, '=', page_.size() - at);
      if (!hit) return kNone;
      const std::size_t equals = Offset(hit);
      if (Matches(equals - kSourceName.size(), kSourceName)) return equals - kSourceName.size();
      at = equals + 1;
    }
    return kNone;
  }

  // Reads the value of the "src=" at source into value, in the page's own
  // letter case, and into key, lower-cased; returns the read position: the
  // index of the byte that ended the value, or one past the end of the page
  // (two when "=" is the last byte).
  std::size_t ReadValue(std::size_t source, std::string& value, std::string& key) const {
    value.clear();
    const std::size_t next = source + kFixedSkip - 1;  // the byte right after "="
    std::size_t start = next + 1;
    if (ImageButtonAt(next)) {
      // The "<" after "=" begins a replaced "<input": it is skipped, and the
      // value reads "img..." and goes on after the "<input".
      value.assign(kImageTag.substr(1));
      start = next + kInputTag.size();
    } else if (next < page_.size() && KindAt(next) == ValueByte::kAddress) {
      start = next;  // an unquoted value begins right after "="
    } else {
      // Any other byte after "=" is skipped; a quote at the first position
      // is skipped too and the value starts after it.
      while (start < page_.size() && KindAt(start) == ValueByte::kQuote) ++start;
    }
    std::size_t read = start;
    while (read < page_.size() && KindAt(read) == ValueByte::kAddress) ++read;
    if (read > start) value.append(page_.data() + start, read - start);
    key.resize(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) key[i] = static_cast<char>(Fold(value[i]));
    return read;
  }

 private:
  std::size_t Offset(const void* p) const {
    return static_cast<std::size_t>(static_cast<const char*>(p) - page_.data());
  }

  ValueByte KindAt(std::size_t i) const {
    return kValueTable[static_cast<unsigned char>(page_[i])];
  }

  // True when the folded bytes at pos equal pattern (which is lower case).
  bool Matches(std::size_t pos, std::string_view pattern) const {
    if (pos > page_.size() || pattern.size() > page_.size() - pos) return false;
    for (std::size_t k = 0; k < pattern.size(); ++k)
      if (Fold(page_[pos + k]) != static_cast<unsigned char>(pattern[k])) return false;
    return true;
  }

  // An "<input" at pos that ends before the first NUL byte.
  bool ImageButtonAt(std::size_t pos) const {
    return pos <= buttonLimit_ && kInputTag.size() <= buttonLimit_ - pos && Matches(pos, kInputTag);
  }

  std::string_view page_;
  std::size_t buttonLimit_;
};

// True when text begins with a scheme and "://": a letter, then letters,
// digits, "+", "-" or "." up to the "://".
bool StartsWithScheme(std::string_view text) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (text.empty() || !letter(text[0])) return false;
  std::size_t i = 1;
  while (i < text.size() && (letter(text[i]) || (text[i] >= '0' && text[i] <= '9') ||
                             text[i] == '+' || text[i] == '-' || text[i] == '.'))
    ++i;
  return text.substr(i, 3) == "://";
}

// The page base, the site root and the scheme (with its ":") of a page
// address, as typed, each with its lower-cased form, from which the
// duplicate check's keys are built.
struct Resolver {
  std::string base;
  std::string root;
  std::string scheme;  // empty when the page address does not begin with "scheme://"
  std::string baseKey;
  std::string rootKey;
  std::string schemeKey;

  explicit Resolver(const std::string& url) {
    if (StartsWithScheme(url)) {
      scheme = url.substr(0, url.find(':') + 1);
      schemeKey = AsciiLower(scheme);
    }
    if (url.size() <= kBaseScanBound) return;  // shorter than 9 bytes: both stay empty
    // The rightmost "/" at position 9 or later ends the base; the slashes of
    // the scheme lie before position 9 and are never taken.
    const std::size_t slash = url.rfind('/');
    if (slash != kNone && slash >= kBaseScanBound)
      base = url.substr(0, slash + 1);
    else
      base = url + '/';
    // The base ends in "/" at position 9 or later, so this always finds one.
    root = base.substr(0, base.find('/', kBaseScanBound) + 1);
    // Cleaned once here: the dot segments of the base and of an address made
    // of it go the same way, whether or not the base was cleaned first.
    scanvalue::RemoveDotSegments(base);
    baseKey = AsciiLower(base);
    rootKey = AsciiLower(root);
  }

  // What a value (its references decoded) is joined to: nothing when it
  // begins with a scheme, else the page's scheme, site root or page base;
  // skip is how many of the value's bytes the join leaves out.
  struct Join {
    std::string_view prefix;
    std::string_view prefixKey;
    std::size_t skip = 0;
  };
  Join JoinOf(std::string_view value) const {
    if (StartsWithScheme(value)) return {};
    if (value.starts_with("//") && !scheme.empty()) return {scheme, schemeKey, 0};
    if (value.front() == '/') return {root, rootKey, 1};
    return {base, baseKey, 0};
  }
};

// The scan of one page (bytes as fetched).
std::vector<std::string> ScanPage(const std::string& url, std::string_view page) {
  const PageText text(page);
  const Resolver resolver(url);
  ResultBuilder result;
  std::string value;
  std::string key;

  std::size_t cursor = 0;
  for (;;) {
    const std::size_t tag = text.FindTag(cursor);
    std::size_t source;
    if (tag != kNone) {
      source = text.FindSource(tag);
    } else if (cursor == 0) {
      // A page without any "<img": its first "src=" is still taken once.
      source = text.FindSource(0);
    } else {
      // Every earlier pass consumed a "src=" and left the cursor past it, so
      // the first "src=" of the page lies before the cursor: the scan is over.
      break;
    }
    if (source == kNone) break;
    cursor = text.ReadValue(source, value, key);

    // The value as found decides whether it is taken; its address is made
    // of it with its character references decoded.
    if (!scanvalue::IsTaken(key)) continue;
    if (value.find('&') != kNone) {
      value = scanvalue::DecodeReferences(value);
      key = AsciiLower(value);
    }
    const Resolver::Join join = resolver.JoinOf(value);
    result.Offer(join.prefix, join.prefixKey, std::string_view(value).substr(join.skip),
                 std::string_view(key).substr(join.skip));
  }
  return result.Finish();
}

}  // namespace

std::vector<std::string> GetImageLinksFromPage(const std::string& Url, const std::string& Page) {
  return ScanPage(Url, Page);
}

int PosFromIgnoreCase(const std::string& Pattern, const std::string& Text, int StartPos) {
  if (Pattern.empty() || Text.empty() || Pattern.size() > Text.size()) return 0;
  // The last 0-based index at which Pattern still fits; candidates whose
  // 1-based position would not fit an int are not searched.
  std::size_t last = Text.size() - Pattern.size();
  if (last > static_cast<std::size_t>(INT_MAX - 1)) last = INT_MAX - 1;
  const std::size_t from = (StartPos <= 1) ? 0 : static_cast<std::size_t>(StartPos) - 1;
  if (from > last) return 0;

  const auto* text = reinterpret_cast<const unsigned char*>(Text.data());
  const auto* pattern = reinterpret_cast<const unsigned char*>(Pattern.data());
  const std::size_t length = Pattern.size();
  const unsigned char first = kFold[pattern[0]];
  for (std::size_t i = from; i <= last; ++i) {
    if (kFold[text[i]] != first) continue;
    // The rest is compared from the last byte back to the second: exact bytes
    // first, folded only when they differ.
    std::size_t k = length - 1;
    while (k > 0 && (text[i + k] == pattern[k] || kFold[text[i + k]] == kFold[pattern[k]])) --k;
    if (k == 0) return static_cast<int>(i + 1);
  }
  return 0;
}
