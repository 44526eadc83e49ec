// The main window's construction, the wiring of every control's event to its
// handler, the startup sequence (FormCreate) and shutdown (FormDestroy).
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <exception>

#include "PreviewProbes.h"
#include "Seam.h"
#include "TargetNames.h"
#include "Unit_Blacklist.h"
#include "Unit_Function.h"
#include "Unit_Shortcuts.h"

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  if (options_.Seam != nullptr) {
    seam_ = options_.Seam;
  } else {
    ownedSeam_ = std::make_unique<TQtShellSeam>();
    seam_ = ownedSeam_.get();
  }
  BuildWindow();
  WireHandlers();
  FormCreate(this);
}

TForm1::~TForm1() {
  FormDestroy(this);
  // The pages and the processed list go with the window: the preview
  // follows none of their last changes.
  disconnect(PageControl1, nullptr, this, nullptr);
  disconnect(Memo2, nullptr, this, nullptr);
}

void TForm1::WireHandlers() {
  const auto click = [this](QPushButton* button, void (TForm1::*handler)(QObject*)) {
    connect(button, &QPushButton::clicked, this,
            [this, button, handler] { Guarded([&] { (this->*handler)(button); }); });
  };
  const auto menu = [this](QAction* action, void (TForm1::*handler)(QObject*)) {
    connect(action, &QAction::triggered, this,
            [this, action, handler] { Guarded([&] { (this->*handler)(action); }); });
  };
  click(ButtonGetPicUrlList, &TForm1::ButtonGetPicUrlListClick);
  click(Button16, &TForm1::Button16Click);
  click(Button18, &TForm1::Button18Click);
  click(Button6, &TForm1::Button6Click);
  click(Button7, &TForm1::Button7Click);
  click(Button8, &TForm1::Button8Click);
  click(Button9, &TForm1::Button9Click);
  click(Button10, &TForm1::Button10Click);
  click(Button11, &TForm1::Button11Click);
  click(Button12, &TForm1::Button12Click);
  click(Button5, &TForm1::Button5Click);
  click(Button15, &TForm1::Button15Click);
  click(Button14, &TForm1::Button14Click);
  click(Button13, &TForm1::Button13Click);
  click(Button2, &TForm1::Button2Click);
  click(Button1, &TForm1::Button1Click);
  click(Button_About, &TForm1::Button_AboutClick);
  click(Button3, &TForm1::Button3Click);
  click(Button17, &TForm1::Button17Click);
  click(Button4, &TForm1::Button4Click);
  menu(N2, &TForm1::N2Click);
  menu(N6, &TForm1::N6Click);
  menu(N1, &TForm1::N1Click);
  menu(N4, &TForm1::N4Click);
  menu(N5, &TForm1::N5Click);
  menu(N8, &TForm1::N8Click);
  menu(N3, &TForm1::N3Click);
  // The banner and the two footer labels.
  const auto label = [this](TClickableLabel* l, void (TForm1::*handler)(QObject*)) {
    connect(l, &TClickableLabel::clicked, this,
            [this, l, handler] { Guarded([&] { (this->*handler)(l); }); });
  };
  label(Image1, &TForm1::Image1Click);
  label(Label5, &TForm1::Label5Click);
  label(Label8, &TForm1::Label8Click);
  connect(Timer_CheckDownFile, &QTimer::timeout, this,
          [this] { Guarded([&] { Timer_CheckDownFileTimer(Timer_CheckDownFile); }); });
  connect(SavePath, &QLineEdit::editingFinished, this,
          [this] { Guarded([&] { SavePathExit(SavePath); }); });
  WireLists();
  WirePreview();
  WireBatch();
}

void TForm1::WireLists() {
  // The pop-up menus open on a right click over their list.
  connect(ListBox_imglist, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenu1->popup(ListBox_imglist->viewport()->mapToGlobal(at));
  });
  connect(ListBox_imgheimingdan, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) {
            PopupMenu2->popup(ListBox_imgheimingdan->viewport()->mapToGlobal(at));
          });

  // The download list opens an address at every click on an item, also one
  // that is selected already, and at every selection change the user makes
  // with the keys. A press of the mouse changes the selection too; that
  // change waits for the click, so a click opens its address once. Changes
  // the program makes are quiet.
  connect(ListBox_Download, &QListWidget::itemClicked, this,
          [this] { Guarded([&] { ListBox_DownloadClick(ListBox_Download); }); });
  connect(ListBox_Download, &QListWidget::itemSelectionChanged, this, [this] {
    // The status bar shows why the selected address failed.
    ShowSelectedDownloadReason();
    if (!quietDownloadList_ && !downloadListPressed_ &&
        !ListBox_Download->selectedItems().isEmpty())
      Guarded([&] { ListBox_DownloadClick(ListBox_Download); });
  });

  // Double-clicks on the two edits, the header and footer keeping their
  // right-anchored items in place, and right clicks over the two lists with
  // menus.
  for (QObject* watched : std::initializer_list<QObject*>{
           Url, FileName, Panel1, Panel2, ListBox_imglist->viewport(),
           ListBox_imgheimingdan->viewport(), ListBox_Download->viewport()})
    watched->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Resize:
      if (watched == Panel1 || watched == Panel2) PlaceAnchored();
      break;
    case QEvent::MouseButtonRelease: {
      if (watched == ListBox_Download->viewport()) {
        // The click itself (itemClicked) follows from this release.
        downloadListPressed_ = false;
        break;
      }
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton &&
          (watched == ListBox_imglist->viewport() || watched == ListBox_imgheimingdan->viewport()))
        return true;
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (watched == ListBox_Download->viewport()) {
        downloadListPressed_ = true;
        break;
      }
      // A right click over a list opens its menu without touching the
      // selection the menu's commands act on; the caret moves to the item
      // under the mouse.
      if (watched == ListBox_imglist->viewport() || watched == ListBox_imgheimingdan->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton) break;
        auto* list =
            watched == ListBox_imglist->viewport() ? ListBox_imglist : ListBox_imgheimingdan;
        if (QListWidgetItem* item = list->itemAt(mouse->position().toPoint()))
          list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        return true;
      }
      if (event->type() == QEvent::MouseButtonDblClick && (watched == Url || watched == FileName)) {
        // The edit's own handling first (it selects a word), then ours.
        watched->event(event);
        if (watched == Url)
          Guarded([&] { UrlDblClick(Url); });
        else
          Guarded([&] { FileNameDblClick(FileName); });
        return true;
      }
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- Startup and shutdown -------------------------------------------------

void TForm1::RunStartupStep(int step, const std::function<void()>& body) {
  // A failing step is reported and the later steps still run.
  Guarded([&] {
    if (options_.BeforeStartupStep) options_.BeforeStartupStep(step);
    body();
  });
}

void TForm1::FormCreate(QObject*) {
  const QString executable = options_.ExecutablePath.isEmpty()
                                 ? QCoreApplication::applicationFilePath()
                                 : options_.ExecutablePath;
  // 1. The desktop launcher, named by the caption as designed; written anew
  //    at every start, its result ignored.
  RunStartupStep(1, [&] {
    CreateShortcut(executable.toStdString(), windowTitle().toStdString(), std::string(), -1);
  });
  // 2. The caption gains the version, without a separator.
  RunStartupStep(2, [&] { setWindowTitle(windowTitle() + Edit_Ver->text()); });
  // 3. The program folder.
  RunStartupStep(3, [&] { AppDir = AppDirOf(executable); });
  // 4. The save folder starts as the one the user chose last; with none
  //    remembered, as the program folder, or when that cannot hold the
  //    user's files (an installed program), as the user's pictures folder.
  RunStartupStep(4, [&] {
    QString save = Settings.SaveFolder();
    if (!save.isEmpty()) {
      SavePath->setText(save);
      return;
    }
    save = AppDir;
    if (!ProgramFolderHoldsUserFiles(AppDir)) {
      const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
      if (!pictures.isEmpty())
        save = pictures.endsWith(QLatin1Char('/')) ? pictures : pictures + '/';
    }
    SavePath->setText(save);
  });
  // 5. Follow clipboard changes.
  RunStartupStep(5, [&] {
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { Guarded([&] { ClipboardChanged(); }); });
    ClipboardViewerJoined = true;
  });
  // 6. The clipboard keeps what the user copied before the start; that text
  //    is remembered so that it is never taken as a new copy.
  RunStartupStep(
      6, [&] { StartupClipboardText = QApplication::clipboard()->text(QClipboard::Clipboard); });
  // 7. The blacklist; any error here is swallowed.
  RunStartupStep(7, [&] {
    try {
      LoadBlacklist();
    } catch (...) {
    }
  });
  // 8. The two memos start empty.
  RunStartupStep(8, [&] {
    Memo1->clear();
    Memo2->clear();
  });
  // The page address of the command line, ready for "批量获取"; without
  // one, the page read last.
  if (!options_.Address.isEmpty())
    Url->setText(options_.Address);
  else if (const QString last = Settings.PageAddress(); !last.isEmpty())
    Url->setText(last);
}

void TForm1::FormDestroy(QObject*) {
  // A save folder typed but not yet left (the focus still in it) counts too.
  if (SavePath != nullptr && SavePath->isModified())
    Remember(&TWindowSettings::SetSaveFolder, SavePath->text(), true);
  if (ClipboardViewerJoined) {
    disconnect(QApplication::clipboard(), nullptr, this, nullptr);
    ClipboardViewerJoined = false;
  }
}

// ---- Services -------------------------------------------------------------

QString TForm1::StatusText() const {
  return StatusPanel->text();
}

void TForm1::SetStatusText(const QString& text) {
  StatusPanel->setText(text);
}

void TForm1::ShowMessage(const QString& text) {
  seam_->MessageBox(this, text);
}

void TForm1::ReportError(const QString& text) {
  seam_->ErrorBox(this, ErrorReportText(text));
}

void TForm1::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ReportError(QString::fromUtf8(e.what()));
  } catch (...) {
    ReportError(QStringLiteral("未知错误"));
  }
}

void TForm1::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::BringToFront(const QString& address) {
  if (!address.isEmpty()) {
    Url->setText(address);
    PageControl1->setCurrentWidget(TabSheet2);
  }
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

QString TForm1::TargetPathOf(const QString& name) const {
  return BatchFolder() + QLatin1Char('/') +
         QString::fromStdString(
             targetnames::FileNameOf(name.toStdString(), CheckBox_QiangZhiXiaZai->isChecked()));
}

QString TForm1::BatchFolder() const {
  const QString save = SavePath->text();
  if (save.isEmpty() || save.endsWith(QLatin1Char('/'))) return save + FileName->text();
  return save + QLatin1Char('/') + FileName->text();
}

QString AppDirOf(const QString& executablePath) {
  QString dir = QFileInfo(executablePath).absolutePath();
  return dir + QLatin1Char('/');
}
