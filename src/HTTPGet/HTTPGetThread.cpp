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

#include <QAbstractEventDispatcher>

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

// A decimal text as a 64-bit number, an optional "+" included; false for
// anything else.
bool ToInt64(std::string_view digits, std::int64_t& value) {
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
}

// Whether a 206 answer's Content-Range ("bytes START-END/TOTAL") starts at
// the partial file's size and gives the whole resource's length as its total.
// The end is not looked at: some servers repeat the end that was asked for.
bool RangeFits(const std::string& contentRange, std::int64_t start, std::int64_t total) {
  std::string_view text(contentRange);
  if (!StartsWithIgnoreCase(contentRange, "bytes ")) return false;
  text.remove_prefix(6);
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return false;
  std::int64_t first = 0, length = 0;
  return ToInt64(text.substr(0, dash), first) && ToInt64(text.substr(slash + 1), length) &&
         first == start && length == total;
}

// "120000 of 300000 bytes", or "120000 bytes" when the total is unknown.
std::string Received(std::int64_t got, std::int64_t of) {
  return std::to_string(got) + (of > 0 ? " of " + std::to_string(of) : std::string()) + " bytes";
}

constexpr std::int64_t kMaxFileBytes = std::numeric_limits<std::int32_t>::max();
const char kTooLarge[] = "larger than 2 GiB";
const char kStoppedReason[] = "stopped";

// The event dispatcher of a worker thread. A worker runs no event loop: it
// blocks in its own calls and reaches the user-interface thread only through
// the hand-over, which posts there. The toolkit's own dispatcher would hold
// an open file (an eventfd) and its bookkeeping for every worker, thousands
// of them while a large batch waits for connection slots; this one holds
// nothing. Timers and socket notifiers cannot be used on a worker thread.
class TIdleDispatcher final : public QAbstractEventDispatcher {
 public:
  bool processEvents(QEventLoop::ProcessEventsFlags) override { return false; }
  void registerSocketNotifier(QSocketNotifier*) override {}
  void unregisterSocketNotifier(QSocketNotifier*) override {}
  void registerTimer(int, qint64, Qt::TimerType, QObject*) override {}
  bool unregisterTimer(int) override { return false; }
  bool unregisterTimers(QObject*) override { return false; }
  QList<TimerInfo> registeredTimers(QObject*) const override { return {}; }
  int remainingTime(int) override { return -1; }
  void wakeUp() override {}
  void interrupt() override {}
};

}  // namespace

// The target file, opened for writing; closed on every path.
class TTargetFile {
 public:
  TTargetFile() = default;
  TTargetFile(const TTargetFile&) = delete;
  TTargetFile& operator=(const TTargetFile&) = delete;
  ~TTargetFile() {
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
      FailWithErrno("cannot position", name_);
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
  setEventDispatcher(new TIdleDispatcher);  // the thread owns it
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
    Fail(kStoppedReason);
  } else {
    try {
      Run();
    } catch (const std::exception& e) {
      Fail(e.what());
    } catch (...) {
      Fail("failed for a reason that was not given");
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

void THTTPGetThread::Fail(std::string Reason) {
  Succeeded = false;
  FailReason = std::move(Reason);
}

bool THTTPGetThread::Stopped() {
  if (!StopRequested) return false;
  Fail(kStoppedReason);
  return true;
}

void THTTPGetThread::SendRequest(const std::string& ExtraLine) {
  const std::string Verb = PostQuery.empty() ? "GET" : "POST";
  FRequest.reset();
  FRequest = std::make_unique<inet::Request>(*FConnection, Verb, URL, Referer, AcceptTypes,
                                             inet::kWorkerChunkBytes);
  if (PostQuery.empty())
    FRequest->Send(ExtraLine);
  else if (ExtraLine.empty())
    FRequest->Send(kFormContentType, PostQuery);
  else
    FRequest->Send(std::string(kFormContentType) + "\r\n" + ExtraLine, PostQuery);
}

bool THTTPGetThread::AnswerIsUsable() {
  const int Status = FRequest->StatusCode();
  if (Status >= 200 && Status <= 299) return true;
  if (Status == 0) {
    const std::string Why = FRequest->ErrorText();
    Fail(Why.empty() ? "no answer from the server" : Why);
    return false;
  }
  // "HTTP/1.1 404 Not Found" is reported as "HTTP 404 Not Found".
  const std::string& Raw = FRequest->RawHeaders();
  const std::string Line = Raw.substr(0, Raw.find_first_of("\r\n"));
  const std::size_t Blank = Line.find(' ');
  Fail(Blank == std::string::npos ? "HTTP " + std::to_string(Status)
                                  : "HTTP " + Line.substr(Blank + 1));
  return false;
}

std::int32_t THTTPGetThread::AnnouncedLength(std::int32_t Absent) const {
  std::string Text;
  if (!FRequest->QueryHeader("Content-Length", kContentLengthBufferBytes, Text)) return Absent;
  std::int64_t Length = 0;
  if (!ToInt64(Text, Length) || Length < 0)
    throw std::range_error("the server announced an invalid length: " + Text);
  if (Length > kMaxFileBytes)
    throw std::range_error(std::string(kTooLarge) + ": " + Text + " bytes");
  return static_cast<std::int32_t>(Length);
}

std::string THTTPGetThread::AnnouncedStamp() const {
  std::string Stamp;
  if (!FRequest->QueryHeader("Last-Modified", kLastModifiedBufferBytes, Stamp)) Stamp.clear();
  return Stamp;
}

void THTTPGetThread::KeepStamp(const std::string& Stamp, const std::string& SidecarName) {
  if (!Stamp.empty())
    WriteOneLine(Stamp, SidecarName);
  else if (::unlink(SidecarName.c_str()) != 0 && errno != ENOENT)
    FailWithErrno("cannot delete", SidecarName);
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

  // 3. Where to connect. The request itself takes the whole address.
  std::string Host, Path, Port = "80";
  bool Secure = false;
  SplitAddress(URL, Host, Path, Port, Secure);
  const int Number = PortNumber(Port, Secure ? 443 : 80);

  // 4.
  if (Stopped()) return;

  // 5-6. The first request. A download connection waits for a free slot of
  // the server and gives up when it is asked to stop meanwhile.
  FSession = std::make_unique<inet::Session>(Agent);
  FConnection = std::make_unique<inet::Connection>(*FSession, Host, Number, Secure, UserName,
                                                   Password, &StopRequested);
  SendRequest({});

  // 7. A run without an answer leaves file and sidecar as they are, and an
  // error page is never saved as the image.
  if (Stopped() || !AnswerIsUsable()) return;

  // 8. The announced size; a text that is no 32-bit number fails the run here.
  ContentLength = AnnouncedLength(0);

  // 9. The server's stamp goes into the sidecar before any body byte is read.
  const std::string ServerStamp = AnnouncedStamp();
  if (ToFile && !ServerStamp.empty()) WriteOneLine(ServerStamp, SidecarName);

  // 10.
  if (Stopped()) return;

  // 11. Resume the partial file, or write the whole body from the start. A
  // partial file resumes only when it can be a prefix of what the server
  // announced.
  ReadCount = 0;
  TTargetFile File;
  bool BodyWanted = true;
  const bool Resumable = ToFile && !StoredStamp.empty() && StoredStamp == ServerStamp &&
                         ContentLength > 0 && ResumeOffset <= ContentLength;
  if (!ToFile) {
    ResumeOffset = 0;
  } else if (Resumable) {
    if (!ResumeRange(File, ServerStamp, SidecarName, BodyWanted)) return;
  } else {
    // A changed resource, a fresh start, or a server without a stamp: a
    // sidecar left from before would claim a prefix the file no longer holds.
    if (ServerStamp.empty()) KeepStamp(ServerStamp, SidecarName);
    File.Create(FileName);
    ResumeOffset = 0;
  }

  // 12-13.
  if (BodyWanted)
    ReadBody(ToFile ? &File : nullptr, Resumable && ResumeOffset > 0);
  else
    Succeeded = true;
  // 14. The handles close through the guard.
  File.Close();
}

bool THTTPGetThread::ResumeRange(TTargetFile& File, const std::string& ServerStamp,
                                 const std::string& SidecarName, bool& BodyWanted) {
  File.OpenExisting(FileName);
  File.Seek(static_cast<std::int32_t>(ResumeOffset));
  // The first body is not read: ask again for the missing bytes only. The
  // end is one past the last byte; a server takes it as the end.
  SendRequest("RANGE: bytes=" + std::to_string(ResumeOffset) + "-" + std::to_string(ContentLength) +
              "\r\n");
  if (Stopped()) return false;
  const int Status = FRequest->StatusCode();
  if (Status == 206) {
    const std::string Stamp = AnnouncedStamp();
    if (!Stamp.empty() && Stamp != ServerStamp) {
      Fail("the server's file changed");
      return false;
    }
    std::string Range;
    if (FRequest->QueryHeader("Content-Range", kLastModifiedBufferBytes, Range) &&
        RangeFits(Range, ResumeOffset, ContentLength))
      return true;  // the missing bytes follow: append them
  } else if (Status == 200) {
    // The range was ignored: the whole resource follows.
    ContentLength = AnnouncedLength(ContentLength);
    KeepStamp(AnnouncedStamp(), SidecarName);
    File.Shorten();
    ResumeOffset = 0;
    return true;
  } else if (Status == 416 && ResumeOffset == ContentLength) {
    BodyWanted = false;  // the partial file is already whole
    return true;
  } else if (Status != 416) {
    AnswerIsUsable();
    return false;
  }
  // The answer does not continue the partial file: fetch the whole resource
  // with a plain request and write it from the start.
  SendRequest({});
  if (Stopped() || !AnswerIsUsable()) return false;
  ContentLength = AnnouncedLength(ContentLength);
  KeepStamp(AnnouncedStamp(), SidecarName);
  File.Shorten();
  ResumeOffset = 0;
  return true;
}

void THTTPGetThread::ReadBody(TTargetFile* File, bool Ranged) {
  // With an announced length, a body that would run past it is not written.
  const std::int64_t Expected = static_cast<std::int64_t>(ContentLength) - ResumeOffset;
  auto Buffer = std::make_unique<char[]>(inet::kWorkerChunkBytes);
  std::string Broken;  // the transport's reason when a read failed
  for (;;) {
    // 12.1. The partial file and its sidecar stay for a later run.
    if (Stopped()) return;
    // 12.2.
    std::size_t Got = 0;
    // A failing read ends the body like its end; the count decides.
    const bool ReadOk = FRequest->Read(Buffer.get(), inet::kWorkerChunkBytes, Got);
    if (!ReadOk) {
      const std::string Why = FRequest->ErrorText();
      Broken = (Why.empty() ? std::string("the connection broke off") : Why) + " after ";
      break;
    }
    ChunkBytes = static_cast<std::uint32_t>(Got);
    if (ChunkBytes == 0) break;
    const std::int64_t After = static_cast<std::int64_t>(ReadCount) + ChunkBytes;
    if (ContentLength > 0 && After > Expected) {
      Fail(Ranged ? "the answer does not fit the range asked for"
                  : "the answer is longer than the " + std::to_string(ContentLength) +
                        " bytes announced");
      return;
    }
    if (ResumeOffset + After > kMaxFileBytes) {
      Fail(kTooLarge);
      return;
    }
    // 12.3-12.4.
    if (File != nullptr)
      File->Write(Buffer.get(), ChunkBytes);
    else
      TextResult.append(Buffer.get(), ChunkBytes);
    ReadCount = static_cast<std::int32_t>(After);
    // 12.5.
    if (ProgressHandler && FLinked) Synchronize([this] { ReportProgress(); });
  }
  // 13. Every announced byte arrived.
  Succeeded = static_cast<std::int64_t>(ReadCount) == Expected;
  if (Succeeded) return;
  if (!Broken.empty())
    Fail(Broken + Received(ResumeOffset + ReadCount, ContentLength));
  else if (ContentLength == 0)
    Fail("the server announced no length (" + std::to_string(ReadCount) + " bytes received)");
  else
    Fail("the answer ended after " + Received(ResumeOffset + ReadCount, ContentLength));
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
  TTargetFile file;
  file.Create(FileName);
  const std::string text = Line + "\r\n";
  file.Write(text.data(), text.size());
  file.Close();
}
