// The page fetch's driver: the transfer runs on the caller's thread while it
// waits, on a curl multi handle of its own, never in line behind downloads.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <memory>
#include <mutex>

#include "Driver.h"

namespace inet::detail {

class LocalDriver final : public Driver {
 public:
  LocalDriver();
  ~LocalDriver() override;
  void Start(Transfer& transfer) override;
  void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
            const std::function<bool()>& ready) override;
  void Resume(Transfer& transfer) override;
  void Finish(std::unique_ptr<Transfer> transfer) override;

 private:
  void Step(Transfer& transfer, const std::function<bool()>& ready);
  CURLM* multi_;
};

}  // namespace inet::detail
