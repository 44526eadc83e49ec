// The blacklist: addresses that later acquisitions leave out. The list box
// is the master copy; the file "黑名单.txt" mirrors it after every change and
// is read once at startup.
//
// File format: the entries as UTF-8 text, each followed by CR LF, no byte
// order mark; an empty blacklist is an empty file. On reading, CR LF, a lone
// CR and a lone LF each end an entry, a final line break makes no empty
// entry, a NUL ends the text, and a file that is not UTF-8 is read as GBK.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <stdexcept>

#include "Unit1.h"
#include "Unit_Function.h"

namespace {

const QString kBlacklistName = QStringLiteral("黑名单.txt");

// Where the file lives when the program folder cannot be written (an
// installed program): the user's data folder.
QString UserBlacklistPath() {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return data.isEmpty() ? QString() : data + QLatin1Char('/') + kBlacklistName;
}

bool ProgramFolderWritable(const QString& appDir) {
  const QFileInfo folder(appDir);
  return folder.isDir() && folder.isWritable();
}

// The file's entries by the reading rules above.
QStringList ParseBlacklist(const QByteArray& bytes) {
  const qsizetype nul = bytes.indexOf('\0');
  const QByteArray text = nul >= 0 ? bytes.left(nul) : bytes;
  const std::string utf8 = ToListText(std::string_view(text.constData(), text.size()));
  QStringList entries;
  std::size_t start = 0;
  const std::size_t n = utf8.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (utf8[i] != '\r' && utf8[i] != '\n') continue;
    entries << QString::fromUtf8(utf8.data() + start, static_cast<qsizetype>(i - start));
    if (utf8[i] == '\r' && i + 1 < n && utf8[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < n)
    entries << QString::fromUtf8(utf8.data() + start, static_cast<qsizetype>(n - start));
  return entries;
}

}  // namespace

QString TForm1::BlacklistPath() const {
  if (ProgramFolderWritable(AppDir)) return AppDir + kBlacklistName;
  const QString user = UserBlacklistPath();
  return user.isEmpty() ? AppDir + kBlacklistName : user;
}

void TForm1::LoadBlacklist() {
  QString path = BlacklistPath();
  // An installed program that has not saved a blacklist of its own yet reads
  // the one beside the executable.
  if (!QFileInfo::exists(path) && QFileInfo::exists(AppDir + kBlacklistName))
    path = AppDir + kBlacklistName;
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return;
  // The whole file is read before any entry is set.
  ListBox_imgheimingdan->clear();
  ListBox_imgheimingdan->addItems(ParseBlacklist(bytes));
}

void TForm1::SaveBlacklist() {
  const QString path = BlacklistPath();
  QDir().mkpath(QFileInfo(path).absolutePath());
  QByteArray bytes;
  for (int i = 0, n = ListBox_imgheimingdan->count(); i < n; ++i) {
    bytes += ListBox_imgheimingdan->item(i)->text().toUtf8();
    bytes += "\r\n";
  }
  // Written beside the file and renamed over it, so a crash or a full disk
  // never leaves a cut blacklist behind. Unbuffered, so that a write that
  // stops short is seen here, before the rename.
  QSaveFile file(path);
  const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                     file.write(bytes) == bytes.size() && file.commit();
  if (!saved) {
    const QString reason = file.errorString();
    file.cancelWriting();
    throw std::runtime_error(
        QStringLiteral("无法保存黑名单文件 \"%1\": %2").arg(path, reason).toStdString());
  }
}

void TForm1::N2Click(QObject*) {
  const int focused = ListBox_imglist->currentRow();
  if (focused < 0) return;  // an empty list, or no item holds the caret
  const QString address = ListBox_imglist->item(focused)->text();
  if (IndexOfIgnoreCase(ListBox_imgheimingdan, address) >= 0) {
    ShowMessage(QStringLiteral("该黑名单已存在"));
    return;
  }
  ListBox_imgheimingdan->addItem(address);
  delete ListBox_imglist->takeItem(focused);
  SaveBlacklist();
}

void TForm1::N6Click(QObject*) {
  try {
    const std::vector<bool> mask = SelectionMask(ListBox_imglist);
    QStringList selected;
    for (int i = 0, n = ListBox_imglist->count(); i < n; ++i)
      if (mask[static_cast<std::size_t>(i)]) selected << ListBox_imglist->item(i)->text();
    ListBox_imgheimingdan->addItems(selected);
    // Acquire the page again, as a click on its button does, so the new
    // entries drop out of the pre-processing list.
    ButtonGetPicUrlListClick(ButtonGetPicUrlList);
  } catch (...) {
    // Errors of the adding and the acquisition are swallowed; the save runs.
  }
  SaveBlacklist();
}

void TForm1::N3Click(QObject*) {
  const std::vector<bool> selected = SelectionMask(ListBox_imgheimingdan);
  QStringList kept;
  for (int i = 0, n = ListBox_imgheimingdan->count(); i < n; ++i)
    if (!selected[static_cast<std::size_t>(i)]) kept << ListBox_imgheimingdan->item(i)->text();
  if (kept.size() != ListBox_imgheimingdan->count()) {
    ReplaceItemsKeepingCaret(ListBox_imgheimingdan, kept, selected);
  }
  SaveBlacklist();
}

void TForm1::Button1Click(QObject*) {
  ListBox_imgheimingdan->clear();
  SaveBlacklist();
}
