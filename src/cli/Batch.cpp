#include "Batch.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QSet>
#include <QTimer>

#include "BatchReport.h"
#include "Console.h"
#include "GetOptions.h"
#include "HTTPGet.h"
#include "Unit_Batch.h"

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
  if (!minimum.isValid()) return;
  if (item.Outcome != TOutcome::Done && item.Outcome != TOutcome::Unchanged) return;
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

// The outcome of an ended download, from the batch: done (whole, its
// sidecar gone), unchanged (a 304 left the file as it was) or failed with
// the reason; then --min-size.
void Conclude(TBatchItem& item, const TDownloadBatch::TDownload& download, const QSize& minimum) {
  item.Bytes = download.Readed;
  item.Readed = download.Readed;
  item.Received = download.Received;
  if (download.State == TDownloadBatch::TState::Succeeded) {
    item.Outcome = download.Unchanged ? TOutcome::Unchanged : TOutcome::Done;
    ApplyMinSize(item, minimum);
  } else {
    item.Outcome = TOutcome::Failed;
    item.Reason = download.Reason;
  }
}

// The report's items: the batch's, with the addresses the probe skipped put
// back in their places among them.
std::vector<TBatchItem> WithProbeSkips(const std::vector<TBatchItem>& items,
                                       const std::vector<TProbeSkip>* skipped) {
  if (skipped == nullptr || skipped->empty()) return items;
  std::vector<TBatchItem> all;
  all.reserve(items.size() + skipped->size());
  std::size_t next = 0;
  for (const TProbeSkip& skip : *skipped) {
    while (all.size() < skip.Index && next < items.size()) all.push_back(items[next++]);
    TBatchItem item;
    item.Address = skip.Address;
    item.Page = skip.Page;
    item.Outcome = TOutcome::Skipped;
    item.Reason = skip.Reason;
    all.push_back(std::move(item));
  }
  all.insert(all.end(), items.begin() + static_cast<std::ptrdiff_t>(next), items.end());
  return all;
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
    TDownloadBatch batch;
    QHash<QString, std::size_t> byTarget;  // the item of each download
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].Outcome != TOutcome::Pending) continue;
      if (!batch.Add(items[i].Address, items[i].File, items[i].Encoding)) {
        items[i].Outcome = TOutcome::Failed;
        items[i].Reason = QStringLiteral("another address of the batch writes ") + items[i].File;
        display.Ended(items[i]);
        continue;
      }
      byTarget.insert(items[i].File, i);
    }
    QEventLoop loop;
    batch.OnProgress = [&](const TDownloadBatch::TDownload& download, std::int32_t, std::int32_t) {
      TBatchItem& item = items[byTarget.value(download.Target)];
      item.Readed = download.Readed;
      item.Received = download.Received;
      display.Progressed();
    };
    batch.OnEnded = [&](const TDownloadBatch::TDownload& download) {
      TBatchItem& item = items[byTarget.value(download.Target)];
      Conclude(item, download, options_.MinSize);
      display.Ended(item);
      if (batch.Pending() == 0) loop.quit();
    };
    // Every address at once, as the window starts a batch.
    batch.StartAll();
    if (batch.Pending() > 0) loop.exec();
  }
  AwaitWorkerRelease();
  display.Finish();
  if (options_.Json)
    PrintText(QString::fromUtf8(
        JsonReport(WithProbeSkips(items, options_.ProbeSkipped), options_.Gathered)));
  const TBatchTally tally = TallyOf(items);
  return tally.Failed == 0 ? kExitOk : kExitFailed;
}
