// Thin owners of SQLite handles for the suite kit: the sample generator and the schema write
// their files directly, without the embedded server.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace msu::suite {

// An open SQLite file. Opening creates the file when it is missing. Every failure throws
// std::runtime_error with SQLite's message and the file's path.
class Database {
 public:
  explicit Database(const std::string& path, bool create = true);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }
  // Runs one or more statements.
  void Exec(const std::string& sql);
  // First column of the first row of a query, as an integer (0 when there is no row).
  int64_t QueryInt(const std::string& sql);
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// A prepared statement, reset after each Step.
class Statement {
 public:
  Statement(Database& db, const std::string& sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* handle() const { return stmt_; }
  void BindNull(int index);
  void BindInt(int index, int64_t value);
  void BindReal(int index, double value);
  void BindText(int index, std::string_view value);
  // Runs an INSERT, UPDATE or DELETE to its end and resets the statement for the next use.
  void Run();
  // Steps a query: true while there is a row.
  bool Next();

 private:
  Database& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace msu::suite
