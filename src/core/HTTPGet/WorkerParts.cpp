#include "WorkerParts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <system_error>

#include "Unit_Function.h"

bool ParseDecimal(std::string_view digits, std::int64_t& value) {
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

bool RangeFits(std::string_view contentRange, std::int64_t length, std::int64_t start,
               std::int64_t total) {
  if (!StartsWithIgnoreCase(contentRange, "bytes ")) return false;
  const std::string_view text = contentRange.substr(6);
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return false;
  std::int64_t first = 0, last = 0, whole = 0;
  if (!ParseDecimal(text.substr(0, dash), first) ||
      !ParseDecimal(text.substr(dash + 1, slash - dash - 1), last) ||
      !ParseDecimal(text.substr(slash + 1), whole) || first != start || whole != total)
    return false;
  const bool lengthFits = length < 0 || length == total - start;
  return lengthFits && (last == total - 1 || (last == total && length >= 0));
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextIgnoreCase(text.substr(0, prefix.size()), prefix);
}

inet::Outcome ErrnoFailure(const std::string& what, const std::string& name) {
  return inet::Outcome::Failed(what + " " + name + ": " + std::generic_category().message(errno));
}

TTargetFile::~TTargetFile() {
  if (fd_ >= 0) ::close(fd_);
}

inet::Outcome TTargetFile::Open(const std::string& name, int flags, const char* what) {
  fd_ = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  if (fd_ < 0) return ErrnoFailure(what, name);
  name_ = name;
  return inet::Outcome::Done();
}

inet::Outcome TTargetFile::Create(const std::string& name) {
  return Open(name, O_WRONLY | O_CREAT | O_TRUNC, "cannot create");
}

inet::Outcome TTargetFile::OpenExisting(const std::string& name) {
  return Open(name, O_WRONLY, "cannot open");
}

inet::Outcome TTargetFile::Seek(std::int32_t position) {
  if (position < 0 || ::lseek(fd_, position, SEEK_SET) < 0)
    return ErrnoFailure("cannot position", name_);
  return inet::Outcome::Done();
}

inet::Outcome TTargetFile::CutTo(std::int64_t size) {
  if (::ftruncate(fd_, size) != 0 || ::lseek(fd_, size, SEEK_SET) != size)
    return ErrnoFailure("cannot shorten", name_);
  return inet::Outcome::Done();
}

inet::Outcome TTargetFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return ErrnoFailure("cannot write", name_);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return inet::Outcome::Done();
}

inet::Outcome TTargetFile::Close() {
  if (fd_ < 0) return inet::Outcome::Done();
  const int result = ::close(fd_);
  fd_ = -1;
  if (result != 0) return ErrnoFailure("cannot close", name_);
  return inet::Outcome::Done();
}
