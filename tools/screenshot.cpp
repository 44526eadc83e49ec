// Renders the main window headless into PNG files, one per page named on the
// command line: screenshot <out-folder> [page...], pages being the tab
// captions' object names (TabSheet2, TabSheet5, TabSheet3, TabSheet1).
// The lists are filled with sample addresses so the picture shows them in use.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include "Seam.h"
#include "Unit1.h"

namespace {

class TSilentSeam : public TShellSeam {
 public:
  void MessageBox(QWidget*, const QString&) override {}
  void ErrorBox(QWidget*, const QString&) override {}
  void OpenAddress(QWidget*, const QString&) override {}
  void OpenFolder(QWidget*, const QString&) override {}
  std::optional<QString> BrowseForFolder(QWidget*) override { return std::nullopt; }
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  // The launcher goes to a throw-away desktop, not the user's.
  QTemporaryDir desktop;
  qputenv("XDG_DESKTOP_DIR", desktop.path().toLocal8Bit());
  TSilentSeam seam;
  TForm1Options options;
  options.Seam = &seam;
  options.ExecutablePath = QStringLiteral("/opt/pixvane/pixvane");
  TForm1 form(options);
  form.show();

  const QString site = QStringLiteral("http://images.example/gallery/");
  for (int i = 1; i <= 12; ++i)
    form.ListBox_imglist->addItem(site +
                                  QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
  form.ListBox_imglist->item(2)->setSelected(true);
  form.Memo2->setPlainText(site + "photo01.jpg\n" + site + "photo02.jpg\n" + site + "photo03.jpg");
  form.StatusPanel->setText(QStringLiteral("读取完成. 连接总数: 12"));
  form.ListBox_Download->addItems({site + "photo04.jpg", site + "photo05.jpg"});
  form.DownLoadProgressBar->setMaximum(262144);
  form.DownLoadProgressBar->setValue(183500);
  form.Edit_DownLoadSize_B->setText(QStringLiteral("256"));
  form.Edit_DownLoadSize_A->setText(QStringLiteral("179"));
  form.ListBox_imgheimingdan->addItem(QStringLiteral("http://ads.example/banner.gif"));

  QStringList pages;
  for (int i = 2; i < argc; ++i) pages << QString::fromLocal8Bit(argv[i]);
  if (pages.isEmpty()) pages << QStringLiteral("TabSheet2");
  for (const QString& page : pages) {
    auto* sheet = form.findChild<QWidget*>(page);
    if (sheet == nullptr) return 3;
    form.PageControl1->setCurrentWidget(sheet);
    QApplication::processEvents();
    if (!form.grab().save(out + "/" + page + ".png")) return 4;
  }
  return 0;
}
