// Questions the embedded connection asks SQLite's schema: which tables and keys there are, and
// single values of small queries. Names are matched without regard to case, as the suite
// server matches them.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/embedded/sqlite_database.h"

namespace msu::embedded {

// Whether a table of that name exists.
bool IsTable(SqliteDatabase& db, const std::string& name);

// Text values of the first column of a query with one text parameter (?1).
std::vector<std::string> Column(SqliteDatabase& db, const std::string& sql,
                                const std::string& parameter);

// The column that is the table's rowid (a single INTEGER PRIMARY KEY), or empty.
std::string RowidColumn(SqliteDatabase& db, const std::string& table);

// Lower-case names of the columns covered by a UNIQUE or PRIMARY KEY index.
std::set<std::string> UniqueColumns(SqliteDatabase& db, const std::string& table);

// Two integers of a one-row query; nothing unless both are integers.
std::optional<std::pair<int64_t, int64_t>> IntegerPair(SqliteDatabase& db, const std::string& sql,
                                                       const std::string& statement);

// The table's name as stored, or empty when there is no such table.
std::string StoredTableName(SqliteDatabase& db, const std::string& name);

// The name of the table's primary key as its CREATE TABLE gives it, else "PK_" + table.
std::string PrimaryKeyName(SqliteDatabase& db, const std::string& table);

}  // namespace msu::embedded
