#include "core/file_copier.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::error_code CopyContents(int in, int out, const std::function<void()>& keep_alive) {
  // The kernel copies without handing the bytes over where the file systems allow it.
  for (;;) {
    const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
    if (copied > 0) {
      // Only a long copy needs to let the window breathe: a full chunk means more may follow.
      if (static_cast<size_t>(copied) == kChunk && keep_alive) keep_alive();
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
    if (since_beat >= kChunk && keep_alive) {
      since_beat = 0;
      keep_alive();
    }
  }
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
    if (std::error_code error = CopyContents(in.get(), out.get(), options.keep_alive)) return error;
    if (options.sync && ::fsync(out.get()) != 0) return LastSystemError();
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
