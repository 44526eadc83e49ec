// The reasons the internet client gives for a request that failed, spelled
// once. "stopped" and "timed out", which the layers above give as well, are
// in Outcome.h; curl's own words pass through as curl gives them.
#pragma once

#include <string>

#include "Outcome.h"

namespace inet::detail::reason {

using inet::reason::kStopped;
using inet::reason::kTimedOut;

// A request made while no Library is alive, or sent after it ended.
inline constexpr char kNotStarted[] = "the internet client is not started";
inline constexpr char kNoHost[] = "no host in the address";
// An address ReadServer cannot read as a web server's.
inline constexpr char kNotWebAddress[] = "not an http:// or https:// address";
// A Read given no room for a byte.
inline constexpr char kNoRoom[] = "no room to read into";
// The transfer ended without a final response, and curl gave no failure.
inline constexpr char kNoAnswer[] = "the server sent no answer";
inline constexpr char kNoAnswerYet[] = "no answer yet";

// A request's address that names another server than its connection's.
inline std::string OtherServer(const std::string& host, int port) {
  return "the address does not name the server " + host + ":" + std::to_string(port);
}

}  // namespace inet::detail::reason
