// The download of the gathered addresses: every address into its target
// folder, with resume, the target-name rules, --min-size, the --json report
// and the progress line.
#pragma once

#include <QSize>
#include <QString>
#include <utility>
#include <vector>

#include "Gather.h"
#include "ProbeFirst.h"

struct TBatchOptions {
  QString Folder;  // empty: a folder named after each address's page
  QSize MinSize;   // invalid: no limit
  bool Json = false;
  bool Quiet = false;
  const TGathered* Gathered = nullptr;  // its pages and refused lines, for --json
  // The addresses --min-size left out before the batch, in --json in their places.
  const std::vector<TProbeSkip>* ProbeSkipped = nullptr;
};

class TBatch {
 public:
  explicit TBatch(TBatchOptions options) : options_(std::move(options)) {}

  // Downloads every address and returns the exit status: kExitOk when every
  // address ended whole or was skipped on purpose, kExitFailed otherwise.
  int Run(const std::vector<TFoundAddress>& addresses);

 private:
  TBatchOptions options_;
};
