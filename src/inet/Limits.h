// The internet client's own fixed limits, in one place. The limits its
// callers see (chunk sizes, connections per server, redirects) are in Inet.h.
#pragma once

#include <chrono>
#include <cstddef>

namespace inet::detail {

// How often the network thread looks at stop flags and idle time limits.
constexpr auto kScanInterval = std::chrono::milliseconds(50);
// How long the network thread sleeps when it has no request at all; a
// request posted meanwhile wakes it at once.
constexpr int kIdleLoopWaitMs = 60000;
// HTTP/2 streams one connection carries at once.
constexpr long kStreamsPerConnection = 100;
// Idle connections kept for the next request, all servers together.
constexpr long kKeptConnections = 256;
// How long the network connections stay open once no Connection is alive.
// The window starts a batch's workers one by one while earlier ones end, so
// the count of live Connections touches zero many times within one batch;
// closing at once would open a new connection to the server for almost
// every image instead of reusing six.
constexpr auto kLinger = std::chrono::seconds(1);

// curl's delivery size for the session's transfers: the reader takes small
// chunks out of the transfer's buffer, curl fills it in larger ones.
constexpr long kSessionReceiveBytes = 65536;
// curl's buffer for a request body (a POST's form data).
constexpr long kUploadBufferBytes = 16384;
// Body bytes a transfer holds for its reader. When they are this many, curl
// is paused for that transfer until the reader has taken half of them; one
// delivery of curl (at most its 64 KB buffer) may come on top. The reader
// (a download worker) never waits for the window, so the room is only ever
// used up when the disk is slower than the network.
constexpr std::size_t kBodyBufferBytes = 262144;

// The longest the page fetch sleeps in curl before it looks at its idle
// time limit again.
constexpr auto kPageFetchPollSlice = std::chrono::milliseconds(200);

}  // namespace inet::detail
