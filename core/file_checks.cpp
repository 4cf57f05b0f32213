#include "core/file_checks.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstring>

namespace msu {

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
