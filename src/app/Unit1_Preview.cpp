// The preview page "图片预览": the processed list as thumbnails with each
// image's size in pixels and its file size, learned from its first bytes
// while the page is shown, and the size filter that takes the images known
// to be too small out of the processed list.
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTimer>

#include "ListText.h"
#include "PreviewProbes.h"
#include "Unit1.h"
#include "WindowReasons.h"

namespace {

// The address an entry of the preview stands for.
constexpr int kPreviewAddressRole = Qt::UserRole;

// "12.3 KB", as the download page counts in KB; "512 B" below one KB.
QString FileSizeText(std::int64_t bytes) {
  if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
  if (bytes < 1024 * 1024) return QStringLiteral("%1 KB").arg(bytes / 1024.0, 0, 'f', 1);
  return QStringLiteral("%1 MB").arg(bytes / (1024.0 * 1024.0), 0, 'f', 1);
}

// What goes under the thumbnail: "W×H" (or, unknown, the reason) and the
// file size when it is known.
QString CaptionOf(const TImageProbe& answer) {
  QString caption = answer.Size.isValid()
                        ? QStringLiteral("%1×%2").arg(answer.Size.width()).arg(answer.Size.height())
                        : InWindowLanguage(answer.Reason);
  if (answer.FileBytes >= 0) caption += QLatin1Char('\n') + FileSizeText(answer.FileBytes);
  return caption;
}

// The addresses of the processed list, once each, in order; a blank line is
// no address.
QStringList PreviewAddresses(const QPlainTextEdit* memo) {
  QStringList addresses;
  QSet<QString> seen;
  for (const QString& line : MemoLines(memo))
    if (!line.trimmed().isEmpty() && !seen.contains(line)) {
      seen.insert(line);
      addresses << line;
    }
  return addresses;
}

// The least size of the filter's box; 0 (no limit) when it is empty.
int LeastPixels(const QLineEdit* edit) {
  return edit->text().trimmed().toInt();
}

}  // namespace

void TForm1::WirePreview() {
  previewProbes_ = std::make_unique<TPreviewProbes>();
  connect(previewProbes_.get(), &TPreviewProbes::Answered, this,
          [this](const QString& address) { ShowPreviewAnswer(address); });
  connect(Button_SizeFilter, &QPushButton::clicked, this,
          [this] { Guarded([&] { Button_SizeFilterClick(Button_SizeFilter); }); });
  connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
    if (PreviewShown())
      Guarded([&] { TabSheet_PreviewShow(TabSheet_Preview); });
    else
      previewProbes_->Want({});  // the probes leave the servers' slots to downloads
  });
  connect(Memo2, &QPlainTextEdit::textChanged, this,
          [this] { Guarded([&] { Memo2Change(Memo2); }); });
}

bool TForm1::PreviewShown() const {
  return PageControl1->currentWidget() == TabSheet_Preview;
}

void TForm1::TabSheet_PreviewShow(QObject*) {
  RefreshPreview();
}

void TForm1::Memo2Change(QObject*) {
  // One change of the list may come as several edits: the preview follows
  // once they are over.
  if (!PreviewShown() || previewRefreshPending_) return;
  previewRefreshPending_ = true;
  QTimer::singleShot(0, this, [this] {
    previewRefreshPending_ = false;
    if (PreviewShown()) Guarded([&] { RefreshPreview(); });
  });
}

void TForm1::RefreshPreview() {
  const QStringList addresses = PreviewAddresses(Memo2);
  ListView_Preview->clear();
  previewItems_.clear();
  for (const QString& address : addresses) {
    auto* item = new QListWidgetItem(ListView_Preview);
    item->setData(kPreviewAddressRole, address);
    item->setToolTip(address);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    previewItems_.insert(address, item);
    ShowPreviewAnswer(address);
  }
  // What is not known yet is asked for; probes of addresses that left the
  // list stop.
  previewProbes_->Want(addresses);
}

void TForm1::ShowPreviewAnswer(const QString& address) {
  QListWidgetItem* item = previewItems_.value(address);
  if (item == nullptr) return;
  const TPreviewAnswer* answer = previewProbes_->Answer(address);
  if (answer == nullptr) {
    item->setText(QStringLiteral("读取中..."));
    return;
  }
  const TImageProbe& probe = answer->Probe;
  item->setText(CaptionOf(probe));
  item->setIcon(answer->Icon);
  item->setToolTip(probe.Reason.empty()
                       ? address
                       : address + QLatin1Char('\n') + InWindowLanguage(probe.Reason));
}

void TForm1::Button_SizeFilterClick(QObject*) {
  const int width = LeastPixels(Edit_MinWidth);
  const int height = LeastPixels(Edit_MinHeight);
  // Only a known size can be too small: an image whose size is unknown stays.
  const auto tooSmall = [&](const QString& line) {
    const TPreviewAnswer* answer = previewProbes_->Answer(line);
    if (answer == nullptr || !answer->Probe.Size.isValid()) return false;
    const QSize size = answer->Probe.Size;
    return size.width() < width || size.height() < height;
  };
  const QStringList lines = MemoLines(Memo2);
  QStringList kept;
  for (const QString& line : lines)
    if (!tooSmall(line)) kept << line;
  if (kept.size() == lines.size()) return;
  SetMemoLines(Memo2, kept);
  SetProcessedCaption();
}
