// File names for the addresses of a batch.
#include "TargetNames.h"

#include <array>

#include "Unit_Function.h"

namespace targetnames {

namespace {

// An extension longer than this is taken as part of the name: it is most
// likely a query ("show.php?id=...") rather than a file type.
constexpr std::size_t kMaxExtensionBytes = 16;

// A name for an address that has neither host nor path.
const char kUnnamed[] = "download";

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

std::string ReplaceControls(std::string name) {
  for (char& c : name)
    if (IsControl(static_cast<unsigned char>(c))) c = '_';
  return name;
}

bool IsDotsOrEmpty(std::string_view part) {
  return part.empty() || part == "." || part == "..";
}

// The host and the folders of the address, joined by "_":
// "http://example.com/pics/cats/" gives "example.com_pics_cats".
std::string HostAndPathName(std::string_view address) {
  if (const std::size_t scheme = address.find("://"); scheme != std::string_view::npos)
    address.remove_prefix(scheme + 3);
  std::string joined;
  while (!address.empty()) {
    const std::size_t slash = address.find('/');
    const std::string_view part = address.substr(0, slash);
    if (!IsDotsOrEmpty(part)) {
      if (!joined.empty()) joined += '_';
      joined += part;
    }
    if (slash == std::string_view::npos) break;
    address.remove_prefix(slash + 1);
  }
  return joined.empty() ? std::string(kUnnamed) : joined;
}

struct Parts {
  std::string stem, extension;  // the extension with its "."
};

Parts Split(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes)
    return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

// stem + middle + extension, the stem cut so that the whole fits.
std::string Fit(const Parts& parts, const std::string& middle) {
  const std::size_t room = kMaxNameBytes - parts.extension.size() - middle.size();
  return CutToBytes(parts.stem, room) + middle + parts.extension;
}

std::string KeyOf(const std::string& name) {
  return AsciiLower(name);
}

// The files a name may stand for: itself and with the forced ".jpg", each
// with its sidecar.
std::array<std::string, 4> FilesOf(const std::string& key) {
  return {key, key + ".jpg", key + ".log", key + ".jpg.log"};
}

}  // namespace

std::string SafeName(std::string_view address) {
  std::string name = UrlLastSegment(address);
  if (IsDotsOrEmpty(name)) name = HostAndPathName(address);
  name = ReplaceControls(std::move(name));
  if (name.size() <= kMaxNameBytes) return name;
  return Fit(Split(name), {});
}

std::string FileNameOf(const std::string& name, bool forced) {
  return forced ? name + ".jpg" : name;
}

std::string SidecarOf(const std::string& target) {
  return target + ".log";
}

bool TTargetNames::Free(const std::string& name) const {
  for (const std::string& file : FilesOf(KeyOf(name)))
    if (taken_.contains(file)) return false;
  return true;
}

void TTargetNames::Take(const std::string& name) {
  for (std::string& file : FilesOf(KeyOf(name))) taken_.insert(std::move(file));
}

void TTargetNames::Reserve(const std::string& name) {
  Take(name);
}

std::string TTargetNames::NameFor(std::string_view address, const TUsable& usable) {
  const auto given = [&](const std::string& name) {
    return Free(name) && (!usable || usable(name));
  };
  const std::string base = SafeName(address);
  std::string name = base;
  if (given(name)) {
    Take(name);
    return name;
  }
  const Parts parts = Split(base);
  const auto repeat = [&](int number) { return Fit(parts, " (" + std::to_string(number) + ")"); };
  int& next = next_.try_emplace(KeyOf(base), 2).first->second;
  int number = next;
  while (!given(name = repeat(number))) ++number;
  Take(name);
  // The count moves past the names the list has taken, not past those that
  // only this address may not use.
  while (!Free(repeat(next))) ++next;
  return name;
}

std::vector<std::string> NamesOf(const std::vector<std::string>& addresses) {
  TTargetNames names;
  std::vector<std::string> result;
  result.reserve(addresses.size());
  for (const std::string& address : addresses) result.push_back(names.NameFor(address));
  return result;
}

}  // namespace targetnames
