// The merge's version rules: before a merge the versions of both databases are read
// (server/database_version.h), a Database 1 too old to merge and a Database 2 whose merge
// version is too old are refused, and the instruction file that matches Database 1 is chosen.
// Used by the wizard and by the command-line check alike.
#pragma once

#include <cstdint>
#include <string_view>

#include "server_routines/database_version.h"

namespace msu {

class Context;

// Numeric thresholds, compared with the numeric reading of a DATABASE version.
inline constexpr double kMergeSupportedVersion = 3.21;  // older sources cannot be merged

// The oldest MERGEVERSION a Database 2 may have: 5.00.06.
inline constexpr int16_t kRequiredMergeMajor = 5;
inline constexpr int16_t kRequiredMergeMinor = 0;
inline constexpr int16_t kRequiredMergeBuild = 6;

inline constexpr const char* kSourceTooOldMessage =
    "The Source Database Version Is Prior To 3.21 and Not Supported.";
inline constexpr const char* kDestinationTooOldMessage =
    "Database 2 must be version 5.01.00 or greater.";

// The numeric rules on a DATABASE version.
bool IsMergeSupported(std::string_view database_version);       // at least 3.21
bool NeedsLegacyConversion(std::string_view database_version);  // below 4.13

// True when `merge_version` (the MERGEVERSION of Database 2) is below 5.00.06: major, minor and
// build are its first three parts, the build being 0 when there are only two. A text that
// cannot be compared this way (empty, as for a missing row; fewer than two parts; a part that
// is not a 16-bit integer) counts as too old.
bool IsDbVerToOld(std::string_view merge_version);

// Chooses the instruction file from context.versions.Database1Version: below 3.21 writes
// kSourceTooOldMessage to the check page's log and returns false; otherwise sets
// context.versions.InstructionFileName to "CVN_4x.txt" (4.13 and above) or "CVN_PRE4x.txt"
// and returns true.
bool ChooseInstructionFile(Context& context);

}  // namespace msu
