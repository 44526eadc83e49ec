#include "Gather.h"

#include <QFile>
#include <cstdio>

#include "GetLinks.h"
#include "GetWebPage.h"
#include "PageEncoding.h"
#include "RequestUrl.h"
#include "Unit_Blacklist.h"
#include "Unit_TypeFilter.h"

namespace {

// GetWebPage sets the content type whenever it could open the page; a value
// with a line break is no header value, so keeping it means it could not.
const std::string kNotOpened = "\n";

// The page's image addresses as the window's acquisition takes them: the
// page requested as RequestUrlOf gives it, decoded once, then scanned. False
// with a reason when the page could not be fetched.
bool FetchImageLinks(const QString& page, std::vector<std::string>& links, QString& failure) {
  const std::string url = page.toStdString();
  std::string body;
  std::string contentType = kNotOpened;
  GetWebPage(RequestUrlOf(url), false, body, contentType);
  if (contentType == kNotOpened) {
    failure = QStringLiteral("no answer from the server");
    return false;
  }
  links = GetImageLinksFromPage(url, PageToUtf8(std::move(body), contentType));
  return true;
}

// Keeps the candidates of the wanted types, each once and not blacklisted.
TGathered Screened(std::vector<TFoundAddress> candidates,
                   const std::vector<std::string>& typePatterns, const TBlacklist& blacklist) {
  QStringList addresses;
  std::vector<TFoundAddress> typed;
  for (TFoundAddress& found : candidates) {
    if (!typePatterns.empty() && !IsOfType(found.Address.toStdString(), typePatterns)) continue;
    addresses << found.Address;
    typed.push_back(std::move(found));
  }
  TGathered gathered;
  for (const qsizetype i : blacklist.ScreenedIndexes(addresses))
    gathered.Addresses.push_back(std::move(typed[static_cast<std::size_t>(i)]));
  return gathered;
}

bool ReadWhole(const QString& path, QByteArray& bytes, QString& failure) {
  QFile file(path);
  const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                 : file.open(QIODevice::ReadOnly);
  if (opened) bytes = file.readAll();
  if (opened && file.error() == QFileDevice::NoError) return true;
  failure = file.errorString();
  return false;
}

}  // namespace

TGathered GatherFromPages(const QStringList& pages, const std::vector<std::string>& typePatterns,
                          const TBlacklist& blacklist) {
  std::vector<TFoundAddress> candidates;
  QStringList failures;
  for (const QString& page : pages) {
    std::vector<std::string> links;
    QString failure;
    if (!FetchImageLinks(page, links, failure)) {
      failures << QStringLiteral("cannot fetch the page %1: %2").arg(page, failure);
      continue;
    }
    for (const std::string& link : links)
      candidates.push_back({QString::fromStdString(link), page});
  }
  TGathered gathered = Screened(std::move(candidates), typePatterns, blacklist);
  gathered.Failures = failures;
  return gathered;
}

TGathered GatherFromFile(const QString& path, const std::vector<std::string>& typePatterns,
                         const TBlacklist& blacklist) {
  QByteArray bytes;
  QString failure;
  if (!ReadWhole(path, bytes, failure)) {
    TGathered gathered;
    const QString name = path == QLatin1String("-") ? QStringLiteral("standard input") : path;
    gathered.Failures << QStringLiteral("cannot read the addresses in %1: %2").arg(name, failure);
    return gathered;
  }
  std::vector<TFoundAddress> candidates;
  for (const QString& line : ListFileEntries(bytes))
    if (const QString address = line.trimmed(); !address.isEmpty())
      candidates.push_back({address, QString()});
  return Screened(std::move(candidates), typePatterns, blacklist);
}
