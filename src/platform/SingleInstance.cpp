#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return runtime;
  const std::string folder = "/tmp/runtime-" + std::to_string(::getuid());
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

}  // namespace

TSingleInstanceGuard::~TSingleInstanceGuard() {
  if (fd_ >= 0) ::close(fd_);
}

TSingleInstanceGuard::Result TSingleInstanceGuard::Acquire(const std::string& name) {
  const std::string path = RuntimeFolder() + "/" + name + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Result::Failed;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = (errno == EWOULDBLOCK);
    ::close(fd);
    return busy ? Result::AlreadyRunning : Result::Failed;
  }
  fd_ = fd;
  return Result::Acquired;
}
