// Connections of the embedded server: opening, statements and transactions, the set-based copy
// and digests. Key updates (key_updates.h) and the suite server's own statements
// (catalog_statements.h) have files of their own.
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "core/text.h"
#include "data/admin.h"
#include "data/connection_string.h"
#include "data/embedded/bulk_copy.h"
#include "data/embedded/catalog_statements.h"
#include "data/embedded/embedded_connection.h"
#include "data/embedded/embedded_recordset.h"
#include "data/embedded/instance.h"
#include "data/embedded/integer_ranges.h"
#include "data/embedded/key_updates.h"
#include "data/embedded/row_digest.h"
#include "data/embedded/schema_queries.h"
#include "data/embedded/sqlite_database.h"
#include "data/embedded/tsql_translator.h"
#include "data/error_guard.h"

namespace msu::embedded {

namespace {

constexpr const char* kProvider = "Orvane.Embedded";

[[noreturn]] void ConnectionFailure(const std::string& description) {
  throw data::DataError(data::kErrConnection, description);
}

std::string Lookup(const data::ConnectionString& pairs, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (pairs.Has(key)) return pairs.Get(key);
  }
  return std::string();
}

class EmbeddedConnection : public data::Connection {
 public:
  explicit EmbeddedConnection(std::string instance_root)
      : instance_root_(std::move(instance_root)) {}
  ~EmbeddedConnection() override {
    if (db_ != nullptr) db_->Close();
  }

  void SetConnectionString(const std::string& connection_string) override {
    connection_string_ = connection_string;
  }
  const std::string& ConnectionString() const override { return connection_string_; }
  void SetProperty(const std::string& name, long value) override {
    properties_[UpperCase(name)] = value;
    if (IsOpen() && UpperCase(name) == "SYNCHRONOUS") ApplySynchronous();
  }

  void Open(const std::string& /*user*/, const std::string& /*password*/) override {
    Guard([&] {
      if (IsOpen()) {
        throw data::DataError(data::kErrOpen, "Operation is not allowed when the object is open.");
      }
      OpenDatabase();
      return 0;
    });
  }

  void Close() override {
    if (db_ != nullptr) db_->Close();
    db_.reset();
  }

  bool IsOpen() const override { return db_ != nullptr && db_->IsOpen(); }

  void SetCommandTimeout(int seconds) override {
    timeout_ = seconds < 0 ? 0 : seconds;
    if (db_ != nullptr) db_->SetTimeout(timeout_);
  }

  void SetHeartbeat(std::function<bool()> beat) override {
    beat_ = std::move(beat);
    if (db_ != nullptr) db_->SetHeartbeat(beat_);
  }
  int CommandTimeout() const override { return timeout_; }

  std::unique_ptr<data::Recordset> Execute(const std::string& statement,
                                           long* rows_affected) override {
    return Guard([&] { return Run(statement, data::CursorChoice::kForward, rows_affected); });
  }

  std::unique_ptr<data::Recordset> OpenRecordset(const std::string& statement,
                                                 data::CursorChoice choice) override {
    return Guard([&] { return Run(statement, choice, nullptr); });
  }

  const std::vector<data::ErrorEntry>& Errors() const override { return *errors_; }

  // The rows are hashed as SQLite holds them, without making values of them.
  std::optional<data::RowDigest> DigestRows(const std::string& statement) override {
    return Guard([&]() -> std::optional<data::RowDigest> {
      SqliteDatabase& db = Database();
      std::shared_ptr<SqliteDatabase> keep = db_;
      const Translation tr = TranslateStatement(statement);
      if (tr.kind != Translation::Kind::kStatement) return std::nullopt;
      Statement stmt = db.Prepare(tr.sql, statement);
      if (!sqlite3_stmt_readonly(stmt.get())) return std::nullopt;
      return DigestOf(db, stmt, statement);
    });
  }

  // SQLite's own transaction: the savepoints single statements take nest inside it.
  long BeginTrans() override {
    return Guard([&] {
      SqliteDatabase& db = Database();
      if (sqlite3_get_autocommit(db.handle()) == 0) {
        throw data::DataError(data::kErrStatement,
                              "A transaction is already active on this connection; the embedded "
                              "server does not nest transactions.");
      }
      db.Run("BEGIN", "BEGIN TRANSACTION");
      return 1L;
    });
  }
  void CommitTrans() override { EndTransaction("COMMIT", "COMMIT TRANSACTION"); }
  void RollbackTrans() override { EndTransaction("ROLLBACK", "ROLLBACK TRANSACTION"); }

  // Only between two open connections of this server: the source's file is attached to this
  // connection for the copy.
  std::optional<long> CopyRowsFrom(data::Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<data::FieldInfo>& fields) override {
    return CopyRowsFrom(source, source_statement, table, fields, {});
  }

  std::optional<long> CopyRowsFrom(data::Connection& source, const std::string& source_statement,
                                   const std::string& table,
                                   const std::vector<data::FieldInfo>& fields,
                                   const std::vector<data::KeyChange>& changes) override {
    if (!CanCopyRowsFrom(source)) return std::nullopt;
    auto* other = dynamic_cast<EmbeddedConnection*>(&source);
    const std::string source_path = other->db_->path();
    return Guard([&] {
      Database();
      other->Database();
      std::shared_ptr<SqliteDatabase> db = db_;
      std::vector<ColumnChange> columns;
      for (const data::KeyChange& change : changes) {
        columns.push_back({change, change.new_keys ? KeyTable(change.new_keys) : ""});
      }
      return BulkCopy(*db, source_path, source_statement, table, fields, columns);
    });
  }

  // Rows keep their rowids and new ones come after the largest (tables here always have one).
  std::optional<int64_t> RowMark(const std::string& table) override {
    std::unique_ptr<data::Recordset> rows =
        Execute("SELECT COALESCE(MAX(rowid), 0) FROM " + table, nullptr);
    const int64_t mark = rows->IsEOF() ? 0 : rows->Get(0).AsInteger();
    rows->Close();
    return mark;
  }
  std::string RowsAddedSince(const std::string& alias, int64_t mark) override {
    return alias + ".rowid > " + std::to_string(mark);
  }

  bool CanCopyRowsFrom(data::Connection& source) override {
    auto* other = dynamic_cast<EmbeddedConnection*>(&source);
    return other != nullptr && other != this && other->IsOpen() && IsOpen();
  }

 private:
  // Keeps the error collection, which the recordsets share, as data::Guard does.
  template <class F>
  auto Guard(F&& call) -> decltype(call()) {
    return data::Guard(errors_.get(), std::forward<F>(call));
  }

  void EndTransaction(const char* sql, const char* statement) {
    Guard([&] {
      SqliteDatabase& db = Database();
      if (sqlite3_get_autocommit(db.handle()) != 0) {
        throw data::DataError(
            data::kErrStatement,
            std::string("No transaction is active on this connection (") + statement + ").");
      }
      // Streaming results are read to their end first: a rollback would cut them off.
      db.BeforeWrite();
      db.Run(sql, statement);
      return 0;
    });
  }

  void OpenDatabase() {
    const auto pairs = data::ConnectionString::Parse(connection_string_);
    std::string provider = Lookup(pairs, {"PROVIDER"});
    if (!provider.empty() && !EqualsNoCase(provider, kProvider)) {
      ConnectionFailure("Provider cannot be found. It may not be properly installed. (" + provider +
                        " is not " + kProvider + ")");
    }
    std::string file = Lookup(pairs, {"DATA SOURCE", "DATABASE FILE", "ATTACHDBFILENAME"});
    std::string server = Lookup(pairs, {"SERVER", "ADDRESS"});
    std::string database = Lookup(pairs, {"DATABASE", "INITIAL CATALOG"});
    std::unique_ptr<Session> session;
    if (file.empty()) {
      if (server.empty() || database.empty()) {
        ConnectionFailure(
            "The connection string names no database file and no server and "
            "database: \"" +
            connection_string_ + "\".");
      }
      std::string root = Lookup(pairs, {"INSTANCE ROOT"});
      if (root.empty()) root = instance_root_;
      if (root.empty()) root = DefaultInstanceRoot();
      try {
        std::unique_ptr<Instance> instance = Instance::Open(root, server);
        if (!instance->IsRunning()) ConnectionFailure("The server " + server + " is stopped.");
        std::optional<std::string> data_file = instance->DatabaseFile(database);
        if (!data_file) {
          ConnectionFailure("Cannot open database \"" + database +
                            "\" requested by the login. The login failed.");
        }
        file = *data_file;
        session = instance->OpenSession(database);
      } catch (const data::AdminError& error) {
        ConnectionFailure(error.description());
      }
    }
    // "Mode=Read" in the string, or the property Mode = 1, as with the suite's provider.
    const std::string mode = UpperCase(Lookup(pairs, {"MODE"}));
    const auto mode_property = properties_.find("MODE");
    const bool read_only =
        mode == "READ" || mode == "1" ||
        (mode_property != properties_.end() && mode_property->second == data::kModeRead);
    db_ = SqliteDatabase::Open(file, std::move(session), read_only);
    db_->ShareErrors(errors_);
    db_->SetTimeout(timeout_);
    db_->SetHeartbeat(beat_);
    std::string synchronous = UpperCase(Lookup(pairs, {"SYNCHRONOUS"}));
    if (synchronous == "OFF" || synchronous == "0") properties_["SYNCHRONOUS"] = 0;
    if (synchronous == "NORMAL" || synchronous == "1") properties_["SYNCHRONOUS"] = 1;
    ApplySynchronous();
  }

  // How hard a commit waits for the disk (see embedded_connection.h); a setting, not a write.
  void ApplySynchronous() {
    auto it = properties_.find("SYNCHRONOUS");
    long level = it == properties_.end() ? 2 : std::clamp(it->second, 0L, 2L);
    db_->Run("PRAGMA synchronous = " + std::to_string(level), "PRAGMA synchronous");
  }

  SqliteDatabase& Database() {
    if (db_ == nullptr) {
      throw data::DataError(data::kErrClosed,
                            "Operation is not allowed when the object is closed.");
    }
    db_->CheckUsable();
    return *db_;
  }

  std::unique_ptr<data::Recordset> Run(const std::string& statement, data::CursorChoice choice,
                                       long* rows_affected) {
    Database();
    std::shared_ptr<SqliteDatabase> db = db_;  // kept alive whatever the statement does
    if (rows_affected != nullptr) *rows_affected = -1;
    Translation tr = TranslateStatement(statement);
    long rows = -1;
    switch (tr.kind) {
      case Translation::Kind::kStatement:
        return RunSql(tr, statement, choice, rows_affected);
      case Translation::Kind::kUpdate:
        if (tr.has_from || !SetsUniqueColumn(*db, tr))
          return RunSql(tr, statement, choice, rows_affected);
        rows = KeyShiftUpdate(*db, tr, statement);
        break;
      case Translation::Kind::kProcedure:
        rows = RunProcedure(*db, tr, statement);
        break;
      case Translation::Kind::kPrimaryKeys:
        return PrimaryKeys(*db, tr.table_name);
      case Translation::Kind::kDropConstraint:
        DropConstraint(*db, tr, statement);
        break;
    }
    if (rows_affected != nullptr) *rows_affected = rows;
    return EmbeddedRecordset::Closed();
  }

  std::unique_ptr<data::Recordset> RunSql(const Translation& tr, const std::string& statement,
                                          data::CursorChoice choice, long* rows_affected) {
    SqliteDatabase& db = *db_;
    if (choice == data::CursorChoice::kOptimistic) {
      SingleTableSelect select;
      if (SplitSingleTableSelect(tr.sql, &select) && IsTable(db, select.table_name)) {
        UpdatableSource source{select.table, select.select_list};
        std::string sql = "SELECT rowid, " + select.select_list + " FROM " + select.table +
                          (select.rest.empty() ? "" : " " + select.rest);
        return EmbeddedRecordset::Open(db_, db.Prepare(sql, statement), statement, choice, &source);
      }
    }
    Statement stmt = db.Prepare(tr.sql, statement);
    if (sqlite3_column_count(stmt.get()) > 0) {
      return EmbeddedRecordset::Open(db_, std::move(stmt), statement, choice, nullptr);
    }
    long rows = 0;
    if (tr.follow_up.empty()) {
      // SQLite keeps the count of the last INSERT, UPDATE or DELETE through other statements;
      // a statement that changed no row reports 0.
      const auto run = [&] {
        sqlite3_int64 before = sqlite3_total_changes64(db.handle());
        while (db.Step(stmt, statement) == SQLITE_ROW) {
        }
        if (sqlite3_total_changes64(db.handle()) != before) {
          rows = static_cast<long>(sqlite3_changes(db.handle()));
        }
      };
      // Transaction statements (BEGIN, COMMIT, ...) and settings are no writes of rows; a
      // write runs whole or not at all, inside the ranges of its integer columns.
      if (sqlite3_stmt_readonly(stmt.get()) || !IsRowWrite(stmt.get())) {
        run();
      } else {
        // An update of columns without ranges (a code, a name) needs no look at its rows.
        const bool ranges_kept = tr.kind == Translation::Kind::kUpdate && !tr.has_from &&
                                 !UpdateMayLeaveRanges(db.handle(), tr.table_name, tr.targets);
        db.Write(statement, run, ranges_kept);
      }
    } else {
      stmt.Reset();
      InSavepoint("msu_statement", statement, [&] {
        db.Run(tr.sql, statement);
        for (const std::string& sql : tr.follow_up) db.Run(sql, statement);
      });
    }
    if (rows_affected != nullptr) *rows_affected = rows;
    return EmbeddedRecordset::Closed();
  }

  // Runs `work` as one write (SqliteDatabase::Write): all of it happens, or none of it, and the
  // integer columns it wrote keep their types' ranges.
  template <class F>
  void InSavepoint(const std::string& /*name*/, const std::string& statement, F&& work) {
    db_->Write(statement, std::function<void()>(std::forward<F>(work)));
  }

  // An INSERT, UPDATE or DELETE (a statement SQLite can undo inside a savepoint).
  static bool IsRowWrite(sqlite3_stmt* stmt) {
    const char* sql = sqlite3_sql(stmt);
    std::string_view text(sql != nullptr ? sql : "");
    while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t' ||
                             text.front() == '\r' || text.front() == '(')) {
      text.remove_prefix(1);
    }
    const std::string word = UpperCase(text.substr(0, text.find_first_of(" \t\r\n(")));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE" ||
           word == "WITH";
  }

  // The temporary table of this connection that holds a map of new keys (columns o, n), made
  // and filled the first time the map is used; one per map for the connection's life.
  std::string KeyTable(const std::shared_ptr<const std::vector<std::pair<int64_t, int64_t>>>& map) {
    if (const auto known = key_tables_.find(map.get()); known != key_tables_.end()) {
      return known->second;
    }
    const std::string name = "temp.msu_keys_" + std::to_string(key_tables_.size());
    SqliteDatabase& db = *db_;
    db.Run("DROP TABLE IF EXISTS " + name, name);
    db.Run("CREATE TABLE " + name + " (o INTEGER PRIMARY KEY, n INTEGER)", name);
    Statement insert = db.Prepare("INSERT INTO " + name + " VALUES (?1, ?2)", name);
    for (const auto& [old_key, new_key] : *map) {
      sqlite3_bind_int64(insert.get(), 1, old_key);
      sqlite3_bind_int64(insert.get(), 2, new_key);
      db.Step(insert, name);
      sqlite3_reset(insert.get());
    }
    key_tables_[map.get()] = name;
    key_maps_.push_back(map);  // the address stays this map's while it is known here
    return name;
  }

  std::string instance_root_;
  std::string connection_string_;
  std::map<std::string, long> properties_;
  int timeout_ = 30;
  std::function<bool()> beat_;
  std::shared_ptr<SqliteDatabase> db_;
  std::shared_ptr<std::vector<data::ErrorEntry>> errors_ =
      std::make_shared<std::vector<data::ErrorEntry>>();
  std::map<const void*, std::string> key_tables_;
  std::vector<std::shared_ptr<const std::vector<std::pair<int64_t, int64_t>>>> key_maps_;
};

}  // namespace

std::unique_ptr<data::Connection> NewConnection(const std::string& instance_root) {
  return std::make_unique<EmbeddedConnection>(instance_root);
}

}  // namespace msu::embedded
