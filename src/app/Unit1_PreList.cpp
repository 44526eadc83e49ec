// Pop-up commands of the pre-processing list: delete the selected items,
// open the focused address, empty the list, and replace the processed list
// by the selected items.
#include <QListWidget>
#include <QPlainTextEdit>

#include "Seam.h"
#include "Unit1.h"

void TForm1::N1Click(QObject*) {
  // The items that stay, in their order: the same list as deleting the
  // selected ones from the last to the first, without moving every later
  // item once per deletion.
  QStringList kept;
  bool anySelected = false;
  for (int i = 0, n = ListBox_imglist->count(); i < n; ++i) {
    QListWidgetItem* item = ListBox_imglist->item(i);
    if (item->isSelected())
      anySelected = true;
    else
      kept << item->text();
  }
  if (!anySelected) return;
  ListBox_imglist->clear();
  ListBox_imglist->addItems(kept);
}

void TForm1::N4Click(QObject*) {
  const int focused = ListBox_imglist->currentRow();
  if (focused < 0) return;  // an empty list, or no item holds the caret
  Shell().OpenAddress(this, ListBox_imglist->item(focused)->text());
}

void TForm1::N5Click(QObject*) {
  ListBox_imglist->clear();
}

void TForm1::N8Click(QObject*) {
  QStringList selected;
  for (int i = 0, n = ListBox_imglist->count(); i < n; ++i) {
    QListWidgetItem* item = ListBox_imglist->item(i);
    if (item->isSelected()) selected << item->text();
  }
  FillProcessedList(selected);
}
