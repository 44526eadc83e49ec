// The download worker: one address into one file, with resume.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <exception>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "HTTPGet.h"
#include "HandOver.h"
#include "Inet.h"
#include "Unit_Function.h"

namespace {

std::atomic<int> gLiveWorkers{0};

// Content type of form data; sent as given, without a line end, with a POST.
const char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";
// Buffers for the two header values: a value must fit with its terminating NUL.
constexpr std::size_t kContentLengthBufferBytes = 2048;
constexpr std::size_t kLastModifiedBufferBytes = 256;

[[noreturn]] void FailWithErrno(const std::string& what, const std::string& name) {
  throw std::system_error(errno, std::generic_category(), what + " " + name);
}

bool StartsWithIgnoreCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         SameTextIgnoreCase(std::string_view(text).substr(0, prefix.size()), prefix);
}

// True for an existing name that is not a folder.
bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// A decimal text as a 32-bit signed number, an optional sign included;
// anything else fails the run.
std::int32_t ToInt32(const std::string& text) {
  std::string_view digits(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    throw std::range_error("Content-Length is not a 32-bit number: " + text);
  return value;
}

// The target file, opened for writing; closed on every path.
class TargetFile {
 public:
  TargetFile() = default;
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;
  ~TargetFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Creates the file, or shortens an existing one to nothing.
  void Create(const std::string& name) {
    fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) FailWithErrno("cannot create", name);
    name_ = name;
  }
  // Opens an existing file without shortening it.
  void OpenExisting(const std::string& name) {
    fd_ = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) FailWithErrno("cannot open", name);
    name_ = name;
  }
  void Seek(std::int32_t position) {
    if (position < 0 || ::lseek(fd_, position, SEEK_SET) < 0)
      throw std::runtime_error("cannot position " + name_);
  }
  void Shorten() {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
      FailWithErrno("cannot shorten", name_);
  }
  void Write(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) FailWithErrno("cannot write", name_);
      data += written;
      size -= static_cast<std::size_t>(written);
    }
  }
  void Close() {
    if (fd_ < 0) return;
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) FailWithErrno("cannot close", name_);
  }

 private:
  int fd_ = -1;
  std::string name_;
};

}  // namespace

THTTPGetThread::THTTPGetThread(std::string AcceptTypes, std::string Agent, std::string URL,
                               std::string FileName, std::string UserName, std::string Password,
                               std::string PostQuery, std::string Referer, bool UseCache,
                               TOnProgressEvent ProgressHandler, bool ToFile,
                               TCompletion Completion)
    : AcceptTypes(std::move(AcceptTypes)),
      Agent(std::move(Agent)),
      URL(std::move(URL)),
      FileName(std::move(FileName)),
      UserName(std::move(UserName)),
      Password(std::move(Password)),
      PostQuery(std::move(PostQuery)),
      Referer(std::move(Referer)),
      UseCache(UseCache),
      ToFile(ToFile),
      ProgressHandler(std::move(ProgressHandler)),
      FCompletion(std::move(Completion)) {
  ++gLiveWorkers;
  inet::GlobalInit();
  handover::Prepare();
  // Self-release once the thread has finished, which is after the completion
  // notification has run.
  connect(this, &QThread::finished, this, &QObject::deleteLater);
  start();
}

THTTPGetThread::~THTTPGetThread() {
  wait();
  --gLiveWorkers;
}

int THTTPGetThread::LiveCount() {
  return gLiveWorkers;
}

void THTTPGetThread::CutLink() {
  FLinked = false;
  FCompletion = nullptr;
}

void THTTPGetThread::Synchronize(const std::function<void()>& Method) {
  handover::Run(Method);
}

void THTTPGetThread::ReportProgress() {
  if (!FLinked || !ProgressHandler) return;
  // 32-bit position: the low 32 bits of the kept bytes plus this run's bytes.
  const auto readed = static_cast<std::int32_t>(static_cast<std::uint32_t>(ResumeOffset) +
                                                static_cast<std::uint32_t>(ReadCount));
  ProgressHandler(this, ContentLength, readed);
}

void THTTPGetThread::CloseInternetHandles() {
  FRequest.reset();
  FConnection.reset();
  FSession.reset();
}

void THTTPGetThread::run() {
  if (StopRequested) {
    Succeeded = false;
  } else {
    try {
      Run();
    } catch (...) {
      Succeeded = false;
    }
  }
  // The completion notification, on the user-interface thread while this
  // thread waits. A failure in it goes no further.
  try {
    Synchronize([this] {
      if (!FCompletion) return;
      const TCompletion completion = FCompletion;  // survives a CutLink from inside
      completion(this);
    });
  } catch (...) {
  }
}

void THTTPGetThread::Run() {
  struct HandleGuard {
    THTTPGetThread* worker;
    ~HandleGuard() { worker->CloseInternetHandles(); }
  } handleGuard{this};

  // 1-2. What an earlier run left: a partial file and the stamp it belongs to.
  ResumeOffset = 0;
  const std::string SidecarName = FileName + ".log";
  std::string StoredStamp;
  if (ToFile && FileExists(FileName) && FileExists(SidecarName)) {
    StoredStamp = ReadFirstLine(SidecarName);
    if (!StoredStamp.empty()) ResumeOffset = FileSizeOf(FileName);
  }

  // 3. Where to connect.
  std::string Host, Path, Port = "80";
  bool Secure = false;
  SplitAddress(URL, Host, Path, Port, Secure);
  const int Number = PortNumber(Port, Secure ? 443 : 80);

  // 4.
  if (StopRequested) {
    Succeeded = false;
    return;
  }

  // 5-6. The first request. A download connection waits for a free slot of
  // the server and gives up when it is asked to stop meanwhile.
  const std::string Verb = PostQuery.empty() ? "GET" : "POST";
  FSession = std::make_unique<inet::Session>(Agent);
  FConnection = std::make_unique<inet::Connection>(*FSession, Host, Number, Secure, UserName,
                                                   Password, &StopRequested);
  FRequest = std::make_unique<inet::Request>(*FConnection, Verb, Path, Referer, AcceptTypes,
                                             inet::kWorkerChunkBytes);
  if (PostQuery.empty())
    FRequest->Send();
  else
    FRequest->Send(kFormContentType, PostQuery);

  // 7.
  if (StopRequested) {
    Succeeded = false;
    return;
  }
  // A run without an answer leaves file and sidecar as they are, and an error
  // page (any final status outside 200-299) is never saved as the image.
  const int Status = FRequest->StatusCode();
  if (Status < 200 || Status > 299) {
    Succeeded = false;
    return;
  }

  // 8. The announced size; a text that is no 32-bit number fails the run here.
  ContentLength = 0;
  std::string LengthText;
  if (FRequest->QueryHeader("Content-Length", kContentLengthBufferBytes, LengthText))
    ContentLength = ToInt32(LengthText);

  // 9. The server's stamp goes into the sidecar before any body byte is read.
  std::string ServerStamp;
  if (!FRequest->QueryHeader("Last-Modified", kLastModifiedBufferBytes, ServerStamp))
    ServerStamp.clear();
  if (ToFile && !ServerStamp.empty()) WriteOneLine(ServerStamp, SidecarName);

  // 10.
  if (StopRequested) {
    Succeeded = false;
    return;
  }

  // 11. Resume the partial file, or write the whole body from the start.
  ReadCount = 0;
  TargetFile File;
  bool BodyWanted = true;
  if (!ToFile) {
    ResumeOffset = 0;
  } else if (!StoredStamp.empty() && StoredStamp == ServerStamp) {
    File.OpenExisting(FileName);
    File.Seek(static_cast<std::int32_t>(static_cast<std::uint32_t>(ResumeOffset)));
    // The first body is not read: ask again for the missing bytes only.
    FRequest.reset();
    FRequest = std::make_unique<inet::Request>(*FConnection, Verb, Path, Referer, AcceptTypes,
                                               inet::kWorkerChunkBytes);
    const std::string RangeLine = "RANGE: bytes=" + std::to_string(ResumeOffset) + "-" +
                                  std::to_string(ContentLength) + "\r\n";
    if (PostQuery.empty())
      FRequest->Send(RangeLine);
    else
      FRequest->Send(std::string(kFormContentType) + "\r\n" + RangeLine, PostQuery);
    const int RangeStatus = FRequest->StatusCode();
    if (RangeStatus == 206) {
      // the missing bytes follow: append them
    } else if (RangeStatus == 200) {
      // the range was ignored: the whole resource follows
      File.Shorten();
      ResumeOffset = 0;
    } else if (RangeStatus == 416 && ResumeOffset == ContentLength) {
      BodyWanted = false;  // the partial file is already whole
    } else {
      Succeeded = false;
      return;
    }
  } else {
    // A changed resource, a fresh start, or a server without a stamp.
    File.Create(FileName);
    ResumeOffset = 0;
  }

  // 12. The read loop.
  if (BodyWanted) {
    auto Buffer = std::make_unique<char[]>(inet::kWorkerChunkBytes);
    for (;;) {
      if (StopRequested) {
        Succeeded = false;
        return;  // the partial file and its sidecar stay for a later run
      }
      std::size_t got = 0;
      const bool ok = FRequest->Read(Buffer.get(), inet::kWorkerChunkBytes, got);
      ChunkBytes = static_cast<std::uint32_t>(got);
      if (!ok || ChunkBytes == 0) break;
      if (ToFile)
        File.Write(Buffer.get(), ChunkBytes);
      else
        TextResult.append(Buffer.get(), ChunkBytes);
      ReadCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadCount) + ChunkBytes);
      if (ProgressHandler && FLinked) Synchronize([this] { ReportProgress(); });
    }
  }

  // 13. Every announced byte arrived.
  Succeeded = static_cast<std::int64_t>(ReadCount) ==
              static_cast<std::int64_t>(ContentLength) - ResumeOffset;
  // 14. The handles close through the guard.
  File.Close();
}

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
  std::string_view digits(Port);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    return Default;
  return value;
}

std::string THTTPGetThread::ReadFirstLine(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailWithErrno("cannot open", FileName);
  std::string line;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      throw std::system_error(error, std::generic_category(), "cannot read " + FileName);
    }
    if (got == 0) break;
    const std::string_view chunk(buffer, static_cast<std::size_t>(got));
    const std::size_t end = chunk.find_first_of("\r\n");
    line.append(chunk.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  ::close(fd);
  return line;
}

std::int64_t THTTPGetThread::FileSizeOf(const std::string& FileName) {
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) FailWithErrno("cannot open", FileName);
  struct stat info {};
  const int result = ::fstat(fd, &info);
  const int error = errno;
  ::close(fd);
  if (result != 0)
    throw std::system_error(error, std::generic_category(), "cannot size " + FileName);
  return static_cast<std::int64_t>(info.st_size);
}

void THTTPGetThread::WriteOneLine(const std::string& Line, const std::string& FileName) {
  if (::unlink(FileName.c_str()) != 0 && errno != ENOENT) FailWithErrno("cannot delete", FileName);
  TargetFile file;
  file.Create(FileName);
  const std::string text = Line + "\r\n";
  file.Write(text.data(), text.size());
  file.Close();
}
