// Helpers shared by the tests of the suite kit: scratch folders and small SQLite queries.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/sqlite/sqlite_handles.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::suite::testing {

// A fresh folder, removed with everything in it.
class ScratchDir : public msu::testing::ScratchFolder {
 public:
  std::string File(const std::string& name) const { return *this / name; }
};

// A read-write connection to a SQLite file that already exists.
class Db {
 public:
  explicit Db(const std::string& path) : db_(path, SQLITE_OPEN_READWRITE) {}
  sqlite3* handle() const { return db_.get(); }

  void Exec(const std::string& sql) {
    std::string message;
    if (db_.TryExec(sql, &message) != SQLITE_OK) {
      throw std::runtime_error(message + " in: " + sql);
    }
  }

  // Every row of a query, each value as text ("NULL" for NULL), columns joined by "|".
  std::vector<std::string> Rows(const std::string& sql) {
    return msu::testing::QueryRows(db_, sql);
  }

  int64_t Int(const std::string& sql) {
    std::vector<std::string> rows = Rows(sql);
    return rows.empty() ? 0 : std::stoll(rows.front());
  }

  std::string Text(const std::string& sql) {
    std::vector<std::string> rows = Rows(sql);
    return rows.empty() ? "" : rows.front();
  }

 private:
  sqlite::Database db_;
};

}  // namespace msu::suite::testing
