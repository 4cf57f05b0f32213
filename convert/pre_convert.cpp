#include "convert/pre_convert.h"

#include <memory>

#include "convert/conversion_failure.h"
#include "core/context.h"
#include "core/text.h"

namespace msu::convert {

namespace {

// Runs a statement that returns no rows.
void Run(data::Connection& connection, const std::string& statement) {
  std::unique_ptr<data::Recordset> result = connection.Execute(statement);
  if (result->IsOpen()) result->Close();
}

// Whether a query returns at least one row.
bool HasRow(data::Connection& connection, const std::string& statement) {
  std::unique_ptr<data::Recordset> rows = connection.Execute(statement);
  const bool found = rows->IsOpen() && !rows->IsEOF();
  if (rows->IsOpen()) rows->Close();
  return found;
}

}  // namespace

void RemoveIdentityColumn(Context& context, data::Connection& a, const std::string& table,
                          const std::string& column) {
  const std::string copy = column + "_2";
  Run(a, "ALTER TABLE " + table + " ADD " + copy + " INT");
  Run(a, "UPDATE " + table + " SET " + copy + " = " + column);
  // A static result: the rows stay as they were read while the constraints go.
  std::unique_ptr<data::Recordset> keys =
      a.OpenRecordset("EXEC sp_pkeys " + table, data::CursorChoice::kStatic);
  for (; keys->IsOpen() && !keys->IsEOF(); keys->MoveNext()) {
    Run(a, "ALTER TABLE " + table + " DROP CONSTRAINT " + keys->Get("pk_name").AsText());
  }
  if (keys->IsOpen()) keys->Close();
  Run(a, "ALTER TABLE " + table + " DROP COLUMN " + column);
  Run(a, "EXEC sp_rename '" + table + "." + copy + "', '" + column + "', 'COLUMN'");
  context.progress().AddProgressMerge(
      " - Removing Identify Column " + column + " For Table " + table, true);
}

void StandardKindCodes(data::Connection& a, data::Connection& b) {
  std::unique_ptr<data::Recordset> rows =
      a.Execute("SELECT KindCode FROM L_Kind WHERE Standard = 0");
  for (; rows->IsOpen() && !rows->IsEOF(); rows->MoveNext()) {
    const std::string code = rows->Get("KindCode").AsText();
    if (Trim(code).empty()) continue;
    if (HasRow(b, "SELECT KindCode FROM L_Kind WHERE KindCode = '" + code + "' AND Standard = 1")) {
      Run(a, "UPDATE L_Kind SET Standard = 1 WHERE Kindcode = '" + code + "'");
    }
  }
  if (rows->IsOpen()) rows->Close();
}

bool PreConvert(Context& context, data::Connection& a, data::Connection& b) {
  Progress& progress = context.progress();
  context.merge.CurrentOperation = "Pre Conversion of Work Database";
  progress.AddProgressMerge("Applying Pre Conversions To Work Database...");
  try {
    for (const IdentityColumn& identity : kIdentityColumns) {
      RemoveIdentityColumn(context, a, identity.table, identity.column);
    }
    progress.AddProgressMerge(" - Removed Identify Columns On Tables", true);
    Run(a, "EXEC sp_rename 'resources.RRDate', 'MobDate', 'COLUMN'");
    progress.AddProgressMerge(" - Renamed Resource.RRDate to MobDate", true);
    Run(a, "UPDATE quals SET trainee = CASE WHEN trainee = 'T' THEN '1' ELSE '0' END");
    progress.AddProgressMerge(" - Converted Quals.Trainee To BIT DataType", true);
    StandardKindCodes(a, b);
    return true;
  } catch (...) {
    ReportConversionFailure(context);
    return false;
  }
}

}  // namespace msu::convert
