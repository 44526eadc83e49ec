#include "Batch.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "BatchReport.h"
#include "Console.h"
#include "GetOptions.h"
#include "HTTPGet.h"
#include "ImageRequest.h"
#include "RequestUrl.h"
#include "TargetFiles.h"

namespace {

// How long the workers that have ended are given to release themselves.
constexpr int kReleaseWaitMs = 5000;

// Every folder of the batch made ready; the addresses of a folder that cannot
// be used fail with its reason, which is said once.
void PrepareFolders(std::vector<TBatchItem>& items, TBatchDisplay& display) {
  QSet<QString> ready;
  QHash<QString, QString> unusable;  // folder -> reason
  for (TBatchItem& item : items) {
    if (!ready.contains(item.Folder) && !unusable.contains(item.Folder)) {
      QString failure;
      if (PrepareFolder(item.Folder, failure)) {
        ready.insert(item.Folder);
      } else {
        const QString name = item.Folder.isEmpty() ? QStringLiteral(".") : item.Folder;
        unusable.insert(item.Folder,
                        QStringLiteral("cannot write into the folder %1: %2").arg(name, failure));
        display.Error(unusable.value(item.Folder));
      }
    }
    if (const auto found = unusable.constFind(item.Folder); found != unusable.cend()) {
      item.Outcome = TOutcome::Failed;
      item.Reason = *found;
    }
  }
}

// Too small for --min-size: the file is removed and the address skipped. A
// file whose size cannot be read (a format without a reader here, or no
// image at all) is kept: nothing says it is too small.
void ApplyMinSize(TBatchItem& item, const QSize& minimum) {
  if (!minimum.isValid() || item.Outcome != TOutcome::Done) return;
  QSize size;
  QString unreadable;
  {
    QImageReader reader(item.File);
    size = reader.size();
    if (!size.isValid()) unreadable = reader.errorString();
  }
  if (!size.isValid()) {
    item.Reason = QStringLiteral("kept, its size cannot be read: %1").arg(unreadable);
    return;
  }
  if (size.width() >= minimum.width() && size.height() >= minimum.height()) return;
  const QString smaller = QStringLiteral("smaller than %1x%2 (%3x%4)")
                              .arg(minimum.width())
                              .arg(minimum.height())
                              .arg(size.width())
                              .arg(size.height());
  QFile file(item.File);
  if (!file.remove()) {
    item.Outcome = TOutcome::Failed;
    item.Reason = smaller + QStringLiteral(", but cannot be removed: ") + file.errorString();
    return;
  }
  item.Outcome = TOutcome::Skipped;
  item.Reason = smaller;
}

// The outcome of an ended download. Finished means whole: the success event
// and the file there. Only then does the resume sidecar go.
void Conclude(TBatchItem& item, bool succeeded, const QString& reason, const QSize& minimum) {
  const bool whole = succeeded && targetfiles::SweepWhole(item.File.toStdString());
  const QFileInfo file(item.File);
  item.Bytes = file.isFile() ? file.size() : 0;
  if (succeeded && !whole) {
    item.Outcome = TOutcome::Failed;
    item.Reason = QStringLiteral("the downloaded file is gone: ") + item.File;
  } else if (succeeded) {
    item.Outcome = TOutcome::Done;
    ApplyMinSize(item, minimum);
  } else {
    item.Outcome = TOutcome::Failed;
    item.Reason = reason;
  }
}

// Waits until every worker has released itself, so that none is still
// winding down when the program ends.
void AwaitWorkerRelease() {
  if (THTTPGetThread::LiveCount() == 0) return;
  QEventLoop loop;
  QTimer poll;
  poll.callOnTimeout([&loop] {
    if (THTTPGetThread::LiveCount() == 0) loop.quit();
  });
  poll.start(10);
  QTimer::singleShot(kReleaseWaitMs, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int TBatch::Run(const std::vector<TFoundAddress>& addresses) {
  std::vector<TBatchItem> items = PlanBatch(addresses, options_.Folder);
  TBatchDisplay display(items, options_.Json, options_.Quiet);
  PrepareFolders(items, display);
  {
    QObject owner;  // the components of this batch still running
    QEventLoop loop;
    int running = 0;
    // Every address at once, as the window starts a batch.
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].Outcome != TOutcome::Pending) continue;
      auto* download = new THTTPGet(&owner);
      Configure(*download, items[i]);
      download->OnProgress = [&items, &display, i](QObject* sender, std::int32_t,
                                                   std::int32_t readed) {
        const auto* worker = qobject_cast<const THTTPGetThread*>(sender);
        const qint64 kept = worker != nullptr ? worker->ResumeOffset : 0;
        items[i].Readed = static_cast<std::uint32_t>(readed);
        items[i].Received = std::max<qint64>(items[i].Readed - kept, 0);
        display.Progressed();
      };
      // A component goes as soon as its download has ended.
      const auto ended = [&, i, download](bool succeeded, const QString& reason) {
        Conclude(items[i], succeeded, reason, options_.MinSize);
        display.Ended(items[i]);
        download->deleteLater();
        if (--running == 0) loop.quit();
      };
      download->OnDoneFile = [ended](QObject*, const std::string&, std::int32_t) {
        ended(true, {});
      };
      download->OnError = [ended](QObject*, const std::string& reason) {
        ended(false, QString::fromStdString(reason));
      };
      ++running;
      try {
        download->StartDownload();
      } catch (const std::exception& e) {  // no worker could be made for it
        ended(false, QString::fromUtf8(e.what()));
      }
    }
    if (running > 0) loop.exec();
  }
  AwaitWorkerRelease();
  display.Finish();
  if (options_.Json) PrintText(QString::fromUtf8(JsonReport(items, options_.Gathered)));
  const TBatchTally tally = TallyOf(items);
  return tally.Failed == 0 ? kExitOk : kExitFailed;
}

void TBatch::Configure(THTTPGet& download, const TBatchItem& item) {
  download.BinaryData = true;
  download.UseCache = false;
  download.Agent = kImageAgent;
  download.AcceptTypes = kImageAcceptTypes;
  download.FileName = item.File.toStdString();
  // Sent as a browser sends the shown address: non-ASCII percent-encoded,
  // the query in the encoding of the page the address came from.
  download.URL = RequestUrlOf(RequestAddress(item.Address).toStdString(), item.Encoding);
  download.Origin = OriginOf(item.Address);
}
