#include "ListText.h"

#include <QItemSelectionModel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <algorithm>
#include <string_view>

#include "Unit_Function.h"

QStringList MemoLines(const QPlainTextEdit* memo) {
  const QString text = memo->toPlainText();
  if (text.isEmpty()) return {};
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.back().isEmpty()) lines.removeLast();
  for (QString& line : lines) {
    if (line.size() * 3 <= static_cast<qsizetype>(kMemoLineBytes)) continue;  // surely short
    const QByteArray bytes = line.toUtf8();
    if (static_cast<std::size_t>(bytes.size()) > kMemoLineBytes)
      line = QString::fromStdString(
          CutToBytes(std::string_view(bytes.constData(), bytes.size()), kMemoLineBytes));
  }
  return lines;
}

void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines) {
  QString text = lines.join(QLatin1Char('\n'));
  // A final empty line needs its own line break to count as a line.
  if (!lines.isEmpty() && lines.back().isEmpty()) text += QLatin1Char('\n');
  memo->setPlainText(text);
}

QString ListKeyOf(const QString& text) {
  QString key = text;
  for (QChar& c : key)
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) c = QChar(c.unicode() + 32);
  return key;
}

std::vector<bool> SelectionMask(const QListWidget* list) {
  std::vector<bool> mask(static_cast<std::size_t>(list->count()), false);
  for (const QItemSelectionRange& range : list->selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row)
      if (row >= 0 && static_cast<std::size_t>(row) < mask.size())
        mask[static_cast<std::size_t>(row)] = true;
  return mask;
}

void ReplaceItemsKeepingCaret(QListWidget* list, const QStringList& kept,
                              const std::vector<bool>& removed) {
  // The caret stays on its item when that stays, else on the item that
  // takes its place.
  const int caret = list->currentRow();
  int newCaret = -1;
  if (caret >= 0) {
    newCaret = 0;
    for (int i = 0; i < caret; ++i)
      if (!removed[static_cast<std::size_t>(i)]) ++newCaret;
  }
  list->clear();
  list->addItems(kept);
  if (newCaret >= 0 && !kept.isEmpty())
    list->setCurrentRow(std::min(newCaret, static_cast<int>(kept.size()) - 1),
                        QItemSelectionModel::NoUpdate);
}

QStringList ItemTexts(const QListWidget* list) {
  QStringList texts;
  texts.reserve(list->count());
  for (int i = 0, n = list->count(); i < n; ++i) texts << list->item(i)->text();
  return texts;
}
