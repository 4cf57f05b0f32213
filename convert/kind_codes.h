// The kind codes the suite retired in 4.13, the codes that replaced them, and the tables whose
// KindCode column the post-merge conversion rewrites.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace msu::convert {

// One replacement: every old code becomes `new_code`.
struct KindCodeChange {
  std::string new_code;
  std::vector<std::string> old_codes;  // in the order their tests are written
};

// The 33 replacements, in the order they are applied. No new code is also an old code, so the
// order does not change the outcome.
const std::vector<KindCodeChange>& KindCodeChanges();

// The tables whose kind codes are replaced, in the order they are handled.
inline constexpr std::array<const char*, 7> kKindCodeTables = {
    "Persons", "PersonsPost", "Projection", "Quals", "QuickStats", "ReportRecords", "Resources"};

// "UPDATE " + table + " SET KindCode = '" + new + "' WHERE Kindcode = '" + old + "'", the
// tests of several old codes joined with " or ".
std::string KindCodeStatement(std::string_view table, const KindCodeChange& change);

// All 33 replacements of `table` in one statement, "UPDATE table SET KindCode = CASE WHEN
// <tests of replacement 1> THEN 'new 1' ... END WHERE Kindcode IN (<the 41 old codes>)", with
// the same comparisons, so that the table ends as after the 33 statements of KindCodeStatement
// (a row changed by one replacement is never matched by another, since no new code is an old
// code).
std::string KindCodesStatement(std::string_view table);

}  // namespace msu::convert
