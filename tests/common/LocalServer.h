// The in-process servers on 127.0.0.1 that every network test uses: a
// cpp-httplib server on a random port (plain or TLS with a throw-away
// certificate), a listener that never answers and a port that is closed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "ClosedPort.h"

namespace testnet {

// Requests to 127.0.0.1 never go through a proxy, whatever the environment says.
inline const bool kNoProxy = [] {
  setenv("no_proxy", "127.0.0.1,localhost", 1);
  setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  return true;
}();

// A cpp-httplib server on 127.0.0.1 and a random port. Register the handlers
// through operator-> first, then Start(). The destructor stops it.
class LocalServer {
 public:
  LocalServer() : server_(std::make_unique<httplib::Server>()) {}
  LocalServer(const std::string& certFile, const std::string& keyFile)
      : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
        secure_(true) {}
  ~LocalServer() { Stop(); }
  LocalServer(const LocalServer&) = delete;
  LocalServer& operator=(const LocalServer&) = delete;

  httplib::Server* operator->() { return server_.get(); }

  // Binds and serves; true when the server is up.
  bool Start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return server_->is_running();
  }

  void Stop() {
    if (thread_.joinable()) {
      server_->stop();
      thread_.join();
    }
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  bool secure_ = false;
  int port_ = -1;
  std::thread thread_;
};

// A socket on 127.0.0.1 that listens and never accepts: connections succeed
// and no byte ever comes back.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
  }
  ~SilentListener() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  int fd_ = -1;
  int port_ = -1;
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool into
// folder (cert.pem, key.pem). True when both files were written.
inline bool MakeCertificate(const std::string& folder, std::string& certFile,
                            std::string& keyFile) {
  certFile = folder + "cert.pem";
  keyFile = folder + "key.pem";
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      keyFile + "' -out '" + certFile + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && std::ifstream(certFile).good() &&
         std::ifstream(keyFile).good();
}

// Bytes 0..255 over and over: a body in which every byte value occurs.
inline std::string PatternBytes(std::size_t size, unsigned seed = 0) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + seed + (i >> 8)) & 0xFF);
  return bytes;
}

}  // namespace testnet
