// The download worker's run: a short sequence of steps (load the resume
// state, send the first request, open or resume the target, copy the body,
// finish; resuming is in WorkerResume.cpp). Each step gives its verdict with the reason it fails;
// the run ends with the verdict of the step that ended it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "FileOrigin.h"
#include "HTTPGetThread.h"
#include "Inet.h"
#include "Revalidate.h"
#include "TargetNames.h"
#include "WorkerParts.h"

namespace {

// Content type of form data; sent as given, without a line end, with a POST.
const char kFormContentType[] = "Content-Type: application/x-www-form-urlencoded";

constexpr std::int64_t kMaxFileBytes = std::numeric_limits<std::int32_t>::max();
const char kTooLarge[] = "larger than 2 GiB";

// True for an existing name that is not a folder.
bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// "120000 of 300000 bytes", or "120000 bytes" when the total is unknown.
std::string Received(std::int64_t got, std::int64_t of) {
  return std::to_string(got) + (of > 0 ? " of " + std::to_string(of) : std::string()) + " bytes";
}

}  // namespace

using inet::Outcome;

Outcome THTTPGetThread::StopCheck() const {
  return StopRequested ? Outcome::Failed(inet::reason::kStopped) : Outcome::Done();
}

void THTTPGetThread::Finish(const Outcome& Step) {
  if (Step)
    Succeeded = true;
  else
    Fail(Step.Reason());
}

void THTTPGetThread::Run() {
  // The internet handles close on every path: request, connection, session.
  struct HandleGuard {
    THTTPGetThread* worker;
    ~HandleGuard() { worker->CloseInternetHandles(); }
  } handleGuard{this};

  // A file still open after a failed step closes with it; the step's reason stays.
  TTargetFile file;
  Finish(Transfer(file));
}

Outcome THTTPGetThread::Transfer(TTargetFile& File) {
  const inet::Result<TResumeState> kept = LoadResumeState();
  if (!kept) return kept.AsOutcome();
  bool bodyWanted = true;
  Outcome step = SendFirstRequest();
  if (step && !Unchanged) step = OpenTarget(File, *kept, bodyWanted);
  // A step that fails before the body leaves file and sidecar as they are,
  // and so does a finished file the server reports unchanged.
  if (!step || Unchanged) return step;
  const bool ranged = ResumeOffset > 0;  // resuming: the body continues the partial file
  if (bodyWanted) step = CopyBody(ToFile ? &File : nullptr, ranged);
  if (!step || !ToFile) return step;
  if (step = File.Close(); !step) return step;
  // The file is whole: it records the address it came from (nothing is
  // said where the file system keeps no such record).
  RecordFileOrigin(FileName, Origin);
  // The server's validators, for the question a later run asks.
  revalidate::KeepValidators(FileName, *FRequest, FServerStamp);
  return step;
}

inet::Result<THTTPGetThread::TResumeState> THTTPGetThread::LoadResumeState() {
  ResumeOffset = 0;
  TResumeState kept{targetnames::SidecarOf(FileName), {}};
  if (ToFile && FileExists(FileName) && FileExists(kept.SidecarName)) {
    // The sidecar's first line is the stamp of the bytes in the file, its
    // second the address they are of. A sidecar of another address, or one
    // that names none, continues nothing: the file is fetched whole.
    const inet::Result<std::vector<std::string>> lines = ReadLines(kept.SidecarName, 2);
    if (!lines) return lines.AsOutcome();
    if (lines->size() == 2 && (*lines)[1] == Origin) kept.StoredStamp = (*lines)[0];
    if (!kept.StoredStamp.empty()) {
      const inet::Result<std::int64_t> size = FileSizeOf(FileName);
      if (!size) return size.AsOutcome();
      ResumeOffset = *size;
    }
  }
  // A finished file of this address is fetched only when it changed.
  if (ToFile && PostQuery.empty())
    FConditions = revalidate::ConditionsFor(FileName, kept.SidecarName, Origin);
  return kept;
}

Outcome THTTPGetThread::SendFirstRequest() {
  // Where to connect. The request itself takes the whole address.
  inet::ServerName server;
  ServerToConnect(server);
  if (Outcome stop = StopCheck(); !stop) return stop;

  // A download connection waits for a free slot of the server and gives up
  // when it is asked to stop meanwhile.
  FSession = std::make_unique<inet::Session>(Agent);
  FConnection =
      std::make_unique<inet::Connection>(*FSession, server.host, server.port, server.secure,
                                         server.userName, server.password, &StopRequested);
  const Outcome sent = SendRequest(FConditions);

  // A run without an answer leaves file and sidecar as they are, and an
  // error page is never saved as the image.
  if (Outcome stop = StopCheck(); !stop) return stop;
  if (!FConditions.empty() && FRequest->StatusCode() == 304) return KeepUnchanged();
  if (Outcome answer = Usable(sent); !answer) return answer;
  // A length that is no 32-bit number fails the run before the sidecar.
  if (Outcome length = AnnouncedLength(0, ContentLength); !length) return length;
  FServerStamp = AnnouncedStamp();
  return StopCheck();
}

Outcome THTTPGetThread::OpenTarget(TTargetFile& File, const TResumeState& Kept, bool& BodyWanted) {
  ReadCount = 0;
  if (!ToFile) {
    ResumeOffset = 0;
    return Outcome::Done();
  }
  // A partial file resumes only when it can be a prefix of what the server
  // announced under the same stamp.
  if (!Kept.StoredStamp.empty() && Kept.StoredStamp == FServerStamp && ContentLength > 0 &&
      ResumeOffset <= ContentLength)
    return ResumeRange(File, Kept.SidecarName, BodyWanted);
  // A changed resource, another address's partial file, a fresh start, or a
  // server without a stamp.
  return StartAfresh(File, Kept.SidecarName, FServerStamp);
}

Outcome THTTPGetThread::StartAfresh(TTargetFile& File, const std::string& SidecarName,
                                    const std::string& Stamp) {
  // Emptied first, stamped after: at no moment are old bytes under a new
  // stamp. The emptied file is no longer the finished file of any address.
  if (Outcome created = File.Create(FileName); !created) return created;
  ForgetFileOrigin(FileName);
  if (Outcome stamped = KeepStamp(Stamp, SidecarName); !stamped) return stamped;
  ResumeOffset = 0;
  return Outcome::Done();
}

Outcome THTTPGetThread::SendRequest(const std::string& ExtraLine) {
  const std::string verb = PostQuery.empty() ? "GET" : "POST";
  FRequest.reset();
  FRequest = std::make_unique<inet::Request>(*FConnection, verb, URL, Referer, AcceptTypes,
                                             inet::kDownloadChunkBytes);
  if (PostQuery.empty()) return FRequest->Send(ExtraLine);
  if (ExtraLine.empty()) return FRequest->Send(kFormContentType, PostQuery);
  return FRequest->Send(std::string(kFormContentType) + "\r\n" + ExtraLine, PostQuery);
}

Outcome THTTPGetThread::Usable(const Outcome& Sent) const {
  if (!Sent) return Sent;
  const int status = FRequest->StatusCode();
  if (status >= 200 && status <= 299) return Outcome::Done();
  if (status == 0) return Outcome::Failed(inet::reason::kNoResponse);
  // "HTTP/1.1 404 Not Found" is reported as "HTTP 404 Not Found".
  const std::string& raw = FRequest->RawHeaders();
  const std::string line = raw.substr(0, raw.find_first_of("\r\n"));
  const std::size_t blank = line.find(' ');
  return Outcome::Failed(blank == std::string::npos ? "HTTP " + std::to_string(status)
                                                    : "HTTP " + line.substr(blank + 1));
}

Outcome THTTPGetThread::AnnouncedLength(std::int32_t Absent, std::int32_t& Length) const {
  const std::optional<std::string> announced =
      FRequest->QueryHeader("Content-Length", kContentLengthBufferBytes);
  if (!announced) {
    Length = Absent;
    return Outcome::Done();
  }
  const std::string& text = *announced;
  std::int64_t value = 0;
  if (!ParseDecimal(text, value) || value < 0)
    return Outcome::Failed("the server announced an invalid length: " + text);
  if (value > kMaxFileBytes)
    return Outcome::Failed(std::string(kTooLarge) + ": " + text + " bytes");
  Length = static_cast<std::int32_t>(value);
  return Outcome::Done();
}

std::string THTTPGetThread::AnnouncedStamp() const {
  return FRequest->QueryHeader("Last-Modified", kLastModifiedBufferBytes).value_or(std::string());
}

Outcome THTTPGetThread::KeepStamp(const std::string& Stamp, const std::string& SidecarName) {
  // Without a stamp no sidecar stays: it would claim a prefix the file no
  // longer holds.
  if (!Stamp.empty()) return WriteLines({Stamp, Origin}, SidecarName);
  if (::unlink(SidecarName.c_str()) != 0 && errno != ENOENT)
    return ErrnoFailure("cannot delete", SidecarName);
  return Outcome::Done();
}

Outcome THTTPGetThread::Overrun(TTargetFile* File, bool Ranged) {
  // Nothing past the announced length was written, but an answer that runs
  // past it is not trusted at all: the file goes back to the bytes it held
  // before this answer, which its sidecar vouches for.
  if (File != nullptr)
    if (Outcome cut = File->CutTo(ResumeOffset); !cut) return cut;
  return Outcome::Failed(Ranged ? "the answer does not fit the range asked for"
                                : "the answer is longer than the " + std::to_string(ContentLength) +
                                      " bytes announced");
}

Outcome THTTPGetThread::CopyBody(TTargetFile* File, bool Ranged) {
  // With an announced length, a body that would run past it is not written.
  const std::int64_t expected = static_cast<std::int64_t>(ContentLength) - ResumeOffset;
  auto buffer = std::make_unique<char[]>(inet::kDownloadChunkBytes);
  std::string broken;  // the transport's reason when a read failed
  for (;;) {
    // The partial file and its sidecar stay for a later run; so they do
    // when the progress handler failed on an earlier chunk.
    if (Outcome stop = StopCheck(); !stop) return stop;
    RethrowHandlerFailure();
    // A failing read ends the body like its end; the count decides.
    const inet::Result<std::size_t> got = FRequest->Read(buffer.get(), inet::kDownloadChunkBytes);
    if (!got) {
      // A body ended by a stop is a cancel: the partial file stays for a resume.
      if (Outcome stop = StopCheck(); !stop) return stop;
      broken = got.Reason() + " after ";
      break;
    }
    ChunkBytes = static_cast<std::uint32_t>(*got);
    if (ChunkBytes == 0) break;
    // A chunk that arrived after a stop request is not written: the file
    // holds what the last figures said.
    if (Outcome stop = StopCheck(); !stop) return stop;
    const std::int64_t after = static_cast<std::int64_t>(ReadCount) + ChunkBytes;
    if (ContentLength > 0 && after > expected) return Overrun(File, Ranged);
    if (ResumeOffset + after > kMaxFileBytes) return Outcome::Failed(kTooLarge);
    if (File == nullptr)
      TextResult.append(buffer.get(), ChunkBytes);
    else if (Outcome written = File->Write(buffer.get(), ChunkBytes); !written)
      return written;
    ReadCount = static_cast<std::int32_t>(after);
    PublishProgress();
  }
  // Every announced byte arrived.
  if (static_cast<std::int64_t>(ReadCount) == expected) return Outcome::Done();
  return Outcome::Failed(ShortBodyReason(broken));
}

std::string THTTPGetThread::ShortBodyReason(const std::string& Broken) const {
  if (!Broken.empty()) return Broken + Received(ResumeOffset + ReadCount, ContentLength);
  if (ContentLength == 0)
    return "the server announced no length (" + std::to_string(ReadCount) + " bytes received)";
  return "the answer ended after " + Received(ResumeOffset + ReadCount, ContentLength);
}
