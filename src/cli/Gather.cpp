#include "Gather.h"

#include <QFile>
#include <QSet>
#include <QUrl>
#include <cstdio>

#include "Unit_Blacklist.h"
#include "Unit_TypeFilter.h"

namespace {

// Why the page gave no list, in pixvane-get's words.
QString FailureOf(const TPageImages& images) {
  if (images.DeepScanGaveUp)
    return QStringLiteral("the page's markup is too complex for the deep scan");
  return QString::fromStdString(images.Fetch.Reason);
}

bool IsWebAddress(const QString& text) {
  const QUrl url(text, QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

// Keeps the candidates of the wanted types that the blacklist does not hold,
// each once: ASCII letter case aside (the window's rule for a page's
// addresses), or exactly.
TGathered Screened(std::vector<TFoundAddress> candidates,
                   const std::vector<std::string>& typePatterns, const TBlacklist& blacklist,
                   bool caseMatters) {
  TGathered gathered;
  if (caseMatters) {
    QSet<QString> seen;
    for (TFoundAddress& found : candidates) {
      if (!typePatterns.empty() && !IsOfType(found.Address.toStdString(), typePatterns)) continue;
      if (blacklist.Contains(found.Address) || seen.contains(found.Address)) continue;
      seen.insert(found.Address);
      gathered.Addresses.push_back(std::move(found));
    }
    return gathered;
  }
  QStringList addresses;
  std::vector<TFoundAddress> typed;
  for (TFoundAddress& found : candidates) {
    if (!typePatterns.empty() && !IsOfType(found.Address.toStdString(), typePatterns)) continue;
    addresses << found.Address;
    typed.push_back(std::move(found));
  }
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

TGathered GatherFromPages(const QStringList& pages, TScanKind kind,
                          const std::vector<std::string>& typePatterns,
                          const TBlacklist& blacklist) {
  std::vector<TFoundAddress> candidates;
  std::vector<TPageOutcome> outcomes;
  QStringList failures;
  for (const QString& page : pages) {
    const TPageImages images = GetPageImages(page.toStdString(), kind);
    TPageOutcome outcome{page, images.Listed(), {}, static_cast<int>(images.Links.size())};
    if (!outcome.Came) {
      outcome.Reason = FailureOf(images);
      failures << QStringLiteral("failed page %1: %2").arg(page, outcome.Reason);
    }
    outcomes.push_back(outcome);
    for (const std::string& link : images.Links)
      candidates.push_back({QString::fromStdString(link), page, images.Encoding});
  }
  TGathered gathered = Screened(std::move(candidates), typePatterns, blacklist, false);
  gathered.Failures = failures;
  gathered.Pages = std::move(outcomes);
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
  std::vector<TRefusedLine> refused;
  for (const QString& line : ListFileEntries(bytes)) {
    const QString address = line.trimmed();
    if (address.isEmpty()) continue;
    if (IsWebAddress(address))
      candidates.push_back({address, QString(), {}});
    else
      refused.push_back({address, QStringLiteral("not an http:// or https:// address")});
  }
  TGathered gathered = Screened(std::move(candidates), typePatterns, blacklist, true);
  for (const TRefusedLine& line : refused)
    gathered.Failures << QStringLiteral("failed %1: %2").arg(line.Line, line.Reason);
  gathered.Refused = std::move(refused);
  return gathered;
}
