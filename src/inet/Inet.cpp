#include "Inet.h"

#include <memory>

#include "Address.h"
#include "Engine.h"
#include "Library.h"
#include "SocketTally.h"

namespace inet {

Session::Session(std::string agent) : Session(SessionOptions{std::move(agent)}) {}

Session::Session(SessionOptions options) : options_(std::move(options)) {}

Connection::Connection(const Session& session, std::string host, int port, bool secure,
                       std::string userName, std::string password, const std::atomic<bool>* stop)
    : session_(session),
      host_(std::move(host)),
      port_(port),
      secure_(secure),
      userName_(std::move(userName)),
      password_(std::move(password)),
      stop_(stop),
      tally_(&detail::TallyFor(detail::ServerKey(host_, port_))),
      engine_(detail::CurrentEngine()) {
  if (engine_) engine_->ConnectionOpened();
}

Connection::~Connection() {
  if (engine_) engine_->ConnectionClosed();
}

int RequestsAtOnce(const std::string& host, int port) {
  const std::shared_ptr<detail::Engine> engine = detail::CurrentEngine();
  return engine ? engine->RequestsAtOnce(detail::ServerKey(host, port)) : kMaxConnectionsPerServer;
}

}  // namespace inet
