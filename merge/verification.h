// Checks of the finished destination copy of a merge, run before it is placed at the new
// database's path. They only read: nothing is changed or deleted, whatever they find.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/data_access.h"
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

// Counts the rows of each table of `expected`; checks that every key of a child table named in
// `tables` finds its parent's row (0, -1 and NULL excepted), that every code of a referring
// table named in `lookups` finds its lookup row (rows whose code fields are all filled), and
// that every counter of the NextNumber table is past the largest value of the field it
// counts. A check whose statement fails is a finding too. Never throws.
Verification VerifyDestination(data::Connection& destination, const instructions::Tables& tables,
                               const instructions::LookUps& lookups,
                               const std::vector<ExpectedRows>& expected);

// The lines that report a verification: one per finding, then a closing line.
std::vector<std::string> VerificationLines(const Verification& verification);

// Warnings for a dry run: repeated qualification rows of the source copy whose PersonID or
// ResourceID does not fit 16 bits, which would stop the de-duplication. Never throws.
std::vector<std::string> QualIdWarnings(data::Connection& source);

}  // namespace msu::merge
