// The checks of the split database page before the incident selection page is shown: the two
// paths are completed and compared, the database to split, the resulting database and the
// working file must not be in use, and an existing resulting database is only replaced when the
// user agrees. Used by the wizard (and by a command-line split), so that every front end refuses
// the same paths with the same words.
#pragma once

#include <string>

#include "core/context.h"
#include "page_rules/database_paths.h"

namespace msu {

inline constexpr const char* kMsgSplitSourceNotSpecified = "Error, Database to Split not specified";
inline constexpr const char* kMsgSplitSourceMissing = "Error, Database does not exist";
inline constexpr const char* kMsgSplitResultNotSpecified =
    "Error, Resulting Database not specified";
inline constexpr const char* kMsgSplitSameNames = "Error, databases are the same name.";
inline constexpr const char* kMsgOverwriteSplitResult =
    "The Resulting database exists. Do you want to overwrite it?";

// The first rule the trimmed paths break, as the page's message, or empty text when they keep
// them all: the database to split named (at least 2 characters) and existing, a resulting
// database named, and the two paths different. Comparisons are exact and case-sensitive;
// beyond them two names of one existing file (SameFilePath) are the same too. Something that
// is not a regular file at either path is refused with NotAFileMessage.
std::string SplitPathsMessage(const std::string& source, const std::string& target);

// The whole check of the page, in its order: a leading "~" made the home folder and ".mdf"
// appended to both boxes where missing (the
// boxes are changed, so the page can show the completed texts), the rules of
// SplitPathsMessage on the trimmed texts (kInvalid), then CheckRunCanStart
// (server/database_paths.h): open connections of the two boxes and then of "W_O_R_K_A.tmp" of
// the application folder, the working name "W_O_R_K_A" free, the resulting database's folder,
// name and the room on the disks, and the question kMsgOverwriteSplitResult when the resulting
// database exists (told to `note`, see OverwriteNote). Never throws.
PathsCheck ValidateSplitPaths(Context& context, std::string& source, std::string& target,
                              const OverwriteNote& note = {});

}  // namespace msu
