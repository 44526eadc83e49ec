#include "Seam.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

void ShowBox(QWidget* owner, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, kApplicationTitle, text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

void TQtShellSeam::MessageBox(QWidget* owner, const QString& text) {
  ShowBox(owner, text, QMessageBox::NoIcon);
}

void TQtShellSeam::ErrorBox(QWidget* owner, const QString& text) {
  ShowBox(owner, text, QMessageBox::Critical);
}

void TQtShellSeam::OpenAddress(QWidget*, const QString& address) {
  // A plain path is a local file; anything else is taken as an address.
  const QUrl url = address.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(address)
                                                        : QUrl::fromUserInput(address);
  QDesktopServices::openUrl(url);
}

void TQtShellSeam::OpenFolder(QWidget*, const QString& folder) {
  // A relative batch folder (an empty save folder) lies in the working folder.
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()));
}

std::optional<QString> TQtShellSeam::BrowseForFolder(QWidget* owner) {
  const QString chosen =
      QFileDialog::getExistingDirectory(owner, QString(), QString(), QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

QString ErrorReportText(const QString& text) {
  if (!text.isEmpty() && text.back() > QLatin1Char('.')) return text + QLatin1Char('.');
  return text;
}
