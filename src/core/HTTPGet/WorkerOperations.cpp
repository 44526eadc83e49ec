// The worker's small operations: splitting the address and choosing the
// server, and the sidecar and size of the files on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "HTTPGetThread.h"
#include "Inet.h"
#include "WorkerParts.h"

namespace {

// A file opened for reading (Fd() negative when it could not be, with
// errno telling why); closed on every path.
class TReadFile {
 public:
  explicit TReadFile(const std::string& name) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
  TReadFile(const TReadFile&) = delete;
  TReadFile& operator=(const TReadFile&) = delete;
  ~TReadFile() {
    if (fd_ >= 0) ::close(fd_);
  }
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

void THTTPGetThread::ServerToConnect(inet::ServerName& Server) const {
  std::string host, path, port = "80";
  bool secure = false;
  SplitAddress(URL, host, path, port, secure);
  Server = inet::ServerName{host, PortNumber(port, secure ? 443 : 80), secure, UserName, Password};
  // SplitAddress cuts the server part at its first ":". An address whose
  // server part holds user information ("user:secret@host") or an IPv6
  // literal ("[::1]:8080") is read as the internet layer reads it; its user
  // information is offered as the credentials unless UserName or Password
  // are set.
  const bool special = host.starts_with('[') || host.find('@') != std::string::npos ||
                       port.find('@') != std::string::npos;
  if (!special) return;
  const inet::Result<inet::ServerName> read = inet::ReadServer(URL);
  if (!read) return;
  Server.host = read->host;
  Server.port = read->port;
  Server.secure = read->secure;
  if (UserName.empty() && Password.empty()) {
    Server.userName = read->userName;
    Server.password = read->password;
  }
}

int THTTPGetThread::PortNumber(const std::string& Port, int Default) {
  std::int64_t value = 0;
  if (!ParseDecimal(Port, value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max())
    return Default;
  return static_cast<int>(value);
}

inet::Result<std::string> THTTPGetThread::ReadFirstLine(const std::string& FileName) {
  inet::Result<std::vector<std::string>> lines = ReadLines(FileName, 1);
  if (!lines) return lines.AsOutcome();
  return lines->empty() ? std::string() : lines->front();
}

inet::Result<std::vector<std::string>> THTTPGetThread::ReadLines(const std::string& FileName,
                                                                 std::size_t Count) {
  const TReadFile file(FileName);
  if (file.Fd() < 0) return ErrnoFailure("cannot open", FileName);
  std::vector<std::string> lines;
  std::string line;
  bool begun = false;    // a line has begun and not ended
  bool afterCr = false;  // an LF right after a CR ends nothing more
  char buffer[512];
  while (lines.size() < Count) {
    const ssize_t got = ::read(file.Fd(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return ErrnoFailure("cannot read", FileName);
    if (got == 0) break;
    for (ssize_t i = 0; i < got && lines.size() < Count; ++i) {
      const char c = buffer[i];
      if (afterCr && c == '\n') {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        lines.push_back(std::move(line));
        line.clear();
        begun = false;
      } else {
        line += c;
        begun = true;
      }
    }
  }
  if (begun && lines.size() < Count) lines.push_back(std::move(line));
  return lines;
}

inet::Result<std::int64_t> THTTPGetThread::FileSizeOf(const std::string& FileName) {
  const TReadFile file(FileName);
  if (file.Fd() < 0) return ErrnoFailure("cannot open", FileName);
  struct stat info {};
  if (::fstat(file.Fd(), &info) != 0) return ErrnoFailure("cannot size", FileName);
  return static_cast<std::int64_t>(info.st_size);
}

inet::Outcome THTTPGetThread::WriteOneLine(const std::string& Line, const std::string& FileName) {
  return WriteLines({Line}, FileName);
}

inet::Outcome THTTPGetThread::WriteLines(const std::vector<std::string>& Lines,
                                         const std::string& FileName) {
  if (::unlink(FileName.c_str()) != 0 && errno != ENOENT)
    return ErrnoFailure("cannot delete", FileName);
  std::string text;
  for (const std::string& line : Lines) text += line + "\r\n";
  TTargetFile file;
  inet::Outcome written = file.Create(FileName);
  if (written) written = file.Write(text.data(), text.size());
  if (written) written = file.Close();
  return written;
}
