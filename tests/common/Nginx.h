// A real web server for the network tests and benchmarks: Debian's nginx,
// started on free ports of 127.0.0.1 with a configuration of its own (plain
// HTTP, and TLS with HTTP/2 when a certificate is given), serving a folder,
// and stopped again by its process id. Its access log names the connection
// of every request, so tests can count connections at the server.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ClosedPort.h"

extern char** environ;

namespace testnet {

struct NginxOptions {
  std::string root;      // the folder served at "/"
  std::string certFile;  // with keyFile: a second server speaking TLS and HTTP/2
  std::string keyFile;
  int keepaliveRequests = 1000;  // requests on one connection before the server closes it
  std::string keepaliveTimeout = "65s";
  int maxStreams = 128;  // HTTP/2 streams at once on one connection
  bool http2 = true;     // the TLS server offers HTTP/2 (ALPN); else HTTP/1.1 only
};

// One entry of the access log.
struct NginxHit {
  long connection = 0;  // the server's serial number of the connection
  int port = 0;
  std::string protocol;  // "HTTP/1.1", "HTTP/2.0"
  int status = 0;
  std::string uri;
  std::string range;  // the Range header as received, "-" when none
  std::string authorization;
  bool sessionReused = false;  // the TLS session was resumed
};

class Nginx {
 public:
  Nginx() = default;
  ~Nginx() { Stop(); }
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

  // The nginx program, when installed (scripts/deps installs nginx-light).
  static std::string Program() {
    for (const char* path : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
      if (::access(path, X_OK) == 0) return path;
    return {};
  }

  // Writes the configuration into folder (created if needed) and starts the
  // server; true once it accepts connections. Why it failed is in Failure().
  bool Start(const std::string& folder, const NginxOptions& options) {
    folder_ = folder.back() == '/' ? folder : folder + "/";
    const std::string program = Program();
    if (program.empty()) {
      failure_ = "nginx is not installed (scripts/deps installs nginx-light)";
      return false;
    }
    ::mkdir(folder_.c_str(), 0755);
    ::mkdir((folder_ + "tmp").c_str(), 0755);
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = ClosedPort();
      tlsPort_ = options.certFile.empty() ? -1 : ClosedPort();
      if (port_ == tlsPort_) continue;
      WriteConfig(options);
      if (Launch(program)) return true;
      Stop();
    }
    return false;
  }

  // Fast shutdown; waits for the process (killed after 5 s).
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  int Port() const { return port_; }
  int TlsPort() const { return tlsPort_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string TlsUrl(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(tlsPort_) + path;
  }
  const std::string& Failure() const { return failure_; }

  // Every request logged so far (nginx writes a line as each request ends).
  std::vector<NginxHit> Hits() const {
    std::vector<NginxHit> hits;
    std::ifstream log(folder_ + "access.log");
    std::string line;
    while (std::getline(log, line)) {
      std::vector<std::string> f;
      std::stringstream fields(line);
      std::string field;
      while (std::getline(fields, field, '|')) f.push_back(field);
      if (f.size() < 8) continue;
      NginxHit hit;
      hit.connection = std::atol(f[0].c_str());
      hit.port = std::atoi(f[1].c_str());
      hit.protocol = f[2];
      hit.status = std::atoi(f[3].c_str());
      hit.uri = f[4];
      hit.range = f[5];
      hit.authorization = f[6];
      hit.sessionReused = f[7] == "r";
      hits.push_back(hit);
    }
    return hits;
  }
  // Distinct connections that carried the logged requests to a port.
  int Connections(int port) const {
    std::set<long> ids;
    for (const NginxHit& hit : Hits())
      if (hit.port == port) ids.insert(hit.connection);
    return static_cast<int>(ids.size());
  }

 private:
  void WriteConfig(const NginxOptions& o) {
    const std::string& f = folder_;
    std::ofstream conf(f + "nginx.conf");
    // One process that stays in the foreground: no master, no user switch.
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "error_log " << f << "error.log warn;\npid " << f << "nginx.pid;\n"
         << "events { worker_connections 4096; }\n"
         << "http {\n"
         << "  log_format counted '$connection|$server_port|$server_protocol|$status|$request_uri|"
            "$http_range|$http_authorization|$ssl_session_reused';\n"
         << "  access_log " << f << "access.log counted;\n"
         << "  client_body_temp_path " << f << "tmp/body;\n"
         << "  proxy_temp_path " << f << "tmp/proxy;\n"
         << "  fastcgi_temp_path " << f << "tmp/fastcgi;\n"
         << "  uwsgi_temp_path " << f << "tmp/uwsgi;\n"
         << "  scgi_temp_path " << f << "tmp/scgi;\n"
         << "  types { text/html html htm; image/jpeg jpg jpeg; }\n"
         << "  default_type application/octet-stream;\n"
         << "  sendfile on;\n  tcp_nopush on;\n  tcp_nodelay on;\n"
         << "  keepalive_timeout " << o.keepaliveTimeout << ";\n"
         << "  keepalive_requests " << o.keepaliveRequests << ";\n"
         << "  http2_max_concurrent_streams " << o.maxStreams << ";\n"
         << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << o.root << ";\n  }\n";
    if (tlsPort_ > 0)
      conf << "  server {\n    listen 127.0.0.1:" << tlsPort_
           << (o.http2 ? " ssl http2;\n" : " ssl;\n") << "    ssl_certificate " << o.certFile
           << ";\n"
           << "    ssl_certificate_key " << o.keyFile << ";\n"
           << "    ssl_session_cache shared:tls:1m;\n"
           << "    root " << o.root << ";\n  }\n";
    conf << "}\n";
  }

  bool Launch(const std::string& program) {
    std::ofstream(folder_ + "access.log", std::ios::trunc);
    const std::string conf = folder_ + "nginx.conf", log = folder_ + "error.log",
                      out = folder_ + "stderr.txt";
    std::vector<std::string> args = {program, "-p", folder_, "-c", conf, "-e", log};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      failure_ = "cannot start " + program;
      return false;
    }
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        std::ifstream errors(log), early(out);
        std::stringstream text;
        text << early.rdbuf() << errors.rdbuf();
        failure_ = "nginx ended at once: " + text.str();
        return false;
      }
      if (Accepts(port_) && (tlsPort_ < 0 || Accepts(tlsPort_))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    failure_ = "nginx did not answer within 5 s";
    return false;
  }

  std::string folder_;
  std::string failure_;
  pid_t pid_ = -1;
  int port_ = -1;
  int tlsPort_ = -1;
};

}  // namespace testnet
