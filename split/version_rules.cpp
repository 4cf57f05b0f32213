#include "split/version_rules.h"

namespace msu {

bool IsSplitSupported(std::string_view database_version) {
  return server_routines::VersionNumber(database_version) >= kSplitSupportedVersion;
}

}  // namespace msu
