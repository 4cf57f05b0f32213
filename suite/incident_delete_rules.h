// The "[INCIDENTDELETE]" section of an instruction file: what belongs to one incident of a
// suite database, for the component that deletes an incident with its dependent rows. The
// merge's instruction loader stops reading at this section; only the deletion reads it.
//
// Format (one instruction per line, CR LF or LF line ends; lines before the "[INCIDENTDELETE]"
// line are not part of the section; empty lines and lines starting with ";" are skipped):
//
//   DeleteRows=<table>.<column>
//       Delete the rows of <table> whose <column> holds the incident's key.
//   DeleteRows=<table>.<column>=<parent table>.<parent column>
//       Delete the rows of <table> whose <column> holds the <parent column> value of a row of
//       <parent table> that belongs to the incident. <parent table> must have DeleteRows
//       lines of its own further down, or be the incident table, so that its rows still
//       exist when this line is carried out.
//   DeleteIncident=<table>.<key column>
//       Delete the incident row itself: the row of <table> whose <key column> is the key.
//       Exactly one such line, and it is the last instruction of the section.
//
// Lines are carried out in file order. A table may have several lines; a row is deleted when
// any of them matches it. Key words are compared without regard to case; table names may be
// written in square brackets ([203_Assignments]); blanks around names are ignored.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace msu::suite {

struct IncidentDeleteRule {
  bool incident = false;  // the DeleteIncident line
  std::string table;      // without brackets
  std::string column;
  std::string parent_table;  // empty for a direct link to the incident's key
  std::string parent_column;
  int line = 0;  // line number in the file, from 1
};

// Reads the section from `in`. On success fills `rules` in file order and returns true. On
// failure returns false and sets `error` to a message naming the line ("Line 212: ...").
bool ParseIncidentDeleteRules(std::istream& in, std::vector<IncidentDeleteRule>* rules,
                              std::string* error);
// The same for the file at `path`; a missing file is an error too.
bool ReadIncidentDeleteRules(const std::string& path, std::vector<IncidentDeleteRule>* rules,
                             std::string* error);

// The statements that delete the incident with key `incident_key` and everything that
// belongs to it, one per rule, in rule order. They are plain SQL that the suite's server and
// SQLite both accept, e.g.
//   DELETE FROM [Quals] WHERE [ResourceID] IN (SELECT [ResourceID] FROM [Resources] WHERE
//   [IncidentID] = 7)
// `rules` must have been accepted by ParseIncidentDeleteRules.
std::vector<std::string> IncidentDeleteStatements(const std::vector<IncidentDeleteRule>& rules,
                                                  long long incident_key);
// The same for several incidents at once (`incident_keys` not empty): one statement per rule
// that deletes what belongs to any of them, "[IncidentID] IN (3, 7)" where one incident has
// "[IncidentID] = 3". Together they delete exactly the rows the statements of each incident
// would.
std::vector<std::string> IncidentDeleteStatements(const std::vector<IncidentDeleteRule>& rules,
                                                  const std::vector<long long>& incident_keys);

// The condition (a WHERE clause without the word) that picks the rows of `table` that belong
// to any of `incident_keys`: its rules joined with OR, as they read before anything is
// deleted. Empty text when no rule names `table`.
std::string IncidentRowsCondition(const std::vector<IncidentDeleteRule>& rules,
                                  const std::string& table,
                                  const std::vector<long long>& incident_keys);

// The tables the rules delete from, each once, in the order of their first rule.
std::vector<std::string> IncidentDeleteTables(const std::vector<IncidentDeleteRule>& rules);

}  // namespace msu::suite
