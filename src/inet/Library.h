// What the Library (Inet.h) makes for the process: curl's global state,
// prepared while anything of curl is in use, and the engine of the live
// Library that Connections join.
#pragma once

#include <memory>

namespace inet::detail {

class Engine;

// curl_global_init on construction, curl_global_cleanup on destruction.
// Shared by the Library's engine, every transfer and every page fetch, so
// that curl is cleaned up only after the last of its handles is gone.
class CurlGlobal {
 public:
  CurlGlobal();  // throws std::runtime_error when curl cannot be prepared
  ~CurlGlobal();
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;
};

// The engine of the live Library; null when none is alive.
std::shared_ptr<Engine> CurrentEngine();

}  // namespace inet::detail
