// The page fetch's driver: the transfer runs on the caller's thread while it
// waits, on a curl multi handle of its own, never in line behind downloads.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <mutex>

#include "Driver.h"
#include "Library.h"

namespace inet::detail {

class LocalDriver final : public Driver {
 public:
  // Holds curl's global state while its multi handle lives.
  explicit LocalDriver(std::shared_ptr<const CurlGlobal> curl);
  ~LocalDriver() override;
  LocalDriver(const LocalDriver&) = delete;
  LocalDriver& operator=(const LocalDriver&) = delete;
  void Start(Transfer& transfer) override;
  void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
            const std::function<bool()>& ready) override;
  void Resume(Transfer& transfer) override;
  void Finish(std::unique_ptr<Transfer> transfer) override;

 private:
  void Step(Transfer& transfer, const std::function<bool()>& ready);
  std::shared_ptr<const CurlGlobal> curl_;  // outlives multi_
  CURLM* multi_;
};

}  // namespace inet::detail
