#include "data/sqlserver/sqlserver_recordset.h"

#include <cctype>

#include "core/text.h"
#include "data/error_guard.h"

namespace msu::sqlserver {

namespace {

// The table of "SELECT ... FROM table [WHERE ...]", as written; empty for any other form.
std::string SingleTable(const std::string& statement) {
  const std::string upper = UpperCase(statement);
  if (upper.rfind("SELECT", upper.find_first_not_of(" \t\r\n")) == std::string::npos) return "";
  size_t from = upper.find(" FROM ");
  if (from == std::string::npos) return "";
  size_t at = from + 6;
  while (at < statement.size() && std::isspace(static_cast<unsigned char>(statement[at]))) ++at;
  size_t end = at;
  while (end < statement.size()) {
    const char c = statement[end];
    if (c == '[') {
      end = statement.find(']', end);
      if (end == std::string::npos) return "";
      ++end;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c)) || c == ';' || c == ',' || c == '(') break;
    ++end;
  }
  const std::string table = statement.substr(at, end - at);
  std::string rest = Trim(UpperCase(statement.substr(end)));
  while (!rest.empty() && rest.back() == ';') rest.pop_back();
  if (table.empty() ||
      (!rest.empty() && rest.rfind("WHERE ", 0) != 0 && rest.rfind("ORDER BY ", 0) != 0)) {
    return "";
  }
  if (upper.find(" JOIN ") != std::string::npos || upper.find(" UNION ") != std::string::npos) {
    return "";
  }
  return table;
}

std::string Unbracketed(const std::string& name) {
  std::string plain = name;
  if (plain.size() >= 2 && plain.front() == '[' && plain.back() == ']') {
    plain = plain.substr(1, plain.size() - 2);
  }
  return plain;
}

}  // namespace

std::unique_ptr<data::Recordset> SqlServerRecordset::Closed() {
  return std::unique_ptr<data::Recordset>(new SqlServerRecordset());
}

std::unique_ptr<data::Recordset> SqlServerRecordset::Open(std::shared_ptr<OdbcSession> session,
                                                          std::unique_ptr<OdbcStatement> statement,
                                                          std::string text,
                                                          data::CursorChoice choice) {
  std::unique_ptr<SqlServerRecordset> rs(new SqlServerRecordset(choice));
  rs->session_ = std::move(session);
  rs->generation_ = rs->session_->generation;
  rs->text_ = std::move(text);
  rs->Start(std::move(statement));
  rs->open_ = true;
  if (choice == data::CursorChoice::kOptimistic) rs->FindTarget();
  return rs;
}

SqlServerRecordset::~SqlServerRecordset() {
  if (session_ != nullptr && session_->streaming == this) session_->streaming = nullptr;
}

void SqlServerRecordset::Start(std::unique_ptr<OdbcStatement> statement) {
  statement_ = std::move(statement);
  cursor_.Restart();
  if (cursor_.fields().empty()) {
    const SQLSMALLINT columns = statement_->ResultColumns();
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      const ColumnDescription column = statement_->Describe(c);
      const ColumnType type = ColumnTypeOf(column.sql_type, column.size, column.type_name);
      cursor_.AddField({column.name, type.code, type.size});
      types_.push_back(type);
    }
  }
  std::vector<data::Value> row;
  if (FetchRow(&row)) {
    cursor_.Stream(std::move(row));
    if (cursor_.choice() == data::CursorChoice::kForward) {
      session_->streaming = this;
      return;
    }
  }
  ReadRest();
  StopStreaming();
}

bool SqlServerRecordset::FetchRow(std::vector<data::Value>* row) {
  if (!statement_->Fetch()) return false;
  row->clear();
  for (size_t i = 0; i < types_.size(); ++i) {
    const auto column = static_cast<SQLUSMALLINT>(i + 1);
    SQLLEN indicator = 0;
    switch (types_[i].c_type) {
      case SQL_C_SBIGINT: {
        SQLBIGINT value = 0;
        statement_->Check(statement_->api().GetData(statement_->handle(), column, SQL_C_SBIGINT,
                                                    &value, sizeof value, &indicator),
                          "Reading a value");
        row->push_back(indicator == SQL_NULL_DATA ? data::Value() : data::Value::Integer(value));
        break;
      }
      case SQL_C_DOUBLE: {
        double value = 0;
        statement_->Check(statement_->api().GetData(statement_->handle(), column, SQL_C_DOUBLE,
                                                    &value, sizeof value, &indicator),
                          "Reading a value");
        row->push_back(indicator == SQL_NULL_DATA ? data::Value() : data::Value::Real(value));
        break;
      }
      case SQL_C_BINARY: {
        std::string bytes;
        char buffer[4096];
        bool null = false;
        while (true) {
          const SQLRETURN rc = statement_->api().GetData(statement_->handle(), column, SQL_C_BINARY,
                                                         buffer, sizeof buffer, &indicator);
          if (rc == SQL_NO_DATA) break;
          statement_->Check(rc, "Reading a value");
          if (indicator == SQL_NULL_DATA) {
            null = true;
            break;
          }
          const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                            (indicator == SQL_NO_TOTAL || indicator > SQLLEN{sizeof buffer});
          bytes.append(buffer, more ? sizeof buffer : static_cast<size_t>(indicator));
          if (!more) break;
        }
        row->push_back(null ? data::Value() : data::Value::Blob(std::move(bytes)));
        break;
      }
      default: {
        std::string text;
        const bool present = statement_->GetText(column, &text);
        row->push_back(present ? data::Value::Text(std::move(text)) : data::Value());
      }
    }
  }
  return true;
}

void SqlServerRecordset::ReadRest() {
  if (!cursor_.streaming()) return;
  std::vector<data::Value> row;
  while (FetchRow(&row)) cursor_.Hold(std::move(row));
  StopStreaming();
  cursor_.ApplyFilter();
}

void SqlServerRecordset::StopStreaming() {
  cursor_.EndStream();
  if (session_ != nullptr && session_->streaming == this) session_->streaming = nullptr;
  if (statement_ != nullptr) {
    statement_->CloseCursor();
    statement_.reset();
  }
}

void SqlServerRecordset::ConnectionClosing() {
  statement_.reset();
  open_ = false;
  cursor_.Clear();
}

bool SqlServerRecordset::IsOpen() const {
  return open_ && session_ != nullptr && session_->generation == generation_ && session_->IsOpen();
}

void SqlServerRecordset::Close() {
  if (cursor_.streaming()) StopStreaming();
  statement_.reset();
  open_ = false;
  cursor_.Clear();
}

void SqlServerRecordset::RequireOpen() const { data::ClientCursor::RequireOpen(IsOpen()); }

void SqlServerRecordset::RequireUpdatable() const {
  RequireOpen();
  cursor_.RequireUpdatable(!table_.empty());
}

std::vector<data::ErrorEntry>* SqlServerRecordset::Errors() {
  return session_ != nullptr ? &session_->errors : nullptr;
}

bool SqlServerRecordset::IsEOF() const { return !IsOpen() || cursor_.IsEOF(); }

bool SqlServerRecordset::IsBOF() const { return !IsOpen() || cursor_.IsBOF(); }

void SqlServerRecordset::MoveNext() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (cursor_.HasPendingChanges()) Update();
    if (cursor_.MoveNext()) return;
    // Streaming: the next row of the statement takes the place of the one held.
    cursor_.Release();
    std::vector<data::Value> row;
    if (FetchRow(&row)) {
      cursor_.Stream(std::move(row));
    } else {
      StopStreaming();
    }
  });
}

void SqlServerRecordset::MoveFirst() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (cursor_.HasPendingChanges()) Update();
    if (cursor_.MoveFirst()) return;
    // A forward cursor starts over by running its statement again.
    StopStreaming();
    std::unique_ptr<OdbcStatement> statement = session_->Run(text_);
    while (statement->ResultColumns() <= 0) {
      if (!statement->MoreResults()) {
        throw data::DataError(data::kErrStatement, "Rowset position cannot be restarted.");
      }
    }
    Start(std::move(statement));
  });
}

long SqlServerRecordset::RecordCount() const {
  RequireOpen();
  return cursor_.RecordCount();
}

int SqlServerRecordset::FieldCount() const {
  RequireOpen();
  return cursor_.FieldCount();
}

const data::FieldInfo& SqlServerRecordset::Field(int index) const {
  RequireOpen();
  return cursor_.Field(index);
}

int SqlServerRecordset::FieldIndex(std::string_view name) const { return cursor_.FieldIndex(name); }

const data::Value& SqlServerRecordset::Get(int index) const {
  RequireOpen();
  return cursor_.Get(index);
}

void SqlServerRecordset::Set(int index, data::Value value) {
  RequireUpdatable();
  cursor_.Edit(index, std::move(value));
}

void SqlServerRecordset::AddNew() {
  RequireUpdatable();
  if (cursor_.HasPendingChanges()) Update();
  cursor_.BeginNew();
}

void SqlServerRecordset::Update() {
  RequireOpen();
  if (!cursor_.HasPendingChanges()) return;
  RequireUpdatable();
  data::Guard(Errors(), [&] {
    if (cursor_.adding()) {
      InsertRow();
    } else {
      WriteChanges();
    }
  });
}

void SqlServerRecordset::UpdateBatch() { Update(); }

void SqlServerRecordset::SetFilter(const std::string& expression) {
  RequireOpen();
  data::Guard(Errors(), [&] {
    data::RecordFilter filter = data::RecordFilter::Parse(expression, cursor_.fields());
    if (cursor_.HasPendingChanges()) Update();
    ReadRest();
    cursor_.SetFilter(std::move(filter));
  });
}

void SqlServerRecordset::FindTarget() {
  table_ = SingleTable(text_);
  if (table_.empty()) return;
  std::string query;
  const std::string plain = Unbracketed(table_);
  switch (session_->dialect) {
    case Dialect::kSqlServer:
      query =
          "SELECT c.name FROM sys.indexes i JOIN sys.index_columns ic ON ic.object_id = "
          "i.object_id AND ic.index_id = i.index_id JOIN sys.columns c ON c.object_id = "
          "ic.object_id AND c.column_id = ic.column_id WHERE i.is_primary_key = 1 AND "
          "i.object_id = OBJECT_ID(" +
          session_->TextLiteral(table_) + ") ORDER BY ic.key_ordinal";
      break;
    case Dialect::kSqlite:
      query = "SELECT name FROM pragma_table_info(" + session_->TextLiteral(plain) +
              ") WHERE pk > 0 ORDER BY pk";
      break;
    case Dialect::kOther:
      return;
  }
  std::vector<int> keys;
  std::unique_ptr<OdbcStatement> statement = session_->Run(query);
  if (statement->ResultColumns() > 0) {
    while (statement->Fetch()) {
      std::string column;
      statement->GetText(1, &column);
      const int index = FieldIndex(column);
      if (index < 0) {
        keys.clear();
        // A key column the recordset does not hold: rows are found by their values.
        while (statement->Fetch()) {
        }
        break;
      }
      keys.push_back(index);
    }
  }
  statement->CloseCursor();
  key_fields_ = keys;
}

void SqlServerRecordset::InsertRow() {
  std::string names;
  std::string values;
  for (const auto& [index, value] : cursor_.edits()) {
    names += (names.empty() ? "" : ", ") + Bracketed(cursor_.Field(index).name);
    values += (values.empty() ? "" : ", ") + session_->Literal(value);
  }
  std::string returned;
  for (const data::FieldInfo& field : cursor_.fields()) {
    returned += std::string(returned.empty() ? "" : ", ") +
                (session_->dialect == Dialect::kSqlServer ? "INSERTED." : "") +
                Bracketed(field.name);
  }
  std::string sql = "INSERT INTO " + table_;
  if (!names.empty()) sql += " (" + names + ")";
  if (session_->dialect == Dialect::kSqlServer) sql += " OUTPUT " + returned;
  sql += names.empty() ? " DEFAULT VALUES" : " VALUES (" + values + ")";

  std::vector<data::Value> row = cursor_.NewRow();
  std::unique_ptr<OdbcStatement> statement = session_->Run(sql);
  if (session_->dialect == Dialect::kSqlite) {
    statement->CloseCursor();
    statement = session_->Run("SELECT " + returned + " FROM " + table_ +
                              " WHERE rowid = last_insert_rowid()");
  }
  if (session_->dialect != Dialect::kOther && statement->ResultColumns() > 0) {
    // The row as the server stored it: keys it assigned, defaults it filled in.
    std::unique_ptr<OdbcStatement> held = std::move(statement_);
    statement_ = std::move(statement);
    std::vector<data::Value> stored;
    const bool got = FetchRow(&stored);
    statement_->CloseCursor();
    statement_ = std::move(held);
    if (got) row = std::move(stored);
  } else {
    statement->CloseCursor();
  }
  cursor_.NewRowWritten(std::move(row));
}

void SqlServerRecordset::WriteChanges() {
  const std::vector<data::Value>& row = cursor_.CurrentRow();
  std::string sql = "UPDATE " + table_ + " SET ";
  bool first = true;
  for (const auto& [index, value] : cursor_.edits()) {
    sql += (first ? "" : ", ") + Bracketed(cursor_.Field(index).name) + " = " +
           session_->Literal(value);
    first = false;
  }
  std::string where;
  const auto match = [&](int index) {
    const data::Value& original = row[static_cast<size_t>(index)];
    const std::string column = Bracketed(cursor_.Field(index).name);
    where += (where.empty() ? " WHERE " : " AND ") + column +
             (original.IsNull() ? " IS NULL" : " = " + session_->Literal(original));
  };
  if (!key_fields_.empty()) {
    for (int index : key_fields_) match(index);
  } else {
    for (int i = 0; i < cursor_.FieldCount(); ++i) {
      const int code = cursor_.Field(i).type;
      // Long text and bytes cannot be compared by the server.
      if (code == data::kTypeLongVarChar || code == data::kTypeLongVarWChar ||
          code == data::kTypeLongVarBinary || code == data::kTypeBinary ||
          code == data::kTypeVarBinary) {
        continue;
      }
      match(i);
    }
  }
  std::unique_ptr<OdbcStatement> statement = session_->Run(sql + where);
  const long changed = statement->RowCount();
  statement->CloseCursor();
  if (changed == 0) {
    throw data::DataError(data::kErrStatement,
                          "Row cannot be located for updating. Some values may have been "
                          "changed since it was last read.");
  }
  cursor_.ChangesWritten();
}

}  // namespace msu::sqlserver
