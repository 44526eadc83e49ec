// The blacklist commands. The list box is the master copy; the file mirrors
// it after every change and is read once at startup. The file's rules, its
// path and the membership test belong to TBlacklist (Unit_Blacklist).
#include <QListWidget>
#include <QPushButton>
#include <stdexcept>

#include "ListText.h"
#include "Unit1.h"
#include "Unit_Blacklist.h"

QString TForm1::BlacklistPath() const {
  return ::BlacklistPath(AppDir);
}

void TForm1::LoadBlacklist() {
  // A missing or unreadable file leaves the list as it is, silently.
  TBlacklist blacklist;
  QString failure;
  if (!blacklist.Load(BlacklistReadPath(AppDir), failure)) return;
  ListBox_imgheimingdan->clear();
  ListBox_imgheimingdan->addItems(blacklist.Entries());
}

void TForm1::SaveBlacklist() {
  const QString path = BlacklistPath();
  QString failure;
  if (!TBlacklist(ItemTexts(ListBox_imgheimingdan)).Save(path, failure))
    throw std::runtime_error(
        QStringLiteral("无法保存黑名单文件 \"%1\": %2").arg(path, failure).toStdString());
}

void TForm1::N2Click(QObject*) {
  const int focused = ListBox_imglist->currentRow();
  if (focused < 0) return;  // an empty list, or no item holds the caret
  const QString address = ListBox_imglist->item(focused)->text();
  if (TBlacklist(ItemTexts(ListBox_imgheimingdan)).Contains(address)) {
    ShowMessage(QStringLiteral("该黑名单已存在"));
    return;
  }
  ListBox_imgheimingdan->addItem(address);
  delete ListBox_imglist->takeItem(focused);
  SaveBlacklist();
}

void TForm1::N6Click(QObject*) {
  try {
    const std::vector<bool> mask = SelectionMask(ListBox_imglist);
    QStringList selected;
    for (int i = 0, n = ListBox_imglist->count(); i < n; ++i)
      if (mask[static_cast<std::size_t>(i)]) selected << ListBox_imglist->item(i)->text();
    ListBox_imgheimingdan->addItems(selected);
    // Acquire the page again, as a click on its button does, so the new
    // entries drop out of the pre-processing list.
    ButtonGetPicUrlListClick(ButtonGetPicUrlList);
  } catch (...) {
    // Errors of the adding and the acquisition are swallowed; the save runs.
  }
  SaveBlacklist();
}

void TForm1::N3Click(QObject*) {
  const std::vector<bool> selected = SelectionMask(ListBox_imgheimingdan);
  QStringList kept;
  for (int i = 0, n = ListBox_imgheimingdan->count(); i < n; ++i)
    if (!selected[static_cast<std::size_t>(i)]) kept << ListBox_imgheimingdan->item(i)->text();
  if (kept.size() != ListBox_imgheimingdan->count()) {
    ReplaceItemsKeepingCaret(ListBox_imgheimingdan, kept, selected);
  }
  SaveBlacklist();
}

void TForm1::Button1Click(QObject*) {
  ListBox_imgheimingdan->clear();
  SaveBlacklist();
}
