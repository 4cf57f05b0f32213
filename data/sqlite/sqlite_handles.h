// The one owner of SQLite handles: an open database file and a prepared statement, each
// released on every path out (RAII). The embedded server, its catalog and the suite kit all
// hold their handles in these. Each call comes in two forms where callers need both: one that
// throws std::runtime_error naming the file and SQLite's message, and one that returns SQLite's
// result code and message, for callers that phrase their own errors.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace msu::sqlite {

// SQLite's message for the last failed call on `db`, or the text of `rc` when there is no
// handle (a failed open that could not allocate one: "out of memory").
std::string ErrorMessage(sqlite3* db, int rc);

// An open SQLite database file. Closed when destroyed or closed, whatever happened before; a
// statement still open then finishes the close when it is finalized.
class Database {
 public:
  Database() = default;
  // Opens `path` with `flags` (SQLITE_OPEN_READWRITE, SQLITE_OPEN_CREATE, ...). Throws
  // std::runtime_error "Cannot open " + path + ": " + SQLite's message.
  Database(const std::string& path, int flags);
  // Opens `path` with `flags`. On failure returns a closed Database and sets `*error` to
  // SQLite's message; never throws.
  static Database Open(const std::string& path, int flags, std::string* error);
  ~Database() { Close(); }
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* get() const { return db_; }
  explicit operator bool() const { return db_ != nullptr; }
  const std::string& path() const { return path_; }
  void Close();

  // Runs one or more statements. Throws std::runtime_error "Statement failed on " + path +
  // ": " + SQLite's message.
  void Exec(const std::string& sql);
  // Runs one or more statements. Returns SQLite's result code; on failure `*error` (when given)
  // receives SQLite's message. Never throws.
  int TryExec(const std::string& sql, std::string* error = nullptr);
  // First column of the first row of a query, as an integer (0 when there is no row). Throws
  // like Statement::Next.
  int64_t QueryInt(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// A prepared statement. Finalized when destroyed or reset.
class Statement {
 public:
  Statement() = default;
  // Takes over a statement prepared elsewhere.
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt), db_(sqlite3_db_handle(stmt)) {}
  // Prepares `sql` on `db`. Throws std::runtime_error "Preparing \"" + sql + "\" failed on " +
  // path + ": " + SQLite's message.
  Statement(const Database& db, const std::string& sql);
  ~Statement() { Reset(); }
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Prepares the first statement of `sql` on `db` in place of the one held. Returns SQLite's
  // result code (the owner stays empty on failure, and for text without a statement); `tail`
  // receives where the next statement of `sql` starts. Never throws.
  int Prepare(sqlite3* db, std::string_view sql, const char** tail = nullptr);

  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }
  // Finalizes the statement now; the owner is empty afterwards.
  void Reset();

  // Parameters count from 1.
  void BindNull(int index);
  void BindInt(int index, int64_t value);
  void BindReal(int index, double value);
  void BindText(int index, std::string_view value);
  // Runs an INSERT, UPDATE or DELETE to its end and rewinds the statement for the next use.
  // Throws std::runtime_error "Statement \"" + sql + "\" failed on " + path + ": " + message.
  void Run();
  // Steps a query: true while there is a row. Throws std::runtime_error "Query \"" + sql +
  // "\" failed on " + path + ": " + SQLite's message.
  bool Next();

 private:
  [[noreturn]] void Fail(const std::string& what) const;

  sqlite3_stmt* stmt_ = nullptr;
  sqlite3* db_ = nullptr;  // the connection it was prepared on, for the messages
  std::string path_;       // of the Database it was prepared on, for the messages
};

}  // namespace msu::sqlite
