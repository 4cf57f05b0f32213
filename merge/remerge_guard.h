// The re-merge guard: before the copy, how many persons and resources of Database 1 already
// stand in Database 2 under the same incident number with the same name (resources also with
// the same request number). Two databases of one incident are a normal case; nearly all rows
// found again means that Database 1 was most likely merged into Database 2 before.
#pragma once

#include <cstdint>
#include <string>

#include "data/data_access.h"
#include "data/second_reader.h"

namespace msu::merge {

struct RemergeCounts {
  int64_t persons = 0;  // persons of Database 1
  int64_t persons_found = 0;
  int64_t resources = 0;  // resources of Database 1
  int64_t resources_found = 0;

  // True when at least 90% of each, on at least 20 rows of each, stand in Database 2.
  bool LooksMergedBefore() const;
};

// What the guard found, in the words both the wizard and msu show: "Database 1 looks merged
// into Database 2 already: 39 of 40 persons and 25 of 25 resources of Database 1 stand in
// Database 2 under the same incident number and name."
std::string RemergeFinding(const RemergeCounts& counts);

// True when the guard reads the field `field` of `table` (names compare without regard to
// case, surrounding blanks or brackets): counts taken before that field changed no longer hold.
bool RemergeReads(const std::string& table, const std::string& field);

// Counts on the working copies A (`source`) and B (`destination`); names compare without
// regard to case and surrounding blanks. A Database 1 older than 4.13 (`legacy_source`) still
// writes its request numbers in the old notations, which its merge rewrote in the notation of
// convert/request_number.h: its request numbers are compared in that notation. With a
// `second` reader of B, B is read there on a thread of its own while A is read. Throws
// data::DataError when a statement fails.
RemergeCounts CountRemergedRows(data::Connection& source, data::Connection& destination,
                                bool legacy_source = false, const data::SecondReader& second = {});

}  // namespace msu::merge
