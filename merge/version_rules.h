// The version rules: every suite database carries its version in its table `version`, rows
// "DATABASE" (the structure) and "MERGEVERSION" (the version as the merge rules know it).
// Before a merge the versions of both databases are read, databases too old are refused and
// the instruction file that matches Database 1 is chosen; before a split, databases older than
// 4.1 are refused.
//
// A version text is dot-separated decimal numbers, major first, minor and build written with
// two digits (5.01.00). It is read two ways:
//   numeric: the leading number as a decimal fraction, the second dot ending it, so 4.13.00
//            reads as 4.13 and 4.2.0 as 4.2 (which is above 4.13);
//   by parts: split at every dot, each part a 16-bit signed integer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msu {

class Context;

// The statement that reads a database's versions.
inline constexpr const char* kVersionQuery =
    "SELECT * FROM version WHERE UPPER(module) IN ('DATABASE','MERGEVERSION')";

inline constexpr const char* kInstructionFile4x = "CVN_4x.txt";
inline constexpr const char* kInstructionFilePre4x = "CVN_PRE4x.txt";

// Numeric thresholds, compared with the numeric reading of a DATABASE version.
inline constexpr double kMergeSupportedVersion = 3.21;  // older sources cannot be merged
inline constexpr double kInstructions4xVersion = 4.13;  // also ends the legacy conversions
inline constexpr double kSplitSupportedVersion = 4.1;   // older databases cannot be split

// The oldest MERGEVERSION a Database 2 may have: 5.00.06.
inline constexpr int16_t kRequiredMergeMajor = 5;
inline constexpr int16_t kRequiredMergeMinor = 0;
inline constexpr int16_t kRequiredMergeBuild = 6;

inline constexpr const char* kSourceTooOldMessage =
    "The Source Database Version Is Prior To 3.21 and Not Supported.";
inline constexpr const char* kDestinationTooOldMessage =
    "Database 2 must be version 5.01.00 or greater.";
inline constexpr const char* kSplitTooOldMessage =
    "The Database Selected To Split Is Prior To Version 4.1 and Not Supported!";

// Numeric reading of a version text; an empty or non-numeric text reads as 0.
double VersionNumber(std::string_view version);

// Part reading of a version text: the parts between the dots as 16-bit signed integers (blanks
// around a part are allowed). Nothing when a part is empty, not a whole number, or outside
// -32768..32767.
std::optional<std::vector<int16_t>> VersionParts(std::string_view version);

// The numeric rules on a DATABASE version.
bool IsMergeSupported(std::string_view database_version);       // at least 3.21
bool UsesInstructions4x(std::string_view database_version);     // at least 4.13
bool NeedsLegacyConversion(std::string_view database_version);  // below 4.13
bool IsSplitSupported(std::string_view database_version);       // at least 4.1

// True when `merge_version` (the MERGEVERSION of Database 2) is below 5.00.06: major, minor and
// build are its first three parts, the build being 0 when there are only two. A text that
// cannot be compared this way (empty, as for a missing row; fewer than two parts; a part that
// is not a 16-bit integer) counts as too old.
bool IsDbVerToOld(std::string_view merge_version);

// Reads the DATABASE and MERGEVERSION versions of the database whose primary data file is
// `path`: finds it among the server's databases (the database whose trimmed physical file
// path, upper-cased, is contained in the upper-cased `path`), connects to it through the
// suite's connection settings and runs kVersionQuery. A later row of one module overwrites an
// earlier one; a text whose row is missing is left as it was.
// Returns true on success. On any failure (server, no database of that file, connection,
// missing version table, a NULL version) writes "Error Occured: " + number + " - " +
// description to the check page's log and returns false. Never throws.
bool ReadDatabaseVersion(Context& context, const std::string& path, std::string* database_version,
                         std::string* merge_version);

// Chooses the instruction file from context.versions.Database1Version: below 3.21 writes
// kSourceTooOldMessage to the check page's log and returns false; otherwise sets
// context.versions.InstructionFileName to "CVN_4x.txt" (4.13 and above) or "CVN_PRE4x.txt"
// and returns true.
bool ChooseInstructionFile(Context& context);

}  // namespace msu
