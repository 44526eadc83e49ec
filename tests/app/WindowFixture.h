// A fixture that creates the real main window in a sandbox: the executable
// path, the desktop folder, the settings and the blacklist live in a
// temporary folder, and every dialog and shell call is recorded instead of
// shown.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "Sandbox.h"
#include "Seam.h"
#include "Unit1.h"

class TRecordingSeam : public TShellSeam {
 public:
  QStringList Messages;
  QStringList Errors;
  QStringList OpenedAddresses;
  QStringList OpenedFolders;
  // What the next folder browser returns; nothing means cancel.
  std::optional<QString> BrowseResult;
  int BrowseCount = 0;
  // Runs while a message box is "open", as the modal loop would run events.
  std::function<void(const QString&)> OnMessage;

  void MessageBox(QWidget*, const QString& text) override {
    Messages << text;
    if (OnMessage) OnMessage(text);
  }
  void ErrorBox(QWidget*, const QString& text) override { Errors << text; }
  void OpenAddress(QWidget*, const QString& address) override { OpenedAddresses << address; }
  void OpenFolder(QWidget*, const QString& folder) override { OpenedFolders << folder; }
  std::optional<QString> BrowseForFolder(QWidget*) override {
    ++BrowseCount;
    return BrowseResult;
  }
};

class WindowTest : public SandboxTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the window (FormCreate runs); the program folder is Dir() + "bin/".
  void CreateWindow(std::function<void(int)> beforeStep = {});
  // Creates the window as `pixvane ADDRESS` starts it.
  void CreateWindowFor(const QString& address);
  // Destroys the window (FormDestroy runs), as closing the program does.
  void DestroyWindow();

  // The program folder, with its trailing "/".
  std::string ProgramDir() const { return PathOf("bin/"); }
  std::string DesktopDir() const { return PathOf("Desktop/"); }

  TRecordingSeam Seam;
  std::unique_ptr<TForm1> Form;

 private:
  QByteArray savedDesktop_;
  QByteArray savedConfig_;  // the window's settings live in the sandbox
};

// A window test whose window is created before every test.
class OpenWindowTest : public WindowTest {
 protected:
  void SetUp() override;
};

// Replaces every item of list with items.
void SetItems(QListWidget* list, const QStringList& items);
