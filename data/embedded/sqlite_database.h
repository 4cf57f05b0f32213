// The open SQLite file of one connection, shared by the connection and its recordsets: the
// handle, the command time-out, the session of an instance database, the errors of the last
// failed call and the recordsets that stream from it.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "data/embedded/instance.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::embedded {

// Every statement of a connection is held by the one owner of SQLite handles.
using sqlite::Statement;

// What a recordset does when its connection writes or closes.
class CursorListener {
 public:
  virtual ~CursorListener() = default;
  // Reads the rest of a streaming result into memory before the connection writes.
  virtual void TakeSnapshot() = 0;
  // The connection closes: release the statement and close.
  virtual void ConnectionClosing() = 0;
};

class SqliteDatabase {
 public:
  // Opens an existing database file for reading and writing, or only for reading with
  // `read_only`; never creates it, and opening writes nothing. Throws DataError(kErrConnection)
  // when the file is missing or is no database. A read-only connection never writes the file,
  // not even to roll back a transaction that a dead process left unfinished: it fails instead.
  static std::shared_ptr<SqliteDatabase> Open(const std::string& path,
                                              std::unique_ptr<Session> session,
                                              bool read_only = false);
  ~SqliteDatabase();

  bool IsOpen() const { return static_cast<bool>(db_); }
  sqlite3* handle() const { return db_.get(); }
  const std::string& path() const { return path_; }

  // Closes recordsets, the file and the session. Harmless when already closed.
  void Close();

  // Before every statement: throws kErrClosed on a closed connection, and closes the
  // connection and throws kErrConnection when an administrator killed its session.
  void CheckUsable();

  void SetTimeout(int seconds);
  int timeout() const { return timeout_seconds_; }

  // Called about every 50 milliseconds while statements run or rows are read, the first time
  // as soon as one runs; a true answer interrupts the statement (data::Connection::SetHeartbeat).
  void SetHeartbeat(std::function<bool()> beat) { beat_ = std::move(beat); }

  // Prepares one statement; `original` is quoted by errors.
  Statement Prepare(const std::string& sql, const std::string& original);
  // Steps once under the command time-out; returns SQLITE_ROW or SQLITE_DONE, throws
  // otherwise.
  int Step(const Statement& stmt, const std::string& original);
  // Runs a statement that returns no rows (rows are ignored) and returns the rows changed.
  long Run(const std::string& sql, const std::string& original);

  // The error for a failed SQLite call: kErrTimeout "Query timeout expired" when the time-out
  // stopped it or another connection kept the file locked for longer, otherwise kErrStatement
  // with SQLite's message followed by the statement; a full disk is kErrDiskFull, with
  // DiskFullMessage for the folder of the file.
  data::DataError Error(int rc, const std::string& original) const;

  // Runs `work`, which writes, so that it happens whole or not at all, as one statement of the
  // suite server does: inside a savepoint, with streaming recordsets snapshot first. Afterwards
  // every row it wrote must keep its integer columns inside the ranges of their SQL Server types
  // (integer_ranges.h); otherwise all of it is undone and DataError(kErrStatement)
  // "Arithmetic overflow error converting expression to data type int. (...)" is thrown, with
  // the statement. A failure of `work` undoes it too and passes on. Writes inside writes are
  // checked with the outermost. With `ranges_kept`, the caller vouches that `work` writes no
  // value outside those ranges (it writes no such column, or checks each value itself), and the
  // rows it wrote are not read again.
  void Write(const std::string& statement, const std::function<void()>& work,
             bool ranges_kept = false);

  // Streaming recordsets snapshot before the connection writes.
  void BeforeWrite();
  void AddListener(CursorListener* listener) { listeners_.insert(listener); }
  void RemoveListener(CursorListener* listener) { listeners_.erase(listener); }

  // The error collection of the connection, shared with its recordsets.
  std::vector<data::ErrorEntry>& errors() { return *errors_; }
  void ShareErrors(std::shared_ptr<std::vector<data::ErrorEntry>> errors) {
    errors_ = std::move(errors);
  }

 private:
  SqliteDatabase() = default;
  static int Progress(void* self);
  // Calls the heartbeat when its interval has passed; true when it asked for a stop.
  bool Beat(std::chrono::steady_clock::time_point now);
  void Arm();

  sqlite::Database db_;
  std::string path_;
  std::unique_ptr<Session> session_;
  int timeout_seconds_ = 30;
  std::chrono::steady_clock::time_point deadline_;
  bool deadline_set_ = false;
  bool armed_ = false;
  bool timed_out_ = false;
  bool stopped_ = false;
  std::function<bool()> beat_;
  std::chrono::steady_clock::time_point last_beat_{};
  // Short steps between two looks at the heartbeat's clock.
  static constexpr int kStepsPerBeat = 16;
  int steps_unbeaten_ = 0;
  int write_depth_ = 0;
  std::set<CursorListener*> listeners_;
  std::shared_ptr<std::vector<data::ErrorEntry>> errors_ =
      std::make_shared<std::vector<data::ErrorEntry>>();
};

// Reads column `column` of the current row; a "bit" column reads as integer 0 or 1.
data::Value ReadColumn(sqlite3_stmt* stmt, int column, bool bit);

// Binds a value to parameter `index` (from 1).
void BindValue(sqlite3_stmt* stmt, int index, const data::Value& value);

}  // namespace msu::embedded
