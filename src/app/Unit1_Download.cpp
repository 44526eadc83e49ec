// Import of the processed list into the download list, the batch start that
// downloads every address at once, and the progress display.
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <array>

#include "HTTPGet.h"
#include "Unit1.h"

namespace {

const std::string kImageAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Maxthon; .NET CLR 1.1.4322)";
const std::string kImageAcceptTypes =
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*";

// The address with today's date tag (eight digits, local date), so that no
// cache between here and the server answers in the server's place. An
// address that already has a query gets the tag as one more parameter.
QString RequestAddress(const QString& address) {
  const QString tag = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
  return address + (address.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) + tag;
}

}  // namespace

void TForm1::Button5Click(QObject*) {
  if (Memo2->toPlainText().isEmpty()) {
    ShowMessage(QStringLiteral("已处理图片列表不能为空."));
    return;
  }
  ListBox_imglist->clear();
  quietDownloadList_ = true;
  ListBox_Download->clear();
  ListBox_Download->addItems(MemoLines(Memo2));
  quietDownloadList_ = false;
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
  try {
    SetStatusText(QStringLiteral("请稍候正在批量下载图片..."));
    ProcessMessages();
    // One level only; an existing folder is used as it is, and a failure
    // shows up as addresses that stay in the list.
    QDir().mkdir(SavePath->text() + FileName->text());

    const int n = ListBox_Download->count();
    for (int i = 0; i < n; ++i) {
      ProcessMessages();
      // The list may have shrunk while events ran; the start then ends here.
      if (i >= ListBox_Download->count()) return;
      const QString address = ListBox_Download->item(i)->text();
      const QString target = TargetPathOf(address);
      // No two workers ever write one file: an address whose file is still
      // being written by an earlier start is left to that download.
      if (activeTargets_.contains(target)) continue;

      auto* download = new THTTPGet(this);
      download->BinaryData = true;
      download->UseCache = false;
      download->Agent = kImageAgent;
      download->AcceptTypes = kImageAcceptTypes;
      download->FileName = target.toStdString();
      download->URL = RequestAddress(address).toStdString();
      download->OnProgress = [this](QObject* Sender, std::int32_t TotalSize, std::int32_t Readed) {
        HTTPGetProgress(Sender, TotalSize, Readed);
      };
      download->OnDoneFile = [this, target](QObject* Sender, const std::string& File,
                                            std::int32_t FileSize) {
        activeTargets_.erase(target);
        HTTPGetDoneFile(Sender, File, FileSize);
      };
      download->OnError = [this, target](QObject*) { activeTargets_.erase(target); };
      activeTargets_.insert(target);
      download->StartDownload();
    }
    Timer_CheckDownFile->start();
  } catch (...) {
    // The start ends silently; addresses after the failing one are not started.
  }
}

void TForm1::HTTPGetProgress(QObject*, std::int32_t TotalSize, std::int32_t Readed) {
  // Every chunk of every download comes here, so the display takes the new
  // values at once but is painted at most every 40 ms: repainting it for each
  // chunk would cost more than the downloads themselves.
  const std::array<QWidget*, 4> display = {DownLoadProgressBar, StatusPanel, Edit_DownLoadSize_A,
                                           Edit_DownLoadSize_B};
  if (!progressPaintPending_) {
    progressPaintPending_ = true;
    for (QWidget* w : display) w->setUpdatesEnabled(false);
    QTimer::singleShot(40, this, [this, display] {
      progressPaintPending_ = false;
      for (QWidget* w : display) w->setUpdatesEnabled(true);  // repaints with the latest values
    });
  }
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
