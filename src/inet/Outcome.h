// How an operation ended: done, or failed with the reason a user reads.
//
// One type carries a failure from the socket to the screen. Each layer
// passes the reason on as it came, or puts its own words in front of it
// ("cannot create /pics/a.jpg: Permission denied"); only the window turns it
// into its own language. Exceptions are kept for what the design raises
// itself: a failure of an event handler, and the error report.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>

namespace inet {

// The reasons that more than one layer gives, spelled once.
namespace reason {
inline constexpr char kStopped[] = "stopped";     // a stop was asked for
inline constexpr char kTimedOut[] = "timed out";  // nothing arrived within the idle limit
// A request that went but brought no status, where its caller gave no
// other reason.
inline constexpr char kNoResponse[] = "no answer from the server";
}  // namespace reason

class [[nodiscard]] Outcome {
 public:
  static Outcome Done() { return Outcome(); }
  // A failure always says why: an empty reason is a fault of the caller.
  static Outcome Failed(std::string reason) {
    assert(!reason.empty());
    return Outcome(std::move(reason));
  }

  bool Ok() const { return !reason_.has_value(); }
  explicit operator bool() const { return Ok(); }
  // Why it failed; empty when it did not.
  const std::string& Reason() const {
    static const std::string none;
    return reason_ ? *reason_ : none;
  }

 private:
  Outcome() = default;
  explicit Outcome(std::string reason) : reason_(std::move(reason)) {}
  std::optional<std::string> reason_;
};

// A value, or the reason there is none.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)), outcome_(Outcome::Done()) {}  // NOLINT: implicit
  Result(Outcome failure) : outcome_(std::move(failure)) { assert(!outcome_.Ok()); }  // NOLINT

  bool Ok() const { return outcome_.Ok(); }
  explicit operator bool() const { return Ok(); }
  const std::string& Reason() const { return outcome_.Reason(); }
  const Outcome& AsOutcome() const { return outcome_; }

  // The value; only when Ok.
  T& Value() {
    assert(Ok());
    return *value_;
  }
  const T& Value() const {
    assert(Ok());
    return *value_;
  }
  T& operator*() { return Value(); }
  const T& operator*() const { return Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }

 private:
  std::optional<T> value_;
  Outcome outcome_;
};

}  // namespace inet
