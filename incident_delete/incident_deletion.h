// The suite's incident-deletion component: removes incidents of a suite database, each with
// everything that belongs to it, on a data connection the caller has opened. What belongs to
// an incident is written in the "[INCIDENTDELETE]" section (suite/incident_delete_rules.h) of
// the instruction file that fits the database's version: "CVN_4x.txt" from version 4.13 on,
// "CVN_PRE4x.txt" before, read from the application folder. Lookup tables, and rows that
// belong to no incident, are never touched.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "data/data_access.h"
#include "suite/incident_delete_rules.h"

namespace msu::incident_delete {

// A key handed to the component is the incident's id plus this base; smaller keys are refused.
inline constexpr int32_t kIncidentKeyBase = 2000000000;

// The instruction file for the database on `connection`, by the DATABASE row of its version
// table (InstructionFileForVersion, server/database_version.h; no row or a NULL reads as version
// 0). Throws data::DataError when the table cannot be read.
std::string InstructionFileOf(data::Connection& connection);

class IncidentDeletion {
 public:
  // `application_folder` holds the instruction files.
  explicit IncidentDeletion(std::string application_folder);

  // Removes the incident whose id is `key` - kIncidentKeyBase and everything that belongs to
  // it, dependent rows first, in one transaction on `connection`: either all of it goes or
  // nothing does. True when the incident is gone (also when there was no such incident).
  // False, with LastError() telling why and the database as it was, when `key` is below
  // kIncidentKeyBase, the database's version cannot be read, the instruction file is missing or
  // its section unusable, or a statement or the transaction fails. Never throws.
  bool DeleteIncident(data::Connection& connection, int32_t key);

  // The same for several incidents at once, in one transaction with one statement per rule:
  // on success the database is as after DeleteIncident of each key; on failure (false, every
  // refusal of DeleteIncident included) none of them is touched. Never throws.
  bool DeleteIncidents(data::Connection& connection, const std::vector<int32_t>& keys);

  // The rules for the database on `connection`, read once per instruction file. Throws
  // data::DataError when the version cannot be read or the section cannot be used.
  const std::vector<suite::IncidentDeleteRule>& RulesFor(data::Connection& connection);

  // Why the last call that returned false failed; empty after a success. LastErrorNumber is
  // the failure's number (core/error_numbers.h; kErrDiskFull for a full disk), 0 when the
  // refusal was the component's own.
  const std::string& LastError() const { return last_error_; }
  long LastErrorNumber() const { return last_error_number_; }

 private:
  bool Delete(data::Connection& connection, const std::vector<int32_t>& keys);

  std::string application_folder_;
  std::map<std::string, std::vector<suite::IncidentDeleteRule>> rules_;
  std::string last_error_;
  long last_error_number_ = 0;
};

}  // namespace msu::incident_delete
