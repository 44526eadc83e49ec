// What runs a transfer: the process's network thread for the requests made
// on a Connection (Engine), or the caller's own thread for the page fetch
// (LocalDriver). A request talks to its driver through this alone.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "Transfer.h"

namespace inet::detail {

// Runs transfers. Start, Resume and Finish are called by the reader's
// thread without the transfer's lock; Wait with it held.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual void Start(Transfer& transfer) = 0;
  // Blocks until ready() (evaluated with the lock held) or the transfer ended.
  virtual void Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
                    const std::function<bool()>& ready) = 0;
  // Lets curl deliver the body again after a pause.
  virtual void Resume(Transfer& transfer) = 0;
  // Takes a started transfer out of the driver and releases it.
  virtual void Finish(std::unique_ptr<Transfer> transfer) = 0;
};

}  // namespace inet::detail
