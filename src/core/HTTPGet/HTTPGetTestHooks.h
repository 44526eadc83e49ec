// What only tests may call in the download component.
#pragma once

namespace httpget::testing {

// The thread of each of the next count workers fails to start, as it does
// when the process is at its task or memory limit.
void FailThreadStarts(int count);

}  // namespace httpget::testing
