#include "Batch.h"

#include "Console.h"
#include "GetOptions.h"

// STUB. Downloading is built on the download component once its events carry
// each address's outcome and the target-name rules are shared; until then
// only --list works.
int TBatch::Run(const std::vector<TFoundAddress>&) {
  PrintError(QStringLiteral("downloading is not available yet; use --list to print the addresses"));
  return kExitFailed;
}
