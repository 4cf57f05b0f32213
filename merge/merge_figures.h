// What a merge did, in figures: the codes the check gave new values, the key offsets, the rows
// copied and removed, the verification of the finished destination copy and the time each
// phase took. The engine fills it as it goes; front ends print it or write it as JSON. None of
// it changes a line of the logs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "convert/post_convert.h"

namespace msu::merge {

// A referring table whose codes followed a recoded lookup code.
struct RecodedReference {
  std::string table;
  std::string field;
  long rows = 0;  // rows changed in the source copy
};

// A user-added lookup code of the source copy that collided and was given a new code.
struct Recode {
  std::string table;
  std::string field;
  std::string old_code;
  std::string new_code;
  std::vector<RecodedReference> referring;
};

// An offset added to a key field of the source copy (the table's own key or a child's key).
struct KeyOffset {
  std::string table;
  std::string field;
  int64_t offset = 0;
  int64_t largest_before = 0;  // largest value of the field in the source copy before the shift
};

struct TableRows {
  std::string table;
  int64_t rows = 0;
};

// One failing check of the verification: `rows` rows of `table` fail it.
struct VerificationFinding {
  std::string table;
  std::string what;  // the line printed for it
  int64_t rows = 0;
};

struct Verification {
  bool ran = false;
  int tables_counted = 0;
  int references_checked = 0;
  int codes_checked = 0;
  int counters_checked = 0;
  int memberships_checked = 0;  // child keys compared, per parent key, with where they belong
  int key_ranges_checked = 0;   // key columns whose values must fit a 32-bit integer
  std::vector<VerificationFinding> findings;
  bool Passed() const { return ran && findings.empty(); }
};

// The incidents of the new database folded into one (FinishCopyTables), and its check; or,
// for a merge told the incident beforehand (MergeOptions::into_incident), the folding as it
// would be, foreseen on the merged copy before anything is placed.
struct Consolidation {
  bool ran = false;                    // FinishCopyTables folded the incidents
  bool foreseen = false;               // counted on the merged copy before it was placed
  bool unknown_incident = false;       // `into` is no incident of the merged copy
  std::vector<std::string> incidents;  // when foreseen: "id  number, name" of each incident
  int32_t into = 0;                    // the incident kept
  int64_t incidents_folded = 0;        // incidents deleted after their rows moved
  std::vector<TableRows> rows_moved;   // per child of Incidents: rows pointed at `into`
  Verification verification;           // one incident left, every child row on it, none lost
};

struct PhaseSeconds {
  std::string phase;
  double seconds = 0;
};

struct MergeFigures {
  std::vector<Recode> recodes;
  std::vector<KeyOffset> offsets;
  // The incidents of the source copy whose keys the destination assigned (an auto-increment
  // Incidents table): their key in Database 1 -> their key in the new database, by the first.
  std::vector<std::pair<int64_t, int64_t>> source_incidents;
  std::vector<TableRows> rows_copied;         // core tables, in copy order
  std::vector<TableRows> lookup_rows_copied;  // non-standard lookup rows
  int64_t rows_removed_by_dedup = 0;
  Verification verification;
  std::vector<std::string> warnings;  // of a dry run: keys past 32 bits, qualification IDs
  std::vector<PhaseSeconds> phases;
  // The post-merge conversion of a Database 1 older than 4.13, when it ran.
  bool post_converted = false;
  convert::PostConvertFigures conversion;
  // The steps that failed while the merge went on ("copying table Persons", ...): the result
  // is incomplete and is kept only at `incomplete_database` (not attached), never at the new
  // database's path.
  std::vector<std::string> failed_steps;
  std::string incomplete_database;
  Consolidation consolidation;
};

}  // namespace msu::merge
