// Statements of the suite server that are no SQL for SQLite: stored procedures (kept as SQL
// text in the database's orvane_procedures table), sp_pkeys, and ALTER TABLE ... DROP
// CONSTRAINT. Each refuses what it cannot carry out with kErrStatement, naming `statement`.
#pragma once

#include <memory>
#include <string>

#include "data/data_access.h"
#include "data/embedded/sqlite_database.h"
#include "data/embedded/tsql_translator.h"

namespace msu::embedded {

// Runs the stored procedure `tr` with its arguments as one write; the rows it changed.
long RunProcedure(SqliteDatabase& db, const Translation& tr, const std::string& statement);

// The rows sp_pkeys gives for `table` (none when there is no such table).
std::unique_ptr<data::Recordset> PrimaryKeys(SqliteDatabase& db, const std::string& table);

// Drops a named index, or the table's primary key; SQLite cannot drop a key in place, so the
// table is rebuilt without it, keeping its rowids, indexes and triggers.
void DropConstraint(SqliteDatabase& db, const Translation& tr, const std::string& statement);

}  // namespace msu::embedded
