// --min-size before the downloads: every address is probed first with the
// preview's probe (its first 64 KB through the shared internet session), and
// an image the probe shows to be smaller is not downloaded at all. An image
// whose probe tells no size stays: the check after its download decides.
#pragma once

#include <QSize>
#include <QString>
#include <vector>

#include "Gather.h"

// An address the probe showed to be too small.
struct TProbeSkip {
  QString Address;
  QString Page;           // empty for an address from an address file
  QString Reason;         // "smaller than 200x200 (120x80)", as the check after a download says
  std::size_t Index = 0;  // its place among the probed addresses
};

struct TProbeSorted {
  std::vector<TFoundAddress> Kept;  // in their order
  std::vector<TProbeSkip> Skipped;
};

// Probes at most this many addresses at once; the session's per-server
// limit holds them in line beyond its connections.
constexpr int kProbeThreads = 8;
// A probe that has not ended after this long is stopped, and its image kept.
constexpr int kProbeLimitMs = 30000;

// Sorts the addresses by their probes; without a valid minimum every
// address is kept unprobed. Blocks until every probe has ended.
TProbeSorted ProbeFirst(const std::vector<TFoundAddress>& addresses, const QSize& minimum);

// One "skipped ADDRESS: REASON" line per skipped address and a count of
// both kinds, where the batch prints its plain lines (not with --json or
// --quiet, nor on a terminal): the batch's summary then counts its downloads.
void PrintProbeSkips(const TProbeSorted& sorted, bool json, bool quiet);
