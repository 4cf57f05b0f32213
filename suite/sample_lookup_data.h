// The reference data sample databases are made of: the standard codes of the lookup tables
// (kinds, categories, agencies, statuses, positions, locations, frequency types) and the
// names the incidents and their crews are given. The rows a database writes from these, and
// the user codes it adds, depend on its role and version (suite/sample_lookups.h).
#pragma once

#include <string>
#include <vector>

namespace msu::suite::sample {

// ---- kind codes (L_Kind)

// Standard in every version.
extern const std::vector<std::string> kCommonKinds;
// Codes that replaced retired ones in 4.13.
extern const std::vector<std::string> kNewKinds;
// Standard before 4.13 and retired since; the post-merge conversion replaces them.
extern const std::vector<std::string> kRetiredKinds;
// New codes that a database before 4.13 holds as user codes while the suite delivers them.
extern const std::vector<std::string> kLateStandardKinds;
// Kind codes kept out of the ordinary qualifications, for the planned duplicates.
extern const std::vector<std::string> kDupKinds;

// ---- the other standard lookup rows

// L_Category descriptions; a category's code is its place in the list, from 1.
extern const std::vector<std::string> kCategoryNames;
// L_Agency codes, the first five federal.
extern const std::vector<std::string> kAgencies;
// L_Agency names, in the order of kAgencies.
extern const std::vector<std::string> kAgencyNames;

struct StatusRow {
  int code;
  const char* text;
  int available;
};
extern const std::vector<StatusRow> kStandardStatuses;

// L_Position codes.
extern const std::vector<std::string> kCommonPositions;

struct LocationRow {
  const char* code;
  const char* state;
  const char* text;
};
extern const std::vector<LocationRow> kStandardLocations;

// L_FreqType descriptions; a type's key is its place in the list, from 1.
extern const std::vector<std::string> kFreqTypeNames;

// ---- names of incidents and persons; some hold single quotes, which every statement built
// from them must survive.

extern const std::vector<std::string> kFirstNames;
extern const std::vector<std::string> kLastNames;
extern const std::vector<std::string> kIncidentNames;

}  // namespace msu::suite::sample
