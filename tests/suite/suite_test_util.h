// Helpers shared by the tests of the suite kit: scratch folders and small SQLite queries.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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
  explicit Db(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + path);
    }
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  sqlite3* handle() const { return db_; }

  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error != nullptr ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message + " in: " + sql);
    }
  }

  // Every row of a query, each value as text ("NULL" for NULL), columns joined by "|".
  std::vector<std::string> Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
    }
    std::vector<std::string> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i > 0) row += "|";
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row += text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string(sqlite3_errmsg(db_)));
    return rows;
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
  sqlite3* db_ = nullptr;
};

}  // namespace msu::suite::testing
