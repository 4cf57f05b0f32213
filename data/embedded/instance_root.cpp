#include <cstdlib>
#include <string>

#include "core/text.h"
#include "data/embedded/instance.h"

namespace msu::embedded {

std::string DefaultInstanceRoot() {
  if (const char* root = std::getenv("ORVANE_SERVER_ROOT"); root != nullptr && *root != '\0') {
    return root;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return JoinPath(data, "orvane-server");
  }
  const char* home = std::getenv("HOME");
  return JoinPath(JoinPath(home != nullptr ? home : "/tmp", ".local/share"), "orvane-server");
}

}  // namespace msu::embedded
