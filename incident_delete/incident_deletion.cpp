#include "incident_delete/incident_deletion.h"

#include <memory>

#include "core/text.h"
#include "server_routines/database_version.h"

namespace msu::incident_delete {

std::string InstructionFileOf(data::Connection& connection) {
  const server_routines::VersionRows rows = server_routines::ReadVersionRows(connection);
  // A missing or NULL version reads as the oldest structure.
  const bool known = rows.database && !rows.database->IsNull();
  return server_routines::InstructionFileForVersion(known ? rows.database->AsText()
                                                          : std::string());
}

IncidentDeletion::IncidentDeletion(std::string application_folder)
    : application_folder_(std::move(application_folder)) {}

const std::vector<suite::IncidentDeleteRule>& IncidentDeletion::RulesFor(
    data::Connection& connection) {
  const std::string file = JoinPath(application_folder_, InstructionFileOf(connection));
  if (auto known = rules_.find(file); known != rules_.end()) return known->second;
  std::vector<suite::IncidentDeleteRule> rules;
  std::string error;
  if (!suite::ReadIncidentDeleteRules(file, &rules, &error)) {
    throw data::DataError(data::kErrStatement, error);
  }
  return rules_.emplace(file, std::move(rules)).first->second;
}

bool IncidentDeletion::DeleteIncident(data::Connection& connection, int32_t key) {
  return Delete(connection, {key});
}

bool IncidentDeletion::DeleteIncidents(data::Connection& connection,
                                       const std::vector<int32_t>& keys) {
  if (keys.empty()) {
    last_error_.clear();
    last_error_number_ = 0;
    return true;
  }
  return Delete(connection, keys);
}

bool IncidentDeletion::Delete(data::Connection& connection, const std::vector<int32_t>& keys) {
  last_error_.clear();
  last_error_number_ = 0;
  std::vector<long long> ids;
  for (int32_t key : keys) {
    if (key < kIncidentKeyBase) {
      last_error_ = "The key " + std::to_string(key) +
                    " names no incident: incident keys start at " +
                    std::to_string(kIncidentKeyBase) + ".";
      return false;
    }
    ids.push_back(static_cast<long long>(key) - kIncidentKeyBase);
  }
  bool begun = false;
  try {
    const std::vector<std::string> statements =
        suite::IncidentDeleteStatements(RulesFor(connection), ids);
    connection.BeginTrans();
    begun = true;
    for (const std::string& statement : statements) connection.Execute(statement);
    connection.CommitTrans();
    return true;
  } catch (const NumberedError& error) {
    last_error_ = error.description();
    last_error_number_ = error.number();
  } catch (const std::exception& error) {
    last_error_ = error.what();
  }
  if (begun) {
    try {
      connection.RollbackTrans();
    } catch (...) {
      // A transaction the server already ended has nothing left to undo.
    }
  }
  return false;
}

}  // namespace msu::incident_delete
