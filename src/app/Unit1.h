// The main window, Form1 of class TForm1. Every control is a member named by
// its design name (also its objectName); every behaviour is a handler named
// after its control and event. The handlers live in one file per group:
//   Unit1.cpp              construction, wiring, startup (FormCreate/FormDestroy)
//   Unit1_Layout.cpp       the window's frame: header, footer, status bar, menus
//   Unit1_Pages.cpp        the controls of the four pages
//   Unit1_Links.cpp        publisher links and the exit button
//   Unit1_Acquisition.cpp  batch acquisition, clipboard sniffing, paste
//   Unit1_Filters.cpp      type filters of the processed list
//   Unit1_Blacklist.cpp    the blacklist and its file
//   Unit1_PreList.cpp      pop-up commands of the pre-processing list
//   Unit1_Download.cpp     import, batch start, progress display
//   Unit1_Monitor.cpp      completion monitor, opening a download address
//   Unit1_SaveFolder.cpp   save folder browser and view
//   Unit1_Preview.cpp      the preview page: thumbnails, sizes, size filter
//   Unit1_Settings.cpp     the choices remembered across starts
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ClickableLabel.h"
#include "Unit1_Settings.h"
#include "Unit_Batch.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QAction;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class TShellSeam;
class TPreviewProbes;
namespace targetnames {
class TTargetNames;
}

// What a test may change about the window's surroundings.
struct TForm1Options {
  // Dialogs and shell; null means the real ones.
  TShellSeam* Seam = nullptr;
  // The executable's full path; empty means this process's executable.
  QString ExecutablePath;
  // Called before each of the eight startup steps with its number; a throw
  // here fails that step.
  std::function<void(int)> BeforeStartupStep;
  // The page address given on the command line; empty: Url keeps "http://".
  QString Address;
};

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Controls -------------------------------------------------------
  // Header
  QWidget* Panel1 = nullptr;
  TClickableLabel* Image1 = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit_Ver = nullptr;
  QTabWidget* PageControl1 = nullptr;
  // Page "图片获取"
  QWidget* TabSheet2 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QRadioButton* RadioButton1 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* Url = nullptr;
  QPushButton* ButtonGetPicUrlList = nullptr;
  QPushButton* Button16 = nullptr;  // "粘贴"
  QRadioButton* RadioButton2 = nullptr;
  QCheckBox* CheckBox_DeepScan = nullptr;  // the deep scan for 批量获取, beside the two modes
  QSplitter* Splitter2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QListWidget* ListBox_imglist = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QGroupBox* GroupBox5 = nullptr;
  QPushButton* Button18 = nullptr;  // "清空"
  QPushButton* Button6 = nullptr;   // "全部"
  QPushButton* Button7 = nullptr;   // "gif"
  QPushButton* Button8 = nullptr;   // "jpg"
  QPushButton* Button9 = nullptr;   // "jpeg"
  QPushButton* Button10 = nullptr;  // "png"
  QPushButton* Button11 = nullptr;  // "bmp"
  QPushButton* Button12 = nullptr;  // "其他"
  QComboBox* ComboBox_imgtype = nullptr;
  QLabel* Label2 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QWidget* Panel3 = nullptr;
  QPushButton* Button5 = nullptr;   // "导入下载列表 ->"
  QPushButton* Button15 = nullptr;  // "查看下载列表 ->"
  // Page "下载列表"
  QWidget* TabSheet5 = nullptr;
  QGroupBox* GroupBox8 = nullptr;
  QGroupBox* GroupBox9 = nullptr;
  QListWidget* ListBox_Download = nullptr;
  QSplitter* Splitter1 = nullptr;
  QPlainTextEdit* Memo3 = nullptr;
  QGroupBox* GroupBox11 = nullptr;
  QLabel* Label9 = nullptr;
  QLineEdit* Edit_DownLoadSize_B = nullptr;
  QLineEdit* Edit_DownLoadSize_A = nullptr;
  QProgressBar* DownLoadProgressBar = nullptr;
  QGroupBox* GroupBox10 = nullptr;
  QLineEdit* SavePath = nullptr;
  QPushButton* Button13 = nullptr;  // "..."
  QLabel* Label4 = nullptr;
  QLineEdit* FileName = nullptr;
  QPushButton* Button2 = nullptr;  // "查看"
  QWidget* Panel4 = nullptr;
  QPushButton* Button14 = nullptr;  // "开始下载"
  QCheckBox* CheckBox_QiangZhiXiaZai = nullptr;
  // Page "图片黑名单"
  QWidget* TabSheet3 = nullptr;
  QGroupBox* GroupBox6 = nullptr;
  QGroupBox* GroupBox7 = nullptr;
  QListWidget* ListBox_imgheimingdan = nullptr;
  QGroupBox* GroupBox13 = nullptr;
  QPushButton* Button1 = nullptr;  // "清空列表"
  // Page "软件更新"
  QWidget* TabSheet1 = nullptr;
  QGroupBox* GroupBox12 = nullptr;
  QPlainTextEdit* Memo4 = nullptr;
  // Footer
  QWidget* Panel2 = nullptr;
  TClickableLabel* Label5 = nullptr;
  TClickableLabel* Label8 = nullptr;
  QPushButton* Button4 = nullptr;   // "退出"
  QPushButton* Button17 = nullptr;  // "在线版"
  QPushButton* Button3 = nullptr;   // "软件更新"
  QPushButton* Button_About = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel = nullptr;  // the status bar's one text panel
  // Pop-up menus
  QMenu* PopupMenu1 = nullptr;
  QAction* N2 = nullptr;
  QAction* N6 = nullptr;
  QAction* N1 = nullptr;
  QAction* N4 = nullptr;
  QAction* N5 = nullptr;
  QAction* N7 = nullptr;
  QAction* N8 = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QAction* N3 = nullptr;
  // Completion monitor
  QTimer* Timer_CheckDownFile = nullptr;
  // Page "图片预览" (after "图片获取")
  QWidget* TabSheet_Preview = nullptr;
  QGroupBox* GroupBox_Preview = nullptr;
  QLabel* Label_MinWidth = nullptr;
  QLineEdit* Edit_MinWidth = nullptr;
  QLabel* Label_MinHeight = nullptr;
  QLineEdit* Edit_MinHeight = nullptr;
  QPushButton* Button_SizeFilter = nullptr;
  QListWidget* ListView_Preview = nullptr;

  // ---- State ----------------------------------------------------------
  // The executable's folder with one trailing "/", set by FormCreate.
  QString AppDir;
  // Whether the window follows clipboard changes (joined at startup, left
  // at destruction).
  bool ClipboardViewerJoined = false;
  // The clipboard's text when the program started: never taken as a copy.
  QString StartupClipboardText;
  // The extractor's entries of the last acquisition, exactly as it gave them
  // (Memo1 shows them; the pre-processing list is rebuilt from these).
  QStringList RawLinks;
  // The encoding of the page each acquired address was found on, when it is
  // not UTF-8, by the address as listed: its query is sent in it. Addresses
  // typed, pasted or edited are not in it and go out in UTF-8.
  QHash<QString, QString> QueryEncodings;
  // The choices remembered across starts.
  TWindowSettings Settings;

  // ---- Handlers -------------------------------------------------------
  // Startup and shutdown (Unit1.cpp)
  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);
  // Publisher links and exit (Unit1_Links.cpp)
  void Button_AboutClick(QObject* Sender);
  void Button3Click(QObject* Sender);
  void Label5Click(QObject* Sender);
  void Image1Click(QObject* Sender);
  void Label8Click(QObject* Sender);
  void Button17Click(QObject* Sender);
  void Button4Click(QObject* Sender);
  // Acquisition and clipboard (Unit1_Acquisition.cpp)
  void ButtonGetPicUrlListClick(QObject* Sender);
  void Button16Click(QObject* Sender);
  void UrlDblClick(QObject* Sender);
  void ClipboardChanged();  // one clipboard change notification
  void CheckBox_DeepScanClick(QObject* Sender);
  // Type filters (Unit1_Filters.cpp)
  void Button18Click(QObject* Sender);
  void Button6Click(QObject* Sender);
  void Button7Click(QObject* Sender);
  void Button8Click(QObject* Sender);
  void Button9Click(QObject* Sender);
  void Button10Click(QObject* Sender);
  void Button11Click(QObject* Sender);
  void Button12Click(QObject* Sender);
  // Blacklist (Unit1_Blacklist.cpp)
  void N2Click(QObject* Sender);
  void N6Click(QObject* Sender);
  void N3Click(QObject* Sender);
  void Button1Click(QObject* Sender);
  // Pre-processing list commands (Unit1_PreList.cpp)
  void N1Click(QObject* Sender);
  void N4Click(QObject* Sender);
  void N5Click(QObject* Sender);
  void N8Click(QObject* Sender);
  // Import, batch start, progress (Unit1_Download.cpp)
  void Button5Click(QObject* Sender);
  void Button15Click(QObject* Sender);
  void Button14Click(QObject* Sender);
  void HTTPGetProgress(QObject* Sender, std::int32_t TotalSize, std::int32_t Readed);
  void HTTPGetDoneFile(QObject* Sender, const std::string& FileName, std::int32_t FileSize);
  // Completion monitor (Unit1_Monitor.cpp)
  void Timer_CheckDownFileTimer(QObject* Sender);
  void ListBox_DownloadClick(QObject* Sender);
  // Save folder (Unit1_SaveFolder.cpp)
  void Button13Click(QObject* Sender);
  void FileNameDblClick(QObject* Sender);
  void Button2Click(QObject* Sender);
  // The user has finished editing SavePath: what was typed is remembered
  // for the next start (so is a folder chosen with Button13).
  void SavePathExit(QObject* Sender);
  // Preview (Unit1_Preview.cpp)
  void TabSheet_PreviewShow(QObject* Sender);
  void Memo2Change(QObject* Sender);
  void Button_SizeFilterClick(QObject* Sender);

  // ---- Services shared by the handlers ---------------------------------
  QString StatusText() const;
  void SetStatusText(const QString& text);
  // The fixed one-sentence message box.
  void ShowMessage(const QString& text);
  // The general error report.
  void ReportError(const QString& text);
  // Runs one handler; an error escaping it goes to the error report.
  void Guarded(const std::function<void()>& handler);
  // Lets the window process its pending events once.
  static void ProcessMessages();
  // A second start of the program: the window comes to the front, and a
  // page address it was given goes into Url on the page "图片获取".
  void BringToFront(const QString& address);
  TShellSeam& Shell() const { return *seam_; }

  // The blacklist file: AppDir + "黑名单.txt", or the same name in the user's
  // data folder when AppDir cannot be written (Unit1_Blacklist.cpp).
  QString BlacklistPath() const;
  void LoadBlacklist();
  void SaveBlacklist();

  // Stores one remembered value; a file that cannot be written says so in
  // the status bar when the window can still show it (Unit1_Settings.cpp).
  void Remember(bool (TWindowSettings::*store)(const QString&, QString&), const QString& value,
                bool quiet = false);

  // Sets the processed-count caption from the processed list's line count.
  void SetProcessedCaption();
  // Replaces the processed list by lines and sets the count caption.
  void FillProcessedList(const QStringList& lines);

  // The encoding an address's query is sent in (an iconv name; empty for
  // UTF-8), from QueryEncodings.
  std::string QueryEncodingOf(const QString& address) const;

  // Target path of a download list item's file name: the batch folder, "/"
  // and the name (+ ".jpg" when forced), from the texts as they are now.
  QString TargetPathOf(const QString& name) const;
  // The batch folder: FileName in the folder SavePath, joined by one "/"
  // ("~/dl" and "g500" give "~/dl/g500"); FileName alone when SavePath is
  // empty.
  QString BatchFolder() const;
  // Gives every item of the download list that has no file name yet its
  // name, in list order, distinct from every other item's name.
  void NameDownloadItems();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The builders of the window's parts; each sets the members of its part
  // (Unit1_Layout.cpp and Unit1_Pages.cpp).
  void BuildWindow();
  QWidget* BuildHeader(QWidget* parent);
  void BuildAcquisitionPage();
  QWidget* BuildModeBox(QWidget* parent);
  QWidget* BuildFilterBox(QWidget* parent);
  void BuildDownloadPage();
  QWidget* BuildProgressBox(QWidget* parent);
  QWidget* BuildSaveFolderBox(QWidget* parent);
  void BuildBlacklistPage();
  void BuildUpdatePage();
  void BuildPreviewPage();
  QWidget* BuildFooter(QWidget* parent);
  void BuildStatusBar();
  void BuildMenus();
  void PlaceAnchored();  // keeps the right-anchored items of header and footer in place
  // Connects every control's event to its handler (Unit1.cpp).
  void WireHandlers();
  void WireLists();  // the lists' menus and clicks, and the watched events
  void RunStartupStep(int step, const std::function<void()>& body);
  void WirePreview();  // the preview page's events (Unit1_Preview.cpp)
  void WireBatch();    // the batch's events and timers (Unit1_Download.cpp)

  // What one pass over the download list found.
  struct TSweep {
    bool Pending = false;  // an item's download has not ended yet
    int Failed = 0;        // items whose download failed
  };

  // Batch start (Unit1_Download.cpp).
  // Adds every item of the download list that is not being downloaded yet
  // to the batch, each with its target path.
  void PrepareBatch();
  // The item's target path; when a file there is not the address's own, the
  // item first takes the next free name of names.
  QString WritableTargetOf(QListWidgetItem* item, targetnames::TTargetNames& names);
  // A download of the batch has ended: the monitor looks within 50 ms.
  void DownloadEnded(const TDownloadBatch::TDownload& download);
  // The batch's own progress in the status bar, while it runs.
  void ShowBatchProgress();
  // Empties the progress bar and the two size boxes.
  void ClearProgress();
  // Completion monitor (Unit1_Monitor.cpp).
  TSweep SweepDownloadList();
  void SetDownloadFailure(QListWidgetItem* item, const QString& reason);
  void ShowSelectedDownloadReason();

  TForm1Options options_;
  std::unique_ptr<TShellSeam> ownedSeam_;
  TShellSeam* seam_ = nullptr;
  // The downloads of the running batch and of earlier starts still running,
  // by target path. No two workers ever write one file: a start leaves an
  // address whose download still runs to that download.
  TDownloadBatch* batch_ = nullptr;
  // The monitor's check soon after a download has ended (single-shot,
  // coalesced), besides its one-second tick.
  QTimer* endCheck_ = nullptr;
  // Puts the batch's progress into the status bar a few times a second.
  QTimer* batchStatus_ = nullptr;
  // Set while a batch start walks its addresses: the batch cannot end yet.
  bool starting_ = false;
  // Set while the program itself changes the download list, so that only the
  // user's own selection changes open an address.
  bool quietDownloadList_ = false;
  // Set while a mouse button is down over the download list.
  bool downloadListPressed_ = false;
  // Set for 40 ms after the progress display last took a report.
  bool progressPaintPending_ = false;
  // The last progress report (total, bytes so far) and the one on display.
  std::pair<std::int32_t, std::int32_t> shownProgress_{0, 0};
  std::pair<std::int32_t, std::int32_t> appliedProgress_{0, 0};
  void ShowProgress();  // puts shownProgress_ on the display

  // Preview (Unit1_Preview.cpp).
  bool PreviewShown() const;
  // Rebuilds the preview from the processed list and probes what is new.
  void RefreshPreview();
  void ShowPreviewAnswer(const QString& address);
  // The probes and what they learned, kept while the window is open.
  std::unique_ptr<TPreviewProbes> previewProbes_;
  // The preview's entry of each address on show.
  QHash<QString, QListWidgetItem*> previewItems_;
  // Set while a refresh waits for the current change of the list to end.
  bool previewRefreshPending_ = false;
  friend class TForm1Access;
};

// What the download list keeps with each address: the file name chosen at
// import, the target path of its last start, and why its download failed.
enum TDownloadItemData {
  kTargetNameRole = Qt::UserRole,
  kTargetPathRole,
  kFailureRole,
};
// The file name chosen for a download list item; empty when none is yet.
QString DownloadNameOf(const QListWidgetItem* item);
// Why the item's last download failed, as the download reported it; empty
// when it did not.
QString DownloadFailureOf(const QListWidgetItem* item);
// A download's reason as the download page shows it: in the window's
// language (the log keeps the raw text).
QString ShownReason(const std::string& reason);

// The executable's folder with one "/" appended ("/opt/pv/x" gives
// "/opt/pv/", an executable in "/" gives "//").
QString AppDirOf(const QString& executablePath);
