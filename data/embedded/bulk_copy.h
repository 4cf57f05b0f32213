// The embedded server's set-based copy of a table between two of its databases: the source
// file is attached to the destination connection for the copy and the rows go over in one
// INSERT ... SELECT inside a savepoint. Each value is written as the generic row copy would
// write it (server/row_copy.h): the same literal, read back by SQLite the same way, so the
// destination ends with the same rows, in the same order, as after one INSERT per row.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "data/embedded/sqlite_database.h"

namespace msu::embedded {

// Copies the rows that `source_statement` selects in the database file `source_path` into
// `table` of `destination`, column by column as `fields` (the fields of the source statement's
// result) name them. Returns the rows copied; nothing when the statement is not a plain
// "SELECT * FROM t [WHERE ...]" or a field has a type whose literal this copy does not
// reproduce (dates of code 7). Throws DataError when the copy fails, for example on a value the
// row copy could not have written (text in a numeric column, bytes, an infinite number) or a
// key that is taken; nothing stays written then, and the source is detached again.
//
// `changes` change the integer values of their columns on the way (data::KeyChange); a change
// with new keys names the temporary table (columns o, n) that holds them on `destination`, in
// `key_tables` by column change index. A value that is not an integer is copied as it is.
struct ColumnChange {
  data::KeyChange change;
  std::string key_table;  // for a change with new keys: "temp.msu_keys_N"
};
std::optional<long> BulkCopy(SqliteDatabase& destination, const std::string& source_path,
                             const std::string& source_statement, const std::string& table,
                             const std::vector<data::FieldInfo>& fields,
                             const std::vector<ColumnChange>& changes = {});

}  // namespace msu::embedded
