// Type filters that fill the processed list from the pre-processing list.
// Each fill replaces the processed list (hand edits included) and sets the
// count caption; the pre-processing list is only read.
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>

#include "ListText.h"
#include "Unit1.h"
#include "Unit_TypeFilter.h"

namespace {

// The items whose address ends in pattern, unchanged and in list order.
QStringList ItemsEndingIn(const QListWidget* list, const std::string& pattern) {
  return AddressesOfType(ItemTexts(list), {pattern});
}

}  // namespace

void TForm1::SetProcessedCaption() {
  GroupBox4->setTitle(QStringLiteral("[已处理]图片列表 共") +
                      QString::number(MemoLines(Memo2).size()) + QStringLiteral("张图片"));
}

void TForm1::FillProcessedList(const QStringList& lines) {
  SetMemoLines(Memo2, lines);
  SetProcessedCaption();
}

void TForm1::Button18Click(QObject*) {
  Memo2->clear();
}

void TForm1::Button6Click(QObject*) {
  FillProcessedList(ItemTexts(ListBox_imglist));
}

void TForm1::Button7Click(QObject*) {
  FillProcessedList(ItemsEndingIn(ListBox_imglist, ".gif"));
}

void TForm1::Button8Click(QObject*) {
  FillProcessedList(ItemsEndingIn(ListBox_imglist, ".jpg"));
}

void TForm1::Button9Click(QObject*) {
  FillProcessedList(ItemsEndingIn(ListBox_imglist, ".jpeg"));
}

void TForm1::Button10Click(QObject*) {
  FillProcessedList(ItemsEndingIn(ListBox_imglist, ".png"));
}

void TForm1::Button11Click(QObject*) {
  FillProcessedList(ItemsEndingIn(ListBox_imglist, ".bmp"));
}

void TForm1::Button12Click(QObject*) {
  const QString typed = ComboBox_imgtype->currentText();
  if (typed.isEmpty()) {
    ShowMessage(QStringLiteral("请填写其他图片扩展名,如:gif"));
    return;
  }
  // gif, .gif, .GIF and ..gif all give ".gif"; a blank stays in the pattern.
  // The suffix compared is as long as the pattern, so "tiff", "webp" and
  // "jpeg" work as well as three-letter extensions.
  FillProcessedList(ItemsEndingIn(ListBox_imglist, TypePattern(typed.toStdString())));
}
