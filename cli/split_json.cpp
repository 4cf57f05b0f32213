#include "cli/split_json.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace msu::cli {

std::string SplitJsonText(const SplitJsonInput& input) {
  using nlohmann::json;
  json doc;
  doc["database"] = input.source;
  doc["new_database"] = input.new_database;
  doc["version"] = input.version;
  doc["dry_run"] = input.dry_run;
  const split::SplitFigures* figures = input.engine != nullptr ? &input.engine->Figures() : nullptr;
  const auto holds = [](const std::vector<int64_t>& ids, int64_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
  };
  json incidents = json::array();
  if (input.list != nullptr) {
    for (const split::IncidentEntries::Entry& entry : input.list->Entries()) {
      const int64_t id = IncidentIdOfTag(entry.tag);
      json incident = {{"id", id}, {"text", entry.text}, {"kept", entry.checked}};
      if (figures != nullptr && input.outcome != nullptr && !entry.checked) {
        incident["removed"] = holds(figures->removed, id);
      }
      incidents.push_back(incident);
    }
  }
  doc["incidents"] = incidents;
  if (input.outcome != nullptr && figures != nullptr) {
    doc["split_completed"] = input.outcome->executed && !input.dry_run;
    doc["set_based_removal"] = figures->set_based;
    json failures = json::array();
    for (size_t i = 0; i < figures->not_removed.size(); ++i) {
      failures.push_back({{"id", figures->not_removed[i]},
                          {"error", i < figures->removal_errors.size() ? figures->removal_errors[i]
                                                                       : std::string()}});
    }
    doc["removal_failures"] = failures;
    if (input.dry_run) {
      json tables = json::array();
      for (const split::TableRowCount& count : figures->table_rows) {
        tables.push_back({{"table", count.table},
                          {"rows", count.before},
                          {"rows_after", count.after},
                          {"rows_removed", count.before - count.after}});
      }
      doc["tables"] = tables;
    }
    const split::SplitVerification& v = input.outcome->verification;
    doc["verification"] = {{"ran", v.ran},
                           {"passed", v.Passed()},
                           {"incidents", v.incidents},
                           {"tables_compared", v.tables_compared},
                           {"lookup_tables_compared", v.lookup_tables},
                           {"rows_compared", v.rows_compared},
                           {"findings", v.findings}};
    json seconds = json::object();
    for (const split::PhaseSeconds& phase : figures->phases) seconds[phase.phase] = phase.seconds;
    if (v.ran) seconds["verification"] = v.seconds;
    doc["seconds"] = seconds;
  }
  doc["exit_status"] = input.exit_status;
  return doc.dump(2) + "\n";
}

}  // namespace msu::cli
