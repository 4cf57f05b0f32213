// The --json document of msu merge: versions, instruction file, recodes, key offsets, rows
// copied and removed, the verification, the re-merge guard's counts and the seconds of each
// phase, as the engine counted them.
#pragma once

#include <iosfwd>
#include <string>

#include "core/context.h"
#include "merge/merge_sequence.h"

namespace msu::cli {

struct MergeJsonInput {
  const Context* context = nullptr;
  const merge::Merge* engine = nullptr;  // null when the check made none
  merge::CheckOutcome check;
  const merge::MergeOutcome* merge = nullptr;  // null when the merge did not start
  bool dry_run = false;
  std::string new_database;
  int exit_status = 0;
};

// The document, indented, ending with a line end.
std::string MergeJsonText(const MergeJsonInput& input);

// Writes `text` to `path` through a temporary file beside it. False with `problem` set when it
// cannot be written; a file already at `path` is then left as it was.
bool WriteTextFile(const std::string& path, const std::string& text, std::string* problem);

// WriteTextFile for --json: when the figures cannot be written, says why on `err` and returns
// false (the command then ends with its own status for it).
bool SaveJsonFigures(const std::string& path, const std::string& text, std::ostream& err);

}  // namespace msu::cli
