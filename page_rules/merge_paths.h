// The checks of the merge database page before the check page is shown: the three paths are
// completed and compared, the databases and the working files must not be in use, and an
// existing new database is only replaced when the user agrees. Used by the wizard and by the
// command-line check alike, so that both refuse the same paths with the same words.
#pragma once

#include <string>

#include "core/context.h"
#include "page_rules/database_paths.h"
#include "server_routines/open_connections.h"
#include "server_routines/working_files.h"

namespace msu {

// The three boxes of the merge database page: Database 1, Database 2, New Database.
struct MergePathBoxes {
  std::string database1;
  std::string database2;
  std::string new_database;
  bool operator==(const MergePathBoxes&) const = default;
};

inline constexpr const char* kMsgSourceNotSpecified = "Error, Source Database not specified";
inline constexpr const char* kMsgDatabase2NotSpecified = "Error, Database 2 not specified";
inline constexpr const char* kMsgDatabase1Missing = "Error, Database 1 does not exist";
inline constexpr const char* kMsgDatabase2Missing = "Error, Database 2 does not exist";
inline constexpr const char* kMsgResultNotSpecified = "Error, Resulting Database not specified";
inline constexpr const char* kMsgSameDatabases = "Error, Database 1 and Database 2 are the same.";
inline constexpr const char* kMsgSameAsNewDatabase =
    "Error, Database 1 or Database 2 are the same as the new database.";
inline constexpr const char* kMsgOverwriteNewDatabase =
    "The Resulting database exists.  Do you want to overwrite it?";

// The first rule the trimmed paths break, as the page's message, or empty text when they keep
// them all: Database 1 and Database 2 named (at least 2 characters) and existing, a new
// database named, and the three paths different. Comparisons are exact and case-sensitive;
// beyond them two names of one existing file (SameFilePath: a link, a relative path) are the
// same too. Something that is not a regular file at one of the paths is refused with
// NotAFileMessage ("Database 1", "Database 2", "the Resulting Database").
std::string MergePathsMessage(const std::string& database1, const std::string& database2,
                              const std::string& new_database);

// kInvalid when a rule of MergePathsMessage is broken; see server/database_paths.h.
using MergePathsVerdict = PathsVerdict;
using MergePathsCheck = PathsCheck;

// The whole check of the page, in its order: a leading "~" made the home folder and ".mdf"
// appended to the boxes where missing
// (AppendMdfExtension; the boxes are changed, so the page can show the completed texts), the rules
// of MergePathsMessage on the trimmed texts, then CheckRunCanStart: open connections of the
// three boxes and then of "W_O_R_K_B.tmp" and "W_O_R_K_A.tmp" of the application folder, the
// working names "W_O_R_K_A" and "W_O_R_K_B" free, the new database's folder, name and the room
// on the disks, and the question kMsgOverwriteNewDatabase when the new database exists (told to
// `note`, see OverwriteNote). Never throws.
MergePathsCheck ValidateMergePaths(Context& context, MergePathBoxes& boxes,
                                   const OverwriteNote& note = {});

}  // namespace msu
