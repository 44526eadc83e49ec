// The texts of the window's lists and memos, as the handlers read and write
// them.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QListWidget;
class QPlainTextEdit;

// The memo's lines as the list commands read them: the text after a final
// line break is no line, and each line is cut to 4096 bytes of UTF-8.
QStringList MemoLines(const QPlainTextEdit* memo);

// Replaces the memo's text by these lines, so that MemoLines gives them back.
void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines);

// The whole-entry key of the lists' case-insensitive search: "A" to "Z"
// folded to "a" to "z", every other character kept.
QString ListKeyOf(const QString& text);

// For each item of the list, whether it is selected. Read from the selection
// ranges at once: asking each item costs a search of the whole selection.
std::vector<bool> SelectionMask(const QListWidget* list);

// Replaces the list's items by kept (the items whose removed flag is not
// set, in order), keeping the caret on its item or its successor.
void ReplaceItemsKeepingCaret(QListWidget* list, const QStringList& kept,
                              const std::vector<bool>& removed);

// The texts of all items of a list, in order.
QStringList ItemTexts(const QListWidget* list);
