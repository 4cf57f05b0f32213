#include "data/embedded/embedded_recordset.h"

#include "core/text.h"
#include "data/embedded/tsql_translator.h"
#include "data/embedded/type_codes.h"
#include "data/error_guard.h"

namespace msu::embedded {

namespace {

const data::Value kNull;

[[noreturn]] void NotUpdatable() {
  throw data::DataError(data::kErrNotUpdatable,
                        "Current Recordset does not support updating. This may be a limitation "
                        "of the provider, or of the selected locktype.");
}

}  // namespace

std::unique_ptr<data::Recordset> EmbeddedRecordset::Closed() {
  return std::unique_ptr<data::Recordset>(new EmbeddedRecordset());
}

std::unique_ptr<data::Recordset> EmbeddedRecordset::FromRows(
    std::vector<data::FieldInfo> fields, std::vector<std::vector<data::Value>> rows) {
  std::unique_ptr<EmbeddedRecordset> rs(new EmbeddedRecordset());
  rs->open_ = true;
  rs->fields_ = std::move(fields);
  rs->bits_.assign(rs->fields_.size(), false);
  rs->origins_.assign(rs->fields_.size(), std::string());
  rs->rows_ = std::move(rows);
  rs->had_rows_ = !rs->rows_.empty();
  rs->ApplyFilter();
  return rs;
}

std::unique_ptr<data::Recordset> EmbeddedRecordset::Open(std::shared_ptr<SqliteDatabase> db,
                                                         Statement stmt, std::string original,
                                                         data::CursorChoice choice,
                                                         const UpdatableSource* source) {
  std::unique_ptr<EmbeddedRecordset> rs(new EmbeddedRecordset());
  rs->db_ = std::move(db);
  rs->choice_ = choice;
  rs->original_ = std::move(original);
  rs->stmt_ = std::move(stmt);
  if (source != nullptr) {
    rs->updatable_ = true;
    rs->source_ = *source;
    rs->first_column_ = 1;
  }
  sqlite3_stmt* s = rs->stmt_.get();
  int count = sqlite3_column_count(s) - rs->first_column_;
  for (int c = 0; c < count; ++c) {
    const char* origin = sqlite3_column_origin_name(s, c + rs->first_column_);
    rs->origins_.push_back(origin != nullptr ? origin : "");
  }
  int rc = rs->db_->Step(rs->stmt_, rs->original_);
  if (rc == SQLITE_ROW) {
    rs->rows_.push_back(rs->ReadRow());
    if (rs->first_column_ == 1) rs->rowids_.push_back(sqlite3_column_int64(s, 0));
    rs->had_rows_ = true;
  }
  rs->DescribeFields();
  rs->open_ = true;
  if (rc == SQLITE_ROW && choice == data::CursorChoice::kForward) {
    rs->streaming_ = true;
    rs->visible_ = {0};
  } else {
    rs->streaming_ = rc == SQLITE_ROW;
    rs->TakeSnapshot();
    rs->ApplyFilter();
  }
  if (!rs->streaming_ && rs->stmt_) sqlite3_reset(rs->stmt_.get());
  rs->db_->AddListener(rs.get());
  return rs;
}

EmbeddedRecordset::~EmbeddedRecordset() {
  if (db_ != nullptr) db_->RemoveListener(this);
}

std::vector<data::Value> EmbeddedRecordset::ReadRow() const {
  sqlite3_stmt* s = stmt_.get();
  int count = sqlite3_column_count(s) - first_column_;
  std::vector<data::Value> row;
  row.reserve(static_cast<size_t>(count));
  for (int c = 0; c < count; ++c) {
    // The declared types are read once the fields are described; only the first row reads
    // them itself.
    const auto column = static_cast<size_t>(c);
    bool bit = false;
    if (column < bits_.size()) {
      bit = bits_[column];
    } else {
      const char* decl = sqlite3_column_decltype(s, c + first_column_);
      bit = decl != nullptr && IsBitDeclaration(decl);
    }
    row.push_back(ReadColumn(s, c + first_column_, bit));
  }
  return row;
}

void EmbeddedRecordset::DescribeFields() {
  sqlite3_stmt* s = stmt_.get();
  int count = sqlite3_column_count(s) - first_column_;
  for (int c = 0; c < count; ++c) {
    const char* name = sqlite3_column_name(s, c + first_column_);
    const char* decl = sqlite3_column_decltype(s, c + first_column_);
    TypeInfo type;
    if (decl != nullptr && *decl != '\0') {
      type = TypeFromDeclaration(decl);
    } else {
      type = TypeFromValue(rows_.empty() ? kNull : rows_.front()[static_cast<size_t>(c)]);
    }
    fields_.push_back({name != nullptr ? name : "", type.code, type.size});
    bits_.push_back(decl != nullptr && IsBitDeclaration(decl));
  }
}

void EmbeddedRecordset::TakeSnapshot() {
  if (!streaming_) return;
  // Rows already passed are not kept: a forward cursor never goes back to them.
  if (choice_ == data::CursorChoice::kForward && !rows_.empty()) {
    rows_.erase(rows_.begin(),
                rows_.begin() + static_cast<long>(visible_.empty() ? rows_.size() : visible_[0]));
  }
  streaming_ = false;
  while (db_->Step(stmt_, original_) == SQLITE_ROW) {
    rows_.push_back(ReadRow());
    if (first_column_ == 1) rowids_.push_back(sqlite3_column_int64(stmt_.get(), 0));
  }
  stmt_.Reset();
  position_ = 0;
  ApplyFilter();
}

void EmbeddedRecordset::ConnectionClosing() {
  stmt_.Reset();
  streaming_ = false;
  open_ = false;
  rows_.clear();
  rowids_.clear();
  visible_.clear();
}

void EmbeddedRecordset::Close() {
  if (db_ != nullptr) db_->RemoveListener(this);
  ConnectionClosing();
}

void EmbeddedRecordset::ApplyFilter() {
  visible_.clear();
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (filter_.IsEmpty() || filter_.Matches(rows_[i])) visible_.push_back(i);
  }
  position_ = 0;
}

void EmbeddedRecordset::RequireOpen() const {
  if (!open_) {
    throw data::DataError(data::kErrClosed, "Operation is not allowed when the object is closed.");
  }
}

void EmbeddedRecordset::RequireUpdatable() const {
  RequireOpen();
  if (choice_ != data::CursorChoice::kOptimistic || !updatable_) NotUpdatable();
}

void EmbeddedRecordset::CheckIndex(int index) const {
  if (index < 0 || index >= static_cast<int>(fields_.size())) {
    throw data::DataError(data::kErrNotFound,
                          "Item cannot be found in the collection corresponding to the requested "
                          "name or ordinal: " +
                              std::to_string(index));
  }
}

std::vector<data::ErrorEntry>* EmbeddedRecordset::Errors() {
  return db_ != nullptr ? &db_->errors() : nullptr;
}

bool EmbeddedRecordset::IsEOF() const {
  if (!open_) return true;
  if (adding_) return false;
  return position_ >= visible_.size();
}

bool EmbeddedRecordset::IsBOF() const {
  if (!open_) return true;
  if (adding_) return false;
  if (streaming_ || (choice_ == data::CursorChoice::kForward && !filtered_)) return !had_rows_;
  return visible_.empty();
}

void EmbeddedRecordset::MoveNext() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (adding_ || !edits_.empty()) Update();
    if (position_ >= visible_.size()) {
      throw data::DataError(data::kErrNoCurrentRow,
                            "Either BOF or EOF is True, or the current record has been deleted. "
                            "Requested operation requires a current record.");
    }
    moved_ = true;
    if (streaming_) {
      db_->CheckUsable();
      rows_.clear();
      visible_.clear();
      if (db_->Step(stmt_, original_) == SQLITE_ROW) {
        rows_.push_back(ReadRow());
        visible_ = {0};
      } else {
        // The statement stays prepared so that MoveFirst can run it again, but reset, so
        // that it no longer holds the file's read lock against writers.
        streaming_ = false;
        sqlite3_reset(stmt_.get());
      }
      position_ = 0;
      return;
    }
    ++position_;
  });
}

void EmbeddedRecordset::MoveFirst() {
  RequireOpen();
  data::Guard(Errors(), [&] {
    if (adding_ || !edits_.empty()) Update();
    if (choice_ != data::CursorChoice::kForward || !moved_) {
      position_ = 0;
      return;
    }
    if (!streaming_ && !stmt_) {
      throw data::DataError(data::kErrStatement, "Rowset position cannot be restarted.");
    }
    // A forward cursor starts over by running its statement again.
    db_->CheckUsable();
    sqlite3_reset(stmt_.get());
    rows_.clear();
    visible_.clear();
    position_ = 0;
    moved_ = false;
    streaming_ = db_->Step(stmt_, original_) == SQLITE_ROW;
    if (streaming_) {
      rows_.push_back(ReadRow());
      visible_ = {0};
    }
  });
}

long EmbeddedRecordset::RecordCount() const {
  RequireOpen();
  if (choice_ == data::CursorChoice::kForward && !filtered_) return -1;
  return static_cast<long>(visible_.size());
}

int EmbeddedRecordset::FieldCount() const {
  RequireOpen();
  return static_cast<int>(fields_.size());
}

const data::FieldInfo& EmbeddedRecordset::Field(int index) const {
  RequireOpen();
  CheckIndex(index);
  return fields_[static_cast<size_t>(index)];
}

int EmbeddedRecordset::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

const data::Value& EmbeddedRecordset::Get(int index) const {
  RequireOpen();
  CheckIndex(index);
  if (auto edit = edits_.find(index); edit != edits_.end()) return edit->second;
  if (adding_) return kNull;
  if (position_ >= visible_.size()) {
    throw data::DataError(data::kErrNoCurrentRow,
                          "Either BOF or EOF is True, or the current record has been deleted. "
                          "Requested operation requires a current record.");
  }
  return rows_[visible_[position_]][static_cast<size_t>(index)];
}

void EmbeddedRecordset::Set(int index, data::Value value) {
  RequireUpdatable();
  CheckIndex(index);
  if (!adding_ && position_ >= visible_.size()) {
    throw data::DataError(data::kErrNoCurrentRow,
                          "Either BOF or EOF is True, or the current record has been deleted. "
                          "Requested operation requires a current record.");
  }
  if (origins_[static_cast<size_t>(index)].empty()) {
    throw data::DataError(data::kErrNotUpdatable,
                          "The field " + fields_[static_cast<size_t>(index)].name +
                              " cannot be changed: it is not a column of " + source_.table + ".");
  }
  edits_[index] = std::move(value);
}

void EmbeddedRecordset::AddNew() {
  RequireUpdatable();
  if (adding_ || !edits_.empty()) Update();
  adding_ = true;
  edits_.clear();
}

void EmbeddedRecordset::Update() {
  RequireOpen();
  if (!adding_ && edits_.empty()) return;
  RequireUpdatable();
  data::Guard(Errors(), [&] {
    db_->CheckUsable();
    // One row written as one statement of the server: whole, inside the integer ranges.
    db_->Write(original_, [&] {
      if (adding_) {
        InsertRow();
      } else {
        WriteChanges();
      }
    });
  });
}

void EmbeddedRecordset::UpdateBatch() { Update(); }

bool EmbeddedRecordset::Reread(int64_t rowid, std::vector<data::Value>* row) {
  std::string sql =
      "SELECT rowid, " + source_.select_list + " FROM " + source_.table + " WHERE rowid = ?";
  Statement stmt = db_->Prepare(sql, original_);
  sqlite3_bind_int64(stmt.get(), 1, rowid);
  if (db_->Step(stmt, original_) != SQLITE_ROW) return false;
  row->clear();
  int count = sqlite3_column_count(stmt.get());
  for (int c = 1; c < count; ++c) {
    row->push_back(ReadColumn(stmt.get(), c, bits_[static_cast<size_t>(c - 1)]));
  }
  return true;
}

void EmbeddedRecordset::WriteChanges() {
  if (position_ >= visible_.size()) {
    throw data::DataError(data::kErrNoCurrentRow,
                          "Either BOF or EOF is True, or the current record has been deleted. "
                          "Requested operation requires a current record.");
  }
  size_t row_index = visible_[position_];
  std::string sql = "UPDATE " + source_.table + " SET ";
  bool first = true;
  for (const auto& [index, value] : edits_) {
    sql += (first ? "" : ", ") + QuoteIdentifier(origins_[static_cast<size_t>(index)]) + " = ?";
    first = false;
  }
  sql += " WHERE rowid = ?";
  db_->BeforeWrite();
  Statement stmt = db_->Prepare(sql, sql);
  int parameter = 1;
  for (const auto& [index, value] : edits_) BindValue(stmt.get(), parameter++, value);
  sqlite3_bind_int64(stmt.get(), parameter, rowids_[row_index]);
  db_->Step(stmt, sql);
  if (sqlite3_changes(db_->handle()) == 0) {
    throw data::DataError(data::kErrStatement,
                          "Row cannot be located for updating. Some values may have been "
                          "changed since it was last read.");
  }
  std::vector<data::Value> row;
  if (Reread(rowids_[row_index], &row)) {
    rows_[row_index] = std::move(row);
  } else {
    // The rowid itself changed (an INTEGER PRIMARY KEY was set): keep what was written.
    for (auto& [index, value] : edits_) rows_[row_index][static_cast<size_t>(index)] = value;
  }
  edits_.clear();
}

void EmbeddedRecordset::InsertRow() {
  std::string sql = "INSERT INTO " + source_.table;
  if (edits_.empty()) {
    sql += " DEFAULT VALUES";
  } else {
    std::string names;
    std::string marks;
    for (const auto& [index, value] : edits_) {
      names += (names.empty() ? "" : ", ") + QuoteIdentifier(origins_[static_cast<size_t>(index)]);
      marks += marks.empty() ? "?" : ", ?";
    }
    sql += " (" + names + ") VALUES (" + marks + ")";
  }
  db_->BeforeWrite();
  Statement stmt = db_->Prepare(sql, sql);
  int parameter = 1;
  for (const auto& [index, value] : edits_) BindValue(stmt.get(), parameter++, value);
  db_->Step(stmt, sql);
  int64_t rowid = sqlite3_last_insert_rowid(db_->handle());
  std::vector<data::Value> row;
  if (!Reread(rowid, &row)) {
    row.assign(fields_.size(), data::Value());
    for (auto& [index, value] : edits_) row[static_cast<size_t>(index)] = value;
  }
  rows_.push_back(std::move(row));
  rowids_.push_back(rowid);
  visible_.push_back(rows_.size() - 1);
  position_ = visible_.size() - 1;
  had_rows_ = true;
  adding_ = false;
  edits_.clear();
}

void EmbeddedRecordset::SetFilter(const std::string& expression) {
  RequireOpen();
  data::Guard(Errors(), [&] {
    data::RecordFilter filter = data::RecordFilter::Parse(expression, fields_);
    if (adding_ || !edits_.empty()) Update();
    TakeSnapshot();
    filter_ = std::move(filter);
    filtered_ = !filter_.IsEmpty();
    ApplyFilter();
  });
}

}  // namespace msu::embedded
