// Reading a database's version: every suite database carries its version in its table
// `version`, rows "DATABASE" (the structure) and "MERGEVERSION" (the version as the merge rules
// know it). The rules that judge the versions belong to the merge (merge/version_rules.h) and
// the split (split/version_rules.h).
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

#include "data/data_access.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::server_routines {

// The statement that reads a database's versions.
inline constexpr const char* kVersionQuery =
    "SELECT * FROM version WHERE UPPER(module) IN ('DATABASE','MERGEVERSION')";

// Numeric reading of a version text; an empty or non-numeric text reads as 0.
double VersionNumber(std::string_view version);

// Part reading of a version text: the parts between the dots as 16-bit signed integers (blanks
// around a part are allowed). Nothing when a part is empty, not a whole number, or outside
// -32768..32767.
std::optional<std::vector<int16_t>> VersionParts(std::string_view version);

// The structure changed the instruction files' format at 4.13 (and ended the legacy
// conversions): a DATABASE version from 4.13 on is read with kInstructionFile4x, an older one
// with kInstructionFilePre4x.
inline constexpr double kInstructions4xVersion = 4.13;
inline constexpr const char* kInstructionFile4x = "CVN_4x.txt";
inline constexpr const char* kInstructionFilePre4x = "CVN_PRE4x.txt";
bool UsesInstructions4x(std::string_view database_version);
std::string InstructionFileForVersion(std::string_view database_version);

// The rows of kVersionQuery on an open connection: the version values of the modules DATABASE
// and MERGEVERSION (a later row of one module overwrites an earlier one; a value may be NULL),
// nothing for a module without a row. Errors of the connection are thrown (data::DataError).
struct VersionRows {
  std::optional<data::Value> database;
  std::optional<data::Value> merge;
};
VersionRows ReadVersionRows(data::Connection& connection);

// Reads the DATABASE and MERGEVERSION versions of the database whose primary data file is
// `path`: finds it among the server's databases (the first whose data file is that file,
// DatabaseOfFile), connects to it through the suite's
// connection settings, only for reading, and runs kVersionQuery. A later row of one module
// overwrites an earlier one; a text whose row is missing is left as it was. Returns true on
// success. On any failure (server, no database of that file, connection, missing version table, a
// NULL version) writes "Error Occured: " + number + " - " + description to the check page's log and
// returns false. Never throws.
bool ReadDatabaseVersion(Context& context, const std::string& path, std::string* database_version,
                         std::string* merge_version);

}  // namespace msu::server_routines
