#include "ProbeFirst.h"

#include <unistd.h>

#include <QElapsedTimer>
#include <QThreadPool>
#include <atomic>
#include <cstdio>
#include <memory>

#include "Console.h"
#include "Unit_ImageProbe.h"

namespace {

// How often the running probes are looked at for their time limit.
constexpr int kWatchMs = 100;

// One probe's state, shared by its pool thread and the watch.
struct TProbeSlot {
  std::atomic<bool> Stop{false};
  std::atomic<bool> Ended{false};
  std::atomic<qint64> StartedMs{-1};
  QSize Size;  // written by the probe, read once the pool is done
};

// Probes every address on the pool; a probe running past the limit stops.
void RunProbes(const std::vector<TFoundAddress>& addresses, TProbeSlot* probes) {
  QElapsedTimer clock;
  clock.start();
  QThreadPool pool;
  pool.setMaxThreadCount(kProbeThreads);
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    pool.start([&clock, &slot = probes[i], address = addresses[i].Address.toStdString()] {
      slot.StartedMs = clock.elapsed();
      slot.Size = ProbeImage(address, 0, &slot.Stop).Size;
      slot.Ended = true;
    });
  }
  while (!pool.waitForDone(kWatchMs)) {
    const qint64 now = clock.elapsed();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      const qint64 started = probes[i].StartedMs;
      if (started >= 0 && !probes[i].Ended && now - started > kProbeLimitMs) probes[i].Stop = true;
    }
  }
}

}  // namespace

TProbeSorted ProbeFirst(const std::vector<TFoundAddress>& addresses, const QSize& minimum) {
  TProbeSorted sorted;
  if (!minimum.isValid() || addresses.empty()) {
    sorted.Kept = addresses;
    return sorted;
  }
  const auto probes = std::make_unique<TProbeSlot[]>(addresses.size());
  RunProbes(addresses, probes.get());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const QSize size = probes[i].Size;
    if (!size.isValid() || (size.width() >= minimum.width() && size.height() >= minimum.height())) {
      sorted.Kept.push_back(addresses[i]);
      continue;
    }
    sorted.Skipped.push_back({addresses[i].Address, addresses[i].Page,
                              QStringLiteral("smaller than %1x%2 (%3x%4)")
                                  .arg(minimum.width())
                                  .arg(minimum.height())
                                  .arg(size.width())
                                  .arg(size.height()),
                              i});
  }
  return sorted;
}

void PrintProbeSkips(const TProbeSorted& sorted, bool json, bool quiet) {
  // The batch's own rule for its plain lines: a terminal shows the live line.
  if (json || quiet || isatty(fileno(stderr)) == 1 || sorted.Skipped.empty()) return;
  for (const TProbeSkip& skip : sorted.Skipped)
    PrintLine(QStringLiteral("skipped %1: %2").arg(skip.Address, skip.Reason));
  // The batch's summary counts only what it downloads.
  PrintLine(QStringLiteral("%1 skipped before their download, %2 to download")
                .arg(sorted.Skipped.size())
                .arg(sorted.Kept.size()));
}
