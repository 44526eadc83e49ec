// The download component: properties in, one worker per download, events out.
#include "HTTPGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPointer>

#include "WorkerParts.h"

namespace {

Q_LOGGING_CATEGORY(lcDownload, "pixvane.download")

// A download stopped after the worker's last stop check has no reason of its own.
std::string ReasonOf(const THTTPGetThread& worker) {
  return worker.FailReason.empty() ? std::string(inet::reason::kStopped) : worker.FailReason;
}

}  // namespace

THTTPGet::THTTPGet(QObject* AOwner) : QObject(AOwner) {}

THTTPGet::~THTTPGet() {
  EndWait();
  CancelDownload();
  // The worker is not waited for. Cutting the link keeps its progress and
  // its end from reaching this component.
  if (FWorker) {
    FWorker->CutLink();
    FWorker = nullptr;
  }
}

void THTTPGet::StartDownload() {
  Q_ASSERT(OnUserInterfaceThread());
  if (FWorker) return;
  FUnchanged = false;
  THTTPGetThread* const worker =
      new THTTPGetThread({.AcceptTypes = AcceptTypes,
                          .Agent = Agent,
                          .URL = URL,
                          .FileName = FileName,
                          .UserName = UserName,
                          .Password = Password,
                          .PostQuery = PostQuery,
                          .Referer = Referer,
                          .UseCache = UseCache,
                          .OnProgress = OnProgress,
                          .ToFile = true,
                          .Origin = Origin},
                         [this](THTTPGetThread* Sender) { WorkerDone(Sender); });
  FWorker = worker;
  if (!WaitThread) return;
  if (QCoreApplication::instance() == nullptr) {
    // No user-interface thread to serve: the worker raises the events on
    // its own thread, and is not released without an event loop.
    worker->WaitForEnd();
    return;
  }
  // The user-interface thread's pending work goes on, the worker's
  // progress deliveries included, until WorkerDone (or the destruction of this
  // component by one of its handlers) ends the wait.
  QEventLoop wait;
  FWaitLoop = &wait;
  QPointer<THTTPGet> self(this);
  wait.exec();
  if (self && self->FWaitLoop == &wait) self->FWaitLoop = nullptr;
}

void THTTPGet::EndWait() {
  if (FWaitLoop == nullptr) return;
  FWaitLoop->quit();
  FWaitLoop = nullptr;
}

void THTTPGet::CancelDownload() {
  Q_ASSERT(OnUserInterfaceThread());
  if (!FWorker) return;
  FWorker->StopRequested = true;
  FWorker->Succeeded = false;
}

void THTTPGet::WorkerDone(THTTPGetThread* Sender) {
  Q_ASSERT(OnUserInterfaceThread());
  // Only the running worker reports here: one cut off by CutLink runs no
  // completion. (Without an application object the end may come before
  // StartDownload has recorded the worker.)
  Q_ASSERT(QCoreApplication::instance() == nullptr || Sender == FWorker);
  QPointer<THTTPGet> self(this);
  // Whatever a handler does (fail, start again, destroy this component), the
  // component ends up idle.
  struct ClearWorker {
    QPointer<THTTPGet>& component;
    ~ClearWorker() {
      if (!component) return;
      component->FWorker = nullptr;
      component->EndWait();
    }
  } clear{self};

  // Handlers are called through copies: one may destroy this component.
  const bool succeeded = Sender->Succeeded;
  FUnchanged = succeeded && Sender->ToFile && Sender->Unchanged;
  if (succeeded && Sender->ToFile) {
    if (const TOnDoneFileEvent handler = OnDoneFile)
      handler(this, Sender->FileName, Sender->ContentLength);
  } else if (succeeded) {
    if (const TOnDoneStringEvent handler = OnDoneString) handler(this, Sender->TextResult);
  } else {
    const std::string reason = ReasonOf(*Sender);
    qCWarning(lcDownload).noquote()
        << "download failed:" << QString::fromStdString(Sender->URL) << "->"
        << QString::fromStdString(Sender->FileName) << ":" << QString::fromStdString(reason);
    if (const TOnErrorEvent handler = OnError) handler(this, reason);
  }
}
