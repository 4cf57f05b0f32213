// Connections of the embedded server.
//
// Keys and identity: an UPDATE that sets a column covered by a UNIQUE or PRIMARY KEY index is
// checked per statement, as on the suite server: the new values are computed first (by rowid,
// into a temporary table), the affected rows are parked at values no row can hold, and then the
// new values are written, all inside one savepoint; a real collision at the end still fails and
// undoes the whole statement. Rowids stay as they are, except in a table whose key is itself
// the rowid (an identity column, "INTEGER PRIMARY KEY AUTOINCREMENT"), where the suite server
// would not let the key be updated anyway.
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "core/text.h"
#include "data/admin.h"
#include "data/connection_string.h"
#include "data/embedded/bulk_copy.h"
#include "data/embedded/embedded_connection.h"
#include "data/embedded/embedded_recordset.h"
#include "data/embedded/instance.h"
#include "data/embedded/sqlite_database.h"
#include "data/embedded/tsql_translator.h"

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

// FNV-1a over `size` bytes, into `hash`.
void Feed(uint64_t& hash, const void* bytes, size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ULL;
  }
}

// Spreads a row's hash over all 64 bits before it is summed (splitmix64's finaliser).
uint64_t Mix(uint64_t hash) {
  hash ^= hash >> 30;
  hash *= 0xbf58476d1ce4e5b9ULL;
  hash ^= hash >> 27;
  hash *= 0x94d049bb133111ebULL;
  return hash ^ (hash >> 31);
}

data::RowDigest DigestOf(SqliteDatabase& db, const Statement& stmt, const std::string& statement) {
  data::RowDigest digest;
  sqlite3_stmt* s = stmt.get();
  digest.fields = sqlite3_column_count(s);
  while (db.Step(stmt, statement) == SQLITE_ROW) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (int c = 0; c < digest.fields; ++c) {
      const auto type = static_cast<unsigned char>(sqlite3_column_type(s, c));
      Feed(hash, &type, 1);
      if (type == SQLITE_INTEGER) {
        const sqlite3_int64 value = sqlite3_column_int64(s, c);
        Feed(hash, &value, sizeof value);
      } else if (type == SQLITE_FLOAT) {
        const double value = sqlite3_column_double(s, c);
        Feed(hash, &value, sizeof value);
      } else if (type != SQLITE_NULL) {
        const void* bytes = type == SQLITE_TEXT
                                ? static_cast<const void*>(sqlite3_column_text(s, c))
                                : sqlite3_column_blob(s, c);
        const auto size = static_cast<uint64_t>(sqlite3_column_bytes(s, c));
        Feed(hash, &size, sizeof size);
        if (bytes != nullptr) Feed(hash, bytes, size);
      }
    }
    digest.sum += Mix(hash);
    ++digest.rows;
  }
  return digest;
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
  // Keeps the error collection: the errors of a failed call, nothing after a call succeeds.
  template <class F>
  auto Guard(F&& call) -> decltype(call()) {
    try {
      auto result = call();
      errors_->clear();
      return result;
    } catch (const data::DataError& error) {
      *errors_ = {{error.number(), error.description()}};
      throw;
    } catch (const std::exception& error) {
      // Callers handle DataError only; anything else still reaches them as one.
      data::DataError converted(data::kErrStatement, error.what());
      *errors_ = {{converted.number(), converted.description()}};
      throw converted;
    }
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
        if (tr.has_from || !SetsUniqueColumn(tr))
          return RunSql(tr, statement, choice, rows_affected);
        rows = KeyShiftUpdate(tr, statement);
        break;
      case Translation::Kind::kProcedure:
        rows = RunProcedure(tr, statement);
        break;
      case Translation::Kind::kPrimaryKeys:
        return PrimaryKeys(tr.table_name);
      case Translation::Kind::kDropConstraint:
        DropConstraint(tr, statement);
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
      if (SplitSingleTableSelect(tr.sql, &select) && IsTable(select.table_name)) {
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
        InSavepoint("msu_statement", statement, run);
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

  bool IsTable(const std::string& name) {
    Statement stmt = db_->Prepare(
        "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", name);
    sqlite3_bind_text(stmt.get(), 1, name.c_str(), -1, SQLITE_TRANSIENT);
    return db_->Step(stmt, name) == SQLITE_ROW;
  }

  // Text values of the first column of a query with one text parameter.
  std::vector<std::string> Column(const std::string& sql, const std::string& parameter) {
    Statement stmt = db_->Prepare(sql, sql);
    sqlite3_bind_text(stmt.get(), 1, parameter.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> values;
    while (db_->Step(stmt, sql) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
      values.push_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
    }
    return values;
  }

  // The column that is the table's rowid (a single INTEGER PRIMARY KEY), or empty.
  std::string RowidColumn(const std::string& table) {
    std::vector<std::string> keys =
        Column("SELECT name || '|' || type FROM pragma_table_info(?1) WHERE pk > 0", table);
    if (keys.size() != 1) return std::string();
    size_t bar = keys[0].rfind('|');
    if (!EqualsNoCase(keys[0].substr(bar + 1), "INTEGER")) return std::string();
    return keys[0].substr(0, bar);
  }

  // Lower-case names of the columns covered by a UNIQUE or PRIMARY KEY index.
  std::set<std::string> UniqueColumns(const std::string& table) {
    std::set<std::string> columns;
    for (const std::string& index :
         Column("SELECT name FROM pragma_index_list(?1) WHERE \"unique\" = 1", table)) {
      for (const std::string& column : Column("SELECT name FROM pragma_index_info(?1)", index)) {
        columns.insert(LowerCase(column));
      }
    }
    std::string rowid = RowidColumn(table);
    if (!rowid.empty()) columns.insert(LowerCase(rowid));
    return columns;
  }

  bool SetsUniqueColumn(const Translation& tr) {
    std::set<std::string> unique = UniqueColumns(tr.table_name);
    for (const std::string& target : tr.targets) {
      if (unique.count(LowerCase(target)) != 0) return true;
    }
    return false;
  }

  // The constant a statement adds to its one key column ("k = k + n", as a key shift is
  // written), or nothing for any other form.
  static std::optional<int64_t> ShiftOf(const Translation& tr) {
    if (tr.targets.size() != 1) return std::nullopt;
    std::string value;
    for (char c : tr.values[0]) {
      if (c != ' ' && c != '[' && c != ']' && c != '"') value += LowerCase(std::string(1, c));
    }
    const std::string column = LowerCase(tr.targets[0]);
    const std::string qualified = LowerCase(tr.table_name) + "." + column;
    std::string rest;
    if (value.rfind(qualified, 0) == 0) {
      rest = value.substr(qualified.size());
    } else if (value.rfind(column, 0) == 0) {
      rest = value.substr(column.size());
    } else {
      return std::nullopt;
    }
    bool negative = false;
    size_t at = 0;
    if (at >= rest.size() || (rest[at] != '+' && rest[at] != '-')) return std::nullopt;
    negative = rest[at++] == '-';
    if (at < rest.size() && (rest[at] == '+' || rest[at] == '-')) {
      negative = negative != (rest[at++] == '-');
    }
    const std::string digits = rest.substr(at);
    if (digits.empty() || digits.size() > 12 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    const int64_t amount = std::stoll(digits);
    return negative ? -amount : amount;
  }

  // Two integers of a one-row query; nothing unless both are integers.
  std::optional<std::pair<int64_t, int64_t>> IntegerPair(const std::string& sql,
                                                         const std::string& statement) {
    Statement stmt = db_->Prepare(sql, statement);
    if (db_->Step(stmt, statement) != SQLITE_ROW ||
        sqlite3_column_type(stmt.get(), 0) != SQLITE_INTEGER ||
        sqlite3_column_type(stmt.get(), 1) != SQLITE_INTEGER) {
      return std::nullopt;
    }
    return std::pair{sqlite3_column_int64(stmt.get(), 0), sqlite3_column_int64(stmt.get(), 1)};
  }

  // A key shift "k = k + n" without parking every row: when every new key lies beyond every
  // key of the table, one pass cannot meet a key still to move; otherwise the rows first move
  // beyond all keys and then down to their new keys, two passes that cannot meet either. SQLite
  // checks each row as it goes, so success means the finished table keeps its keys, as the
  // statement-level check requires. Nothing when the statement has another form, or fails (the
  // general way then decides, and reports a real collision).
  std::optional<long> ShiftKeys(const Translation& tr, const std::string& statement) {
    const std::optional<int64_t> shift = ShiftOf(tr);
    if (!shift || *shift == 0) return std::nullopt;
    const std::string column = QuoteIdentifier(tr.targets[0]);
    const std::string where = tr.where.empty() ? "" : " WHERE " + tr.where;
    long rows = 0;
    try {
      const auto moved = IntegerPair(
          "SELECT MIN(" + column + "), MAX(" + column + ") FROM " + tr.table + where, statement);
      const auto all = IntegerPair(
          "SELECT MIN(" + column + "), MAX(" + column + ") FROM " + tr.table, statement);
      if (!moved || !all) return std::nullopt;
      const int64_t low = moved->first + *shift;
      const int64_t high = moved->second + *shift;
      InSavepoint("msu_key_shift", statement, [&] {
        const auto update = [&](int64_t amount, const std::string& condition) {
          return db_->Run("UPDATE " + tr.table + " SET " + column + " = " + column + " + (" +
                              std::to_string(amount) + ")" + condition,
                          statement);
        };
        if (*shift > 0 && low > all->second) {
          rows = update(*shift, where);
        } else if (*shift < 0 && high < all->first) {
          rows = update(*shift, where);
        } else if (*shift > 0) {
          const int64_t top = std::max(all->second, high);
          const int64_t park = top - low + 1;
          rows = update(*shift + park, where);
          update(-park, " WHERE " + column + " > " + std::to_string(top));
        } else {
          const int64_t bottom = std::min(all->first, low);
          const int64_t park = high - bottom + 1;
          rows = update(*shift - park, where);
          update(park, " WHERE " + column + " < " + std::to_string(bottom));
        }
      });
    } catch (const data::DataError&) {
      return std::nullopt;
    }
    return rows;
  }

  long KeyShiftUpdate(const Translation& tr, const std::string& statement) {
    if (std::optional<long> rows = ShiftKeys(tr, statement)) return *rows;
    SqliteDatabase& db = *db_;
    std::set<std::string> unique = UniqueColumns(tr.table_name);
    std::string rowid_column = LowerCase(RowidColumn(tr.table_name));
    bool moves_rowid = false;
    for (const std::string& target : tr.targets) {
      if (!rowid_column.empty() && LowerCase(target) == rowid_column) moves_rowid = true;
    }
    long rows = 0;
    InSavepoint("msu_key_shift", statement, [&] {
      db.Run("DROP TABLE IF EXISTS temp.msu_key_shift", statement);
      std::string columns;
      std::string values;
      std::string assignments;
      for (size_t i = 0; i < tr.targets.size(); ++i) {
        columns += ", v" + std::to_string(i);
        values += ", " + tr.values[i];
        assignments +=
            (i == 0 ? "" : ", ") + QuoteIdentifier(tr.targets[i]) + " = s.v" + std::to_string(i);
      }
      db.Run(
          "CREATE TEMP TABLE msu_key_shift (prid INTEGER PRIMARY KEY, rid INTEGER" + columns + ")",
          statement);
      // Where the rowid is the key, parked rows move below the smallest rowid (mirrored, so
      // that they stay distinct); the temporary table remembers where each row went.
      std::string parked_rowid = "rowid";
      std::string mirror;
      if (moves_rowid) {
        Statement min = db.Prepare("SELECT MIN(rowid) FROM " + tr.table, statement);
        db.Step(min, statement);
        mirror = std::to_string(2 * sqlite3_column_int64(min.get(), 0) - 1);
        parked_rowid = "(" + mirror + " - rowid)";
      }
      db.Run("INSERT INTO temp.msu_key_shift SELECT " + parked_rowid + ", rowid" + values +
                 " FROM " + tr.table + (tr.where.empty() ? "" : " WHERE " + tr.where),
             statement);
      rows = static_cast<long>(sqlite3_changes(db.handle()));
      if (rows == 0) return;
      std::string parks;
      for (const std::string& target : tr.targets) {
        std::string name = LowerCase(target);
        if (unique.count(name) == 0) continue;
        std::string column = QuoteIdentifier(target);
        // Bytes never equal a number or a text, so a parked row collides with nothing.
        std::string park =
            name == rowid_column ? mirror + " - " + column : "CAST('msu-park-' || rowid AS BLOB)";
        parks += (parks.empty() ? "" : ", ") + column + " = " + park;
      }
      db.Run("UPDATE " + tr.table + " SET " + parks +
                 " WHERE rowid IN (SELECT rid FROM temp.msu_key_shift)",
             statement);
      db.Run("UPDATE " + tr.table + " AS msu_target SET " + assignments +
                 " FROM temp.msu_key_shift AS s WHERE msu_target.rowid = s.prid",
             statement);
      db.Run("DROP TABLE temp.msu_key_shift", statement);
    });
    return rows;
  }

  long RunProcedure(const Translation& tr, const std::string& statement) {
    SqliteDatabase& db = *db_;
    std::string body;
    bool found = false;
    if (IsTable("orvane_procedures")) {
      Statement find = db.Prepare(
          "SELECT body FROM orvane_procedures WHERE name = ?1 COLLATE NOCASE", statement);
      sqlite3_bind_text(find.get(), 1, tr.name.c_str(), -1, SQLITE_TRANSIENT);
      if (db.Step(find, statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(find.get(), 0);
        body = text != nullptr ? reinterpret_cast<const char*>(text) : "";
        found = true;
      }
    }
    if (!found) {
      throw data::DataError(data::kErrStatement,
                            "The embedded server does not support the procedure " + tr.name +
                                " (this database stores no procedure of that name): " + statement);
    }
    long before = static_cast<long>(sqlite3_total_changes(db.handle()));
    InSavepoint("msu_procedure", statement, [&] {
      const char* next = body.c_str();
      while (next != nullptr && *next != '\0') {
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db.handle(), next, -1, &raw, &tail);
        if (rc != SQLITE_OK) throw db.Error(rc, statement);
        Statement stmt(raw);
        next = tail;
        if (!stmt) continue;  // blanks or a comment at the end
        int parameters = sqlite3_bind_parameter_count(raw);
        for (int p = 1; p <= parameters && p <= static_cast<int>(tr.arguments.size()); ++p) {
          BindValue(raw, p, tr.arguments[static_cast<size_t>(p - 1)]);
        }
        while (db.Step(stmt, statement) == SQLITE_ROW) {
        }
      }
    });
    return static_cast<long>(sqlite3_total_changes(db.handle())) - before;
  }

  std::string StoredTableName(const std::string& name) {
    std::vector<std::string> names = Column(
        "SELECT name FROM sqlite_schema WHERE type = 'table' AND name = ?1 COLLATE NOCASE", name);
    return names.empty() ? std::string() : names[0];
  }

  // The name of the table's primary key as its CREATE TABLE gives it, else "PK_" + table.
  std::string PrimaryKeyName(const std::string& table) {
    std::vector<std::string> create =
        Column("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", table);
    std::string name = create.empty() ? std::string() : PrimaryKeyConstraintName(create[0]);
    return name.empty() ? "PK_" + table : name;
  }

  std::unique_ptr<data::Recordset> PrimaryKeys(const std::string& table) {
    std::vector<data::FieldInfo> fields = {
        {"TABLE_QUALIFIER", data::kTypeVarWChar, 128}, {"TABLE_OWNER", data::kTypeVarWChar, 128},
        {"TABLE_NAME", data::kTypeVarWChar, 128},      {"COLUMN_NAME", data::kTypeVarWChar, 128},
        {"KEY_SEQ", data::kTypeSmallInt, 2},           {"PK_NAME", data::kTypeVarWChar, 128}};
    std::vector<std::vector<data::Value>> rows;
    std::string stored = StoredTableName(table);
    if (!stored.empty()) {
      std::string key_name = PrimaryKeyName(stored);
      std::string qualifier = FileNameOf(db_->path());
      Statement stmt = db_->Prepare(
          "SELECT name, pk FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk", table);
      sqlite3_bind_text(stmt.get(), 1, stored.c_str(), -1, SQLITE_TRANSIENT);
      while (db_->Step(stmt, table) == SQLITE_ROW) {
        rows.push_back({data::Value::Text(qualifier), data::Value::Text("dbo"),
                        data::Value::Text(stored), ReadColumn(stmt.get(), 0, false),
                        ReadColumn(stmt.get(), 1, false), data::Value::Text(key_name)});
      }
    }
    return EmbeddedRecordset::FromRows(std::move(fields), std::move(rows));
  }

  void DropConstraint(const Translation& tr, const std::string& statement) {
    SqliteDatabase& db = *db_;
    std::string table = StoredTableName(tr.table_name);
    if (table.empty()) {
      throw data::DataError(data::kErrStatement,
                            "no such table: " + tr.table_name + " (statement: " + statement + ")");
    }
    std::vector<std::string> index = Column(
        "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL AND "
        "name = ?1 COLLATE NOCASE",
        tr.name);
    if (!index.empty()) {
      db.Run("DROP INDEX " + QuoteIdentifier(index[0]), statement);
      return;
    }
    std::vector<std::string> key =
        Column("SELECT name FROM pragma_table_info(?1) WHERE pk > 0", table);
    if (key.empty() || !EqualsNoCase(tr.name, PrimaryKeyName(table))) {
      throw data::DataError(data::kErrStatement, "'" + tr.name +
                                                     "' is not a constraint. Could not drop "
                                                     "constraint. (statement: " +
                                                     statement + ")");
    }
    // SQLite cannot drop a key in place: the table is rebuilt without it, keeping its rowids,
    // indexes and triggers.
    std::vector<std::string> create =
        Column("SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", table);
    std::vector<std::string> extras = Column(
        "SELECT sql FROM sqlite_schema WHERE type IN ('index', 'trigger') AND sql IS NOT NULL "
        "AND tbl_name = ?1",
        table);
    std::string columns;
    for (const std::string& column : Column("SELECT name FROM pragma_table_info(?1)", table)) {
      columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(column);
    }
    std::string rebuilt = "msu_rebuild_" + table;
    InSavepoint("msu_rebuild", statement, [&] {
      db.Run(CreateTableWithoutPrimaryKey(create.at(0), rebuilt), statement);
      db.Run("INSERT INTO " + QuoteIdentifier(rebuilt) + " (rowid, " + columns +
                 ") SELECT rowid, " + columns + " FROM " + QuoteIdentifier(table),
             statement);
      db.Run("DROP TABLE " + QuoteIdentifier(table), statement);
      // Views naming the table are checked by a rename; they are whole again afterwards.
      db.Run("PRAGMA legacy_alter_table = ON", statement);
      try {
        db.Run("ALTER TABLE " + QuoteIdentifier(rebuilt) + " RENAME TO " + QuoteIdentifier(table),
               statement);
      } catch (...) {
        db.Run("PRAGMA legacy_alter_table = OFF", statement);
        throw;
      }
      db.Run("PRAGMA legacy_alter_table = OFF", statement);
      for (const std::string& sql : extras) db.Run(sql, statement);
    });
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
