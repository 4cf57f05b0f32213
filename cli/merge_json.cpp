#include "cli/merge_json.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

namespace msu::cli {

namespace {

using nlohmann::json;

json TableRowsJson(const std::vector<merge::TableRows>& tables) {
  json rows = json::array();
  for (const merge::TableRows& table : tables) {
    rows.push_back({{"table", table.table}, {"rows", table.rows}});
  }
  return rows;
}

json VerificationJson(const merge::Verification& v) {
  json findings = json::array();
  for (const merge::VerificationFinding& finding : v.findings) {
    findings.push_back({{"table", finding.table}, {"rows", finding.rows}, {"what", finding.what}});
  }
  return {{"ran", v.ran},
          {"passed", v.Passed()},
          {"tables_counted", v.tables_counted},
          {"key_references_checked", v.references_checked},
          {"code_references_checked", v.codes_checked},
          {"counters_checked", v.counters_checked},
          {"memberships_checked", v.memberships_checked},
          {"key_ranges_checked", v.key_ranges_checked},
          {"findings", findings}};
}

json FiguresJson(const merge::MergeFigures& figures) {
  json out;
  json recodes = json::array();
  for (const merge::Recode& recode : figures.recodes) {
    json referring = json::array();
    for (const merge::RecodedReference& ref : recode.referring) {
      referring.push_back({{"table", ref.table}, {"field", ref.field}, {"rows", ref.rows}});
    }
    recodes.push_back({{"table", recode.table},
                       {"field", recode.field},
                       {"old", recode.old_code},
                       {"new", recode.new_code},
                       {"referring", referring}});
  }
  out["recodes"] = recodes;
  json offsets = json::array();
  for (const merge::KeyOffset& offset : figures.offsets) {
    offsets.push_back(
        {{"table", offset.table}, {"field", offset.field}, {"offset", offset.offset}});
  }
  out["offsets"] = offsets;
  out["rows_copied"] = TableRowsJson(figures.rows_copied);
  out["lookup_rows_copied"] = TableRowsJson(figures.lookup_rows_copied);
  out["rows_removed_by_dedup"] = figures.rows_removed_by_dedup;
  out["verification"] = VerificationJson(figures.verification);
  out["warnings"] = figures.warnings;
  const merge::Consolidation& c = figures.consolidation;
  if (c.ran || c.foreseen || c.unknown_incident) {
    out["consolidation"] = {{"into", c.into},
                            {"folded", c.ran},
                            {"foreseen", c.foreseen},
                            {"unknown_incident", c.unknown_incident},
                            {"incidents_folded", c.incidents_folded},
                            {"rows_moved", TableRowsJson(c.rows_moved)}};
    if (c.ran) out["consolidation"]["verification"] = VerificationJson(c.verification);
  }
  if (!figures.failed_steps.empty()) {
    out["failed_steps"] = figures.failed_steps;
    out["incomplete_database"] = figures.incomplete_database;
  }
  if (figures.post_converted) {
    const convert::PostConvertFigures& c = figures.conversion;
    out["post_conversion"] = {{"request_numbers", c.request_numbers},
                              {"original_requests", c.original_requests},
                              {"admin_offices", c.admin_offices},
                              {"kind_codes", c.kind_codes}};
  }
  json seconds = json::object();
  for (const merge::PhaseSeconds& phase : figures.phases) seconds[phase.phase] = phase.seconds;
  out["seconds"] = seconds;
  return out;
}

}  // namespace

std::string MergeJsonText(const MergeJsonInput& input) {
  const VersionSettings& versions = input.context->versions;
  json doc;
  doc["versions"] = {
      {"database1",
       {{"database", versions.Database1Version}, {"merge", versions.Database1MergeVersion}}},
      {"database2",
       {{"database", versions.Database2Version}, {"merge", versions.Database2MergeVersion}}}};
  doc["instruction_file"] = versions.InstructionFileName;
  doc["new_database"] = input.new_database;
  doc["dry_run"] = input.dry_run;
  doc["check_completed"] = input.check.stage == merge::CheckStage::kCompleted;
  doc["check_found_problems"] = input.check.problems;
  if (input.engine != nullptr) {
    doc["merge_version"] = input.engine->mergeVersion();
    doc.update(FiguresJson(input.engine->Figures()));
  }
  if (input.merge != nullptr && input.merge->remerge) {
    const merge::RemergeCounts& counts = *input.merge->remerge;
    doc["remerge_guard"] = {{"persons", counts.persons},
                            {"persons_found_in_database2", counts.persons_found},
                            {"resources", counts.resources},
                            {"resources_found_in_database2", counts.resources_found},
                            {"looks_merged_before", counts.LooksMergedBefore()}};
  }
  doc["exit_status"] = input.exit_status;
  return doc.dump(2) + "\n";
}

bool SaveJsonFigures(const std::string& path, const std::string& text, std::ostream& err) {
  std::string problem;
  if (WriteTextFile(path, text, &problem)) return true;
  err << "msu: the JSON figures could not be written: " << problem << "\n";
  return false;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* problem) {
  const std::string part = path + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      *problem = "cannot write " + part;
      std::error_code ignored;
      std::filesystem::remove(part, ignored);
      return false;
    }
  }
  std::error_code error;
  std::filesystem::rename(part, path, error);
  if (error) {
    *problem = "cannot replace " + path + ": " + error.message();
    std::filesystem::remove(part, error);
    return false;
  }
  return true;
}

}  // namespace msu::cli
