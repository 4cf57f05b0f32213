#include "core/run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace msu {

namespace {

[[noreturn]] void Fail(const std::string& path, const char* what) {
  throw std::runtime_error("Cannot " + std::string(what) + " the lock file " + path + ": " +
                           std::strerror(errno) + ".");
}

// What the holder of a lock someone else holds wrote into its file: the process number on the
// first line, the run's name on the second. The holder writes them just after taking the lock,
// so an empty file is read again for a moment.
LockHolder ReadHolder(int fd) {
  LockHolder holder;
  for (int attempt = 0; attempt < 20; ++attempt) {
    char text[256] = {};
    const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
    if (length > 0) {
      const std::string content(text, static_cast<size_t>(length));
      holder.process = std::atol(content.c_str());
      const size_t end = content.find('\n');
      if (end != std::string::npos) {
        holder.name = content.substr(end + 1);
        holder.name = holder.name.substr(0, holder.name.find('\n'));
      }
      return holder;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return holder;
}

}  // namespace

std::unique_ptr<RunLock> RunLock::TryTake(const std::string& path, long* holder) {
  LockHolder other;
  std::unique_ptr<RunLock> lock = TryTake(path, &other);
  *holder = other.process;
  return lock;
}

std::unique_ptr<RunLock> RunLock::TryTake(const std::string& path, LockHolder* holder,
                                          const std::string& owner) {
  // A lock file removed by its holder between our open and our flock is locked in vain: the
  // next run makes a new file. So the file locked must still be the one at `path`.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) Fail(path, "open");
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error != EWOULDBLOCK) {
        ::close(fd);
        errno = error;
        Fail(path, "lock");
      }
      *holder = ReadHolder(fd);
      ::close(fd);
      return nullptr;
    }
    struct stat locked {
    }, named{};
    if (::fstat(fd, &locked) != 0 || ::stat(path.c_str(), &named) != 0 ||
        locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
      ::close(fd);
      continue;
    }
    // One line each; a name with a line break of its own would read as something else.
    const std::string name = owner.substr(0, owner.find('\n'));
    const std::string content =
        std::to_string(::getpid()) + "\n" + name + (name.empty() ? "" : "\n");
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
      const int error = errno;
      ::unlink(path.c_str());
      ::close(fd);
      errno = error;
      Fail(path, "write");
    }
    return std::unique_ptr<RunLock>(new RunLock(path, fd));
  }
  errno = EAGAIN;
  Fail(path, "take");
}

RunLock::~RunLock() {
  ::unlink(path_.c_str());
  ::close(fd_);
}

}  // namespace msu
