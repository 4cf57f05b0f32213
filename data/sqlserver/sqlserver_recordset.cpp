#include "data/sqlserver/sqlserver_recordset.h"

#include <cctype>

#include "core/text.h"
#include "data/error_guard.h"

namespace msu::sqlserver {

namespace {

const data::Value kNull;

[[noreturn]] void NoCurrentRow() {
  throw data::DataError(data::kErrNoCurrentRow,
                        "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
}

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
  std::unique_ptr<SqlServerRecordset> rs(new SqlServerRecordset());
  rs->session_ = std::move(session);
  rs->generation_ = rs->session_->generation;
  rs->choice_ = choice;
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
  rows_.clear();
  visible_.clear();
  position_ = 0;
  moved_ = false;
  if (fields_.empty()) {
    const SQLSMALLINT columns = statement_->ResultColumns();
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      const ColumnDescription column = statement_->Describe(c);
      const ColumnType type = ColumnTypeOf(column.sql_type, column.size, column.type_name);
      fields_.push_back({column.name, type.code, type.size});
      types_.push_back(type);
    }
  }
  std::vector<data::Value> row;
  had_rows_ = FetchRow(&row);
  if (had_rows_) {
    rows_.push_back(std::move(row));
    visible_ = {0};
  }
  if (had_rows_ && choice_ == data::CursorChoice::kForward) {
    streaming_ = true;
    session_->streaming = this;
    return;
  }
  streaming_ = had_rows_;
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
  if (!streaming_) return;
  // Rows already passed are not kept: a forward cursor never goes back to them.
  if (choice_ == data::CursorChoice::kForward && !visible_.empty()) {
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<long>(visible_[position_]));
  }
  std::vector<data::Value> row;
  while (FetchRow(&row)) rows_.push_back(row);
  StopStreaming();
  ApplyFilter();
}

void SqlServerRecordset::StopStreaming() {
  streaming_ = false;
  if (session_ != nullptr && session_->streaming == this) session_->streaming = nullptr;
  if (statement_ != nullptr) {
    statement_->CloseCursor();
    statement_.reset();
  }
}

void SqlServerRecordset::ConnectionClosing() {
  streaming_ = false;
  statement_.reset();
  open_ = false;
  rows_.clear();
  visible_.clear();
}

void SqlServerRecordset::ApplyFilter() {
  visible_.clear();
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (filter_.IsEmpty() || filter_.Matches(rows_[i])) visible_.push_back(i);
  }
  position_ = 0;
}

bool SqlServerRecordset::IsOpen() const {
  return open_ && session_ != nullptr && session_->generation == generation_ && session_->IsOpen();
}

void SqlServerRecordset::Close() {
  if (streaming_) {
    StopStreaming();
  }
  statement_.reset();
  open_ = false;
  rows_.clear();
  visible_.clear();
  edits_.clear();
  adding_ = false;
}

void SqlServerRecordset::RequireOpen() const {
  if (!IsOpen()) {
    throw data::DataError(data::kErrClosed, "Operation is not allowed when the object is closed.");
  }
}

void SqlServerRecordset::RequireUpdatable() const {
  RequireOpen();
  if (choice_ != data::CursorChoice::kOptimistic || table_.empty()) {
    throw data::DataError(data::kErrNotUpdatable,
                          "Current Recordset does not support updating. This may be a limitation "
                          "of the provider, or of the selected locktype.");
  }
}

void SqlServerRecordset::RequireCurrent() const {
  if (position_ >= visible_.size()) NoCurrentRow();
}

void SqlServerRecordset::CheckIndex(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) {
    throw data::DataError(data::kErrNotFound,
                          "Item cannot be found in the collection corresponding to the requested "
                          "name or ordinal: " +
                              std::to_string(index));
  }
}

std::vector<data::ErrorEntry>* SqlServerRecordset::Errors() {
  return session_ != nullptr ? &session_->errors : nullptr;
}

bool SqlServerRecordset::IsEOF() const {
  if (!IsOpen()) return true;
  if (adding_) return false;
  return position_ >= visible_.size();
}

bool SqlServerRecordset::IsBOF() const {
  if (!IsOpen()) return true;
  if (adding_) return false;
  if (choice_ == data::CursorChoice::kForward && !filtered_) return !had_rows_;
  return visible_.empty();
}

void SqlServerRecordset::MoveNext() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (adding_ || !edits_.empty()) Update();
    RequireCurrent();
    moved_ = true;
    if (streaming_) {
      std::vector<data::Value> row;
      rows_.clear();
      visible_.clear();
      position_ = 0;
      if (FetchRow(&row)) {
        rows_.push_back(std::move(row));
        visible_ = {0};
      } else {
        StopStreaming();
      }
      return;
    }
    ++position_;
  });
}

void SqlServerRecordset::MoveFirst() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (adding_ || !edits_.empty()) Update();
    if (choice_ != data::CursorChoice::kForward || !moved_) {
      position_ = 0;
      return;
    }
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
  if (choice_ == data::CursorChoice::kForward && !filtered_) return -1;
  return static_cast<long>(visible_.size());
}

int SqlServerRecordset::FieldCount() const {
  RequireOpen();
  return static_cast<int>(fields_.size());
}

const data::FieldInfo& SqlServerRecordset::Field(int index) const {
  RequireOpen();
  CheckIndex(index);
  return fields_[static_cast<size_t>(index)];
}

int SqlServerRecordset::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

const data::Value& SqlServerRecordset::Get(int index) const {
  RequireOpen();
  CheckIndex(index);
  if (auto edit = edits_.find(index); edit != edits_.end()) return edit->second;
  if (adding_) return kNull;
  RequireCurrent();
  return rows_[visible_[position_]][static_cast<size_t>(index)];
}

void SqlServerRecordset::Set(int index, data::Value value) {
  RequireUpdatable();
  CheckIndex(index);
  if (!adding_) RequireCurrent();
  edits_[index] = std::move(value);
}

void SqlServerRecordset::AddNew() {
  RequireUpdatable();
  if (adding_ || !edits_.empty()) Update();
  adding_ = true;
  edits_.clear();
}

void SqlServerRecordset::Update() {
  RequireOpen();
  if (!adding_ && edits_.empty()) return;
  RequireUpdatable();
  data::Guard(Errors(), [&] {
    if (adding_) {
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
    data::RecordFilter filter = data::RecordFilter::Parse(expression, fields_);
    if (adding_ || !edits_.empty()) Update();
    ReadRest();
    filter_ = std::move(filter);
    filtered_ = !filter_.IsEmpty();
    ApplyFilter();
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
  for (const auto& [index, value] : edits_) {
    names += (names.empty() ? "" : ", ") + Bracketed(fields_[static_cast<size_t>(index)].name);
    values += (values.empty() ? "" : ", ") + session_->Literal(value);
  }
  std::string returned;
  for (const data::FieldInfo& field : fields_) {
    returned += std::string(returned.empty() ? "" : ", ") +
                (session_->dialect == Dialect::kSqlServer ? "INSERTED." : "") +
                Bracketed(field.name);
  }
  std::string sql = "INSERT INTO " + table_;
  if (!names.empty()) sql += " (" + names + ")";
  if (session_->dialect == Dialect::kSqlServer) sql += " OUTPUT " + returned;
  sql += names.empty() ? " DEFAULT VALUES" : " VALUES (" + values + ")";

  std::vector<data::Value> row(fields_.size());
  for (auto& [index, value] : edits_) row[static_cast<size_t>(index)] = value;
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
  rows_.push_back(std::move(row));
  visible_.push_back(rows_.size() - 1);
  position_ = visible_.size() - 1;
  had_rows_ = true;
  adding_ = false;
  edits_.clear();
}

void SqlServerRecordset::WriteChanges() {
  RequireCurrent();
  std::vector<data::Value>& row = rows_[visible_[position_]];
  std::string sql = "UPDATE " + table_ + " SET ";
  bool first = true;
  for (const auto& [index, value] : edits_) {
    sql += (first ? "" : ", ") + Bracketed(fields_[static_cast<size_t>(index)].name) + " = " +
           session_->Literal(value);
    first = false;
  }
  std::string where;
  const auto match = [&](int index) {
    const data::Value& original = row[static_cast<size_t>(index)];
    const std::string column = Bracketed(fields_[static_cast<size_t>(index)].name);
    where += (where.empty() ? " WHERE " : " AND ") + column +
             (original.IsNull() ? " IS NULL" : " = " + session_->Literal(original));
  };
  if (!key_fields_.empty()) {
    for (int index : key_fields_) match(index);
  } else {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const int code = fields_[i].type;
      // Long text and bytes cannot be compared by the server.
      if (code == data::kTypeLongVarChar || code == data::kTypeLongVarWChar ||
          code == data::kTypeLongVarBinary || code == data::kTypeBinary ||
          code == data::kTypeVarBinary) {
        continue;
      }
      match(static_cast<int>(i));
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
  for (auto& [index, value] : edits_) row[static_cast<size_t>(index)] = value;
  edits_.clear();
}

}  // namespace msu::sqlserver
