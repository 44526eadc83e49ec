// The save folder: a folder browser for SavePath, remembering it across
// starts, selecting the folder name with a double-click, and showing the
// batch folder in the file manager.
#include <QFileInfo>
#include <QLineEdit>

#include "Seam.h"
#include "Unit1.h"

void TForm1::Button13Click(QObject*) {
  const std::optional<QString> chosen = Shell().BrowseForFolder(this);
  if (!chosen) return;
  // SavePath always ends in "/" after a choice; the root keeps its own.
  SavePath->setText(chosen->endsWith(QLatin1Char('/')) ? *chosen : *chosen + QLatin1Char('/'));
  if (SavePath->text() != Settings.SaveFolder())
    Remember(&TWindowSettings::SetSaveFolder, SavePath->text());
}

void TForm1::SavePathExit(QObject*) {
  // Only what the user typed is written: the preset default is never
  // stored, so it follows the program folder until the user picks another.
  if (!SavePath->isModified()) return;
  SavePath->setModified(false);
  Remember(&TWindowSettings::SetSaveFolder, SavePath->text());
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
