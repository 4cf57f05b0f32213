#include "core/incident_tag.h"

#include <cmath>

#include "core/text.h"

namespace msu {

std::string IncidentTag(int64_t incident_id) {
  std::string tag = std::to_string(incident_id);
  if (tag.size() < 6) tag.insert(0, 6 - tag.size(), ' ');
  return tag;
}

int64_t IncidentIdOfTag(const std::string& tag) {
  return static_cast<int64_t>(std::trunc(LeadingNumber(Trim(tag))));
}

}  // namespace msu
