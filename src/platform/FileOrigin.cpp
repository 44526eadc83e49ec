#include "FileOrigin.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>
#include <vector>

namespace {

constexpr char kOriginAttribute[] = "user.xdg.origin.url";

}  // namespace

bool RecordFileOrigin(const std::string& file, const std::string& origin) {
  return ::setxattr(file.c_str(), kOriginAttribute, origin.data(), origin.size(), 0) == 0;
}

std::string FileOriginOf(const std::string& file) {
  // The value may grow between asking its size and reading it: ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t size = ::getxattr(file.c_str(), kOriginAttribute, nullptr, 0);
    if (size <= 0) return {};
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(file.c_str(), kOriginAttribute, value.data(), value.size());
    if (got >= 0) return std::string(value.data(), static_cast<std::size_t>(got));
    if (errno != ERANGE) return {};
  }
  return {};
}

void ForgetFileOrigin(const std::string& file) {
  ::removexattr(file.c_str(), kOriginAttribute);
}
