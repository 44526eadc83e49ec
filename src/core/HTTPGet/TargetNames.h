// File names for the addresses of a batch. Each address of the download list
// gets, in list order, a name that a file in the batch folder can bear and
// that no other address of the list has, so that no two downloads ever share
// a file and the same list always gives the same names (a batch that was cut
// off resumes into the same partial files).
//
// The name is the address's last segment, made safe: control characters
// (NUL included) become "_"; an empty segment, "." and ".." are replaced by
// a name made of the address's host and path; a name longer than a file name
// may be is shortened on a whole UTF-8 character, keeping its extension.
// Repeats become "name (2).ext", "name (3).ext", ...; letter case of A-Z
// does not tell names apart (not every file system does). A name is never
// the file of another name with the forced ".jpg", nor the sidecar (".log")
// of another name's file, so the rule holds with the force flag on and off.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace targetnames {

// The longest file name, in bytes of UTF-8 (NAME_MAX).
constexpr std::size_t kMaxFileNameBytes = 255;
// The longest target name: room is left for the forced ".jpg" and the
// sidecar's ".log".
constexpr std::size_t kMaxNameBytes = kMaxFileNameBytes - 8;

// The safe name of one address, before repeats are told apart.
std::string SafeName(std::string_view address);

// The target file's name: the name, and ".jpg" when the force flag is set.
std::string FileNameOf(const std::string& name, bool forced);

// The resume sidecar of a target file: its name followed by ".log".
std::string SidecarOf(const std::string& target);

// Gives names in list order; every name differs from all names given or
// reserved before.
class TTargetNames {
 public:
  // Whether a name may be given for reasons beyond the list: the file it
  // names in the batch folder may be written by the address.
  using TUsable = std::function<bool(const std::string& name)>;

  // Keeps a name that an address already has from being given again.
  void Reserve(const std::string& name);
  // The name of the next address of the list: its safe name, or the next
  // free repeat of it when that is taken or, with usable, not usable.
  std::string NameFor(std::string_view address, const TUsable& usable = {});

 private:
  bool Free(const std::string& name) const;
  void Take(const std::string& name);

  std::unordered_set<std::string> taken_;      // every file a given name may stand for
  std::unordered_map<std::string, int> next_;  // the next repeat number of a name
};

// The names of a whole list, in its order.
std::vector<std::string> NamesOf(const std::vector<std::string>& addresses);

}  // namespace targetnames
