#include "LocalDriver.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "Limits.h"
#include "Reasons.h"

namespace inet::detail {

LocalDriver::LocalDriver(std::shared_ptr<const CurlGlobal> curl)
    : curl_(std::move(curl)), multi_(curl_multi_init()) {
  if (multi_ == nullptr) throw std::bad_alloc();
}

LocalDriver::~LocalDriver() {
  curl_multi_cleanup(multi_);
}

void LocalDriver::Start(Transfer& transfer) {
  if (curl_multi_add_handle(multi_, transfer.Easy()) != CURLM_OK) {
    transfer.End(transfer.Lock(), CURLE_FAILED_INIT);
    return;
  }
  transfer.net.attached = true;
}

void LocalDriver::Wait(Transfer& transfer, std::unique_lock<std::mutex>& lock,
                       const std::function<bool()>& ready) {
  while (!transfer.Locked(lock).done && !ready()) {
    lock.unlock();
    Step(transfer, ready);
    lock.lock();
  }
}

// One round of curl on this thread: run it, take its verdict, and sleep until
// the network has something or the idle time limit is near.
void LocalDriver::Step(Transfer& transfer, const std::function<bool()>& ready) {
  int running = 0;
  CURLcode ended = CURLE_OK;
  bool finished = curl_multi_perform(multi_, &running) != CURLM_OK;
  if (finished) ended = CURLE_FAILED_INIT;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == transfer.Easy()) {
      finished = true;
      ended = message->data.result;
    }
  }
  const auto now = Clock::now();
  auto lock = transfer.Lock();
  if (finished) {
    transfer.End(lock, ended);
    return;
  }
  transfer.NoteProgress(lock, now);
  if (transfer.IdleExpired(lock, now)) {
    transfer.End(lock, CURLE_OPERATION_TIMEDOUT, reason::kTimedOut);
    return;
  }
  if (ready()) return;
  const auto idle = transfer.setup.idleLimit;
  auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(
      transfer.net.connected ? idle - (now - transfer.Locked(lock).lastActivity) : idle);
  lock.unlock();
  slice = std::clamp(slice, std::chrono::milliseconds(1), kPageFetchPollSlice);
  curl_multi_poll(multi_, nullptr, 0, static_cast<int>(slice.count()), nullptr);
}

void LocalDriver::Resume(Transfer& transfer) {
  {
    const auto lock = transfer.Lock();
    Transfer::Shared& shared = transfer.Locked(lock);
    shared.paused = false;
    shared.resumeAsked = false;
  }
  curl_easy_pause(transfer.Easy(), CURLPAUSE_CONT);  // may hand a delivery over at once
}

void LocalDriver::Finish(std::unique_ptr<Transfer> transfer) {
  if (transfer->net.attached) curl_multi_remove_handle(multi_, transfer->Easy());
}

}  // namespace inet::detail
