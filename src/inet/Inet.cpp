#include "Inet.h"

#include <curl/curl.h>

#include <mutex>

#include "Address.h"
#include "Engine.h"
#include "SocketTally.h"

namespace inet {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// ---------------------------------------------------------------------------

Session::Session(std::string agent) : Session(SessionOptions{std::move(agent)}) {}

Session::Session(SessionOptions options) : options_(std::move(options)) {
  GlobalInit();
}

Connection::Connection(const Session& session, std::string host, int port, bool secure,
                       std::string userName, std::string password, const std::atomic<bool>* stop)
    : session_(session),
      host_(std::move(host)),
      port_(port),
      secure_(secure),
      userName_(std::move(userName)),
      password_(std::move(password)),
      stop_(stop),
      tally_(&detail::TallyFor(detail::ServerKey(host_, port_))) {
  detail::Engine::Get().ConnectionOpened();
}

int RequestsAtOnce(const std::string& host, int port) {
  return detail::Engine::Get().RequestsAtOnce(detail::ServerKey(host, port));
}

Connection::~Connection() {
  detail::Engine::Get().ConnectionClosed();
}

}  // namespace inet
