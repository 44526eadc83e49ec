// The worker's small operations: splitting the address, and the sidecar and
// size of the files on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <system_error>

#include "HTTPGet.h"
#include "WorkerParts.h"

namespace {

// A file opened for reading; closed on every path.
class TReadFile {
 public:
  explicit TReadFile(const std::string& name) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) FailWithErrno("cannot open", name);
  }
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;
  ~TReadFile() { ::close(fd_); }
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

void THTTPGetThread::SplitAddress(const std::string& Address, std::string& Host, std::string& Path,
                                  std::string& Port, bool& Secure) {
  std::string rest = Address;
  Secure = false;
  if (StartsWithIgnoreCase(rest, "http://")) {
    rest.erase(0, 7);
  } else if (StartsWithIgnoreCase(rest, "https://")) {
    rest.erase(0, 8);
    Secure = true;
    Port = "443";
  }
  const std::size_t slash = rest.find('/');
  std::string hostPart;
  if (slash == std::string::npos) {
    Path = rest;
  } else {
    hostPart = rest.substr(0, slash);
    Path = rest.substr(slash);
  }
  const std::size_t colon = hostPart.find(':');
  if (colon != std::string::npos) {
    Port = hostPart.substr(colon + 1);
    Host = hostPart.substr(0, colon);
  } else {
    Host = hostPart;
  }
}

int THTTPGetThread::PortNumber(const std::string& Port, int Default) {
  std::int64_t value = 0;
  if (!ParseDecimal(Port, value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max())
    return Default;
  return static_cast<int>(value);
}

std::string THTTPGetThread::ReadFirstLine(const std::string& FileName) {
  const TReadFile file(FileName);
  std::string line;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::read(file.Fd(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailWithErrno("cannot read", FileName);
    if (got == 0) break;
    const std::string_view chunk(buffer, static_cast<std::size_t>(got));
    const std::size_t end = chunk.find_first_of("\r\n");
    line.append(chunk.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  return line;
}

std::int64_t THTTPGetThread::FileSizeOf(const std::string& FileName) {
  const TReadFile file(FileName);
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0) FailWithErrno("cannot size", FileName);
  return static_cast<std::int64_t>(info.st_size);
}

void THTTPGetThread::WriteOneLine(const std::string& Line, const std::string& FileName) {
  if (::unlink(FileName.c_str()) != 0 && errno != ENOENT) FailWithErrno("cannot delete", FileName);
  TTargetFile file;
  file.Create(FileName);
  const std::string text = Line + "\r\n";
  file.Write(text.data(), text.size());
  file.Close();
}
