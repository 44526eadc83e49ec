// The download component: properties in, one worker per download, events out.
#include "HTTPGet.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>

namespace {

Q_LOGGING_CATEGORY(lcDownload, "pixvane.download")

// A download stopped after the worker's last stop check has no reason of its own.
std::string ReasonOf(const THTTPGetThread& worker) {
  return worker.FailReason.empty() ? std::string("stopped") : worker.FailReason;
}

}  // namespace

THTTPGet::THTTPGet(QObject* AOwner) : QObject(AOwner) {}

THTTPGet::~THTTPGet() {
  CancelDownload();
  // The worker may be waiting in a hand-over to this very thread; it is not
  // waited for. Cutting the link keeps its end from reaching this component.
  if (FWorker != nullptr) {
    FWorker->CutLink();
    FWorker = nullptr;
  }
}

void THTTPGet::StartDownload() {
  if (FWorker != nullptr) return;
  FWorker = new THTTPGetThread(AcceptTypes, Agent, URL, FileName, UserName, Password, PostQuery,
                               Referer, UseCache, OnProgress, /*ToFile=*/true,
                               [this](THTTPGetThread* Sender) { WorkerDone(Sender); });
  if (!WaitThread) return;
  // Keep the user-interface thread's pending work running, the worker's
  // hand-overs included, until WorkerDone has cleared the worker. A handler
  // may destroy this component meanwhile.
  QPointer<THTTPGet> self(this);
  while (self && self->FWorker != nullptr) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QThread::yieldCurrentThread();
  }
}

void THTTPGet::CancelDownload() {
  if (FWorker == nullptr) return;
  FWorker->StopRequested = true;
  FWorker->Succeeded = false;
}

void THTTPGet::WorkerDone(THTTPGetThread* Sender) {
  QPointer<THTTPGet> self(this);
  // Whatever a handler does (fail, start again, destroy this component), the
  // component ends up idle.
  struct ClearWorker {
    QPointer<THTTPGet>& component;
    ~ClearWorker() {
      if (component) component->FWorker = nullptr;
    }
  } clear{self};

  // Handlers are called through copies: one may destroy this component.
  const bool succeeded = Sender->Succeeded;
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
