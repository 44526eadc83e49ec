#include "SocketTally.h"

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace inet::detail {

SocketTally& TallyFor(const std::string& key) {
  static std::mutex* mutex = new std::mutex;
  static auto* tallies = new std::unordered_map<std::string, std::unique_ptr<SocketTally>>;
  std::lock_guard<std::mutex> lock(*mutex);
  std::unique_ptr<SocketTally>& tally = (*tallies)[key];
  if (!tally) tally = std::make_unique<SocketTally>();
  return *tally;
}

curl_socket_t OpenCountedSocket(void* data, curlsocktype, curl_sockaddr* address) {
  const curl_socket_t fd =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd != CURL_SOCKET_BAD) {
    auto* tally = static_cast<SocketTally*>(data);
    const int open = ++tally->open;
    int peak = tally->peak;
    while (open > peak && !tally->peak.compare_exchange_weak(peak, open)) {
    }
  }
  return fd;
}

int CloseCountedSocket(void* data, curl_socket_t fd) {
  const int result = ::close(fd);
  --static_cast<SocketTally*>(data)->open;
  return result;
}

}  // namespace inet::detail
