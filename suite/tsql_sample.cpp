#include "suite/tsql_sample.h"

#include <charconv>
#include <stdexcept>

#include "core/text.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::suite {

extern const char* const kOrvaneSchemaSql;

namespace {

// Rows per INSERT: the server takes at most 1000 rows in one VALUES list.
constexpr int kRowsPerInsert = 500;

std::string Bracketed(const std::string& name) { return "[" + name + "]"; }

std::string Quoted(const std::string& text, const char* prefix = "") {
  return prefix + SqlLiteral(text);
}

std::string RealText(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

bool IsDateType(const std::string& type) { return type.rfind("datetime", 0) == 0; }

// The literal of column `c` of the current row of `rows`, written for a column of `type`.
std::string Literal(sqlite3_stmt* rows, int c, const std::string& type) {
  switch (sqlite3_column_type(rows, c)) {
    case SQLITE_NULL:
      return "NULL";
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_column_int64(rows, c));
    case SQLITE_FLOAT:
      return RealText(sqlite3_column_double(rows, c));
    default: {
      const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(rows, c));
      std::string text(bytes, static_cast<size_t>(sqlite3_column_bytes(rows, c)));
      // "2024-07-01 08:30:00" reads as year-day-month under some languages; the T form never.
      if (IsDateType(type) && text.size() == 19 && text[10] == ' ') text[10] = 'T';
      return Quoted(text);
    }
  }
}

std::string DatabaseName(SampleRole role) {
  const std::string file = SampleFileName(role);
  return file.substr(0, file.size() - 4);
}

std::string FileIn(const std::string& folder, const std::string& name) {
  const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
  return folder + separator + name;
}

void WriteRows(const SampleFile& file, std::string& script) {
  sqlite::Database db(file.path, SQLITE_OPEN_READONLY);
  for (const TableInfo& table : SchemaTables(file.version)) {
    std::string names;
    bool identity = false;
    for (const ColumnInfo& column : table.columns) {
      names += (names.empty() ? "" : ", ") + Bracketed(column.name);
      identity = identity || column.identity;
    }
    std::string select;
    for (const ColumnInfo& column : table.columns) {
      select += (select.empty() ? "" : ", ") + Bracketed(column.name);
    }
    sqlite::Statement rows(db, "SELECT " + select + " FROM " + Bracketed(table.name));
    const std::string target = "[dbo]." + Bracketed(table.name);
    std::string inserts;
    int in_batch = 0;
    while (rows.Next()) {
      inserts +=
          in_batch == 0 ? "INSERT INTO " + target + " (" + names + ") VALUES\n  (" : ",\n  (";
      for (size_t c = 0; c < table.columns.size(); ++c) {
        inserts +=
            (c == 0 ? "" : ", ") + Literal(rows.get(), static_cast<int>(c), table.columns[c].type);
      }
      inserts += ")";
      if (++in_batch == kRowsPerInsert) {
        inserts += ";\n";
        in_batch = 0;
      }
    }
    if (in_batch != 0) inserts += ";\n";
    if (inserts.empty()) continue;
    if (identity) script += "SET IDENTITY_INSERT " + target + " ON;\n";
    script += inserts;
    if (identity) script += "SET IDENTITY_INSERT " + target + " OFF;\n";
  }
}

}  // namespace

std::string SampleTSqlScript(const SampleSummary& summary, const std::string& data_folder) {
  std::string names;
  std::string exists;
  for (const SampleFile& file : summary.files) {
    if (file.version != SchemaVersion::k5_01_00) {
      throw std::runtime_error(
          "The SQL Server samples are of version 5.01.00 only (the form of "
          "suite/sql/orvane_schema.sql), not " +
          VersionText(file.version) + ".");
    }
    const std::string name = DatabaseName(file.role);
    names += (names.empty() ? "" : ", ") + name;
    exists +=
        std::string(exists.empty() ? "" : " OR ") + "DB_ID(" + Quoted(name, "N") + ") IS NOT NULL";
  }

  std::string script =
      "-- Orvane sample databases " + names +
      " for SQL Server, made by msu-server sample --tsql.\n"
      "-- Run it on the server: sqlcmd -S SERVER -U sa -i THIS_FILE\n"
      "-- The same rows as the SQLite samples of the same seed and size.\n\n"
      "USE master;\nGO\n"
      "IF " +
      exists +
      "\nBEGIN\n"
      "  RAISERROR(N'" +
      names +
      ": a database of one of these names exists already; nothing was changed.', 16, 1);\n"
      "  SET NOEXEC ON;\n"
      "END\nGO\n\n";
  for (const SampleFile& file : summary.files) {
    const std::string name = DatabaseName(file.role);
    script += "-- ================================================================ " + name + "\n";
    script += "CREATE DATABASE " + Bracketed(name);
    if (!data_folder.empty()) {
      script += "\n  ON (NAME = " + Quoted(name, "N") +
                ", FILENAME = " + Quoted(FileIn(data_folder, name + ".mdf"), "N") +
                ")\n  LOG ON (NAME = " + Quoted(name + "_log", "N") +
                ", FILENAME = " + Quoted(FileIn(data_folder, name + "_log.LDF"), "N") + ")";
    }
    script += ";\nGO\nUSE " + Bracketed(name) + ";\nGO\n";
    script += kOrvaneSchemaSql;
    if (script.back() != '\n') script += "\n";
    script += "\n-- The sample's own rows, its version and key counters included.\n";
    script += "DELETE FROM [dbo].[version];\nDELETE FROM [dbo].[NextNumber];\n";
    WriteRows(file, script);
    script += "GO\nUSE master;\nGO\n\n";
  }
  script += "SET NOEXEC OFF;\nGO\n";
  return script;
}

}  // namespace msu::suite
