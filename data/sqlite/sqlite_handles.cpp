#include "data/sqlite/sqlite_handles.h"

#include <stdexcept>
#include <utility>

namespace msu::sqlite {

std::string ErrorMessage(sqlite3* db, int rc) {
  return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
}

Database::Database(const std::string& path, int flags) {
  std::string message;
  *this = Open(path, flags, &message);
  if (db_ == nullptr) throw std::runtime_error("Cannot open " + path + ": " + message);
}

namespace {

// Unless told otherwise before its first use, SQLite keeps process-wide figures of its memory
// under one lock taken at every allocation: connections working on two threads would take turns
// at it for each value they read. Nothing here reads those figures.
void ConfigureLibrary() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    return true;
  }();
  (void)configured;
}

}  // namespace

Database Database::Open(const std::string& path, int flags, std::string* error) {
  ConfigureLibrary();
  Database database;
  database.path_ = path;
  const int rc = sqlite3_open_v2(path.c_str(), &database.db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    *error = ErrorMessage(database.db_, rc);
    database.Close();
  }
  return database;
}

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), path_(std::move(other.path_)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Database::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void Database::Exec(const std::string& sql) {
  std::string message;
  if (TryExec(sql, &message) != SQLITE_OK) {
    throw std::runtime_error("Statement failed on " + path_ + ": " + message);
  }
}

int Database::TryExec(const std::string& sql, std::string* error) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK && error != nullptr) {
    *error = message != nullptr ? message : ErrorMessage(db_, rc);
  }
  sqlite3_free(message);
  return rc;
}

int64_t Database::QueryInt(const std::string& sql) {
  Statement statement(*this, sql);
  return statement.Next() ? sqlite3_column_int64(statement.get(), 0) : 0;
}

Statement::Statement(const Database& db, const std::string& sql) : path_(db.path()) {
  if (Prepare(db.get(), sql) != SQLITE_OK) Fail("Preparing \"" + sql + "\"");
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)),
      db_(std::exchange(other.db_, nullptr)),
      path_(std::move(other.path_)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Reset();
    stmt_ = std::exchange(other.stmt_, nullptr);
    db_ = std::exchange(other.db_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

int Statement::Prepare(sqlite3* db, std::string_view sql, const char** tail) {
  Reset();
  db_ = db;
  return sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, tail);
}

void Statement::Reset() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

void Statement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void Statement::BindInt(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::BindReal(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void Statement::BindText(int index, std::string_view value) {
  sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void Statement::Run() {
  const int rc = sqlite3_step(stmt_);
  if (rc != SQLITE_DONE) Fail(std::string("Statement \"") + sqlite3_sql(stmt_) + "\"");
  sqlite3_reset(stmt_);
}

bool Statement::Next() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) Fail(std::string("Query \"") + sqlite3_sql(stmt_) + "\"");
  return false;
}

void Statement::Fail(const std::string& what) const {
  throw std::runtime_error(what + " failed on " + path_ + ": " + sqlite3_errmsg(db_));
}

}  // namespace msu::sqlite
