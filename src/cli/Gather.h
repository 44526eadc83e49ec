// Gathering the addresses to fetch: the image addresses of each page, taken
// by the window's acquisition rules, or the lines of an address file; then
// the type filters, and each address once, blacklisted ones left out.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class TBlacklist;

// One address to fetch and the page it was found on (empty for an address
// from an address file).
struct TFoundAddress {
  QString Address;
  QString Page;
};

struct TGathered {
  std::vector<TFoundAddress> Addresses;
  // One line per page or file that could not be read, with the reason.
  QStringList Failures;
};

// The image addresses of each page, in page order and each page's order.
TGathered GatherFromPages(const QStringList& pages, const std::vector<std::string>& typePatterns,
                          const TBlacklist& blacklist);

// The addresses of an address file ("-" is standard input): one per line,
// blanks around a line and blank lines left out.
TGathered GatherFromFile(const QString& path, const std::vector<std::string>& typePatterns,
                         const TBlacklist& blacklist);
