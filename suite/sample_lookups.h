// The lookup tables of a sample database: L_Category, L_Kind, L_Agency, L_Status, L_Position,
// L_Location and L_FreqType. Each holds the standard rows of the database's version
// (suite/sample_lookup_data.h) and user codes. The two databases of a merge pair differ on
// purpose: a few standard rows differ in one field, and user codes of both collide, so that
// the check and the recoding of the merge have every case to handle (SampleOverlaps lists
// them).
#pragma once

#include <string>
#include <vector>

#include "suite/sample_generator.h"
#include "suite/sample_rows.h"
#include "suite/schema.h"

namespace msu::suite::sample {

// True for the versions before 4.13 (4.12.00, 3.21.00): their samples hold the retired kind
// codes, the old request-number notations and the trainee flags as 'T'/'F'.
inline bool IsLegacy(SchemaVersion version) { return version != SchemaVersion::k5_01_00; }

// The codes the other tables of a database refer to.
struct LookupCodes {
  std::vector<std::string> kinds;       // every kind code a resource may have
  std::vector<std::string> qual_kinds;  // those of the ordinary qualifications: not kDupKinds
  std::vector<std::string> positions;
};

// Writes the lookup rows of a database of `role`; `legacy` as IsLegacy of its version.
LookupCodes WriteLookups(TableWriters& writers, SampleRole role, bool legacy);

}  // namespace msu::suite::sample
