#include "TargetFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include "FileOrigin.h"
#include "TargetNames.h"

namespace targetfiles {

namespace {

bool IsFile(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool Exists(const std::string& name) {
  struct stat info {};
  return ::lstat(name.c_str(), &info) == 0;
}

}  // namespace

bool MayWrite(const std::string& target, const std::string& origin) {
  if (!Exists(target)) return true;
  if (!IsFile(target)) return false;  // a folder, or a link that leads nowhere
  if (IsFile(targetnames::SidecarOf(target))) return true;
  return !origin.empty() && FileOriginOf(target) == origin;
}

bool SweepWhole(const std::string& target) {
  if (!IsFile(target)) return false;
  ::unlink(targetnames::SidecarOf(target).c_str());
  return true;
}

}  // namespace targetfiles
