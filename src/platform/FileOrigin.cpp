#include "FileOrigin.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>
#include <vector>

namespace {

constexpr char kOriginAttribute[] = "user.xdg.origin.url";
constexpr char kETagAttribute[] = "user.xdg.origin.etag";

bool Record(const std::string& file, const char* attribute, const std::string& value) {
  return ::setxattr(file.c_str(), attribute, value.data(), value.size(), 0) == 0;
}

std::string ValueOf(const std::string& file, const char* attribute) {
  // The value may grow between asking its size and reading it: ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const ssize_t size = ::getxattr(file.c_str(), attribute, nullptr, 0);
    if (size <= 0) return {};
    std::vector<char> value(static_cast<std::size_t>(size));
    const ssize_t got = ::getxattr(file.c_str(), attribute, value.data(), value.size());
    if (got >= 0) return std::string(value.data(), static_cast<std::size_t>(got));
    if (errno != ERANGE) return {};
  }
  return {};
}

}  // namespace

bool RecordFileOrigin(const std::string& file, const std::string& origin) {
  return Record(file, kOriginAttribute, origin);
}

std::string FileOriginOf(const std::string& file) {
  return ValueOf(file, kOriginAttribute);
}

void ForgetFileOrigin(const std::string& file) {
  ::removexattr(file.c_str(), kOriginAttribute);
  ForgetFileETag(file);
}

bool RecordFileETag(const std::string& file, const std::string& etag) {
  return Record(file, kETagAttribute, etag);
}

std::string FileETagOf(const std::string& file) {
  return ValueOf(file, kETagAttribute);
}

void ForgetFileETag(const std::string& file) {
  ::removexattr(file.c_str(), kETagAttribute);
}
