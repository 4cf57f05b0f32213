// The tag an incident carries in the wizard's incident lists (the split's choice and the
// merge's consolidation), from which the engines read the incident back.
#pragma once

#include <cstdint>
#include <string>

namespace msu {

// An incident's tag: its id right-aligned in six positions, padded with blanks ("     7"); a
// longer id is left whole.
std::string IncidentTag(int64_t incident_id);

// The id a tag stands for: the tag without blanks, read as a number (0 when it is none).
int64_t IncidentIdOfTag(const std::string& tag);

}  // namespace msu
