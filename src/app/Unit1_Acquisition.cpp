// Batch acquisition of a page's image addresses (by the scan or the deep
// scan), the clipboard sniffer of the manual mode, and the two small commands
// of the page address box.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSet>

#include "ListText.h"
#include "PageImages.h"
#include "Unit1.h"
#include "Unit_Blacklist.h"
#include "Unit_Function.h"
#include "WindowReasons.h"

namespace {

Q_LOGGING_CATEGORY(lcAcquisition, "pixvane.acquisition")

// An entry as a list line reads it: cut to the memo's line buffer.
QString AsListLine(const QString& entry) {
  if (entry.size() * 3 <= static_cast<qsizetype>(kMemoLineBytes)) return entry;  // surely short
  const QByteArray bytes = entry.toUtf8();
  if (static_cast<std::size_t>(bytes.size()) <= kMemoLineBytes) return entry;
  return QString::fromStdString(
      CutToBytes(std::string_view(bytes.constData(), bytes.size()), kMemoLineBytes));
}

QSet<QString> KeysOf(const QStringList& entries) {
  QSet<QString> keys;
  keys.reserve(entries.size());
  for (const QString& entry : entries) keys.insert(ListKeyOf(entry));
  return keys;
}

// The lines of a copied text: CR LF, LF or CR end a line.
QStringList CopiedLines(const QString& text) {
  QString joined = text;
  joined.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  joined.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return joined.split(QLatin1Char('\n'));
}

// The line without the blanks and tabs around it.
QString WithoutBlanks(const QString& line) {
  qsizetype first = 0;
  qsizetype last = line.size();
  const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
  while (first < last && blank(line[first])) ++first;
  while (last > first && blank(line[last - 1])) --last;
  return line.mid(first, last - first);
}

// An address as the sniffer takes it: "http://" or "https://" in any letter
// case, and something after it.
bool IsCopiedAddress(const QString& line) {
  const QString key = ListKeyOf(line);
  for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")})
    if (key.startsWith(scheme) && key.size() > scheme.size()) return true;
  return false;
}

// The extractor's entries, each read as a list line.
QStringList ListLinesOf(const QStringList& raw) {
  QStringList lines;
  lines.reserve(raw.size());
  for (const QString& entry : raw) lines << AsListLine(entry);
  return lines;
}

// Why the page gave no list, in the window's words; the log keeps the
// fetch's own.
QString AcquisitionFailureText(const TPageImages& images) {
  if (images.DeepScanGaveUp) return QStringLiteral("深度扫描失败: 网页结构过于复杂, 未能读完");
  qCWarning(lcAcquisition).noquote()
      << "page failed:" << QString::fromStdString(images.Fetch.Reason);
  return QStringLiteral("网页读取失败: ") + InWindowLanguage(images.Fetch.Reason);
}

}  // namespace

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
  // The page read last comes back at the next start; a half-typed address
  // never read does not. The status bar shows the reading at once, so a
  // failure to store the address is only logged.
  if (address != Settings.PageAddress()) Remember(&TWindowSettings::SetPageAddress, address, true);
  SetStatusText(QStringLiteral("||||>>>>> 读取中,请稍候...(可能会存在短暂假死)"));
  ProcessMessages();

  // The page fetch blocks the window until it ends (at most 60 s).
  const TScanKind kind = CheckBox_DeepScan->isChecked() ? TScanKind::kDeep : TScanKind::kScan;
  const TPageImages images = GetPageImages(address.toStdString(), kind);
  if (!images.Listed()) {
    // The lists stay as they were.
    const QString failure = AcquisitionFailureText(images);
    SetStatusText(failure);
    ShowMessage(failure);
    return;
  }

  // The extractor's entries are kept exactly as it gave them (UTF-8 text);
  // the hidden memo only shows them.
  RawLinks.clear();
  RawLinks.reserve(static_cast<qsizetype>(images.Links.size()));
  for (const std::string& link : images.Links)
    RawLinks << QString::fromUtf8(link.data(), static_cast<qsizetype>(link.size()));
  SetMemoLines(Memo1, RawLinks);
  const QStringList lines = ListLinesOf(RawLinks);
  const QString encoding = QString::fromStdString(images.Encoding);
  for (const QString& line : lines) {
    if (encoding == QLatin1String("UTF-8"))
      QueryEncodings.remove(line);
    else
      QueryEncodings.insert(line, encoding);
  }
  ListBox_imglist->clear();
  ListBox_imglist->addItems(TBlacklist(ItemTexts(ListBox_imgheimingdan)).Screen(lines));
  SetStatusText(QStringLiteral("读取完成. 连接总数: ") + QString::number(RawLinks.size()));
}

std::string TForm1::QueryEncodingOf(const QString& address) const {
  return QueryEncodings.value(address).toStdString();
}

void TForm1::CheckBox_DeepScanClick(QObject*) {
  QString failure;
  if (!Settings.SetDeepScan(CheckBox_DeepScan->isChecked(), failure))
    SetStatusText(QStringLiteral("设置无法保存: ") + failure);
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
  QString text = (data != nullptr && data->hasText()) ? data->text() : QString();
  // What the clipboard held at startup is no new copy, until it holds
  // something else.
  if (!StartupClipboardText.isEmpty()) {
    if (text == StartupClipboardText) return;
    StartupClipboardText.clear();
  }
  if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0) text.truncate(nul);
  if (text.isEmpty() || !RadioButton2->isChecked()) return;
  // Each line that is an address, in its own letter case, unless the
  // blacklist or the pre-processing list holds it (letter case aside).
  const TBlacklist blacklist(ItemTexts(ListBox_imgheimingdan));
  QSet<QString> listed = KeysOf(ItemTexts(ListBox_imglist));
  for (const QString& rawLine : CopiedLines(text)) {
    const QString line = WithoutBlanks(rawLine);
    if (!IsCopiedAddress(line)) continue;
    const QString key = ListKeyOf(line);
    if (blacklist.Contains(line) || listed.contains(key)) continue;
    listed.insert(key);
    ListBox_imglist->addItem(line);
  }
}
