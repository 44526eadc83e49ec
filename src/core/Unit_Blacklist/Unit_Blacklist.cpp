#include "Unit_Blacklist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <string_view>
#include <unordered_set>

#include "Unit_Function.h"

namespace {

// The data folder of every Pixvane program, whatever the process is called.
const QString kDataFolderName = QStringLiteral("Pixvane");

QString UserBlacklistPath() {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) return {};
  return data + QLatin1Char('/') + kDataFolderName + QLatin1Char('/') + kBlacklistFileName;
}

bool FolderWritable(const QString& folder) {
  const QFileInfo info(folder);
  return info.isDir() && info.isWritable();
}

QByteArray FileBytesOf(const QStringList& entries) {
  QByteArray bytes;
  for (const QString& entry : entries) {
    bytes += entry.toUtf8();
    bytes += "\r\n";
  }
  return bytes;
}

}  // namespace

bool ProgramFolderHoldsUserFiles(const QString& appDir) {
  static const char* const kSystemFolders[] = {"/usr/", "/bin/", "/sbin/"};
  const QString folder = QFileInfo(appDir).absoluteFilePath() + QLatin1Char('/');
  for (const char* system : kSystemFolders)
    if (folder.startsWith(QLatin1String(system))) return false;
  return FolderWritable(appDir);
}

QString BlacklistPath(const QString& appDir) {
  if (ProgramFolderHoldsUserFiles(appDir)) return appDir + kBlacklistFileName;
  const QString user = UserBlacklistPath();
  return user.isEmpty() ? appDir + kBlacklistFileName : user;
}

QString BlacklistReadPath(const QString& appDir) {
  const QString path = BlacklistPath(appDir);
  const QString beside = appDir + kBlacklistFileName;
  if (!QFileInfo::exists(path) && QFileInfo::exists(beside)) return beside;
  return path;
}

QStringList ListFileEntries(const QByteArray& bytes) {
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

TBlacklist::TBlacklist(const QStringList& entries) : entries_(entries) {
  keys_.reserve(static_cast<std::size_t>(entries_.size()));
  for (const QString& entry : entries_) Index(entry);
}

std::string TBlacklist::KeyOf(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return AsciiLower(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void TBlacklist::Index(const QString& entry) {
  ++keys_[KeyOf(entry)];
}

bool TBlacklist::Contains(const QString& address) const {
  return keys_.contains(KeyOf(address));
}

void TBlacklist::Add(const QString& address) {
  entries_ << address;
  Index(address);
}

void TBlacklist::RemoveAt(int index) {
  const auto key = keys_.find(KeyOf(entries_[index]));
  if (--key->second == 0) keys_.erase(key);
  entries_.removeAt(index);
}

void TBlacklist::Clear() {
  entries_.clear();
  keys_.clear();
}

std::vector<qsizetype> TBlacklist::ScreenedIndexes(const QStringList& addresses) const {
  std::unordered_set<std::string> seen;
  seen.reserve(static_cast<std::size_t>(addresses.size()));
  std::vector<qsizetype> kept;
  for (qsizetype i = 0; i < addresses.size(); ++i) {
    std::string key = KeyOf(addresses[i]);
    if (keys_.contains(key) || !seen.insert(std::move(key)).second) continue;
    kept.push_back(i);
  }
  return kept;
}

QStringList TBlacklist::Screen(const QStringList& addresses) const {
  QStringList kept;
  for (const qsizetype i : ScreenedIndexes(addresses)) kept << addresses[i];
  return kept;
}

bool TBlacklist::Load(const QString& path, QString& failure) {
  QFile file(path);
  if (!QFileInfo(path).isFile()) {
    failure =
        QFileInfo::exists(path) ? QStringLiteral("not a file") : QStringLiteral("no such file");
    return false;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    failure = file.errorString();
    return false;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    failure = file.errorString();
    return false;
  }
  // The whole file is read before any entry is set.
  *this = TBlacklist(ListFileEntries(bytes));
  return true;
}

bool TBlacklist::Save(const QString& path, QString& failure) const {
  QDir().mkpath(QFileInfo(path).absolutePath());
  const QByteArray bytes = FileBytesOf(entries_);
  // Unbuffered, so that a write that stops short is seen here, before the
  // rename.
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
      file.write(bytes) == bytes.size() && file.commit())
    return true;
  failure = file.errorString();
  file.cancelWriting();
  return false;
}
