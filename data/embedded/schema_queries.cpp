#include "data/embedded/schema_queries.h"

#include <sqlite3.h>

#include "core/text.h"
#include "data/embedded/tsql_translator.h"

namespace msu::embedded {

bool IsTable(SqliteDatabase& db, const std::string& name) {
  Statement stmt = db.Prepare(
      "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", name);
  sqlite3_bind_text(stmt.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
  return db.Step(stmt, name) == SQLITE_ROW;
}

std::vector<std::string> Column(SqliteDatabase& db, const std::string& sql,
                                const std::string& parameter) {
  Statement stmt = db.Prepare(sql, sql);
  sqlite3_bind_text(stmt.get(), 1, parameter.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<std::string> values;
  while (db.Step(stmt, sql) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    values.push_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
  }
  return values;
}

std::string RowidColumn(SqliteDatabase& db, const std::string& table) {
  std::vector<std::string> keys =
      Column(db, "SELECT name || '|' || type FROM pragma_table_info(?1) WHERE pk > 0", table);
  if (keys.size() != 1) return std::string();
  size_t bar = keys[0].rfind('|');
  if (!EqualsNoCase(keys[0].substr(bar + 1), "INTEGER")) return std::string();
  return keys[0].substr(0, bar);
}

std::set<std::string> UniqueColumns(SqliteDatabase& db, const std::string& table) {
  std::set<std::string> columns;
  for (const std::string& index :
       Column(db, "SELECT name FROM pragma_index_list(?1) WHERE \"unique\" = 1", table)) {
    for (const std::string& column : Column(db, "SELECT name FROM pragma_index_info(?1)", index)) {
      columns.insert(LowerCase(column));
    }
  }
  std::string rowid = RowidColumn(db, table);
  if (!rowid.empty()) columns.insert(LowerCase(rowid));
  return columns;
}

std::optional<std::pair<int64_t, int64_t>> IntegerPair(SqliteDatabase& db, const std::string& sql,
                                                       const std::string& statement) {
  Statement stmt = db.Prepare(sql, statement);
  if (db.Step(stmt, statement) != SQLITE_ROW ||
      sqlite3_column_type(stmt.get(), 0) != SQLITE_INTEGER ||
      sqlite3_column_type(stmt.get(), 1) != SQLITE_INTEGER) {
    return std::nullopt;
  }
  return std::pair{sqlite3_column_int64(stmt.get(), 0), sqlite3_column_int64(stmt.get(), 1)};
}

std::string StoredTableName(SqliteDatabase& db, const std::string& name) {
  std::vector<std::string> names = Column(
      db, "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", name);
  return names.empty() ? std::string() : names[0];
}

std::string PrimaryKeyName(SqliteDatabase& db, const std::string& table) {
  std::vector<std::string> create =
      Column(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", table);
  std::string name = create.empty() ? std::string() : PrimaryKeyConstraintName(create[0]);
  return name.empty() ? "PK_" + table : name;
}

}  // namespace msu::embedded
