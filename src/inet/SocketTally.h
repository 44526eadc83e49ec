// The network connections the requests of one server hold open, counted as
// curl opens and closes their sockets: what the tests and benchmarks read
// through InetTestHooks.h.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <string>

namespace inet::detail {

// Network connections open to one server, counted as curl opens and closes
// their sockets. Never freed: curl may close a socket long after the request
// that opened it is gone.
struct SocketTally {
  std::atomic<int> open{0};
  std::atomic<int> peak{0};
};
SocketTally& TallyFor(const std::string& key);

// curl's socket callbacks that keep a tally (their data) up to date.
curl_socket_t OpenCountedSocket(void* data, curlsocktype, curl_sockaddr* address);
int CloseCountedSocket(void* data, curl_socket_t fd);

}  // namespace inet::detail
