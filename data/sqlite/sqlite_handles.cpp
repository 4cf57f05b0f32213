#include "data/sqlite/sqlite_handles.h"

#include <stdexcept>

namespace msu::suite {

Database::Database(const std::string& path, bool create) : path_(path) {
  int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("Cannot open " + path + ": " + message);
  }
}

Database::~Database() { sqlite3_close(db_); }

void Database::Fail(const std::string& what) const {
  throw std::runtime_error(what + " failed on " + path_ + ": " + sqlite3_errmsg(db_));
}

void Database::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("Statement failed on " + path_ + ": " + message);
  }
}

int64_t Database::QueryInt(const std::string& sql) {
  Statement statement(*this, sql);
  return statement.Next() ? sqlite3_column_int64(statement.handle(), 0) : 0;
}

Statement::Statement(Database& db, const std::string& sql) : db_(db) {
  if (sqlite3_prepare_v2(db.handle(), sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK) {
    db.Fail("Preparing \"" + sql + "\"");
  }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void Statement::BindInt(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::BindReal(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void Statement::BindText(int index, std::string_view value) {
  sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void Statement::Run() {
  int rc = sqlite3_step(stmt_);
  if (rc != SQLITE_DONE) db_.Fail(std::string("Statement \"") + sqlite3_sql(stmt_) + "\"");
  sqlite3_reset(stmt_);
}

bool Statement::Next() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) db_.Fail(std::string("Query \"") + sqlite3_sql(stmt_) + "\"");
  return false;
}

}  // namespace msu::suite
