#include "core/private_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "core/text.h"

namespace msu {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::system_error(errno, std::system_category(), what + " " + path);
}

}  // namespace

void PreparePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create the file", path);
  const bool narrowed = ::fchmod(fd, 0600) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  if (!narrowed) Fail("Cannot make private the file", path);
}

void MakePrivateFolder(const std::string& folder) {
  std::string made;
  for (size_t at = 0; at != std::string::npos;) {
    at = folder.find('/', at + 1);
    made = folder.substr(0, at);
    if (made.empty()) continue;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) Fail("Cannot create the folder", made);
  }
  if (::chmod(folder.c_str(), 0700) != 0) Fail("Cannot make private the folder", folder);
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void ReplaceFileContents(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new";
  const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("Cannot create the file", fresh);
  bool written = ::fchmod(fd, 0600) == 0;
  for (size_t done = 0; written && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  written = written && ::fsync(fd) == 0;
  int error = errno;
  written = (::close(fd) == 0) && written;
  if (written && ::rename(fresh.c_str(), path.c_str()) == 0) {
    SyncFolder(FolderOf(path));
    return;
  }
  error = errno != 0 ? errno : error;
  ::unlink(fresh.c_str());
  errno = error;
  Fail("Cannot write the file", path);
}

}  // namespace msu
