#include "split/incident_list.h"

#include <cmath>

#include "core/text.h"

namespace msu::split {

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
