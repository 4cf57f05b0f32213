// Recordsets of the SQL Server backend (see sqlserver_connection.h for how they behave).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/client_cursor.h"
#include "data/data_access.h"
#include "data/sqlserver/odbc_session.h"
#include "data/sqlserver/odbc_types.h"

namespace msu::sqlserver {

class SqlServerRecordset final : public data::Recordset, private StreamingReader {
 public:
  // A closed recordset: the result of a statement without rows.
  static std::unique_ptr<data::Recordset> Closed();
  // A recordset on the current result of `statement` (which has columns), run as `text`.
  // Throws DataError when reading fails.
  static std::unique_ptr<data::Recordset> Open(std::shared_ptr<OdbcSession> session,
                                               std::unique_ptr<OdbcStatement> statement,
                                               std::string text, data::CursorChoice choice);
  ~SqlServerRecordset() override;

  bool IsOpen() const override;
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
  explicit SqlServerRecordset(data::CursorChoice choice = data::CursorChoice::kStatic)
      : cursor_(choice) {}

  void ReadRest() override;
  void ConnectionClosing() override;

  void Start(std::unique_ptr<OdbcStatement> statement);
  bool FetchRow(std::vector<data::Value>* row);
  void StopStreaming();
  void RequireOpen() const;
  void RequireUpdatable() const;
  // The connection's error collection, kept by data::Guard.
  std::vector<data::ErrorEntry>* Errors();
  void FindTarget();
  void InsertRow();
  void WriteChanges();

  std::shared_ptr<OdbcSession> session_;
  long generation_ = 0;
  bool open_ = false;
  std::string text_;

  std::unique_ptr<OdbcStatement> statement_;

  data::ClientCursor cursor_;
  std::vector<ColumnType> types_;  // of each field, as it is read

  std::string table_;            // the table an optimistic recordset writes to
  std::vector<int> key_fields_;  // fields of its primary key (empty: match every value)
};

}  // namespace msu::sqlserver
