#include "core/file_copier.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <vector>

namespace msu {

namespace {

std::error_code LastSystemError() { return {errno, std::system_category()}; }

// Closes a descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now: a failed close can mean that written data never reached the disk.
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? std::error_code() : LastSystemError();
  }

 private:
  int fd_;
};

// Writes all of `size` bytes.
std::error_code WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return LastSystemError();
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return {};
}

constexpr size_t kChunk = size_t{16} << 20;

// Waits until the `size` bytes of `fd` before `end` are on the disk. Only a head start for the
// final fsync, which still decides; where the system has no such call it does nothing.
void WriteOut(int fd, off_t end, size_t size) {
#ifdef __linux__
  ::sync_file_range(
      fd, end - static_cast<off_t>(size), static_cast<off_t>(size),
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
#else
  (void)fd, (void)end, (void)size;
#endif
}

std::error_code CopyContents(int in, int out, bool sync, const std::function<void()>& keep_alive) {
  off_t done = 0;
  // The kernel copies without handing the bytes over where the file systems allow it.
  for (;;) {
    const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
    if (copied > 0) {
      done += copied;
      // Only a long copy needs to let the window breathe: a full chunk means more may follow.
      if (static_cast<size_t>(copied) == kChunk) {
        if (sync) WriteOut(out, done, kChunk);
        if (keep_alive) keep_alive();
      }
      continue;
    }
    if (copied == 0) return {};
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) break;
    return LastSystemError();
  }
  std::vector<char> buffer(size_t{1} << 20);
  for (size_t since_beat = 0;;) {
    const ssize_t read = ::read(in, buffer.data(), buffer.size());
    if (read < 0) {
      if (errno == EINTR) continue;
      return LastSystemError();
    }
    if (read == 0) return {};
    if (std::error_code error = WriteAll(out, buffer.data(), static_cast<size_t>(read))) {
      return error;
    }
    since_beat += static_cast<size_t>(read);
    done += read;
    if (since_beat >= kChunk) {
      if (sync) WriteOut(out, done, since_beat);
      since_beat = 0;
      if (keep_alive) keep_alive();
    }
  }
}

// fsync, during which a window that asked to stay alive keeps handling its events: the disk may
// take longer to confirm a large file than a click may wait.
std::error_code Sync(int fd, const std::function<void()>& keep_alive) {
  if (!keep_alive) return ::fsync(fd) == 0 ? std::error_code() : LastSystemError();
  std::future<int> synced =
      std::async(std::launch::async, [fd] { return ::fsync(fd) == 0 ? 0 : errno; });
  while (synced.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) keep_alive();
  const int error = synced.get();
  return error == 0 ? std::error_code() : std::error_code(error, std::system_category());
}

class SystemCopier : public FileCopier {
 public:
  std::error_code Copy(const std::string& from, const std::string& to,
                       const CopyOptions& options) override {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return LastSystemError();
    struct stat status {};
    if (::fstat(in.get(), &status) != 0) return LastSystemError();
    if (!S_ISREG(status.st_mode)) return std::make_error_code(std::errc::invalid_argument);
    const mode_t mode = options.private_file ? 0600 : 0666;
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (out.get() < 0) return LastSystemError();
    // A file that was there keeps its old permissions through O_TRUNC.
    if (options.private_file && ::fchmod(out.get(), 0600) != 0) return LastSystemError();
    if (std::error_code error =
            CopyContents(in.get(), out.get(), options.sync, options.keep_alive)) {
      return error;
    }
    if (options.sync) {
      if (std::error_code error = Sync(out.get(), options.keep_alive)) return error;
    }
    return out.Close();
  }
};

}  // namespace

FileCopier& SystemFileCopier() {
  static SystemCopier copier;
  return copier;
}

std::string DiskFullMessage(const std::string& folder) {
  return "The disk is full: no space is left in the folder " + (folder.empty() ? "." : folder);
}

bool IsDiskFull(const std::error_code& error) {
  return error == std::errc::no_space_on_device ||
         (error.category() == std::system_category() && error.value() == EDQUOT);
}

}  // namespace msu
