// The download worker (THTTPGetThread), what it is given (TWorkerRequest),
// and the download component's event types. The worker fetches one address
// on a thread of the download pool and hands its progress and its end over
// to the user-interface thread; the component (HTTPGet.h) turns its end into
// the component's events.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Outcome.h"

namespace inet {
class Session;
class Connection;
class Request;
struct ServerName;
}  // namespace inet

class TTargetFile;  // the target file while a worker writes it

// Events: a handler bound to an object (a lambda capturing it, or
// std::bind_front(&TForm1::Method, form)); Sender comes first.
using TOnProgressEvent =
    std::function<void(QObject* Sender, std::int32_t TotalSize, std::int32_t Readed)>;
using TOnDoneFileEvent =
    std::function<void(QObject* Sender, const std::string& FileName, std::int32_t FileSize)>;
using TOnDoneStringEvent = std::function<void(QObject* Sender, const std::string& Result)>;
// Reason: why the download ended unsuccessfully, in one line ("HTTP 404 Not
// Found", "timed out", "cannot create /pics/a.jpg: Permission denied", ...).
using TOnErrorEvent = std::function<void(QObject* Sender, const std::string& Reason)>;

// What a download component hands its new worker: a copy of its properties
// at the start, the mode, and the address the file is of. The worker copies
// every field into its own field of the same name (OnProgress into
// ProgressHandler).
struct TWorkerRequest {
  std::string AcceptTypes;
  std::string Agent;
  std::string URL;
  std::string FileName;
  std::string UserName;
  std::string Password;
  std::string PostQuery;
  std::string Referer;
  bool UseCache = false;
  TOnProgressEvent OnProgress;  // may be empty
  bool ToFile = true;           // false: the body is gathered into TextResult
  std::string Origin;           // empty: URL
};

// One download. Created by THTTPGet::StartDownload with every field copied;
// starts itself at creation: it waits in its server's line, holding no
// thread, until the server has a free request slot, then runs Run on a
// thread of the download pool. When Run has ended, the user-interface thread
// runs its completion notification and releases it. Never reused. The
// object itself lives on the user-interface thread.
class THTTPGetThread final : public QObject {
  Q_OBJECT

 public:
  // The completion notification: run on the user-interface thread when Run
  // has ended, after every progress event of the run.
  using TCompletion = std::function<void(THTTPGetThread* Sender)>;

  // Copies every field of the request into its own, attaches the completion
  // notification, and only then starts the worker. A worker that can get no
  // thread fails the download with the reason: its completion notification
  // then comes from the user-interface thread's event loop all the same.
  THTTPGetThread(TWorkerRequest Request, TCompletion Completion);
  ~THTTPGetThread() override;

  // Fields. Written by the worker while it runs; read on the user-interface
  // thread only after Run has ended (progress goes through its own figures).
  const std::string AcceptTypes;
  const std::string Agent;
  const std::string URL;
  const std::string FileName;
  std::string TextResult;  // the body in text mode
  const std::string UserName;
  const std::string Password;
  const std::string PostQuery;
  const std::string Referer;
  const bool UseCache;  // no local cache exists: every request goes to the server
  std::atomic<bool> Succeeded{false};
  std::int32_t ContentLength = 0;  // the first response's Content-Length; 0 when none
  const bool ToFile;
  std::int64_t ResumeOffset = 0;  // bytes of the target file this run keeps
  std::uint32_t ChunkBytes = 0;   // size of the chunk just read
  std::int32_t ReadCount = 0;     // body bytes received in this run
  const TOnProgressEvent ProgressHandler;
  // The address the file is of (URL when none was given): the sidecar's
  // second line, and the origin of the file once it is whole.
  const std::string Origin;
  std::atomic<bool> StopRequested{false};
  // The server answered the conditional request for a finished file of this
  // address with 304: the file is its current version and was left as it
  // was (ContentLength is then the file's size). Read after Run has ended.
  bool Unchanged = false;
  // Why the run ended unsuccessfully; empty while nothing failed. Every early
  // end records its reason here.
  std::string FailReason;

  // Cuts the link to the component (user-interface thread): from now on the
  // worker raises no progress event and runs no completion notification.
  void CutLink();
  // Blocks until Run has ended. For a caller without an event loop, which
  // then has the progress events and the completion run on the worker's
  // thread.
  void WaitForEnd();

  // Small operations.
  // Splits an address into host, path and port text. An "http://" (or
  // "https://", which also sets Secure and the port text "443") prefix in any
  // letter case is removed; the host part is the text before the first "/",
  // the path the rest from that "/"; a ":" in the host part starts the port
  // text. The port text is left as the caller set it when none is named.
  static void SplitAddress(const std::string& Address, std::string& Host, std::string& Path,
                           std::string& Port, bool& Secure);
  // The port text as a decimal number; Default when it is not one.
  static int PortNumber(const std::string& Port, int Default);
  // Each of them fails with the file's name and the system's reason.
  // The file's first line (ended by CR, LF or CR LF); empty when it has none.
  static inet::Result<std::string> ReadFirstLine(const std::string& FileName);
  // The file's first Count lines; fewer when it has fewer.
  static inet::Result<std::vector<std::string>> ReadLines(const std::string& FileName,
                                                          std::size_t Count);
  // The file's size in bytes.
  static inet::Result<std::int64_t> FileSizeOf(const std::string& FileName);
  // Deletes the file if it exists, then writes Line and CR LF as its whole text.
  static inet::Outcome WriteOneLine(const std::string& Line, const std::string& FileName);
  // The same with every line, each followed by CR LF.
  static inet::Outcome WriteLines(const std::vector<std::string>& Lines,
                                  const std::string& FileName);

  // Workers that exist right now (created and not yet released).
  static int LiveCount();

 private:
  // What an earlier run left beside the target: its sidecar and the stamp
  // the partial file belongs to (empty when there is nothing to resume, a
  // sidecar of another address included).
  struct TResumeState {
    std::string SidecarName;
    std::string StoredStamp;
  };

  // The steps of Run, in their order; each is done, or says why the run
  // fails.
  inet::Result<TResumeState> LoadResumeState();
  inet::Outcome SendFirstRequest();
  inet::Outcome OpenTarget(TTargetFile& File, const TResumeState& Kept, bool& BodyWanted);
  inet::Outcome CopyBody(TTargetFile* File, bool Ranged);
  // A 304 to the conditional request: the finished file stays untouched.
  inet::Outcome KeepUnchanged();
  // The steps from the resume state to the whole file, with the verdict
  // of the step that ended them.
  inet::Outcome Transfer(TTargetFile& File);
  // Ends the run with the last step's verdict.
  void Finish(const inet::Outcome& Step);

  // The worker's thread: Run with every failure caught, then the end.
  void Body();
  void Run();
  // Publishes the latest figures; the first since the last delivery asks
  // the user-interface thread to deliver them.
  void PublishProgress();
  // Raises OnProgress with the latest figures (user-interface thread).
  void DeliverProgress();
  // Raises again, in the worker, a failure of the progress handler.
  void RethrowHandlerFailure();
  // Records the progress handler's failure (user-interface thread).
  void KeepHandlerFailure(std::exception_ptr Failure);
  // Has the user-interface thread run the completion and release the worker.
  void End();
  // The end of a worker that got no thread.
  void EndUnstarted();
  // Runs the completion notification, if the link still holds one.
  void Complete();
  // Complete, with a failure of the handlers it runs caught.
  void CompleteGuarded();
  // Ends the run unsuccessfully with this reason.
  void Fail(std::string Reason);
  // The stop checks: failed ("stopped") when a stop was requested.
  inet::Outcome StopCheck() const;
  // Opens a new request on the connection and sends it, with the extra
  // header line (none when empty) and the form data of a POST; what Send
  // gave: done with a final answer, or the transport's reason.
  inet::Outcome SendRequest(const std::string& ExtraLine);
  // Ok for a final answer with a status of 200-299; otherwise failed with
  // the status line or, without an answer, the reason the send gave.
  inet::Outcome Usable(const inet::Outcome& Sent) const;
  // The answer's Content-Length into Length, Absent when it has none; a
  // length that is no number, or one of 2 GiB or more, fails the step.
  inet::Outcome AnnouncedLength(std::int32_t Absent, std::int32_t& Length) const;
  // The answer's Last-Modified value; empty when absent or too long.
  std::string AnnouncedStamp() const;
  // Where to connect, with the credentials to offer.
  void ServerToConnect(inet::ServerName& Server) const;
  // Keeps the sidecar in step with an answer that the file will hold from
  // its first byte: the answer's stamp and the origin, or no sidecar when
  // the answer has no stamp.
  inet::Outcome KeepStamp(const std::string& Stamp, const std::string& SidecarName);
  // Empties the target, then stamps it with the answer's stamp.
  inet::Outcome StartAfresh(TTargetFile& File, const std::string& SidecarName,
                            const std::string& Stamp);
  // Resuming: asks for the missing bytes. Ok when the body that follows
  // continues the partial file (BodyWanted false: nothing is missing) or,
  // when the answer does not fit, replaces it from its start.
  inet::Outcome ResumeRange(TTargetFile& File, const std::string& SidecarName, bool& BodyWanted);
  // Whether the answer to the ranged request continues the partial file.
  bool RangeAnswerFits() const;
  // An answer that replaces the partial file from its first byte.
  inet::Outcome Restart(TTargetFile& File, const std::string& SidecarName);
  // An answer that brought more than it announced: none of its bytes stay.
  inet::Outcome Overrun(TTargetFile* File, bool Ranged);
  // Why a body that did not bring every announced byte failed.
  std::string ShortBodyReason(const std::string& Broken) const;
  void CloseInternetHandles();

  std::unique_ptr<inet::Session> FSession;
  std::unique_ptr<inet::Connection> FConnection;
  std::unique_ptr<inet::Request> FRequest;
  std::string FServerStamp;         // the first answer's Last-Modified value
  std::string FConditions;          // the conditional header lines for a finished file; empty: none
  TCompletion FCompletion;          // touched on the user-interface thread only
  std::atomic<bool> FLinked{true};  // cleared by CutLink
  // The hand-over between the run and the user-interface thread: one state,
  // guarded by FFigures with the figures it delivers.
  //   Quiet      the run goes on; no delivery on its way
  //   Asked      the run goes on; one delivery of the latest figures is on its way
  //   Failed     the progress handler raised: nothing is delivered any more,
  //              and the run raises the failure again at its next piece
  //   OverAsked  Run has ended with a delivery on its way: the last figures
  //   Over       Run has ended; the completion follows
  //   Completed  the completion has run: no progress event any more
  // Transitions, one per event:
  //   Publish (worker)        Quiet -> Asked, which posts a delivery; Asked and
  //                           Failed stay (the figures are overwritten, or dropped)
  //   Deliver (user interface)  Asked -> Quiet and OverAsked -> Over raise
  //                           OnProgress; Failed, Over and Completed stay and
  //                           raise nothing (a delivery overtaken by a failure)
  //   HandlerFailed (user interface)  Quiet, Asked -> Failed; OverAsked -> Over
  //                           (the last figures are dropped); Failed, Over and
  //                           Completed stay. The completion fails a run that
  //                           is past its last piece.
  //   RunEnded (worker)       Quiet, Failed -> Over; Asked -> OverAsked; the
  //                           completion is posted after the delivery
  //   Complete (user interface)  Over -> Completed; without an event loop, on
  //                           the worker's thread, Quiet and Failed -> Completed
  enum class THandOver { Quiet, Asked, Failed, OverAsked, Over, Completed };
  enum class THandEvent { Publish, Deliver, HandlerFailed, RunEnded, Complete };
  // The state that follows From on What.
  static THandOver NextHandOver(THandOver From, THandEvent What);
  // Moves the hand-over on What and returns the state it left. The caller
  // holds FFigures (the guard is the proof).
  THandOver Move(const std::unique_lock<std::mutex>& Held, THandEvent What);

  std::mutex FFigures;
  THandOver FHandOver = THandOver::Quiet;
  std::int32_t FTotal = 0, FReaded = 0;  // the figures published for the window
  std::exception_ptr FHandlerFailure;    // what the progress handler raised
  std::condition_variable FRunEnded;     // for WaitForEnd: the run is over
};
