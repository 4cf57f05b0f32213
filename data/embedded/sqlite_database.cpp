#include "data/embedded/sqlite_database.h"

#include <errno.h>

#include <filesystem>
#include <system_error>

#include "core/context.h"
#include "core/file_copier.h"
#include "core/text.h"

#include "data/embedded/database_file.h"
#include "data/embedded/integer_ranges.h"

namespace msu::embedded {

namespace {

// Marks files this server created ("ORVN"); files from elsewhere are opened all the same.
constexpr int kApplicationId = 0x4F52564E;

[[noreturn]] void CannotOpen(const std::string& path, const std::string& reason) {
  throw data::DataError(data::kErrConnection,
                        "Cannot open the database file \"" + path + "\": " + reason);
}

}  // namespace

std::shared_ptr<SqliteDatabase> SqliteDatabase::Open(const std::string& path,
                                                     std::unique_ptr<Session> session,
                                                     bool read_only) {
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) CannotOpen(path, "the file does not exist.");
  if (!std::filesystem::is_regular_file(status)) CannotOpen(path, "it is not a file.");
  // An empty file would pass as an empty database and be turned into one by the first write.
  if (std::filesystem::file_size(path, ec) == 0 || ec) {
    CannotOpen(path, "the file is empty, not a database.");
  }
  std::shared_ptr<SqliteDatabase> database(new SqliteDatabase());
  database->path_ = path;
  std::string message;
  // A connection is used by one thread at a time, so SQLite need not lock it on every call
  // (several per value read).
  database->db_ = sqlite::Database::Open(
      path, (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX,
      &message);
  if (!database->db_) CannotOpen(path, message + ".");
  sqlite3* db = database->db_.get();
  // Double quotes name columns, as on the suite server; they never fall back to text.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_extended_result_codes(db, 0);
  sqlite3_progress_handler(db, 1000, &SqliteDatabase::Progress, database.get());
  database->SetTimeout(30);
  // Reading the schema proves the file is a database without writing to it.
  Statement probe;
  int rc = probe.Prepare(db, "SELECT count(*) FROM sqlite_schema");
  if (rc == SQLITE_OK) rc = sqlite3_step(probe.get());
  message = sqlite3_errmsg(db);
  probe.Reset();
  if (rc != SQLITE_ROW) {
    database->Close();
    CannotOpen(path, rc == SQLITE_NOTADB ? "the file is not a database." : message + ".");
  }
  database->session_ = std::move(session);
  return database;
}

SqliteDatabase::~SqliteDatabase() { Close(); }

void SqliteDatabase::Close() {
  std::set<CursorListener*> listeners = listeners_;
  for (CursorListener* listener : listeners) listener->ConnectionClosing();
  listeners_.clear();
  db_.Close();
  session_.reset();
}

void SqliteDatabase::CheckUsable() {
  if (!db_) {
    throw data::DataError(data::kErrClosed, "Operation is not allowed when the object is closed.");
  }
  if (session_ != nullptr && session_->Killed()) {
    long spid = session_->Spid();
    Close();
    throw data::DataError(data::kErrConnection,
                          "The connection was ended by the server administrator (process " +
                              std::to_string(spid) + " was killed).");
  }
}

void SqliteDatabase::SetTimeout(int seconds) {
  timeout_seconds_ = seconds < 0 ? 0 : seconds;
  // Waiting for another process's lock counts against the same limit (five minutes when the
  // statements have none).
  if (db_) sqlite3_busy_timeout(db_.get(), (timeout_seconds_ > 0 ? timeout_seconds_ : 300) * 1000);
}

void SqliteDatabase::Arm() {
  timed_out_ = false;
  stopped_ = false;
  armed_ = timeout_seconds_ > 0;
  // The time-out counts from the step's first look at the clock (Progress): a short step, the
  // most common kind, never reads the clock at all.
  deadline_set_ = false;
}

int SqliteDatabase::Progress(void* self) {
  auto* database = static_cast<SqliteDatabase*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (database->armed_) {
    if (!database->deadline_set_) {
      database->deadline_ = now + std::chrono::seconds(database->timeout_seconds_);
      database->deadline_set_ = true;
    } else if (now > database->deadline_) {
      database->timed_out_ = true;
      return 1;
    }
  }
  return database->Beat(now) ? 1 : 0;
}

bool SqliteDatabase::Beat(std::chrono::steady_clock::time_point now) {
  if (!beat_ || now - last_beat_ < std::chrono::milliseconds(50)) return false;
  last_beat_ = now;
  stopped_ = beat_();
  return stopped_;
}

Statement SqliteDatabase::Prepare(const std::string& sql, const std::string& original) {
  Statement stmt;
  timed_out_ = false;
  int rc = stmt.Prepare(db_.get(), sql);
  if (rc != SQLITE_OK) throw Error(rc, original);
  if (!stmt) throw data::DataError(data::kErrStatement, "The statement is empty: " + original);
  return stmt;
}

int SqliteDatabase::Step(const Statement& stmt, const std::string& original) {
  Arm();
  // A loop over many short steps beats here, every few steps (the clock is read on each of
  // them); one long step beats in Progress.
  if (beat_ && ++steps_unbeaten_ >= kStepsPerBeat) {
    steps_unbeaten_ = 0;
    if (Beat(std::chrono::steady_clock::now())) {
      armed_ = false;
      throw Error(SQLITE_INTERRUPT, original);
    }
  }
  int rc = sqlite3_step(stmt.get());
  armed_ = false;
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw Error(rc, original);
  return rc;
}

long SqliteDatabase::Run(const std::string& sql, const std::string& original) {
  Statement stmt = Prepare(sql, original);
  if (!sqlite3_stmt_readonly(stmt.get())) BeforeWrite();
  while (Step(stmt, original) == SQLITE_ROW) {
  }
  return static_cast<long>(sqlite3_changes(db_.get()));
}

data::DataError SqliteDatabase::Error(int rc, const std::string& original) const {
  if (rc == SQLITE_INTERRUPT && timed_out_) {
    return data::DataError(data::kErrTimeout, "Query timeout expired");
  }
  if (rc == SQLITE_INTERRUPT && stopped_) return data::DataError(kErrUserInterrupt, kStoppedByUser);
  if (rc == SQLITE_BUSY) {
    // Another connection held the file for longer than the command may wait.
    return data::DataError(data::kErrTimeout,
                           "Query timeout expired: the database is locked by another connection "
                           "(statement: " +
                               original + ")");
  }
  const int system_error = sqlite3_system_errno(db_.get());
  if (rc == SQLITE_FULL ||
      (rc == SQLITE_IOERR && (system_error == ENOSPC || system_error == EDQUOT))) {
    // The one failure that names a place rather than a statement: the administrator has to
    // make room there.
    return data::DataError(kErrDiskFull, DiskFullMessage(FolderOf(path_)) + " (" +
                                             sqlite::ErrorMessage(db_.get(), rc) +
                                             "; statement: " + original + ")");
  }
  return data::DataError(data::kErrStatement,
                         sqlite::ErrorMessage(db_.get(), rc) + " (statement: " + original + ")");
}

void SqliteDatabase::Write(const std::string& statement, const std::function<void()>& work,
                           bool ranges_kept) {
  BeforeWrite();
  const std::string savepoint = "msu_write_" + std::to_string(write_depth_);
  // Outside a transaction the savepoint is the transaction: a failure ends it entirely, so that
  // no lock outlives the statement (a commit that found the file busy leaves it open).
  const bool own_transaction = sqlite3_get_autocommit(db_.get()) != 0;
  Run("SAVEPOINT " + savepoint, statement);
  try {
    // The outermost write watches the rows; inner ones are part of it.
    std::unique_ptr<WrittenRows> written;
    if (write_depth_ == 0 && !ranges_kept) written = std::make_unique<WrittenRows>(db_.get());
    {
      struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
      } inside(write_depth_);
      work();
    }
    if (written != nullptr) {
      if (const std::string overflow = written->FirstOverflow(); !overflow.empty()) {
        throw data::DataError(data::kErrStatement, overflow + " (statement: " + statement + ")");
      }
    }
    Run("RELEASE " + savepoint, statement);
  } catch (...) {
    const std::string undo =
        own_transaction ? "ROLLBACK" : "ROLLBACK TO " + savepoint + "; RELEASE " + savepoint;
    sqlite3_exec(db_.get(), undo.c_str(), nullptr, nullptr, nullptr);
    throw;
  }
}

void SqliteDatabase::BeforeWrite() {
  for (CursorListener* listener : listeners_) listener->TakeSnapshot();
}

data::Value ReadColumn(sqlite3_stmt* stmt, int column, bool bit) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: {
      int64_t v = sqlite3_column_int64(stmt, column);
      return data::Value::Integer(bit ? (v != 0 ? 1 : 0) : v);
    }
    case SQLITE_FLOAT: {
      double v = sqlite3_column_double(stmt, column);
      return bit ? data::Value::Integer(v != 0.0 ? 1 : 0) : data::Value::Real(v);
    }
    case SQLITE_TEXT: {
      std::string text(reinterpret_cast<const char*>(sqlite3_column_text(stmt, column)),
                       static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
      if (bit) return data::Value::Integer(data::Value::Text(text).AsBool() ? 1 : 0);
      return data::Value::Text(std::move(text));
    }
    case SQLITE_BLOB: {
      const void* bytes = sqlite3_column_blob(stmt, column);
      int size = sqlite3_column_bytes(stmt, column);
      return data::Value::Blob(
          bytes != nullptr ? std::string(static_cast<const char*>(bytes), static_cast<size_t>(size))
                           : std::string());
    }
    default:
      return data::Value::Null();
  }
}

void BindValue(sqlite3_stmt* stmt, int index, const data::Value& value) {
  switch (value.kind()) {
    case data::Value::Kind::kInteger:
      sqlite3_bind_int64(stmt, index, value.AsInteger());
      break;
    case data::Value::Kind::kReal:
      sqlite3_bind_double(stmt, index, value.AsReal());
      break;
    case data::Value::Kind::kText: {
      std::string text = value.AsText();
      sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    case data::Value::Kind::kBlob: {
      std::string bytes = value.AsText();
      sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                        SQLITE_TRANSIENT);
      break;
    }
    default:
      sqlite3_bind_null(stmt, index);
  }
}

void CreateDatabaseFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || ec) {
    throw data::DataError(data::kErrConnection,
                          "Cannot create the database file \"" + path + "\": a file exists there.");
  }
  std::string message;
  sqlite::Database db =
      sqlite::Database::Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &message);
  int rc = db ? SQLITE_OK : SQLITE_CANTOPEN;
  if (db) {
    // Writing the header makes the file a database on disk at once.
    rc = db.TryExec(
        "PRAGMA journal_mode=DELETE; PRAGMA application_id=" + std::to_string(kApplicationId) + ";",
        &message);
  }
  db.Close();
  if (rc != SQLITE_OK) {
    std::filesystem::remove(path, ec);
    throw data::DataError(data::kErrConnection,
                          "Cannot create the database file \"" + path + "\": " + message + ".");
  }
}

}  // namespace msu::embedded
