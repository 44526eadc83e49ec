// Gathering the addresses to fetch: the image addresses of each page, taken
// by the window's acquisition rules (the scan, or the deep scan), or the
// lines of an address file; then the type filters, and each address once,
// blacklisted ones left out.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "PageImages.h"

class TBlacklist;

// One address to fetch, the page it was found on (empty for an address from
// an address file) and the encoding its query is sent in (the page's; empty
// for UTF-8).
struct TFoundAddress {
  QString Address;
  QString Page;
  std::string Encoding;
};

// What became of one page: its address count, or why it gave none.
struct TPageOutcome {
  QString Page;
  bool Came = false;
  QString Reason;  // why it did not come
  int Addresses = 0;
};

// A line of an address file that is no address to fetch, and why.
struct TRefusedLine {
  QString Line;
  QString Reason;
};

struct TGathered {
  std::vector<TFoundAddress> Addresses;
  // One error line per page, line or file that failed, with the reason.
  QStringList Failures;
  std::vector<TPageOutcome> Pages;
  std::vector<TRefusedLine> Refused;
};

// The image addresses of each page, in page order and each page's order.
// Addresses that differ only in ASCII letter case count as one, as in the
// window's pre-processing list.
TGathered GatherFromPages(const QStringList& pages, TScanKind kind,
                          const std::vector<std::string>& typePatterns,
                          const TBlacklist& blacklist);

// The addresses of an address file ("-" is standard input): one per line,
// blanks around a line and blank lines left out, each address once (letter
// case counts: servers tell paths apart by it). A line that is no http:// or
// https:// address is refused with its reason.
TGathered GatherFromFile(const QString& path, const std::vector<std::string>& typePatterns,
                         const TBlacklist& blacklist);
