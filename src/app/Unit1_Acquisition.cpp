// Batch acquisition of a page's image addresses, the clipboard sniffer of the
// manual mode, and the two small commands of the page address box.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSet>

#include "GetLinks.h"
#include "Unit1.h"
#include "Unit_Function.h"

void TForm1::ButtonGetPicUrlListClick(QObject*) {
  if (!RadioButton1->isChecked()) {
    ShowMessage(QStringLiteral("请选中批量模式."));
    return;
  }
  const QString address = Url->text();
  if (address.isEmpty() || address == QLatin1String("http://")) {
    ShowMessage(QStringLiteral("请填写网络链接."));
    return;
  }
  SetStatusText(QStringLiteral("||||>>>>> 读取中,请稍候...(可能会存在短暂假死)"));
  ProcessMessages();

  // The page fetch blocks the window until it ends.
  const std::vector<std::string> links = GetImageLinks(address.toStdString());

  // The raw result, one address per line; bytes that are not UTF-8 (a GBK
  // page) are converted as they enter the memo.
  QStringList raw;
  raw.reserve(static_cast<qsizetype>(links.size()));
  for (const std::string& link : links) raw << QString::fromStdString(ToListText(link));
  SetMemoLines(Memo1, raw);

  // Rebuild the pre-processing list from the memo, leaving out repeats and
  // blacklisted addresses (whole entries, letter case aside).
  ListBox_imglist->clear();
  QSet<QString> blacklisted;
  for (const QString& entry : ItemTexts(ListBox_imgheimingdan))
    blacklisted.insert(ListKeyOf(entry));
  const QStringList lines = MemoLines(Memo1);
  QSet<QString> listed;
  QStringList items;
  for (const QString& line : lines) {
    const QString key = ListKeyOf(line);
    if (listed.contains(key) || blacklisted.contains(key)) continue;
    listed.insert(key);
    items << line;
  }
  ListBox_imglist->addItems(items);
  SetStatusText(QStringLiteral("读取完成. 连接总数: ") + QString::number(lines.size()));
}

void TForm1::Button16Click(QObject*) {
  Url->clear();
  Url->paste();
}

void TForm1::UrlDblClick(QObject*) {
  Url->selectAll();
}

void TForm1::ClipboardChanged() {
  const QMimeData* data = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (data == nullptr || !data->hasText()) return;
  QString text = data->text();
  if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0) text.truncate(nul);
  // Read and folded in either mode; only then is the mode looked at.
  const QString lowered = ListKeyOf(text);
  if (!RadioButton2->isChecked()) return;
  // Addresses of both schemes are taken: almost every image address today is
  // a secure one.
  if (!lowered.startsWith(QLatin1String("http://")) &&
      !lowered.startsWith(QLatin1String("https://")))
    return;
  if (IndexOfIgnoreCase(ListBox_imglist, lowered) >= 0) return;
  ListBox_imglist->addItem(lowered);
}
