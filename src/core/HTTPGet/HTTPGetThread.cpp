// The download worker around its run: creation, the stop and link flags, its
// place in the download pool, the published progress, and the completion
// notification.
#include <QCoreApplication>
#include <QThread>

#include <exception>

#include "HTTPGetTestHooks.h"
#include "HTTPGetThread.h"
#include "Inet.h"
#include "WorkerParts.h"
#include "WorkerPool.h"

namespace {

std::atomic<int> gLiveWorkers{0};
// Thread starts that tests make fail, as at the system's limit.
std::atomic<int> gFailingStarts{0};

// True when a test made this start fail.
bool TakeFailingStart() {
  int left = gFailingStarts.load();
  while (left > 0 && !gFailingStarts.compare_exchange_weak(left, left - 1)) {
  }
  return left > 0;
}

// Why a worker that got no thread fails.
const char kNoThreadReason[] =
    "cannot start a download thread: the system refused a new thread (a task or memory limit)";

// The text of a failure that a handler raised.
std::string ReasonOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "failed for a reason that was not given";
  }
}

// The line a worker waits in: its server, the host without regard to
// letter case, as the internet session keys its own lines.
std::string LineOf(const std::string& host, int port) {
  std::string key = host;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key + ":" + std::to_string(port);
}

}  // namespace

THTTPGetThread::THTTPGetThread(TWorkerRequest Request, TCompletion Completion)
    : AcceptTypes(std::move(Request.AcceptTypes)),
      Agent(std::move(Request.Agent)),
      URL(std::move(Request.URL)),
      FileName(std::move(Request.FileName)),
      UserName(std::move(Request.UserName)),
      Password(std::move(Request.Password)),
      PostQuery(std::move(Request.PostQuery)),
      Referer(std::move(Request.Referer)),
      UseCache(Request.UseCache),
      ToFile(Request.ToFile),
      ProgressHandler(std::move(Request.OnProgress)),
      Origin(Request.Origin.empty() ? this->URL : std::move(Request.Origin)),
      FCompletion(std::move(Completion)) {
  ++gLiveWorkers;
  if (TakeFailingStart()) {
    EndUnstarted();
    return;
  }
  // The worker waits in the line of the server it connects to.
  inet::ServerName server;
  ServerToConnect(server);
  workerpool::Submit(
      {LineOf(server.host, server.port),
       [host = server.host, port = server.port] { return inet::RequestsAtOnce(host, port); },
       [this] { Body(); }, [this] { EndUnstarted(); }});
}

void THTTPGetThread::Body() {
  if (StopRequested) {
    Fail(inet::reason::kStopped);
  } else {
    // The boundary of the thread body: the progress handler's failure,
    // raised again here at the run's next piece, and whatever else escapes
    // the run (memory running out) end the download with its text and go
    // no further.
    try {
      Run();
    } catch (...) {
      Fail(ReasonOf(std::current_exception()));
    }
  }
  End();
}

void THTTPGetThread::End() {
  const bool eventLoop = QCoreApplication::instance() != nullptr;
  if (eventLoop) {
    std::unique_lock<std::mutex> lock(FFigures);
    Move(lock, THandEvent::RunEnded);
  } else {
    CompleteGuarded();  // here, on the worker's thread
  }
  FRunEnded.notify_all();
  if (!eventLoop) return;
  // Posted after every delivery the run asked for, so it comes after them.
  // From here on the worker's thread no longer touches the worker: the
  // user-interface thread may release it at any moment.
  QMetaObject::invokeMethod(
      this,
      [this] {
        CompleteGuarded();
        deleteLater();
      },
      Qt::QueuedConnection);
}

THTTPGetThread::THandOver THTTPGetThread::NextHandOver(THandOver From, THandEvent What) {
  using S = THandOver;
  switch (What) {
    case THandEvent::Publish:
      Q_ASSERT(From == S::Quiet || From == S::Asked || From == S::Failed);  // only while running
      return From == S::Quiet ? S::Asked : From;
    case THandEvent::Deliver:
      Q_ASSERT(From != S::Quiet);  // every delivery was asked for
      return From == S::Asked ? S::Quiet : From == S::OverAsked ? S::Over : From;
    case THandEvent::HandlerFailed:
      // A handler that ran an event loop of its own may fail in any state.
      if (From == S::Quiet || From == S::Asked) return S::Failed;
      return From == S::OverAsked ? S::Over : From;
    case THandEvent::RunEnded:
      Q_ASSERT(From == S::Quiet || From == S::Asked || From == S::Failed);  // the run ends once
      return From == S::Asked ? S::OverAsked : S::Over;
    case THandEvent::Complete:
      // Once, after every delivery: with an event loop the run is over;
      // without one the completion runs at the run's end.
      Q_ASSERT(From == S::Over || From == S::Quiet || From == S::Failed);
      return S::Completed;
  }
  return From;
}

THTTPGetThread::THandOver THTTPGetThread::Move(const std::unique_lock<std::mutex>& Held,
                                               THandEvent What) {
  Q_ASSERT(Held.owns_lock() && Held.mutex() == &FFigures);
  const THandOver from = FHandOver;
  FHandOver = NextHandOver(from, What);
  return from;
}

void THTTPGetThread::EndUnstarted() {
  Fail(kNoThreadReason);
  // The end comes as a worker's end always does, from the user-interface
  // thread's event loop, never from inside the start.
  End();
}

void THTTPGetThread::WaitForEnd() {
  std::unique_lock<std::mutex> lock(FFigures);
  FRunEnded.wait(lock, [this] {
    return FHandOver == THandOver::OverAsked || FHandOver == THandOver::Over ||
           FHandOver == THandOver::Completed;
  });
}

void THTTPGetThread::CompleteGuarded() {
  // The boundary of the component's done and error handlers: a failure
  // they raise goes no further than the completion, as the thread base
  // swallows it.
  try {
    Complete();
  } catch (...) {
  }
}

void THTTPGetThread::Complete() {
  Q_ASSERT(OnUserInterfaceThread());
  {
    std::unique_lock<std::mutex> lock(FFigures);
    Move(lock, THandEvent::Complete);
    // The handler failed on figures the run had already gone past: the
    // download fails all the same.
    if (FHandlerFailure && Succeeded) Fail(ReasonOf(FHandlerFailure));
  }
  if (!FCompletion) return;
  const TCompletion completion = FCompletion;  // survives a CutLink from inside
  completion(this);
}

THTTPGetThread::~THTTPGetThread() {
  --gLiveWorkers;
}

int THTTPGetThread::LiveCount() {
  return gLiveWorkers;
}

void THTTPGetThread::CutLink() {
  Q_ASSERT(OnUserInterfaceThread());
  FLinked = false;
  FCompletion = nullptr;
}

void THTTPGetThread::PublishProgress() {
  if (!FLinked || !ProgressHandler) return;
  // 32-bit position: the low 32 bits of the kept bytes plus this run's bytes.
  const auto readed = static_cast<std::int32_t>(static_cast<std::uint32_t>(ResumeOffset) +
                                                static_cast<std::uint32_t>(ReadCount));
  bool ask = false;
  {
    std::unique_lock<std::mutex> lock(FFigures);
    FTotal = ContentLength;
    FReaded = readed;
    ask = Move(lock, THandEvent::Publish) == THandOver::Quiet;
  }
  if (!ask) return;
  if (QCoreApplication::instance() == nullptr)
    DeliverProgress();
  else
    QMetaObject::invokeMethod(
        this, [this] { DeliverProgress(); }, Qt::QueuedConnection);
}

void THTTPGetThread::DeliverProgress() {
  Q_ASSERT(OnUserInterfaceThread());
  std::int32_t total = 0, readed = 0;
  {
    std::unique_lock<std::mutex> lock(FFigures);
    const THandOver from = Move(lock, THandEvent::Deliver);
    if (from != THandOver::Asked && from != THandOver::OverAsked) return;
    total = FTotal;
    readed = FReaded;
  }
  if (!FLinked) return;
  // The boundary of the progress handler: its failure is kept, to be
  // raised again in the worker at its next piece.
  try {
    ProgressHandler(this, total, readed);
  } catch (...) {
    KeepHandlerFailure(std::current_exception());
  }
}

void THTTPGetThread::KeepHandlerFailure(std::exception_ptr Failure) {
  std::unique_lock<std::mutex> lock(FFigures);
  Move(lock, THandEvent::HandlerFailed);
  if (!FHandlerFailure) FHandlerFailure = std::move(Failure);  // the first one counts
}

void THTTPGetThread::RethrowHandlerFailure() {
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> lock(FFigures);
    if (FHandOver == THandOver::Failed) failure = FHandlerFailure;
  }
  if (failure) std::rethrow_exception(failure);
}

void THTTPGetThread::CloseInternetHandles() {
  FRequest.reset();
  FConnection.reset();
  FSession.reset();
}

void THTTPGetThread::Fail(std::string Reason) {
  Succeeded = false;
  FailReason = std::move(Reason);
}

bool OnUserInterfaceThread() {
  const QCoreApplication* const app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void httpget::testing::FailThreadStarts(int count) {
  gFailingStarts = count;
}
