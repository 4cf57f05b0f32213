// The split's version rule: a database older than 4.1 cannot be split. Its version is read by
// ReadDatabaseVersion (server/database_version.h).
#pragma once

#include <string_view>

#include "server_routines/database_version.h"

namespace msu {

// Compared with the numeric reading of a DATABASE version.
inline constexpr double kSplitSupportedVersion = 4.1;

inline constexpr const char* kSplitTooOldMessage =
    "The Database Selected To Split Is Prior To Version 4.1 and Not Supported!";

// True when the DATABASE version is at least 4.1.
bool IsSplitSupported(std::string_view database_version);

}  // namespace msu
