// The structure of an Orvane suite database, as the utility meets it: the current form
// (5.01.00) and the two older forms it still merges from (4.12.00 and 3.21.00).
//
// The embedded server keeps a database as a SQLite file. Its columns carry the suite server's
// declared types (int, smallint, bit, varchar(n), char(n), datetime, money ...) because the
// embedded server derives the field type codes of a recordset from them, and its text columns
// compare without regard to case (COLLATE NOCASE), as the suite's server does. The same
// tables for SQL Server are in suite/sql/orvane_schema.sql; a test keeps the two in step.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace msu::suite {

// The database versions this kit can build.
enum class SchemaVersion {
  k3_21_00,
  k4_12_00,
  k5_01_00,
};

// "3.21.00", "4.12.00", "5.01.00".
std::string VersionText(SchemaVersion version);
// The version of a text such as "4.12.00" or "4.12"; false when the text names none of the
// three versions.
bool ParseVersion(std::string_view text, SchemaVersion* version);
// The instruction file the utility chooses for a Database 1 of this version.
std::string InstructionFileFor(SchemaVersion version);

// What a table is to the merge.
enum class TableRole {
  kSystem,  // version, NextNumber: never copied
  kCore,    // incident data: renumbered and copied
  kLookup,  // code tables with a "Standard" column: checked, non-standard rows copied
  kOther,   // kept by the suite, not touched by the merge
};

struct ColumnInfo {
  std::string name;
  std::string type;  // declared type as the suite server writes it: "int", "varchar(10)" ...
  bool not_null = false;
  bool primary_key = false;   // part of the primary key
  bool identity = false;      // values assigned by the database
  std::string default_value;  // empty: none
  bool IsText() const;
};

struct TableInfo {
  std::string name;  // as written in statements, without brackets: "203_Assignments"
  TableRole role = TableRole::kOther;
  std::vector<ColumnInfo> columns;  // in the table's column order
  // The column a counter of NextNumber follows (empty when the table has none).
  std::string counter_field;

  const ColumnInfo* FindColumn(std::string_view column) const;  // without regard to case
};

struct IndexInfo {
  std::string name;
  std::string table;
  std::vector<std::string> columns;
};

// Tables of a database of `version`, in creation order.
std::vector<TableInfo> SchemaTables(SchemaVersion version);
// The table of that name (without regard to case and brackets), or nullptr.
const TableInfo* FindTable(const std::vector<TableInfo>& tables, std::string_view name);
// Indexes the embedded schema creates on the tables of `version`.
std::vector<IndexInfo> SchemaIndexes(SchemaVersion version);

// The SQLite statements that create an empty database of `version`: the tables (without
// rows), the version rows, the NextNumber counters (all at 1), the table orvane_procedures
// with the body of usp_syncNextNumber. Statements end with ";".
std::string EmbeddedSchemaSql(SchemaVersion version);
// Only the CREATE TABLE and CREATE INDEX statements (no rows).
std::string EmbeddedTablesSql(SchemaVersion version);
// The same in two parts, so that a bulk load can build the indexes after the rows.
std::string EmbeddedCreateTablesSql(SchemaVersion version);
std::string EmbeddedIndexesSql(SchemaVersion version);
// The rows every database carries: version, NextNumber counters (at 1), orvane_procedures
// (created here) with usp_syncNextNumber.
std::string EmbeddedSystemRowsSql(SchemaVersion version);

// Body of the stored procedure usp_syncNextNumber for the embedded server: one UPDATE per
// counter of NextNumber, separated by ";". Every counter is moved past the largest value of
// its field; a counter already past it stays.
std::string SyncNextNumberBody(SchemaVersion version);

// Name of the embedded server's procedure table and the statement that creates it.
inline constexpr const char* kProcedureTable = "orvane_procedures";
inline constexpr const char* kProcedureTableDdl =
    "CREATE TABLE orvane_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL)";
inline constexpr const char* kSyncProcedureName = "usp_syncNextNumber";

// Creates an empty suite database of `version` as a new SQLite file at `path`. Refuses (throws
// std::runtime_error naming the path) when a file already exists there: a user's database is
// never overwritten.
void CreateEmptyDatabase(const std::string& path, SchemaVersion version);

}  // namespace msu::suite
