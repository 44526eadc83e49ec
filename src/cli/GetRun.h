// One run of pixvane-get: the blacklist, the addresses, then the list or the
// download.
#pragma once

#include "GetOptions.h"

// Runs the command line's work and returns the exit status.
int RunGet(const TGetOptions& options);
