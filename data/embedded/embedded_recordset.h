// Recordsets of the embedded server. A forward recordset streams its statement and, when its
// connection writes before it is read to the end, reads the rest into memory first so that it
// keeps showing the rows as they were. Static and optimistic recordsets hold all rows in memory;
// an optimistic recordset on a single-table SELECT also holds each row's rowid and writes
// changes and new rows back with bound parameters.
//
// Locks: while a forward recordset is between its first and its last row it holds the file's
// read lock, so another connection (of any process) that writes the same file waits for it, up
// to its command time-out. A forward recordset read to its end, and every static or optimistic
// recordset, holds no lock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/client_cursor.h"
#include "data/data_access.h"
#include "data/embedded/sqlite_database.h"

namespace msu::embedded {

// The table behind an updatable recordset: its statement selects the rowid first, then
// `select_list` from `table`.
struct UpdatableSource {
  std::string table;        // as written in SQLite text
  std::string select_list;  // the columns selected, as written
};

class EmbeddedRecordset final : public data::Recordset, private CursorListener {
 public:
  // A closed recordset: the result of a statement that returns no rows.
  static std::unique_ptr<data::Recordset> Closed();
  // Opens a recordset on a prepared statement that has not been stepped. `source` is given
  // for an updatable optimistic recordset (the statement then selects the rowid first).
  // Throws DataError when the first step fails.
  static std::unique_ptr<data::Recordset> Open(std::shared_ptr<SqliteDatabase> db, Statement stmt,
                                               std::string original, data::CursorChoice choice,
                                               const UpdatableSource* source);
  // A read-only, static recordset on rows computed by the server itself.
  static std::unique_ptr<data::Recordset> FromRows(std::vector<data::FieldInfo> fields,
                                                   std::vector<std::vector<data::Value>> rows);

  ~EmbeddedRecordset() override;

  bool IsOpen() const override { return open_; }
  void Close() override;
  bool IsEOF() const override;
  bool IsBOF() const override;
  void MoveNext() override;
  void MoveFirst() override;
  long RecordCount() const override;
  int FieldCount() const override;
  const data::FieldInfo& Field(int index) const override;
  int FieldIndex(std::string_view name) const override;
  const data::Value& Get(int index) const override;
  void Set(int index, data::Value value) override;
  void AddNew() override;
  void Update() override;
  void UpdateBatch() override;
  void SetFilter(const std::string& expression) override;

 private:
  explicit EmbeddedRecordset(data::CursorChoice choice = data::CursorChoice::kStatic)
      : cursor_(choice) {}

  void TakeSnapshot() override;
  void ConnectionClosing() override;

  void RequireUpdatable() const;
  // The connection's error collection, kept by data::Guard (none for rows the server
  // computed itself).
  std::vector<data::ErrorEntry>* Errors();
  std::vector<data::Value> ReadRow() const;
  // Describes the fields by their declared types, or by the values of the first row (none:
  // the statement gave no rows) where a column has none.
  void DescribeFields(const std::vector<data::Value>* first);
  void WriteChanges();
  void InsertRow();
  bool Reread(int64_t rowid, std::vector<data::Value>* row);

  std::shared_ptr<SqliteDatabase> db_;
  bool open_ = false;
  std::string original_;

  data::ClientCursor cursor_;
  std::vector<bool> bits_;
  std::vector<std::string> origins_;  // column of the table behind each field, or empty
  int first_column_ = 0;              // 1 when the statement selects the rowid first
  std::vector<int64_t> rowids_;       // of each row the cursor holds, when it selects them

  Statement stmt_;

  bool updatable_ = false;
  UpdatableSource source_;
};

}  // namespace msu::embedded
