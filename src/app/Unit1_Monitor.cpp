// The completion monitor: once a second every address whose target file
// exists leaves the download list and loses its resume sidecar; when the list
// is empty the batch is reported complete. A click on the download list opens
// the selected address.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>

#include "Seam.h"
#include "Unit1.h"

void TForm1::Timer_CheckDownFileTimer(QObject*) {
  try {
    quietDownloadList_ = true;
    // Every address present at the start of the tick is examined once;
    // removing one does not skip its neighbour.
    for (int i = 0; i < ListBox_Download->count();) {
      bool finished = false;
      try {
        const QString target = TargetPathOf(ListBox_Download->item(i)->text());
        // A file, not a folder, counts.
        if (QFileInfo(target).isFile()) {
          QFile::remove(target + QStringLiteral(".log"));
          finished = true;
        }
      } catch (...) {
        // An address that fails is left for the next tick.
      }
      if (finished)
        delete ListBox_Download->takeItem(i);
      else
        ++i;
    }
    // The list picks no other item in place of a removed one: the user's
    // next click is a selection of its own.
    ListBox_Download->setCurrentRow(-1);
    ListBox_Download->clearSelection();
    quietDownloadList_ = false;
    if (ListBox_Download->count() == 0) {
      // Off first, so no tick comes while the message is open.
      Timer_CheckDownFile->stop();
      ShowMessage(QStringLiteral("下载任务完成"));
      SetStatusText(QStringLiteral("..."));
      PageControl1->setCurrentWidget(TabSheet2);
    }
  } catch (...) {
    quietDownloadList_ = false;
  }
}

void TForm1::ListBox_DownloadClick(QObject*) {
  const QList<QListWidgetItem*> selected = ListBox_Download->selectedItems();
  if (selected.isEmpty()) return;
  Shell().OpenAddress(this, selected.front()->text());
}
