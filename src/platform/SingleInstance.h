// The named single-instance guard (one running instance per user session).
//
// On Linux it is an exclusive advisory lock (flock) on the file <name>.lock in
// the user's runtime folder ($XDG_RUNTIME_DIR). When that lock cannot be made
// (no runtime folder, or one that cannot be written), it is made in a folder
// of the user's own in the temporary folder: <tmp>/<name>-<uid>/<name>.lock,
// with <tmp> from $TMPDIR (when absolute) or /tmp. That folder is created with
// mode 0700 and refused when it is a link, not a folder, not the user's, or
// open to others; the lock file is created with mode 0600, never through a
// link, and refused when it is not a plain file of the user's. The kernel
// drops the lock when the holder dies, however it dies, so a killed instance
// never blocks the next start.
//
// Beside the lock lives the running instance's local socket, <name>.socket,
// through which a second start hands over to it (InstanceChannel.h).
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

  // The lock file held; empty while none is.
  const std::string& LockPath() const { return lockPath_; }
  // The local socket beside the lock: this instance's when Acquire gave
  // Acquired, the running instance's when it gave AlreadyRunning; empty
  // after Failed.
  const std::string& ChannelPath() const { return channelPath_; }
  // Why the last Acquire failed in both places; empty when it did not fail.
  const std::string& FailureReason() const { return failure_; }

 private:
  int fd_ = -1;
  std::string lockPath_;
  std::string channelPath_;
  std::string failure_;
};
