// Incident consolidation: the incidents of the new database, and folding them into one.
#include <cstdio>

#include "core/context.h"
#include "core/text.h"
#include "data/backend.h"
#include "merge/merge.h"
#include "server/connection_settings.h"

namespace msu::merge {

namespace {

// A connection to the new database, as the suite's connection settings give it.
std::unique_ptr<data::Connection> OpenNewDatabase(Context& context, bool never_prompt) {
  const std::string connection_string =
      GetConnectionString(context, "CVN", context.AppFile("cvn.ini"), context.server.ServerName,
                          context.merge.NewDatabaseName);
  std::unique_ptr<data::Connection> connection = context.backend().CreateConnection();
  connection->SetConnectionString(connection_string);
  if (never_prompt) connection->SetProperty("PROMPT", 4);
  connection->Open("", "");
  return connection;
}

// The tag of a list item: the identifier right-aligned in six positions; a longer one whole.
std::string IncidentTag(const std::string& id) {
  return id.size() >= 6 ? id : std::string(6 - id.size(), ' ') + id;
}

}  // namespace

void Merge::IncSplitInit(IncidentChoice& list) {
  try {
    std::unique_ptr<data::Connection> connection = OpenNewDatabase(context_, true);
    std::unique_ptr<data::Recordset> incidents = connection->Execute("SELECT * FROM Incidents");
    list.Clear();
    while (incidents->IsOpen() && !incidents->IsEOF()) {
      context_.StopPoint();
      list.AddItem(incidents->Get("incidentnumber").AsText() + ", " +
                       incidents->Get("incidentname").AsText(),
                   IncidentTag(incidents->Get("incidentid").AsText()));
      incidents->MoveNext();
    }
    if (incidents->IsOpen()) incidents->Close();
    connection->Close();
  } catch (...) {
    // The list keeps what it got; the page shows no more than that.
  }
}

void Merge::FinishCopyTables(IncidentChoice* list) {
  if (list != nullptr) list->SetSelectedCaption("Merging Incidents...");
  std::unique_ptr<data::Connection> connection;
  try {
    connection = OpenNewDatabase(context_, false);
  } catch (...) {
    return;
  }
  const instructions::PTable* incidents = nullptr;
  for (const instructions::PTable& table : instructions_.Tables) {
    if (UpperCase(table.TableName()) == "INCIDENTS") {
      incidents = &table;
      break;
    }
  }
  if (incidents != nullptr) {
    const std::string id = std::to_string(MergeIntoIncident);
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
  }
  try {
    connection->Close();
  } catch (...) {
  }
}

}  // namespace msu::merge
