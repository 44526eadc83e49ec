#include "GetRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

#include "Batch.h"
#include "Console.h"
#include "Gather.h"
#include "ProbeFirst.h"
#include "Unit_Blacklist.h"

namespace {

// The blacklist of --blacklist, or the window's own file. A missing own file
// is an empty blacklist; any other file that cannot be read stops the run,
// so that nothing blacklisted is fetched by mistake.
bool LoadBlacklist(const QString& chosen, TBlacklist& blacklist) {
  const QString path =
      chosen.isEmpty() ? BlacklistReadPath(QCoreApplication::applicationDirPath() + '/') : chosen;
  if (chosen.isEmpty() && !QFileInfo::exists(path)) return true;
  QString failure;
  if (blacklist.Load(path, failure)) return true;
  PrintError(QStringLiteral("cannot read the blacklist %1: %2").arg(path, failure));
  return false;
}

}  // namespace

int RunGet(const TGetOptions& options) {
  TBlacklist blacklist;
  if (!LoadBlacklist(options.BlacklistFile, blacklist)) return kExitFailed;
  const TScanKind kind = options.Deep ? TScanKind::kDeep : TScanKind::kScan;
  const TGathered gathered =
      options.InputFile.isEmpty()
          ? GatherFromPages(options.Pages, kind, options.TypePatterns, blacklist)
          : GatherFromFile(options.InputFile, options.TypePatterns, blacklist);
  for (const QString& failure : gathered.Failures) PrintError(failure);

  int status = gathered.Failures.isEmpty() ? kExitOk : kExitFailed;
  if (options.List) {
    for (const TFoundAddress& found : gathered.Addresses) PrintLine(found.Address);
  } else {
    // --min-size probes first: what is surely too small is never downloaded.
    const TProbeSorted probed = ProbeFirst(gathered.Addresses, options.MinSize);
    PrintProbeSkips(probed, options.Json, options.Quiet);
    // The pages and the refused lines go into the --json report too, and
    // the addresses the probes skipped.
    TBatch batch(
        {options.Folder, options.MinSize, options.Json, options.Quiet, &gathered, &probed.Skipped});
    status = std::max(status, batch.Run(probed.Kept));
  }
  return status;
}
