// UPDATEs that set a key column. On the suite server UNIQUE and PRIMARY KEY constraints are
// checked once the whole statement has run, so keys can be shifted past each other; SQLite
// checks row by row. These routines give such an UPDATE the suite server's meaning: a shift by
// a constant ("k = k + n") takes one pass when every new key lies beyond every key of the
// table, two otherwise; any other form computes the new values first (by rowid, into a
// temporary table), parks the rows it changes at values no row can hold, then writes the new
// values, all as one write: a real collision at the end still fails and undoes the statement.
// Rowids stay as they are, except in a table whose key is the rowid (an identity column),
// where the rows parked below the smallest rowid are mirrored so that they stay distinct.
#pragma once

#include <string>

#include "data/embedded/sqlite_database.h"
#include "data/embedded/tsql_translator.h"

namespace msu::embedded {

// Whether the UPDATE `tr` sets a column covered by a UNIQUE or PRIMARY KEY index.
bool SetsUniqueColumn(SqliteDatabase& db, const Translation& tr);

// Runs the UPDATE `tr` (of `statement`, named in errors) checked per statement; the number of
// rows it changed.
long KeyShiftUpdate(SqliteDatabase& db, const Translation& tr, const std::string& statement);

}  // namespace msu::embedded
