#include "data/backend.h"

#include "core/text.h"

namespace msu::data {

bool Backend::Serves(const std::string& server) {
  for (const std::string& name : ListServers()) {
    if (EqualsNoCase(name, server)) return true;
  }
  return false;
}

}  // namespace msu::data
