#include "BatchPlan.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <filesystem>
#include <map>
#include <system_error>

#include "ImageRequest.h"
#include "TargetFiles.h"
#include "TargetNames.h"
#include "Unit_Function.h"

namespace {

bool IsSafe(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
         c == QLatin1Char('_');
}

// The file in the folder, joined as the file system reads it: no ".." is
// resolved by the text, so that a folder reached through a symbolic link is
// the one the file goes into.
QString TargetOf(const QString& folder, const std::string& name) {
  const QString file = QString::fromStdString(name);
  if (folder.isEmpty()) return file;
  return folder.endsWith(QLatin1Char('/')) ? folder + file : folder + QLatin1Char('/') + file;
}

}  // namespace

QString PageFolderName(const QString& page) {
  const QUrl url(page);
  QStringList parts{url.host()};
  if (url.port() != -1) parts << QString::number(url.port());
  for (const QString& segment : url.path(QUrl::FullyDecoded).split('/', Qt::SkipEmptyParts))
    if (segment != QLatin1String(".") && segment != QLatin1String("..")) parts << segment;
  if (url.hasQuery()) parts << url.query(QUrl::FullyDecoded);
  QString name = parts.join(QLatin1Char('_'));
  for (QChar& c : name)
    if (!IsSafe(c)) c = QLatin1Char('_');
  if (name.isEmpty()) name = QStringLiteral("download");
  return QString::fromStdString(CutToBytes(name.toStdString(), targetnames::kMaxFileNameBytes));
}

std::vector<TBatchItem> PlanBatch(const std::vector<TFoundAddress>& addresses,
                                  const QString& folder) {
  std::map<QString, targetnames::TTargetNames> names;  // per folder
  std::vector<TBatchItem> items;
  items.reserve(addresses.size());
  for (const TFoundAddress& found : addresses) {
    TBatchItem item;
    item.Address = found.Address;
    item.Page = found.Page;
    item.Encoding = found.Encoding;
    item.Folder = folder;
    if (item.Folder.isEmpty() && !found.Page.isEmpty()) item.Folder = PageFolderName(found.Page);
    // A file there that is not this address's own is left alone: the
    // address takes the next free name.
    const std::string origin = OriginOf(found.Address);
    const auto writable = [&](const std::string& name) {
      return targetfiles::MayWrite(TargetOf(item.Folder, name).toStdString(), origin);
    };
    item.File =
        TargetOf(item.Folder, names[item.Folder].NameFor(found.Address.toStdString(), writable));
    items.push_back(std::move(item));
  }
  return items;
}

bool PrepareFolder(const QString& folder, QString& failure) {
  const QString path = folder.isEmpty() ? QStringLiteral(".") : folder;
  std::error_code error;
  if (!QFileInfo(path).isDir()) {
    std::filesystem::create_directories(std::filesystem::path(path.toStdString()), error);
    if (error) {
      failure = QString::fromStdString(error.message());
      return false;
    }
  }
  // Permissions alone do not tell (an administrator, a read-only mount):
  // a file that can be made there does. The probe goes where the file
  // system resolves the folder, as the files will.
  const std::filesystem::path real =
      std::filesystem::canonical(std::filesystem::path(path.toStdString()), error);
  if (error) {
    failure = QString::fromStdString(error.message());
    return false;
  }
  QTemporaryFile probe(QString::fromStdString(real.string()) +
                       QStringLiteral("/.pixvane-get-XXXXXX"));
  if (probe.open()) return true;
  failure = probe.errorString();
  return false;
}
