#include "data/embedded/catalog_statements.h"

#include <sqlite3.h>

#include <vector>

#include "core/text.h"
#include "data/embedded/embedded_recordset.h"
#include "data/embedded/schema_queries.h"

namespace msu::embedded {

namespace {

// SQLite's legacy rename for the life of the object: views naming a table are checked by a
// rename, and are whole again once the rebuilt table has its name back.
class LegacyAlterTable {
 public:
  LegacyAlterTable(SqliteDatabase& db, const std::string& statement)
      : db_(db), statement_(statement) {
    db_.Run("PRAGMA legacy_alter_table = ON", statement_);
  }
  ~LegacyAlterTable() {
    try {
      db_.Run("PRAGMA legacy_alter_table = OFF", statement_);
    } catch (...) {
      // A setting of this connection only; the rename's own outcome is what the caller sees.
    }
  }
  LegacyAlterTable(const LegacyAlterTable&) = delete;
  LegacyAlterTable& operator=(const LegacyAlterTable&) = delete;

 private:
  SqliteDatabase& db_;
  const std::string& statement_;
};

}  // namespace

long RunProcedure(SqliteDatabase& db, const Translation& tr, const std::string& statement) {
  std::string body;
  bool found = false;
  if (IsTable(db, "orvane_procedures")) {
    Statement find =
        db.Prepare("SELECT body FROM orvane_procedures WHERE name = ?1 COLLATE NOCASE", statement);
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
  db.Write(statement, [&] {
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

std::unique_ptr<data::Recordset> PrimaryKeys(SqliteDatabase& db, const std::string& table) {
  std::vector<data::FieldInfo> fields = {
      {"TABLE_QUALIFIER", data::kTypeVarWChar, 128}, {"TABLE_OWNER", data::kTypeVarWChar, 128},
      {"TABLE_NAME", data::kTypeVarWChar, 128},      {"COLUMN_NAME", data::kTypeVarWChar, 128},
      {"KEY_SEQ", data::kTypeSmallInt, 2},           {"PK_NAME", data::kTypeVarWChar, 128}};
  std::vector<std::vector<data::Value>> rows;
  std::string stored = StoredTableName(db, table);
  if (!stored.empty()) {
    std::string key_name = PrimaryKeyName(db, stored);
    std::string qualifier = FileNameOf(db.path());
    Statement stmt =
        db.Prepare("SELECT name, pk FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk", table);
    sqlite3_bind_text(stmt.get(), 1, stored.c_str(), -1, SQLITE_TRANSIENT);
    while (db.Step(stmt, table) == SQLITE_ROW) {
      rows.push_back({data::Value::Text(qualifier), data::Value::Text("dbo"),
                      data::Value::Text(stored), ReadColumn(stmt.get(), 0, false),
                      ReadColumn(stmt.get(), 1, false), data::Value::Text(key_name)});
    }
  }
  return EmbeddedRecordset::FromRows(std::move(fields), std::move(rows));
}

void DropConstraint(SqliteDatabase& db, const Translation& tr, const std::string& statement) {
  std::string table = StoredTableName(db, tr.table_name);
  if (table.empty()) {
    throw data::DataError(data::kErrStatement,
                          "no such table: " + tr.table_name + " (statement: " + statement + ")");
  }
  std::vector<std::string> index =
      Column(db,
             "SELECT name FROM sqlite_schema WHERE type = 'index' AND sql IS NOT NULL AND "
             "name = ?1 COLLATE NOCASE",
             tr.name);
  if (!index.empty()) {
    db.Run("DROP INDEX " + QuoteIdentifier(index[0]), statement);
    return;
  }
  std::vector<std::string> key =
      Column(db, "SELECT name FROM pragma_table_info(?1) WHERE pk > 0", table);
  if (key.empty() || !EqualsNoCase(tr.name, PrimaryKeyName(db, table))) {
    throw data::DataError(data::kErrStatement, "'" + tr.name +
                                                   "' is not a constraint. Could not drop "
                                                   "constraint. (statement: " +
                                                   statement + ")");
  }
  // SQLite cannot drop a key in place: the table is rebuilt without it, keeping its rowids,
  // indexes and triggers.
  std::vector<std::string> create =
      Column(db, "SELECT sql FROM sqlite_schema WHERE type = 'table' AND name = ?1", table);
  std::vector<std::string> extras =
      Column(db,
             "SELECT sql FROM sqlite_schema WHERE type IN ('index', 'trigger') AND sql IS NOT NULL "
             "AND tbl_name = ?1",
             table);
  std::string columns;
  for (const std::string& column : Column(db, "SELECT name FROM pragma_table_info(?1)", table)) {
    columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(column);
  }
  std::string rebuilt = "msu_rebuild_" + table;
  db.Write(statement, [&] {
    db.Run(CreateTableWithoutPrimaryKey(create.at(0), rebuilt), statement);
    db.Run("INSERT INTO " + QuoteIdentifier(rebuilt) + " (rowid, " + columns + ") SELECT rowid, " +
               columns + " FROM " + QuoteIdentifier(table),
           statement);
    db.Run("DROP TABLE " + QuoteIdentifier(table), statement);
    // Views naming the table are checked by a rename; they are whole again afterwards.
    {
      LegacyAlterTable legacy(db, statement);
      db.Run("ALTER TABLE " + QuoteIdentifier(rebuilt) + " RENAME TO " + QuoteIdentifier(table),
             statement);
    }
    for (const std::string& sql : extras) db.Run(sql, statement);
  });
}

}  // namespace msu::embedded
