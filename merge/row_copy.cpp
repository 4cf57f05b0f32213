#include "merge/row_copy.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "core/text.h"
#include "server_routines/routine_errors.h"

namespace msu::merge {

namespace {

std::string Quoted(const std::string& text, bool double_quotes) {
  return double_quotes ? SqlLiteral(text) : "'" + text + "'";
}

// The value of a field after the changes of its column (an integer key moved on the way).
data::Value Changed(const data::Value& value, const std::vector<const data::KeyChange*>& changes) {
  if (changes.empty() || value.kind() != data::Value::Kind::kInteger) return value;
  std::optional<int64_t> key = value.AsInteger();
  for (const data::KeyChange* change : changes) key = change->Apply(key);
  return data::Value::Integer(*key);
}

// Copies the rest of `rows` one INSERT per row; the count goes up with each row written.
void CopyOneByOne(data::Recordset& rows, data::Connection& destination, const std::string& table,
                  int32_t* count, const std::vector<data::KeyChange>& changes) {
  const int fields = rows.FieldCount();
  std::vector<std::vector<const data::KeyChange*>> changes_of(static_cast<size_t>(fields));
  for (int i = 0; i < fields; ++i) {
    for (const data::KeyChange& change : changes) {
      if (EqualsNoCase(change.column, rows.Field(i).name)) {
        changes_of[static_cast<size_t>(i)].push_back(&change);
      }
    }
  }
  while (!rows.IsEOF()) {
    std::string names;
    std::string values;
    for (int i = 0; i < fields; ++i) {
      const data::FieldInfo& field = rows.Field(i);
      names += "[" + field.name + "],";
      values +=
          FormatValue(Changed(rows.Get(i), changes_of[static_cast<size_t>(i)]), field.type) + ",";
    }
    if (!values.empty()) {
      names.pop_back();
      values.pop_back();
    }
    destination.Execute("INSERT INTO " + table + " ( " + names + ") VALUES (" + values + ")");
    ++*count;
    rows.MoveNext();
  }
}

}  // namespace

std::string FormatValue(const data::Value& value, int type) {
  if (value.IsNull()) return "NULL";
  switch (type) {
    case data::kTypeInteger:
    case data::kTypeSingle:
    case data::kTypeDouble:
    case data::kTypeCurrency:
      return value.AsText();
    case data::kTypeDate:
      return Quoted(value.AsText(), false);
    case data::kTypeBoolean:
      return value.AsBool() ? "1" : "0";
    default:
      return Quoted(value.AsText(), true);
  }
}

int32_t CopyRows(Context& context, data::Connection& source, data::Connection& destination,
                 bool non_standard_only, const std::string& table, RowCopyPath path, bool* failed,
                 const std::vector<data::KeyChange>& changes) {
  int32_t count = 0;
  if (failed != nullptr) *failed = false;
  try {
    const std::string statement =
        "SELECT * FROM " + table + (non_standard_only ? " WHERE Standard = 0" : "");
    std::unique_ptr<data::Recordset> rows = source.Execute(statement);
    if (path == RowCopyPath::kSetBased && rows->IsOpen()) {
      std::vector<data::FieldInfo> fields;
      for (int i = 0; i < rows->FieldCount(); ++i) fields.push_back(rows->Field(i));
      try {
        if (const std::optional<long> copied =
                changes.empty()
                    ? destination.CopyRowsFrom(source, statement, table, fields)
                    : destination.CopyRowsFrom(source, statement, table, fields, changes)) {
          rows->Close();
          return static_cast<int32_t>(*copied);
        }
      } catch (const data::DataError& error) {
        // A full disk fails every row the same way.
        if (error.number() == kErrDiskFull) throw;
        // Nothing of it stayed: the rows go one by one, so that the rows written before a
        // failing one, the count and the error lines are those of the row copy.
      }
    }
    if (rows->IsOpen()) {
      CopyOneByOne(*rows, destination, table, &count, changes);
      rows->Close();
    }
    return count;
  } catch (...) {
    const server_routines::RoutineError error = server_routines::CurrentError();
    if (failed != nullptr) *failed = true;
    // No later table can be copied either: the merge stops after these lines.
    if (error.number == kErrDiskFull) context.Halt(error.description);
    server_routines::KeepLastError(context, error);
    context.progress().AddProgressMerge("Error, merge stopped, " + context.merge.CurrentOperation);
    context.progress().AddProgressMerge("Error is " + context.merge.LastError);
    return 0;
  }
}

int32_t NextKeyValue(data::Connection& destination, const std::string& table,
                     const std::string& column) {
  try {
    std::unique_ptr<data::Recordset> rows =
        destination.Execute("SELECT MAX([" + column + "]) FROM " + table);
    int32_t result = 1;
    if (rows->IsOpen() && !rows->IsEOF()) {
      const double next = std::nearbyint(LeadingNumber(rows->Get(0).AsText()) + 1);
      if (next < std::numeric_limits<int32_t>::min() ||
          next > std::numeric_limits<int32_t>::max()) {
        return 1;
      }
      result = static_cast<int32_t>(next);
    }
    if (rows->IsOpen()) rows->Close();
    return result;
  } catch (...) {
    return 1;
  }
}

}  // namespace msu::merge
