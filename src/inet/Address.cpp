#include "Address.h"

#include <curl/curl.h>

#include <charconv>
#include <memory>

#include "Ascii.h"
#include "Inet.h"
#include "Reasons.h"

namespace inet {

namespace {

// An address as curl's URL parser reads it.
class ParsedUrl {
 public:
  explicit ParsedUrl(const std::string& address) : url_(curl_url(), &curl_url_cleanup) {
    ok_ = url_ && curl_url_set(url_.get(), CURLUPART_URL, address.c_str(), 0) == CURLUE_OK;
  }
  bool Ok() const { return ok_; }
  // One part; false when the address has none.
  bool Part(CURLUPart which, unsigned flags, std::string& out) const {
    char* text = nullptr;
    if (!ok_ || curl_url_get(url_.get(), which, &text, flags) != CURLUE_OK) return false;
    out = text;
    curl_free(text);
    return true;
  }

 private:
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url_;
  bool ok_ = false;
};

// The server an address names: its scheme, host and port (the scheme's
// default when it names none). False when the address cannot be parsed.
struct Server {
  std::string scheme, host, port;
};
bool ServerOf(const ParsedUrl& url, Server& server) {
  return url.Part(CURLUPART_SCHEME, 0, server.scheme) && url.Part(CURLUPART_HOST, 0, server.host) &&
         url.Part(CURLUPART_PORT, CURLU_DEFAULT_PORT, server.port);
}
bool ServerOf(const std::string& address, Server& server) {
  return ServerOf(ParsedUrl(address), server);
}

}  // namespace

std::string detail::ServerKey(const std::string& host, int port) {
  return detail::AsciiLower(host) + ":" + std::to_string(port);
}

std::string detail::AddressFor(const Connection& connection, const std::string& address) {
  std::string url = EncodeAddress(address);
  Server server;
  if (!ServerOf(url, server)) {
    url.insert(0, "http://");
    if (!ServerOf(url, server)) return {};
  }
  const bool same = detail::AsciiLower(server.scheme) == (connection.Secure() ? "https" : "http") &&
                    detail::SameTextIgnoreCase(server.host, connection.Host()) &&
                    server.port == std::to_string(connection.Port());
  return same ? url : std::string();
}

Result<ServerName> ReadServer(const std::string& address) {
  const ParsedUrl url(EncodeAddress(address));
  Server parts;
  if (!ServerOf(url, parts)) return Outcome::Failed(detail::reason::kNotWebAddress);
  const std::string scheme = detail::AsciiLower(parts.scheme);
  int port = 0;
  const char* const end = parts.port.data() + parts.port.size();
  if ((scheme != "http" && scheme != "https") ||
      std::from_chars(parts.port.data(), end, port).ptr != end || port <= 0)
    return Outcome::Failed(detail::reason::kNotWebAddress);
  ServerName server{parts.host, port, scheme == "https", {}, {}};
  url.Part(CURLUPART_USER, CURLU_URLDECODE, server.userName);
  url.Part(CURLUPART_PASSWORD, CURLU_URLDECODE, server.password);
  return server;
}

std::string EncodeAddress(std::string_view address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace inet
