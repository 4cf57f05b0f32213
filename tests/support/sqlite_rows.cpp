#include "tests/support/sqlite_rows.h"

#include <algorithm>
#include <stdexcept>

namespace msu::testing {

std::vector<std::string> QueryRows(const sqlite::Database& db, const std::string& sql) {
  sqlite::Statement stmt;
  if (stmt.Prepare(db.get(), sql) != SQLITE_OK) {
    throw std::runtime_error(std::string(sqlite3_errmsg(db.get())) + " in: " + sql);
  }
  std::vector<std::string> rows;
  int rc;
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i) {
      if (i > 0) row += "|";
      const unsigned char* text = sqlite3_column_text(stmt.get(), i);
      row += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
    }
    rows.push_back(row);
  }
  if (rc != SQLITE_DONE) {
    throw std::runtime_error(std::string(sqlite3_errmsg(db.get())) + " in: " + sql);
  }
  return rows;
}

std::vector<std::string> QueryFile(const std::string& path, const std::string& sql) {
  return QueryRows(sqlite::Database(path, SQLITE_OPEN_READONLY), sql);
}

std::map<std::string, std::vector<std::string>> TableContents(const std::string& path) {
  const sqlite::Database db(path, SQLITE_OPEN_READONLY);
  std::map<std::string, std::vector<std::string>> contents;
  for (const std::string& table :
       QueryRows(db,
                 "SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE "
                 "'sqlite_%'")) {
    std::vector<std::string> rows = QueryRows(db, "SELECT * FROM \"" + table + "\"");
    std::sort(rows.begin(), rows.end());
    contents[table] = std::move(rows);
  }
  return contents;
}

void ExecFile(const std::string& path, const std::string& sql) {
  sqlite::Database(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).Exec(sql);
}

}  // namespace msu::testing
