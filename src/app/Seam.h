// The window's road to the platform's dialogs and shell: message boxes, the
// error report, opening an address or a folder, and the folder browser. The
// program uses TQtShellSeam; tests put a recorder in its place so nothing
// blocks on a modal dialog.
#pragma once

#include <QString>
#include <optional>

class QWidget;

class TShellSeam {
 public:
  virtual ~TShellSeam() = default;
  // A modal box: caption "Pixvane", the text, one OK button, no icon.
  virtual void MessageBox(QWidget* owner, const QString& text) = 0;
  // The general error report: caption "Pixvane", error icon, one OK button.
  virtual void ErrorBox(QWidget* owner, const QString& text) = 0;
  // Opens an address or a file with the user's default application.
  virtual void OpenAddress(QWidget* owner, const QString& address) = 0;
  // Shows a folder in the file manager.
  virtual void OpenFolder(QWidget* owner, const QString& folder) = 0;
  // A modal folder browser: the chosen folder's path, or nothing on cancel.
  virtual std::optional<QString> BrowseForFolder(QWidget* owner) = 0;
};

class TQtShellSeam : public TShellSeam {
 public:
  void MessageBox(QWidget* owner, const QString& text) override;
  void ErrorBox(QWidget* owner, const QString& text) override;
  void OpenAddress(QWidget* owner, const QString& address) override;
  void OpenFolder(QWidget* owner, const QString& folder) override;
  std::optional<QString> BrowseForFolder(QWidget* owner) override;
};

// A seam for headless runs (tools and benchmarks): nothing is shown or
// opened, and the folder browser is cancelled. Derive to record what the
// window asked for.
class TSilentShellSeam : public TShellSeam {
 public:
  void MessageBox(QWidget*, const QString&) override {}
  void ErrorBox(QWidget*, const QString&) override {}
  void OpenAddress(QWidget*, const QString&) override {}
  void OpenFolder(QWidget*, const QString&) override {}
  std::optional<QString> BrowseForFolder(QWidget*) override { return std::nullopt; }
};

// The text the error report shows: a "." is appended when the text's last
// character sorts after ".".
QString ErrorReportText(const QString& text);

// The application title, the caption of every box.
inline const QString kApplicationTitle = QStringLiteral("Pixvane");
