// The --json document of msu split: the database and the new one, its version, the incidents
// listed with what became of each, the verification and the seconds of each phase, as the
// engine counted them; for a dry run the rows of each table before and after the removal.
#pragma once

#include <string>

#include "split/split_sequence.h"

namespace msu::cli {

struct SplitJsonInput {
  std::string source;
  std::string new_database;
  std::string version;
  const split::IncidentEntries* list = nullptr;
  const split::Split* engine = nullptr;          // null when none was made
  const split::SplitOutcome* outcome = nullptr;  // null when the split did not run
  bool dry_run = false;
  int exit_status = 0;
};

// The document, indented, ending with a line end.
std::string SplitJsonText(const SplitJsonInput& input);

}  // namespace msu::cli
