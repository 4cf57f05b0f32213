// Checks of the finished destination copy of a merge, run before it is placed at the new
// database's path. They only read: nothing is changed or deleted, whatever they find.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "data/second_reader.h"
#include "instructions/instruction_model.h"
#include "merge/merge_figures.h"

namespace msu::merge {

// The rows a table of the destination must hold after the copy: for a core table the rows of
// Database 2 and Database 1 less those the de-duplication removed, for a lookup table the rows
// of Database 2 and the user-added rows of Database 1.
struct ExpectedRows {
  std::string table;
  int64_t rows = 0;
  bool lookup = false;
};

// Rows per key value of a column: (key value, number of rows holding it), in key order, each
// key once (SortRowsPerKey). A flat list: the larger tables have a key for nearly every row.
using RowsPerKey = std::vector<std::pair<int64_t, int64_t>>;

// Puts `rows` in key order with each key once, adding up the counts of a key listed again.
void SortRowsPerKey(RowsPerKey& rows);

// The rows of `table` per value of `key` ("SELECT key, COUNT(*) FROM table GROUP BY key"; NULL
// is not counted). Throws what the connection throws.
RowsPerKey CountPerKey(data::Connection& connection, const std::string& table,
                       const std::string& key);

// Where the rows of one child table must be after the merge, per key of their parent: those of
// Database 2 under their own keys, those of Database 1 under the new keys of their own parent
// rows (old key plus the parent's offset, or the key the auto-increment parent row received).
// Counting them per parent key proves that each child still belongs to its parent, which a
// count of all rows and a check that references resolve cannot.
struct ChildMembership {
  std::string parent_table;  // the parent's table and key column
  std::string parent_key;
  std::string child_table;  // the child's table and key column
  std::string child_key;
  RowsPerKey expected;  // rows per key in the new database (see `added_since`)
  std::string problem;  // why the rows could not be counted: the check reports it
  // When set, `expected` counts only the rows the merge adds to the child table (Database 1's),
  // and the check reads only those (data::Connection::RowMark): Database 2's rows are not
  // changed by a merge. Otherwise `expected` counts every row.
  std::optional<int64_t> added_since;
};

// The rows of each table that the merge adds, by table name (any letter case): the mark of
// what the table held before (data::Connection::RowMark). A table without a mark is read whole.
using RowMarks = std::map<std::string, int64_t>;

// Counts the rows of each table of `expected`; checks that every key of a child table named in
// `tables` finds its parent's row (0, -1 and NULL excepted), that every code of a referring
// table named in `lookups` finds its lookup row (rows whose code fields are all filled), that
// every counter of the NextNumber table is past the largest value of the field it counts, that
// each membership holds (the rows per parent key are those expected), and that every key column
// of `tables` (parents' keys and children's) stays within 32 bits. Where `added` marks what a
// table held before the merge, its references, codes and memberships are checked on the rows
// the merge added only, and a child's references, membership and key range in one pass. A
// check whose statement fails, or that could not be prepared, is a finding too ("could not
// check ..."). With a `second` reader the memberships are read there, on a thread of their own,
// while the other checks run; the findings and figures are the same as without one.
// Never throws.
Verification VerifyDestination(data::Connection& destination, const instructions::Tables& tables,
                               const instructions::LookUps& lookups,
                               const std::vector<ExpectedRows>& expected,
                               const std::vector<ChildMembership>& memberships = {},
                               const RowMarks& added = {}, const data::SecondReader& second = {});

// After the incidents of the new database were folded into `into`: the Incidents table (of
// `tables`, any letter case; none: nothing to check) holds exactly that incident, no row of a
// child of it refers to another incident (0, -1 and NULL excepted), and every table of
// `rows_before` holds the rows it held before (Incidents aside). Never throws.
Verification VerifyConsolidation(data::Connection& database, const instructions::Tables& tables,
                                 int32_t into, const std::vector<TableRows>& rows_before);

// The lines that report a verification: one per finding, then a closing line, each starting
// with `what` ("Verification passed: ...", "Verification failed: ...").
std::vector<std::string> VerificationLines(const Verification& verification,
                                           const std::string& what = "Verification");

// The lines that report a consolidation: what it folded (or, foreseen, would fold) and, after
// it ran, its verification ("Verification of the folding ...").
std::vector<std::string> ConsolidationLines(const Consolidation& consolidation);

// Warnings for a dry run: repeated qualification rows of the source copy whose PersonID or
// ResourceID does not fit 16 bits, which would stop the de-duplication. Never throws.
std::vector<std::string> QualIdWarnings(data::Connection& source);

}  // namespace msu::merge
