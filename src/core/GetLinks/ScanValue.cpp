#include "ScanValue.h"

#include <array>

#include "Unit_Function.h"

namespace scanvalue {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::size_t kLengthFloor = 8;  // longer values are always long enough
constexpr std::size_t kShortestExtension = 2;
constexpr std::size_t kLongestExtension = 5;

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "x.gif", "1.jpg", "a.webp": a byte other than "/", ".", then 2 to 5 ASCII
// letters or digits that end the value.
bool EndsInFileName(std::string_view value) {
  std::size_t run = 0;
  while (run < value.size() && IsAsciiAlnum(value[value.size() - 1 - run])) ++run;
  if (run < kShortestExtension || run > kLongestExtension || value.size() < run + 2) return false;
  const std::size_t dot = value.size() - 1 - run;
  return value[dot] == '.' && value[dot - 1] != '/';
}

bool PathEndsInScript(std::string_view key) {
  const std::string_view path = key.substr(0, key.find('?'));
  return path.ends_with(".js");
}

struct Reference {
  std::string_view name;
  char character;
};
constexpr std::array<Reference, 5> kReferences = {{
    {"&amp;", '&'},
    {"&lt;", '<'},
    {"&gt;", '>'},
    {"&quot;", '"'},
    {"&apos;", '\''},
}};

// The address's path as [begin, end); false when it has none to clean.
bool PathOf(std::string_view address, std::size_t& begin, std::size_t& end) {
  end = address.find('?');
  if (end == kNone) end = address.size();
  const std::size_t scheme = address.substr(0, end).find("://");
  if (scheme == kNone) return false;
  begin = address.substr(0, end).find('/', scheme + 3);
  return begin != kNone;
}

}  // namespace

bool IsTaken(std::string_view key) {
  if (key.size() <= kLengthFloor && !EndsInFileName(key)) return false;
  return !key.starts_with("data:") && !PathEndsInScript(key) && key.find("mailto:") == kNone &&
         key.find("javascript:") == kNone;
}

std::string DecodeReferences(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  std::size_t from = 0;
  for (std::size_t amp = value.find('&'); amp != kNone; amp = value.find('&', amp + 1)) {
    for (const Reference& reference : kReferences) {
      if (value.substr(amp, reference.name.size()) != reference.name) continue;
      out.append(value.substr(from, amp - from));
      out += reference.character;
      from = amp + reference.name.size();
      amp = from - 1;
      break;
    }
  }
  out.append(value.substr(from));
  return out;
}

bool RemoveDotSegments(std::string& address) {
  std::size_t begin = 0;
  std::size_t end = 0;
  if (!PathOf(address, begin, end)) return false;
  const std::string_view path = std::string_view(address).substr(begin, end - begin);
  if (path.find("/.") == kNone) return false;  // no segment can begin with "."
  std::string clean = PathWithoutDotSegments(path);
  if (clean == path) return false;
  address.replace(begin, end - begin, clean);
  return true;
}

}  // namespace scanvalue
