#include "GetLinks.h"

#include <array>
#include <climits>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "GetWebPage.h"
#include "Unit_Function.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

constexpr std::string_view kInputTag = "<input";  // image buttons, scanned as images
constexpr std::string_view kImageTag = "<img";    // start of a candidate
constexpr std::string_view kSourceAttribute = "src=";
constexpr std::size_t kFixedSkip = 5;        // the value starts 5 bytes after the "s" of "src="
constexpr std::size_t kLengthFloor = 8;      // values of this length or shorter are dropped
constexpr std::size_t kRootPathLimit = 100;  // bytes kept after the "/" of a root-relative value
constexpr std::size_t kBaseScanBound = 8;    // 0-based index of position 9 in the page address

// ASCII case folding through one 256-entry table: A-Z to a-z, every other
// byte to itself.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[b] = static_cast<unsigned char>((b >= 'A' && b <= 'Z') ? b + 32 : b);
  return table;
}
constexpr auto kFold = MakeFoldTable();

// How a byte behaves while a source value is read.
enum class ValueByte : unsigned char { kEnd, kAddress, kQuote };

constexpr std::array<ValueByte, 256> MakeValueTable() {
  std::array<ValueByte, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const bool address = (b >= 0x24 && b <= 0x26) || (b >= 0x28 && b <= 0x3B) || b == 0x3D ||
                         (b >= 0x3F && b <= 0x5F) || (b >= 0x61 && b <= 0xFE);
    if (b == '"' || b == '\'')
      table[b] = ValueByte::kQuote;
    else
      table[b] = address ? ValueByte::kAddress : ValueByte::kEnd;
  }
  return table;
}
constexpr auto kValueTable = MakeValueTable();

ValueByte KindOf(char c) {
  return kValueTable[static_cast<unsigned char>(c)];
}

// 0-based index of the first occurrence of needle in text at or after from;
// kNone when there is none (also when from lies beyond the end).
std::size_t Find(std::string_view text, std::string_view needle, std::size_t from) {
  if (from > text.size() || needle.size() > text.size() - from) return kNone;
  const void* hit = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : kNone;
}

bool Contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != kNone;
}

// Replaces every "<input" that lies before the first NUL byte by "<img", left
// to right, in place (the text only shrinks). Bytes from the first NUL on are
// kept as they are, so an "<input" there survives.
void ReplaceImageButtons(std::string& text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  const std::size_t limit =
      nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
  const std::string_view head(text.data(), limit);

  std::size_t read = Find(head, kInputTag, 0);
  if (read == kNone) return;
  std::size_t write = read;
  while (read != kNone) {
    std::memcpy(text.data() + write, kImageTag.data(), kImageTag.size());
    write += kImageTag.size();
    read += kInputTag.size();
    const std::size_t next = Find(head, kInputTag, read);
    const std::size_t stop = (next == kNone) ? text.size() : next;
    std::memmove(text.data() + write, text.data() + read, stop - read);
    write += stop - read;
    read = next;
  }
  text.resize(write);
}

// The page base and site root of a page address, each with its lower-cased
// form, which is what the duplicate check compares.
struct Resolver {
  std::string base;
  std::string root;
  std::string baseKey;
  std::string rootKey;

  explicit Resolver(const std::string& url) {
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
    baseKey = AsciiLower(base);
    rootKey = AsciiLower(root);
  }
};

// The scan of one page. Text is the fetched page; it is lower-cased and its
// image buttons replaced here, in place.
std::vector<std::string> ScanPage(const std::string& url, std::string text) {
  std::vector<std::string> result;
  if (text.empty()) return result;

  for (char& c : text) c = AsciiLowerChar(c);
  ReplaceImageButtons(text);
  const std::string_view page(text);
  const std::size_t size = page.size();

  const Resolver resolver(url);
  // Lower-cased addresses already in the result. The value bytes come from
  // the lower-cased page, so only the base or root part needs folding.
  std::unordered_set<std::string> seen;
  std::string key;

  std::size_t cursor = 0;
  for (;;) {
    const std::size_t tag = Find(page, kImageTag, cursor);
    std::size_t source;
    if (tag != kNone) {
      source = Find(page, kSourceAttribute, tag);
    } else if (cursor == 0) {
      // A page without any "<img": its first "src=" is still taken once.
      source = Find(page, kSourceAttribute, 0);
    } else {
      // Every earlier pass consumed a "src=" and left the cursor past it, so
      // the first "src=" of the page lies before the cursor: the scan is over.
      break;
    }
    if (source == kNone) break;

    // One byte after "=" is skipped whatever it is; then quotes at the first
    // position are skipped, and the value runs over address bytes. The end
    // of the page ends the value like an end byte.
    std::size_t start = source + kFixedSkip;
    while (start < size && KindOf(page[start]) == ValueByte::kQuote) ++start;
    std::size_t read = start;
    while (read < size && KindOf(page[read]) == ValueByte::kAddress) ++read;

    if (read - start > kLengthFloor) {
      const std::string_view value = page.substr(start, read - start);
      if (!Contains(value, ".js") && !Contains(value, "mailto:") &&
          !Contains(value, "javascript:")) {
        const std::string* prefix = nullptr;
        const std::string* prefixKey = nullptr;
        std::string_view tail = value;
        if (!Contains(value, "://")) {
          if (value.front() == '/') {
            prefix = &resolver.root;
            prefixKey = &resolver.rootKey;
            tail = value.substr(1, kRootPathLimit);
          } else {
            prefix = &resolver.base;
            prefixKey = &resolver.baseKey;
          }
        }
        key.clear();
        if (prefixKey) key.append(*prefixKey);
        key.append(tail);
        if (seen.find(key) == seen.end()) {
          seen.insert(key);
          std::string address;
          address.reserve(key.size());
          if (prefix) address.append(*prefix);
          address.append(tail);
          result.push_back(std::move(address));
        }
      }
    }
    cursor = read;
  }
  return result;
}

}  // namespace

std::vector<std::string> GetImageLinks(const std::string& Url) {
  std::string Page;
  GetWebPage(Url, false, Page);
  return ScanPage(Url, std::move(Page));
}

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
