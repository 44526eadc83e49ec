#include "Unit_Batch.h"

#include <QFileInfo>
#include <algorithm>
#include <exception>

#include "HTTPGet.h"
#include "ImageRequest.h"
#include "RequestUrl.h"
#include "TargetFiles.h"

TDownloadBatch::TDownloadBatch(QObject* parent) : QObject(parent) {}

TDownloadBatch::~TDownloadBatch() {
  // The components go before the callbacks they call into: none of their
  // events can reach a batch that is half gone.
  qDeleteAll(findChildren<THTTPGet*>(Qt::FindDirectChildrenOnly));
}

bool TDownloadBatch::Add(const QString& address, const QString& target,
                         const std::string& encoding) {
  if (index_.contains(target)) return false;
  index_.insert(target, downloads_.size());
  downloads_.push_back(TDownload{address, target, encoding, TState::Waiting, {}, 0, 0});
  ++pending_;
  return true;
}

void TDownloadBatch::Fail(const QString& target, const QString& reason) {
  TDownload* download = Lookup(target);
  if (download == nullptr || download->State == TState::Running) return;
  if (download->State == TState::Waiting) --pending_;
  download->State = TState::Failed;
  download->Reason = reason;
}

void TDownloadBatch::StartAll(const std::function<void()>& beforeEach) {
  QStringList waiting;  // a copy: beforeEach may change the batch
  bool running = false;
  for (const TDownload& download : downloads_) {
    if (download.State == TState::Waiting) waiting << download.Target;
    running = running || download.State == TState::Running;
  }
  if (!running) clock_.start();
  for (qsizetype next = 0; next < waiting.size(); ++next) {
    // The boundary of the driver's handler: when it fails, nothing is left
    // waiting for a start that will not come.
    try {
      if (beforeEach) beforeEach();
    } catch (const std::exception& e) {
      for (; next < waiting.size(); ++next) Fail(waiting[next], QString::fromUtf8(e.what()));
      return;
    }
    Start(waiting[next]);
  }
}

void TDownloadBatch::ForgetEnded() {
  std::erase_if(downloads_, [](const TDownload& download) {
    return download.State == TState::Succeeded || download.State == TState::Failed;
  });
  index_.clear();
  for (std::size_t i = 0; i < downloads_.size(); ++i) index_.insert(downloads_[i].Target, i);
}

const TDownloadBatch::TDownload* TDownloadBatch::Find(const QString& target) const {
  const auto found = index_.constFind(target);
  return found == index_.cend() ? nullptr : &downloads_[*found];
}

TDownloadBatch::TDownload* TDownloadBatch::Lookup(const QString& target) {
  const auto found = index_.constFind(target);
  return found == index_.cend() ? nullptr : &downloads_[*found];
}

TDownloadBatch::TTally TDownloadBatch::Tally() const {
  TTally tally;
  tally.Total = static_cast<int>(downloads_.size());
  for (const TDownload& download : downloads_) {
    tally.Bytes += download.Readed;
    tally.Received += download.Received;
    tally.Succeeded += download.State == TState::Succeeded ? 1 : 0;
    tally.Failed += download.State == TState::Failed ? 1 : 0;
  }
  tally.Ended = tally.Succeeded + tally.Failed;
  tally.Seconds = clock_.isValid() ? static_cast<double>(clock_.nsecsElapsed()) / 1e9 : 0;
  return tally;
}

void TDownloadBatch::Start(const QString& target) {
  TDownload* download = Lookup(target);
  if (download == nullptr || download->State != TState::Waiting) return;
  auto* component = new THTTPGet(this);
  component->BinaryData = true;
  component->UseCache = false;
  component->Agent = kImageAgent;
  component->AcceptTypes = kImageAcceptTypes;
  component->FileName = target.toStdString();
  // Sent as a browser sends the shown address: non-ASCII percent-encoded,
  // the query in the encoding of the page the address came from.
  component->URL =
      RequestUrlOf(RequestAddress(download->Address).toStdString(), download->Encoding);
  component->Origin = OriginOf(download->Address);
  component->OnProgress = [this, target](QObject* Sender, std::int32_t TotalSize,
                                         std::int32_t Readed) {
    Progressed(target, Sender, TotalSize, Readed);
  };
  // The component goes as soon as its download has ended.
  component->OnDoneFile = [this, target](QObject* Sender, const std::string&, std::int32_t) {
    Sender->deleteLater();
    if (TDownload* ended = Lookup(target))
      ended->Unchanged = static_cast<const THTTPGet*>(Sender)->Unchanged();
    Ended(target, true, {});
  };
  component->OnError = [this, target](QObject* Sender, const std::string& Reason) {
    Sender->deleteLater();
    Ended(target, false, QString::fromStdString(Reason));
  };
  download->State = TState::Running;
  // A worker that can get no thread ends through OnError like any other.
  component->StartDownload();
}

void TDownloadBatch::Progressed(const QString& target, QObject* sender, std::int32_t total,
                                std::int32_t readed) {
  TDownload* download = Lookup(target);
  if (download == nullptr || download->State != TState::Running) return;
  // The bytes the file kept from an earlier run are not received in this one.
  const auto* worker = qobject_cast<const THTTPGetThread*>(sender);
  const qint64 kept = worker != nullptr ? worker->ResumeOffset : 0;
  download->Readed = std::max<qint64>(readed, 0);
  download->Received = std::max<qint64>(download->Readed - kept, 0);
  if (OnProgress) OnProgress(*download, total, readed);
}

void TDownloadBatch::Ended(const QString& target, bool succeeded, const QString& reason) {
  TDownload* download = Lookup(target);
  if (download == nullptr || download->State != TState::Running) return;
  // Done means whole: the success event and the file there.
  const bool whole = succeeded && targetfiles::SweepWhole(target.toStdString());
  const QFileInfo file(target);
  download->Readed = file.isFile() ? file.size() : 0;
  download->State = whole ? TState::Succeeded : TState::Failed;
  if (succeeded && !whole)
    download->Reason = QStringLiteral("the downloaded file is gone: ") + target;
  else if (!succeeded)
    download->Reason = reason;
  --pending_;
  if (OnEnded) OnEnded(*download);
}
