// How the internet client reads an address: the server it names, the key of
// that server's line, and the address as it is sent on a connection.
#pragma once

#include <string>

namespace inet {
class Connection;
}

namespace inet::detail {

// "host:port" with the host in lower case: the key of a server's line.
std::string ServerKey(const std::string& host, int port);

// The address as it is sent to a connection's server: encoded, and with
// "http://" in front when it names no scheme. Empty when it names another
// server than the connection's (scheme http, or https for TLS; host with
// letter case ignored; port).
std::string AddressFor(const Connection& connection, const std::string& address);

}  // namespace inet::detail
