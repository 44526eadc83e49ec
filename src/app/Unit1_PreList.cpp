// Pop-up commands of the pre-processing list: delete the selected items,
// open the focused address, empty the list, and replace the processed list
// by the selected items.
#include <QListWidget>
#include <QPlainTextEdit>

#include "ListText.h"
#include "Seam.h"
#include "Unit1.h"

void TForm1::N1Click(QObject*) {
  // The items that stay, in their order: the same list as deleting the
  // selected ones from the last to the first, without moving every later
  // item once per deletion.
  const std::vector<bool> selected = SelectionMask(ListBox_imglist);
  QStringList kept;
  for (int i = 0, n = ListBox_imglist->count(); i < n; ++i)
    if (!selected[static_cast<std::size_t>(i)]) kept << ListBox_imglist->item(i)->text();
  if (kept.size() == ListBox_imglist->count()) return;
  ReplaceItemsKeepingCaret(ListBox_imglist, kept, selected);
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
  const std::vector<bool> selected = SelectionMask(ListBox_imglist);
  QStringList lines;
  for (int i = 0, n = ListBox_imglist->count(); i < n; ++i)
    if (selected[static_cast<std::size_t>(i)]) lines << ListBox_imglist->item(i)->text();
  FillProcessedList(lines);
}
