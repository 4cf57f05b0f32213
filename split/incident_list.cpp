#include "split/incident_list.h"

#include <cmath>

#include "core/text.h"

namespace msu::split {

std::string IncidentTag(int64_t incident_id) {
  std::string tag = std::to_string(incident_id);
  if (tag.size() < 6) tag.insert(0, 6 - tag.size(), ' ');
  return tag;
}

int64_t IncidentIdOfTag(const std::string& tag) {
  return static_cast<int64_t>(std::trunc(LeadingNumber(Trim(tag))));
}

void IncidentEntries::SetStatus(int index, const std::string& status, bool bold) {
  Entry& entry = entries_.at(static_cast<size_t>(index));
  entry.status = status;
  entry.bold = bold;
}

bool IncidentEntries::Tick(int64_t id) {
  for (Entry& entry : entries_) {
    if (IncidentIdOfTag(entry.tag) == id) {
      entry.checked = true;
      return true;
    }
  }
  return false;
}

}  // namespace msu::split
