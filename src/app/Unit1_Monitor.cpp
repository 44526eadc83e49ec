// The completion monitor: once a second, and within 50 ms of a download's
// end, every address whose download this batch started has succeeded, and
// whose file is there, leaves the download list (its sidecar went when its
// download ended); an address whose download failed stays, marked, with the
// reason. When every download has ended and the list is empty, or holds only
// failed addresses, the monitor stops and says how the batch went. A click
// on the download list opens the selected address.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>

#include "Seam.h"
#include "Unit1.h"
#include "WindowReasons.h"

namespace {

// The failure message of a batch, in the window's voice.
QString FailureMessage(int failed) {
  return QStringLiteral(
             "下载任务结束: %1 个图片下载失败, 其地址仍在下载列表中(鼠标指向地址可查看原因), "
             "再次点击\"开始下载\"可重试.")
      .arg(failed);
}

}  // namespace

void TForm1::Timer_CheckDownFileTimer(QObject*) {
  try {
    const TSweep sweep = SweepDownloadList();
    if (starting_ || sweep.Pending || batch_->Pending() > 0) return;
    // An address that was never started (imported while a batch ran) keeps
    // the batch open: no message claims that it is done.
    if (ListBox_Download->count() > sweep.Failed) return;
    // Every download has ended; their outcomes are on the items now. Off
    // first, so no tick comes while the message is open.
    Timer_CheckDownFile->stop();
    batchStatus_->stop();
    const TDownloadBatch::TTally tally = batch_->Tally();
    batch_->ForgetEnded();
    if (sweep.Failed == 0) {
      // The outcome stays in the status bar, in place of the progress.
      SetStatusText(QStringLiteral("下载任务完成: %1 个图片, %2 MB")
                        .arg(tally.Succeeded)
                        .arg(QString::number(static_cast<double>(tally.Bytes) / 1e6, 'f', 1)));
      ShowMessage(QStringLiteral("下载任务完成"));
      PageControl1->setCurrentWidget(TabSheet2);
    } else {
      SetStatusText(QStringLiteral("下载任务结束: %1 个图片下载失败").arg(sweep.Failed));
      ShowMessage(FailureMessage(sweep.Failed));
    }
  } catch (...) {
    quietDownloadList_ = false;  // the next tick tries again
  }
}

TForm1::TSweep TForm1::SweepDownloadList() {
  TSweep sweep;
  const QListWidgetItem* caret = ListBox_Download->currentItem();
  bool caretOrSelectionRemoved = false;
  quietDownloadList_ = true;
  // Every address present now is examined once; removing one does not skip
  // its neighbour.
  for (int i = 0; i < ListBox_Download->count();) {
    QListWidgetItem* item = ListBox_Download->item(i);
    const QString target = item->data(kTargetPathRole).toString();
    using TState = TDownloadBatch::TState;
    const TDownloadBatch::TDownload* found = batch_->Find(target);
    if (found != nullptr && found->Address == item->text()) {
      if (found->State == TState::Waiting || found->State == TState::Running) {
        sweep.Pending = true;
      } else if (found->State == TState::Succeeded && QFileInfo(target).isFile()) {
        caretOrSelectionRemoved = caretOrSelectionRemoved || item == caret || item->isSelected();
        delete ListBox_Download->takeItem(i);
        continue;
      } else if (found->State == TState::Succeeded) {
        batch_->Fail(target, QStringLiteral("the downloaded file is gone: ") + target);
      }
      if (found->State == TState::Failed && DownloadFailureOf(item) != found->Reason)
        SetDownloadFailure(item, found->Reason);
    }
    if (!DownloadFailureOf(item).isEmpty()) ++sweep.Failed;
    ++i;
  }
  // The list picks no other item in place of a removed one: the user's next
  // click is a selection of its own. Otherwise selection and caret stay.
  if (caretOrSelectionRemoved) {
    ListBox_Download->setCurrentRow(-1);
    ListBox_Download->clearSelection();
  }
  quietDownloadList_ = false;
  return sweep;
}

void TForm1::SetDownloadFailure(QListWidgetItem* item, const QString& reason) {
  const QString name = DownloadNameOf(item);
  const QString file = QStringLiteral("文件名: ") + name;
  item->setData(kFailureRole, reason.isEmpty() ? QVariant() : QVariant(reason));
  if (reason.isEmpty()) {
    item->setToolTip(file);
    item->setIcon(QIcon());
    item->setData(Qt::ForegroundRole, QVariant());
  } else {
    item->setToolTip(QStringLiteral("下载失败: ") + ShownReason(reason.toStdString()) +
                     QLatin1Char('\n') + file);
    item->setIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
    item->setForeground(QColor(Qt::red));
  }
  if (item->isSelected()) ShowSelectedDownloadReason();
}

void TForm1::ShowSelectedDownloadReason() {
  const QList<QListWidgetItem*> selected = ListBox_Download->selectedItems();
  if (selected.isEmpty()) return;
  if (const QString reason = DownloadFailureOf(selected.front()); !reason.isEmpty())
    SetStatusText(QStringLiteral("下载失败: ") + ShownReason(reason.toStdString()));
}

void TForm1::ListBox_DownloadClick(QObject*) {
  const QList<QListWidgetItem*> selected = ListBox_Download->selectedItems();
  if (selected.isEmpty()) return;
  Shell().OpenAddress(this, selected.front()->text());
}

QString DownloadNameOf(const QListWidgetItem* item) {
  return item->data(kTargetNameRole).toString();
}

QString DownloadFailureOf(const QListWidgetItem* item) {
  return item->data(kFailureRole).toString();
}

QString ShownReason(const std::string& reason) {
  return InWindowLanguage(reason);
}
