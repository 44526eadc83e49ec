// Import of the processed list into the download list, the batch start that
// downloads every address at once, and the progress display. Each address
// keeps the file name chosen at import, unless a file of another address is
// there at the start. The start records every download it sets up; the
// component's done and error events record how it ended, and the completion
// monitor takes the outcomes from there.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "HTTPGet.h"
#include "ImageRequest.h"
#include "ListText.h"
#include "RequestUrl.h"
#include "TargetFiles.h"
#include "TargetNames.h"
#include "Unit1.h"

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
  ForgetEndedDownloads();
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

  const std::vector<TBatchEntry> batch = PrepareBatch();
  const bool wasStarting = starting_;
  starting_ = true;
  std::size_t next = 0;
  try {
    for (; next < batch.size(); ++next) {
      ProcessMessages();
      StartDownloadOf(batch[next]);
    }
  } catch (const std::exception& e) {
    // The addresses not started yet fail with the reason.
    for (; next < batch.size(); ++next) {
      const auto download = downloads_.find(batch[next].Target);
      if (download != downloads_.end() && download->State == TDownload::Waiting) {
        download->State = TDownload::Failed;
        download->Reason = QString::fromUtf8(e.what());
      }
    }
  }
  starting_ = wasStarting;
  Timer_CheckDownFile->start();
}

std::vector<TForm1::TBatchEntry> TForm1::PrepareBatch() {
  // What has ended is taken from the list first; then every item left is
  // part of this batch.
  SweepDownloadList();
  ForgetEndedDownloads();
  NameDownloadItems();
  targetnames::TTargetNames names;  // every item's name, so that a new one is given once
  for (int i = 0, n = ListBox_Download->count(); i < n; ++i)
    names.Reserve(DownloadNameOf(ListBox_Download->item(i)).toStdString());
  std::vector<TBatchEntry> batch;
  batch.reserve(static_cast<std::size_t>(ListBox_Download->count()));
  for (int i = 0, n = ListBox_Download->count(); i < n; ++i) {
    QListWidgetItem* item = ListBox_Download->item(i);
    const QString address = item->text();
    QString target = TargetPathOf(DownloadNameOf(item));
    if (!downloads_.contains(target)) target = WritableTargetOf(item, names);
    item->setData(kTargetPathRole, target);
    SetDownloadFailure(item, {});
    if (const auto running = downloads_.constFind(target); running != downloads_.cend()) {
      // An address whose file is still being written is left to that
      // download; another address never writes into it.
      if (running->Address != address)
        SetDownloadFailure(
            item, QStringLiteral("the download of another address is still writing ") + target);
      continue;
    }
    downloads_.insert(target, TDownload{address, TDownload::Waiting, {}});
    batch.push_back({address, target});
  }
  return batch;
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

void TForm1::StartDownloadOf(const TBatchEntry& entry) {
  const auto found = downloads_.find(entry.Target);
  if (found == downloads_.end() || found->State != TDownload::Waiting) return;
  const QString target = entry.Target;
  auto* download = new THTTPGet(this);
  download->BinaryData = true;
  download->UseCache = false;
  download->Agent = kImageAgent;
  download->AcceptTypes = kImageAcceptTypes;
  download->FileName = target.toStdString();
  // Sent as a browser sends the shown address: non-ASCII percent-encoded,
  // the query in the encoding of the page the address came from.
  download->URL =
      RequestUrlOf(RequestAddress(entry.Address).toStdString(), QueryEncodingOf(entry.Address));
  download->Origin = OriginOf(entry.Address);
  download->OnProgress = [this](QObject* Sender, std::int32_t TotalSize, std::int32_t Readed) {
    HTTPGetProgress(Sender, TotalSize, Readed);
  };
  // A component is released as soon as its download has ended. A whole
  // file loses its sidecar at once, whether or not its address is still
  // listed; a failed one keeps both for a later start.
  download->OnDoneFile = [this, target](QObject* Sender, const std::string& File,
                                        std::int32_t FileSize) {
    const bool whole = targetfiles::SweepWhole(target.toStdString());
    DownloadEnded(target, whole,
                  whole ? QString() : QStringLiteral("the downloaded file is gone: ") + target);
    HTTPGetDoneFile(Sender, File, FileSize);
    Sender->deleteLater();
  };
  download->OnError = [this, target](QObject* Sender, const std::string& Reason) {
    DownloadEnded(target, false, QString::fromStdString(Reason));
    Sender->deleteLater();
  };
  found->State = TDownload::Running;
  download->StartDownload();
}

void TForm1::ForgetEndedDownloads() {
  downloads_.removeIf([](const auto& entry) {
    return entry.value().State == TDownload::Succeeded || entry.value().State == TDownload::Failed;
  });
}

void TForm1::DownloadEnded(const QString& target, bool succeeded, const QString& reason) {
  const auto found = downloads_.find(target);
  if (found == downloads_.end()) return;
  found->State = succeeded ? TDownload::Succeeded : TDownload::Failed;
  found->Reason = reason;
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
  // Every chunk of every download comes here. The display shows whichever
  // download reported last, so each report only keeps its values; the
  // widgets take them at once when none were shown in the last 40 ms, and
  // otherwise when that time is up. Setting texts and the bar for every chunk
  // (a relayout of the status bar each time) would cost more than the
  // downloads themselves.
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
  SetStatusText(QStringLiteral("正在下载数据请稍候...") + QString::number(Readed));
  Edit_DownLoadSize_A->setText(QString::number(Readed / 1024));
  Edit_DownLoadSize_B->setText(QString::number(TotalSize / 1024));
}

void TForm1::HTTPGetDoneFile(QObject*, const std::string&, std::int32_t) {}
