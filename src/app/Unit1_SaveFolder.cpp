// The save folder: a folder browser for SavePath, selecting the folder name
// with a double-click, and showing the batch folder in the file manager.
#include <QFileInfo>
#include <QLineEdit>

#include "Seam.h"
#include "Unit1.h"

void TForm1::Button13Click(QObject*) {
  const std::optional<QString> chosen = Shell().BrowseForFolder(this);
  if (!chosen) return;
  // SavePath always ends in "/" after a choice; the root keeps its own.
  SavePath->setText(chosen->endsWith(QLatin1Char('/')) ? *chosen : *chosen + QLatin1Char('/'));
}

void TForm1::FileNameDblClick(QObject*) {
  FileName->selectAll();
}

void TForm1::Button2Click(QObject*) {
  // The batch folder, as the batch start makes it.
  const QString folder = BatchFolder();
  if (QFileInfo(folder).isDir())
    Shell().OpenFolder(this, folder);
  else
    ShowMessage(QStringLiteral("该目录还不存在"));
}
