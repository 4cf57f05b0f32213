#include "data/embedded/catalog.h"

#include <stdexcept>

namespace msu::embedded {

namespace {

// Several processes may wait for each other's transactions; a catalog change is quick, so a
// long wait means something is stuck, and the caller gets an error instead of hanging.
constexpr int kBusyTimeoutMs = 15000;
constexpr long kFirstSpid = 51;

// A prepared statement of the catalog; a failure is a catalog error with SQLite's message.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (stmt_.Prepare(db, sql) != SQLITE_OK) Fail();
  }

  Statement& Bind(int index, const std::string& text) {
    stmt_.BindText(index, text);
    return *this;
  }
  Statement& Bind(int index, long long value) {
    stmt_.BindInt(index, value);
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail();
    return false;
  }
  std::string Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
    return text ? std::string(text, sqlite3_column_bytes(stmt_.get(), column)) : std::string();
  }
  long long Integer(int column) const { return sqlite3_column_int64(stmt_.get(), column); }

 private:
  [[noreturn]] void Fail() {
    throw std::runtime_error(std::string("Catalog error: ") + sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite::Statement stmt_;
};

}  // namespace

Catalog::Catalog(const std::string& path, bool create) {
  const int flags =
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  std::string message;
  db_ = sqlite::Database::Open(path, flags, &message);
  if (!db_) throw std::runtime_error("Cannot open the catalog " + path + ": " + message);
  sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  // Write-ahead logging: readers never wait for a writer, and a commit needs no sync, which
  // made opening a session cost tens of milliseconds. A power cut may lose the last changes,
  // never the catalog's consistency.
  Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
  if (create) {
    Write([this] {
      Exec(
          "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
          "CREATE TABLE logins(name TEXT PRIMARY KEY COLLATE NOCASE, salt TEXT NOT NULL,"
          " iterations INTEGER NOT NULL, hash TEXT NOT NULL);"
          "CREATE TABLE databases(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
          " name TEXT NOT NULL UNIQUE COLLATE NOCASE, data_file TEXT NOT NULL UNIQUE);");
    });
  }
  EnsurePendingTable();
}

void Catalog::EnsurePendingTable() {
  const auto has = [&](const char* sql) { return db_.QueryInt(sql) > 0; };
  if (!has("SELECT count(*) FROM sqlite_schema WHERE name = 'pending_attachments'")) {
    Write([this] {
      Exec(
          "CREATE TABLE IF NOT EXISTS pending_attachments(seq INTEGER PRIMARY KEY AUTOINCREMENT,"
          " name TEXT NOT NULL UNIQUE COLLATE NOCASE, data_file TEXT NOT NULL,"
          " process INTEGER NOT NULL, program TEXT NOT NULL, since TEXT NOT NULL,"
          " working INTEGER NOT NULL DEFAULT 0)");
    });
  } else if (!has("SELECT count(*) FROM pragma_table_info('pending_attachments')"
                  " WHERE name = 'working'")) {
    // A catalog made before working databases were recorded: its entries are all users'.
    Write([this] {
      if (db_.QueryInt("SELECT count(*) FROM pragma_table_info('pending_attachments')"
                       " WHERE name = 'working'") == 0) {
        Exec("ALTER TABLE pending_attachments ADD COLUMN working INTEGER NOT NULL DEFAULT 0");
      }
    });
  }
}

void Catalog::Exec(const char* sql) {
  std::string message;
  if (db_.TryExec(sql, &message) != SQLITE_OK)
    throw std::runtime_error("Catalog error: " + message);
}

void Catalog::Write(const std::function<void()>& work) {
  Exec("BEGIN IMMEDIATE");
  try {
    work();
    Exec("COMMIT");
  } catch (...) {
    db_.TryExec("ROLLBACK");
    throw;
  }
}

std::optional<std::string> Catalog::Setting(const std::string& key) const {
  Statement select(db_.get(), "SELECT value FROM settings WHERE key = ?1");
  select.Bind(1, key);
  if (!select.Step()) return std::nullopt;
  return select.Text(0);
}

void Catalog::SetSetting(const std::string& key, const std::string& value) {
  Statement upsert(db_.get(),
                   "INSERT INTO settings(key, value) VALUES(?1, ?2)"
                   " ON CONFLICT(key) DO UPDATE SET value = excluded.value");
  upsert.Bind(1, key).Bind(2, value).Step();
}

std::optional<PasswordHash> Catalog::Login(const std::string& name) const {
  Statement select(db_.get(), "SELECT salt, iterations, hash FROM logins WHERE name = ?1");
  select.Bind(1, name);
  if (!select.Step()) return std::nullopt;
  PasswordHash hash;
  hash.salt_hex = select.Text(0);
  hash.iterations = static_cast<uint32_t>(select.Integer(1));
  hash.hash_hex = select.Text(2);
  return hash;
}

void Catalog::SetLogin(const std::string& name, const PasswordHash& hash) {
  Statement upsert(db_.get(),
                   "INSERT INTO logins(name, salt, iterations, hash) VALUES(?1, ?2, ?3, ?4)"
                   " ON CONFLICT(name) DO UPDATE SET salt = excluded.salt,"
                   " iterations = excluded.iterations, hash = excluded.hash");
  upsert.Bind(1, name).Bind(2, hash.salt_hex).Bind(3, static_cast<long long>(hash.iterations));
  upsert.Bind(4, hash.hash_hex).Step();
}

std::vector<AttachedDatabase> Catalog::Databases() const {
  Statement select(db_.get(), "SELECT name, data_file FROM databases ORDER BY seq");
  std::vector<AttachedDatabase> databases;
  while (select.Step()) databases.push_back({select.Text(0), select.Text(1)});
  return databases;
}

void Catalog::AddDatabase(const AttachedDatabase& database) {
  Statement insert(db_.get(), "INSERT INTO databases(name, data_file) VALUES(?1, ?2)");
  insert.Bind(1, database.name).Bind(2, database.data_file).Step();
}

bool Catalog::RemoveDatabase(const std::string& name) {
  Statement remove(db_.get(), "DELETE FROM databases WHERE name = ?1");
  remove.Bind(1, name).Step();
  return sqlite3_changes(db_.get()) > 0;
}

long Catalog::NextSpid() {
  const std::optional<std::string> stored = Setting("next_spid");
  const long spid = stored ? std::stol(*stored) : kFirstSpid;
  SetSetting("next_spid", std::to_string(spid + 1));
  return spid;
}

}  // namespace msu::embedded

namespace msu::embedded {

std::vector<data::PendingAttachment> Catalog::PendingAttachments() const {
  Statement select(db_.get(),
                   "SELECT name, data_file, process, program, since, working"
                   " FROM pending_attachments ORDER BY seq");
  std::vector<data::PendingAttachment> pending;
  while (select.Step()) {
    pending.push_back({select.Text(0), select.Text(1), static_cast<long>(select.Integer(2)),
                       select.Text(3), select.Text(4), select.Integer(5) != 0});
  }
  return pending;
}

void Catalog::RecordPendingAttachment(const data::PendingAttachment& attachment) {
  // The detach that follows must never reach the disk without this entry: the commit waits
  // for the disk (the catalog's other commits do not).
  Exec("PRAGMA synchronous=FULL");
  try {
    Write([&] {
      RemovePendingAttachment(attachment.name);
      Statement insert(db_.get(),
                       "INSERT INTO pending_attachments(name, data_file, process, program, since,"
                       " working) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
      insert.Bind(1, attachment.name).Bind(2, attachment.data_file);
      insert.Bind(3, static_cast<long long>(attachment.process)).Bind(4, attachment.program);
      insert.Bind(5, attachment.since).Bind(6, static_cast<long long>(attachment.working ? 1 : 0));
      insert.Step();
    });
  } catch (...) {
    db_.TryExec("PRAGMA synchronous=NORMAL");
    throw;
  }
  Exec("PRAGMA synchronous=NORMAL");
}

bool Catalog::RemovePendingAttachment(const std::string& name) {
  Statement remove(db_.get(), "DELETE FROM pending_attachments WHERE name = ?1");
  remove.Bind(1, name).Step();
  return sqlite3_changes(db_.get()) > 0;
}

}  // namespace msu::embedded
