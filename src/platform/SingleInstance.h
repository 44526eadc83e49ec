// The named single-instance guard (one running instance per user session).
//
// On Linux it is an exclusive advisory lock (flock) on the file <name>.lock in
// the user's runtime folder ($XDG_RUNTIME_DIR, else /tmp/runtime-<uid>). The
// kernel drops the lock when the holder dies, however it dies, so a killed
// instance never blocks the next start.
#pragma once

#include <string>

class TSingleInstanceGuard {
 public:
  enum class Result { Acquired, AlreadyRunning, Failed };

  TSingleInstanceGuard() = default;
  TSingleInstanceGuard(const TSingleInstanceGuard&) = delete;
  TSingleInstanceGuard& operator=(const TSingleInstanceGuard&) = delete;
  ~TSingleInstanceGuard();

  // Takes the guard named name for the life of this object.
  Result Acquire(const std::string& name);

 private:
  int fd_ = -1;
};
