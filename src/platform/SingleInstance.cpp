#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// A file descriptor, closed with its owner.
class FileHandle {
 public:
  explicit FileHandle(int fd = -1) : fd_(fd) {}
  ~FileHandle() { Reset(-1); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  int Get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

enum class Attempt { Locked, Busy, Failed };

struct Outcome {
  Attempt attempt = Attempt::Failed;
  int fd = -1;  // the locked file, owned by the receiver
  std::string path;
  std::string reason;
};

Outcome Failure(const std::string& path, const std::string& why) {
  return {Attempt::Failed, -1, path, path + ": " + why};
}

std::string SystemError() {
  return std::strerror(errno);
}

// Locks the file name inside the open folder folderFd (found at folder),
// creating it with mode 0600, never through a link.
Outcome LockIn(int folderFd, const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name;
  FileHandle file(
      ::openat(folderFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.Get() < 0) return Failure(path, SystemError());
  struct stat info = {};
  if (::fstat(file.Get(), &info) != 0) return Failure(path, SystemError());
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
    return Failure(path, "not a plain file of this user");
  if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return {Attempt::Busy, -1, path, {}};
    return Failure(path, SystemError());
  }
  return {Attempt::Locked, file.Release(), path, {}};
}

Outcome InRuntimeFolder(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return Failure("XDG_RUNTIME_DIR", "not set");
  FileHandle folder(::open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() < 0) return Failure(runtime, SystemError());
  return LockIn(folder.Get(), runtime, name + ".lock");
}

std::string PrivateFolderPath(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
  return base + "/" + name + "-" + std::to_string(::geteuid());
}

// Opens the private folder at path into folder, refusing a link, a folder of
// another user and one that others may enter. The attempt is Locked when the
// folder may be used.
Outcome OpenPrivateFolder(const std::string& path, FileHandle& folder) {
  folder.Reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.Get() < 0) return Failure(path, SystemError());
  struct stat info = {};
  if (::fstat(folder.Get(), &info) != 0) return Failure(path, SystemError());
  if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    return Failure(path, "not a folder private to this user");
  return {Attempt::Locked, -1, path, {}};
}

Outcome InPrivateFolder(const std::string& name) {
  const std::string path = PrivateFolderPath(name);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return Failure(path, SystemError());
  FileHandle folder;
  Outcome opened = OpenPrivateFolder(path, folder);
  if (opened.attempt == Attempt::Failed) return opened;
  return LockIn(folder.Get(), path, name + ".lock");
}

// True when a running instance holds the lock of the private folder. An
// instance that started without a runtime folder keeps its guard there, also
// when a runtime folder has appeared since.
bool HeldInPrivateFolder(const std::string& name) {
  FileHandle folder;
  if (OpenPrivateFolder(PrivateFolderPath(name), folder).attempt == Attempt::Failed) return false;
  const FileHandle file(
      ::openat(folder.Get(), (name + ".lock").c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
  return file.Get() >= 0 && ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// The socket name beside the lock file at lockPath.
std::string ChannelBeside(const std::string& lockPath, const std::string& name) {
  return lockPath.substr(0, lockPath.rfind('/') + 1) + name + ".socket";
}

}  // namespace

TSingleInstanceGuard::~TSingleInstanceGuard() {
  if (fd_ >= 0) ::close(fd_);
}

TSingleInstanceGuard::Result TSingleInstanceGuard::Acquire(const std::string& name) {
  failure_.clear();
  channelPath_.clear();
  if (HeldInPrivateFolder(name)) {
    channelPath_ = PrivateFolderPath(name) + "/" + name + ".socket";
    return Result::AlreadyRunning;
  }
  const Outcome runtime = InRuntimeFolder(name);
  const Outcome outcome = runtime.attempt == Attempt::Failed ? InPrivateFolder(name) : runtime;
  switch (outcome.attempt) {
    case Attempt::Locked:
      if (fd_ >= 0) ::close(fd_);
      fd_ = outcome.fd;
      lockPath_ = outcome.path;
      channelPath_ = ChannelBeside(outcome.path, name);
      return Result::Acquired;
    case Attempt::Busy:
      channelPath_ = ChannelBeside(outcome.path, name);
      return Result::AlreadyRunning;
    case Attempt::Failed:
      break;
  }
  failure_ = runtime.reason + "; " + outcome.reason;
  return Result::Failed;
}
