// Incident consolidation: the incidents of the new database, and folding them into one.
#include <cstdio>
#include <set>

#include "core/context.h"
#include "core/incident_tag.h"
#include "core/text.h"
#include "data/backend.h"
#include "merge/merge.h"
#include "server_routines/connection_settings.h"

namespace msu::merge {

namespace {

// A connection to the new database, as the suite's connection settings give it.
std::unique_ptr<data::Connection> OpenNewDatabase(Context& context, bool never_prompt) {
  return server_routines::OpenServerDatabase(context, context.merge.NewDatabaseName,
                                             {.never_prompt = never_prompt});
}

}  // namespace

std::string Merge::IncidentOrigin(int64_t id) const {
  const auto key = [](int64_t value) { return ", key " + std::to_string(value); };
  for (const auto& [old_key, new_key] : figures_.source_incidents) {
    if (new_key == id) return "Database 1" + key(old_key);
  }
  // Incidents keyed by an offset: those of Database 1 lie past every key of Database 2.
  for (const KeyOffset& offset : figures_.offsets) {
    if (EqualsNoCase(Trim(offset.table), "Incidents") && offset.offset > 0) {
      return id >= offset.offset ? "Database 1" + key(id - offset.offset) : "Database 2" + key(id);
    }
  }
  if (figures_.source_incidents.empty()) return "";
  return "Database 2" + key(id);
}

void Merge::IncSplitInit(IncidentChoice& list) {
  try {
    std::unique_ptr<data::Connection> connection = OpenNewDatabase(context_, true);
    std::unique_ptr<data::Recordset> incidents = connection->Execute("SELECT * FROM Incidents");
    list.Clear();
    while (incidents->IsOpen() && !incidents->IsEOF()) {
      context_.StopPoint();
      list.AddItem(incidents->Get("incidentnumber").AsText() + ", " +
                       incidents->Get("incidentname").AsText(),
                   IncidentTag(incidents->Get("incidentid").AsInteger()));
      const std::string origin = IncidentOrigin(incidents->Get("incidentid").AsInteger());
      if (!origin.empty()) list.SetOrigin(origin);
      incidents->MoveNext();
    }
    if (incidents->IsOpen()) incidents->Close();
    connection->Close();
  } catch (...) {
    // The list keeps what it got; the page shows no more than that.
  }
}

namespace {

const instructions::PTable* IncidentsTable(const instructions::Tables& tables) {
  for (const instructions::PTable& table : tables) {
    if (UpperCase(table.TableName()) == "INCIDENTS") return &table;
  }
  return nullptr;
}

// The rows of each child of `incidents` (each table and key column once) that the folding
// into `into` points at it: those on another incident (0, -1 and NULL are no incident).
std::vector<TableRows> RowsToMove(data::Connection& connection,
                                  const instructions::PTable& incidents, int32_t into) {
  std::vector<TableRows> moved;
  std::set<std::string> seen;
  for (const instructions::Child& child : incidents.Children()) {
    if (!seen.insert(UpperCase(child.TableName() + "." + child.ForeignKey())).second) continue;
    const std::string fk = child.ForeignKey();
    moved.push_back(
        {child.TableName(),
         data::QueryInteger(connection, "SELECT COUNT(*) FROM " + child.TableName() + " WHERE " +
                                            fk + " IS NOT NULL AND " + fk + " <> 0 AND " + fk +
                                            " <> -1 AND " + fk + " <> " + std::to_string(into))});
  }
  return moved;
}

}  // namespace

bool Merge::ForeseeConsolidation(int32_t into) {
  Consolidation& figures = figures_.consolidation;
  figures = {};
  figures.into = into;
  const instructions::PTable* incidents = IncidentsTable(instructions_.Tables);
  if (incidents == nullptr) return true;  // FinishCopyTables would change nothing
  const std::string key = Trim(incidents->PrimaryKey());
  std::unique_ptr<data::Recordset> rows = destination_->Execute(
      "SELECT " + key + ", incidentnumber, incidentname FROM " + incidents->TableName());
  bool found = false;
  int64_t count = 0;
  while (rows->IsOpen() && !rows->IsEOF()) {
    ++count;
    found = found || rows->Get(0).AsInteger() == into;
    figures.incidents.push_back(rows->Get(0).AsText() + "  " + rows->Get(1).AsText() + ", " +
                                rows->Get(2).AsText());
    rows->MoveNext();
  }
  if (rows->IsOpen()) rows->Close();
  if (!found) {
    figures.unknown_incident = true;
    return false;
  }
  figures.foreseen = true;
  figures.incidents_folded = count - 1;
  figures.rows_moved = RowsToMove(*destination_, *incidents, into);
  return true;
}

void Merge::FinishCopyTables(IncidentChoice* list) {
  if (list != nullptr) list->SetSelectedCaption("Merging Incidents...");
  std::unique_ptr<data::Connection> connection;
  try {
    connection = OpenNewDatabase(context_, false);
  } catch (...) {
    return;
  }
  const instructions::PTable* incidents = IncidentsTable(instructions_.Tables);
  Consolidation& figures = figures_.consolidation;
  figures = {};
  figures.into = MergeIntoIncident;
  if (incidents != nullptr) {
    const std::string id = std::to_string(MergeIntoIncident);
    // What the folding will move, and every table's rows, to be checked afterwards.
    std::vector<TableRows> rows_before;
    try {
      figures.incidents_folded =
          data::QueryInteger(*connection, "SELECT COUNT(*) FROM " + incidents->TableName()) - 1;
      for (const instructions::PTable& table : instructions_.Tables) {
        rows_before.push_back(
            {table.TableName(),
             data::QueryInteger(*connection, "SELECT COUNT(*) FROM " + table.TableName())});
      }
      figures.rows_moved = RowsToMove(*connection, *incidents, MergeIntoIncident);
    } catch (...) {
      // A table that cannot be counted is a finding of the check that follows.
    }
    figures.ran = true;
    std::vector<std::string> statements = {
        "UPDATE AccountingCodes SET IncidentDefault = 0 WHERE IncidentID <> " + id,
        "UPDATE Incidents SET startdate = (SELECT MIN(startdate) FROM Incidents)"};
    for (const instructions::Child& child : incidents->Children()) {
      statements.push_back("UPDATE " + child.TableName() + " SET " + child.ForeignKey() + " = " +
                           id + " WHERE " + child.ForeignKey() + " <> " + id);
    }
    statements.push_back("DELETE FROM incidents WHERE " + incidents->PrimaryKey() + " <> " + id);
    for (const std::string& statement : statements) {
      try {
        connection->Execute(statement);
      } catch (...) {
        // A step that fails is passed over; the next ones still make sense on their own.
      }
    }
    // A step passed over shows here: a row left on a deleted incident, rows lost.
    figures.verification =
        VerifyConsolidation(*connection, instructions_.Tables, MergeIntoIncident, rows_before);
  }
  try {
    connection->Close();
  } catch (...) {
  }
}

}  // namespace msu::merge
