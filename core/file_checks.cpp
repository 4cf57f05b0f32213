#include "core/file_checks.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>

namespace msu {

std::optional<FileIdentity> IdentityOfFile(const std::string& path) {
  struct stat status {};
  if (path.empty() || ::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

std::string NotARegularFile(const std::string& path) {
  struct stat status {};
  if (path.empty() || ::stat(path.c_str(), &status) != 0) {
    if (path.empty() || errno == ENOENT || errno == ENOTDIR) return "it does not exist";
    return std::strerror(errno);
  }
  if (S_ISREG(status.st_mode)) return {};
  if (S_ISDIR(status.st_mode)) return "it is a folder";
  if (S_ISFIFO(status.st_mode)) return "it is a pipe";
  if (S_ISSOCK(status.st_mode)) return "it is a socket";
  return "it is a device";
}

}  // namespace msu
