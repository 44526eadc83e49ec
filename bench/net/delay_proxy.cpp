// A TCP relay on 127.0.0.1 that adds a fixed delay in each direction, so
// that a server on the same machine answers as if it were a round trip away
// (netem is not available on these machines). A new connection pays one
// extra round trip before its first byte reaches the server, as the TCP
// handshake would. Every relayed byte keeps its order; the relay buffers at
// most 8 MB per direction and stops reading while that is full.
//
// Usage: pixvane_delay_proxy LISTEN_PORT UPSTREAM_PORT ONE_WAY_MS
// Runs until it is ended by a signal.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kQueueLimit = 8u << 20;

struct Piece {
  Clock::time_point due;
  std::string bytes;  // empty: the sender closed its side
};

// One direction of one connection: a reader thread queues what arrives with
// the moment it may leave; a writer thread sends it then.
class Pipe {
 public:
  Pipe(int from, int to, Clock::duration delay, Clock::duration firstExtra)
      : from_(from), to_(to), delay_(delay), firstExtra_(firstExtra) {}

  void Run() {
    std::thread writer([this] { Write(); });
    Read();
    writer.join();
  }

 private:
  void Push(std::string bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return queued_ < kQueueLimit; });
    queued_ += bytes.size();
    Clock::duration extra = first_ ? firstExtra_ : Clock::duration::zero();
    first_ = false;
    queue_.push_back({Clock::now() + delay_ + extra, std::move(bytes)});
    ready_.notify_one();
  }

  void Read() {
    std::string buffer(65536, '\0');
    for (;;) {
      const ssize_t got = ::read(from_, buffer.data(), buffer.size());
      if (got <= 0) break;
      Push(buffer.substr(0, static_cast<std::size_t>(got)));
    }
    Push({});
  }

  void Write() {
    for (;;) {
      Piece piece;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !queue_.empty(); });
        piece = std::move(queue_.front());
        queue_.pop_front();
      }
      std::this_thread::sleep_until(piece.due);
      if (piece.bytes.empty()) {
        ::shutdown(to_, SHUT_WR);
        return;
      }
      std::size_t sent = 0;
      while (sent < piece.bytes.size()) {
        const ssize_t n = ::write(to_, piece.bytes.data() + sent, piece.bytes.size() - sent);
        if (n <= 0) {
          ::shutdown(from_, SHUT_RDWR);  // the reader ends too
          Drain();
          return;
        }
        sent += static_cast<std::size_t>(n);
      }
      std::lock_guard<std::mutex> lock(mutex_);
      queued_ -= piece.bytes.size();
      room_.notify_one();
    }
  }

  // After a failed write: discard what the reader still queues until it ends.
  void Drain() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [&] { return !queue_.empty(); });
      const bool end = queue_.front().bytes.empty();
      queued_ -= queue_.front().bytes.size();
      queue_.pop_front();
      room_.notify_one();
      if (end) return;
    }
  }

  const int from_, to_;
  const Clock::duration delay_, firstExtra_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<Piece> queue_;
  std::size_t queued_ = 0;
  bool first_ = true;
};

int ConnectUpstream(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void NoDelay(int fd) {
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Relay(int client, int upstreamPort, Clock::duration delay) {
  const int server = ConnectUpstream(upstreamPort);
  if (server < 0) {
    ::close(client);
    return;
  }
  NoDelay(client);
  NoDelay(server);
  // The handshake's round trip is paid by the client's first bytes.
  Pipe up(client, server, delay, 2 * delay);
  Pipe down(server, client, delay, Clock::duration::zero());
  std::thread downThread([&] { down.Run(); });
  up.Run();
  downThread.join();
  ::close(server);
  ::close(client);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s LISTEN_PORT UPSTREAM_PORT ONE_WAY_MS\n", argv[0]);
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  const int listenPort = std::atoi(argv[1]), upstreamPort = std::atoi(argv[2]);
  const auto delay = std::chrono::milliseconds(std::atoi(argv[3]));
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(listenPort));
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 512) != 0) {
    std::perror("pixvane_delay_proxy: listen");
    return 1;
  }
  for (;;) {
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::thread(Relay, client, upstreamPort, delay).detach();
  }
}
