// Import of the processed list into the download list, the batch start that
// downloads every address at once, and the progress display. Each address
// keeps the file name chosen at import, unless a file of another address is
// there at the start. The downloads themselves are the batch's
// (TDownloadBatch): it starts them, keeps how each ended, and tells the
// window of progress and of every end; the completion monitor takes the
// outcomes from there.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "ImageRequest.h"
#include "ListText.h"
#include "TargetFiles.h"
#include "TargetNames.h"
#include "Unit1.h"

namespace {

// How soon after a download's end the monitor looks, and how often the
// batch's progress is put into the status bar.
constexpr int kEndCheckMs = 50;
constexpr int kBatchStatusMs = 250;

QString MegabytesOf(qint64 bytes) {
  return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1);
}

}  // namespace

void TForm1::WireBatch() {
  batch_ = new TDownloadBatch(this);
  batch_->OnProgress = [this](const TDownloadBatch::TDownload&, std::int32_t TotalSize,
                              std::int32_t Readed) { HTTPGetProgress(batch_, TotalSize, Readed); };
  batch_->OnEnded = [this](const TDownloadBatch::TDownload& download) { DownloadEnded(download); };
  endCheck_ = new QTimer(this);
  endCheck_->setSingleShot(true);
  endCheck_->setInterval(kEndCheckMs);
  connect(endCheck_, &QTimer::timeout, this, [this] {
    if (Timer_CheckDownFile->isActive())
      Guarded([&] { Timer_CheckDownFileTimer(Timer_CheckDownFile); });
  });
  batchStatus_ = new QTimer(this);
  batchStatus_->setInterval(kBatchStatusMs);
  connect(batchStatus_, &QTimer::timeout, this, [this] { ShowBatchProgress(); });
}

void TForm1::Button5Click(QObject*) {
  if (Memo2->toPlainText().isEmpty()) {
    ShowMessage(QStringLiteral("已处理图片列表不能为空."));
    return;
  }
  ListBox_imglist->clear();
  quietDownloadList_ = true;
  ListBox_Download->clear();
  ListBox_Download->addItems(MemoLines(Memo2));
  // The names come from the list's order, so the same list always gives the
  // same names: a batch that was cut off resumes into its partial files.
  NameDownloadItems();
  quietDownloadList_ = false;
  // Downloads that still run stay known, so that a start leaves them alone.
  batch_->ForgetEnded();
  ClearProgress();
  PageControl1->setCurrentWidget(TabSheet5);
}

void TForm1::Button15Click(QObject*) {
  PageControl1->setCurrentWidget(TabSheet5);
}

void TForm1::Button14Click(QObject*) {
  if (FileName->text().isEmpty()) {
    ShowMessage(QStringLiteral("文件夹名不能为空."));
    return;
  }
  SetStatusText(QStringLiteral("请稍候正在批量下载图片..."));
  ProcessMessages();
  // The whole path, a missing save folder included; an existing folder is
  // used as it is, and a failure shows up as downloads that fail with the
  // reason.
  std::error_code ignored;
  std::filesystem::create_directories(BatchFolder().toStdString(), ignored);

  PrepareBatch();
  const bool wasStarting = starting_;
  starting_ = true;
  // Between two starts the window's events run, so that it stays painted
  // and answers while a long list is started.
  batch_->StartAll([] { ProcessMessages(); });
  starting_ = wasStarting;
  Timer_CheckDownFile->start();
  if (batch_->Pending() > 0) batchStatus_->start();
  // Downloads that ended while the start ran are seen at once too.
  if (!endCheck_->isActive()) endCheck_->start();
}

void TForm1::PrepareBatch() {
  // What has ended is taken from the list first; then every item left is
  // part of this batch.
  SweepDownloadList();
  batch_->ForgetEnded();
  NameDownloadItems();
  targetnames::TTargetNames names;  // every item's name, so that a new one is given once
  for (int i = 0, n = ListBox_Download->count(); i < n; ++i)
    names.Reserve(DownloadNameOf(ListBox_Download->item(i)).toStdString());
  for (int i = 0, n = ListBox_Download->count(); i < n; ++i) {
    QListWidgetItem* item = ListBox_Download->item(i);
    const QString address = item->text();
    QString target = TargetPathOf(DownloadNameOf(item));
    if (!batch_->Known(target)) target = WritableTargetOf(item, names);
    item->setData(kTargetPathRole, target);
    SetDownloadFailure(item, {});
    if (const TDownloadBatch::TDownload* running = batch_->Find(target)) {
      // An address whose file is still being written is left to that
      // download; another address never writes into it.
      if (running->Address != address)
        SetDownloadFailure(
            item, QStringLiteral("the download of another address is still writing ") + target);
      continue;
    }
    batch_->Add(address, target, QueryEncodingOf(address));
  }
}

QString TForm1::WritableTargetOf(QListWidgetItem* item, targetnames::TTargetNames& names) {
  // A file there that is not the address's own (another address's finished
  // file, or one whose origin is unknown) is left alone: the address takes
  // the next free name, which stays its name for later starts.
  const std::string origin = OriginOf(item->text());
  const auto writable = [&](const std::string& name) {
    return targetfiles::MayWrite(TargetPathOf(QString::fromStdString(name)).toStdString(), origin);
  };
  QString name = DownloadNameOf(item);
  if (!writable(name.toStdString())) {
    name = QString::fromStdString(names.NameFor(item->text().toStdString(), writable));
    item->setData(kTargetNameRole, name);
  }
  return TargetPathOf(name);
}

void TForm1::DownloadEnded(const TDownloadBatch::TDownload& download) {
  if (download.State == TDownloadBatch::TState::Succeeded)
    HTTPGetDoneFile(batch_, download.Target.toStdString(),
                    static_cast<std::int32_t>(std::min<qint64>(download.Readed, INT32_MAX)));
  // The end of a batch is seen at once, not only at the next tick.
  if (!endCheck_->isActive()) endCheck_->start();
}

void TForm1::ShowBatchProgress() {
  if (batch_->Pending() == 0) return;
  const TDownloadBatch::TTally tally = batch_->Tally();
  const double rate = tally.Seconds > 0 ? static_cast<double>(tally.Received) / tally.Seconds : 0.0;
  SetStatusText(QStringLiteral("已完成 %1/%2 个, %3 MB, %4 MB/s, 失败 %5")
                    .arg(tally.Ended)
                    .arg(tally.Total)
                    .arg(MegabytesOf(tally.Bytes), MegabytesOf(static_cast<qint64>(rate)))
                    .arg(tally.Failed));
}

void TForm1::NameDownloadItems() {
  targetnames::TTargetNames names;
  const int n = ListBox_Download->count();
  for (int i = 0; i < n; ++i)
    if (const QString name = DownloadNameOf(ListBox_Download->item(i)); !name.isEmpty())
      names.Reserve(name.toStdString());
  for (int i = 0; i < n; ++i) {
    QListWidgetItem* item = ListBox_Download->item(i);
    if (!DownloadNameOf(item).isEmpty()) continue;
    item->setData(kTargetNameRole,
                  QString::fromStdString(names.NameFor(item->text().toStdString())));
    SetDownloadFailure(item, {});
  }
}

void TForm1::HTTPGetProgress(QObject*, std::int32_t TotalSize, std::int32_t Readed) {
  // Every chunk of every download comes here. The bar and the two size boxes
  // show whichever download reported last, so each report only keeps its
  // values; the widgets take them at once when none were shown in the last
  // 40 ms, and otherwise when that time is up. Setting texts and the bar for
  // every chunk would cost more than the downloads themselves. The status
  // bar shows the batch as a whole (ShowBatchProgress).
  shownProgress_ = {TotalSize, Readed};
  if (progressPaintPending_) return;
  ShowProgress();
  progressPaintPending_ = true;
  QTimer::singleShot(40, this, [this] {
    progressPaintPending_ = false;
    if (shownProgress_ != appliedProgress_) ShowProgress();
  });
}

void TForm1::ShowProgress() {
  appliedProgress_ = shownProgress_;
  const auto [TotalSize, Readed] = shownProgress_;
  // The announced size is the bar's maximum and the bytes so far its
  // position. An unknown size (0) shows an empty bar rather than the busy
  // animation, and a position outside the range is clamped to it.
  const int maximum = std::max<std::int32_t>(TotalSize, 0);
  DownLoadProgressBar->setRange(0, maximum > 0 ? maximum : 1);
  DownLoadProgressBar->setValue(std::clamp<std::int32_t>(Readed, 0, maximum));
  Edit_DownLoadSize_A->setText(QString::number(Readed / 1024));
  Edit_DownLoadSize_B->setText(QString::number(TotalSize / 1024));
}

void TForm1::ClearProgress() {
  shownProgress_ = appliedProgress_ = {0, 0};
  DownLoadProgressBar->setRange(0, 100);
  DownLoadProgressBar->setValue(0);
  Edit_DownLoadSize_A->clear();
  Edit_DownLoadSize_B->clear();
}

void TForm1::HTTPGetDoneFile(QObject*, const std::string&, std::int32_t) {}
