#include "data/embedded/embedded_recordset.h"

#include "core/text.h"
#include "data/embedded/tsql_translator.h"
#include "data/embedded/type_codes.h"
#include "data/error_guard.h"

namespace msu::embedded {

std::unique_ptr<data::Recordset> EmbeddedRecordset::Closed() {
  return std::unique_ptr<data::Recordset>(new EmbeddedRecordset());
}

std::unique_ptr<data::Recordset> EmbeddedRecordset::FromRows(
    std::vector<data::FieldInfo> fields, std::vector<std::vector<data::Value>> rows) {
  std::unique_ptr<EmbeddedRecordset> rs(new EmbeddedRecordset());
  rs->open_ = true;
  rs->bits_.assign(fields.size(), false);
  rs->origins_.assign(fields.size(), std::string());
  for (data::FieldInfo& field : fields) rs->cursor_.AddField(std::move(field));
  for (std::vector<data::Value>& row : rows) rs->cursor_.Hold(std::move(row));
  rs->cursor_.ApplyFilter();
  return rs;
}

std::unique_ptr<data::Recordset> EmbeddedRecordset::Open(std::shared_ptr<SqliteDatabase> db,
                                                         Statement stmt, std::string original,
                                                         data::CursorChoice choice,
                                                         const UpdatableSource* source) {
  std::unique_ptr<EmbeddedRecordset> rs(new EmbeddedRecordset(choice));
  rs->db_ = std::move(db);
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
  const bool row = rs->db_->Step(rs->stmt_, rs->original_) == SQLITE_ROW;
  std::vector<data::Value> first;
  if (row) {
    first = rs->ReadRow();
    if (rs->first_column_ == 1) rs->rowids_.push_back(sqlite3_column_int64(s, 0));
  }
  rs->DescribeFields(row ? &first : nullptr);
  rs->open_ = true;
  if (row) rs->cursor_.Stream(std::move(first));
  // Only a forward recordset goes on streaming; the others read every row now.
  if (choice != data::CursorChoice::kForward) rs->TakeSnapshot();
  if (!rs->cursor_.streaming() && rs->stmt_) sqlite3_reset(rs->stmt_.get());
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

void EmbeddedRecordset::DescribeFields(const std::vector<data::Value>* first) {
  sqlite3_stmt* s = stmt_.get();
  int count = sqlite3_column_count(s) - first_column_;
  for (int c = 0; c < count; ++c) {
    const char* name = sqlite3_column_name(s, c + first_column_);
    const char* decl = sqlite3_column_decltype(s, c + first_column_);
    TypeInfo type;
    if (decl != nullptr && *decl != '\0') {
      type = TypeFromDeclaration(decl);
    } else {
      type = TypeFromValue(first == nullptr ? data::Value() : (*first)[static_cast<size_t>(c)]);
    }
    cursor_.AddField({name != nullptr ? name : "", type.code, type.size});
    bits_.push_back(decl != nullptr && IsBitDeclaration(decl));
  }
}

void EmbeddedRecordset::TakeSnapshot() {
  if (!cursor_.streaming()) return;
  cursor_.EndStream();
  while (db_->Step(stmt_, original_) == SQLITE_ROW) {
    cursor_.Hold(ReadRow());
    if (first_column_ == 1) rowids_.push_back(sqlite3_column_int64(stmt_.get(), 0));
  }
  stmt_.Reset();
  cursor_.ApplyFilter();
}

void EmbeddedRecordset::ConnectionClosing() {
  stmt_.Reset();
  open_ = false;
  cursor_.Clear();
  rowids_.clear();
}

void EmbeddedRecordset::Close() {
  if (db_ != nullptr) db_->RemoveListener(this);
  ConnectionClosing();
}

void EmbeddedRecordset::RequireUpdatable() const {
  data::ClientCursor::RequireOpen(open_);
  cursor_.RequireUpdatable(updatable_);
}

std::vector<data::ErrorEntry>* EmbeddedRecordset::Errors() {
  return db_ != nullptr ? &db_->errors() : nullptr;
}

bool EmbeddedRecordset::IsEOF() const { return !open_ || cursor_.IsEOF(); }

bool EmbeddedRecordset::IsBOF() const { return !open_ || cursor_.IsBOF(); }

void EmbeddedRecordset::MoveNext() {
  data::ClientCursor::RequireOpen(open_);
  data::Guard(Errors(), [&] {
    if (cursor_.HasPendingChanges()) Update();
    if (cursor_.MoveNext()) return;
    // Streaming: the next row of the statement takes the place of the one held.
    db_->CheckUsable();
    cursor_.Release();
    if (db_->Step(stmt_, original_) == SQLITE_ROW) {
      cursor_.Stream(ReadRow());
    } else {
      // The statement stays prepared so that MoveFirst can run it again, but reset, so
      // that it no longer holds the file's read lock against writers.
      cursor_.EndStream();
      sqlite3_reset(stmt_.get());
    }
  });
}

void EmbeddedRecordset::MoveFirst() {
  data::ClientCursor::RequireOpen(open_);
  data::Guard(Errors(), [&] {
    if (cursor_.HasPendingChanges()) Update();
    if (cursor_.MoveFirst()) return;
    if (!cursor_.streaming() && !stmt_) {
      throw data::DataError(data::kErrStatement, "Rowset position cannot be restarted.");
    }
    // A forward cursor starts over by running its statement again.
    db_->CheckUsable();
    sqlite3_reset(stmt_.get());
    cursor_.Restart();
    if (db_->Step(stmt_, original_) == SQLITE_ROW) {
      cursor_.Stream(ReadRow());
    } else {
      cursor_.EndStream();
    }
  });
}

long EmbeddedRecordset::RecordCount() const {
  data::ClientCursor::RequireOpen(open_);
  return cursor_.RecordCount();
}

int EmbeddedRecordset::FieldCount() const {
  data::ClientCursor::RequireOpen(open_);
  return cursor_.FieldCount();
}

const data::FieldInfo& EmbeddedRecordset::Field(int index) const {
  data::ClientCursor::RequireOpen(open_);
  return cursor_.Field(index);
}

int EmbeddedRecordset::FieldIndex(std::string_view name) const { return cursor_.FieldIndex(name); }

const data::Value& EmbeddedRecordset::Get(int index) const {
  data::ClientCursor::RequireOpen(open_);
  return cursor_.Get(index);
}

void EmbeddedRecordset::Set(int index, data::Value value) {
  RequireUpdatable();
  cursor_.RequireEditable(index);
  if (origins_[static_cast<size_t>(index)].empty()) {
    throw data::DataError(data::kErrNotUpdatable, "The field " + cursor_.Field(index).name +
                                                      " cannot be changed: it is not a column of " +
                                                      source_.table + ".");
  }
  cursor_.Edit(index, std::move(value));
}

void EmbeddedRecordset::AddNew() {
  RequireUpdatable();
  if (cursor_.HasPendingChanges()) Update();
  cursor_.BeginNew();
}

void EmbeddedRecordset::Update() {
  data::ClientCursor::RequireOpen(open_);
  if (!cursor_.HasPendingChanges()) return;
  RequireUpdatable();
  data::Guard(Errors(), [&] {
    db_->CheckUsable();
    // One row written as one statement of the server: whole, inside the integer ranges.
    db_->Write(original_, [&] {
      if (cursor_.adding()) {
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
  const size_t row_index = cursor_.CurrentIndex();
  std::string sql = "UPDATE " + source_.table + " SET ";
  bool first = true;
  for (const auto& [index, value] : cursor_.edits()) {
    sql += (first ? "" : ", ") + QuoteIdentifier(origins_[static_cast<size_t>(index)]) + " = ?";
    first = false;
  }
  sql += " WHERE rowid = ?";
  db_->BeforeWrite();
  Statement stmt = db_->Prepare(sql, sql);
  int parameter = 1;
  for (const auto& [index, value] : cursor_.edits()) BindValue(stmt.get(), parameter++, value);
  sqlite3_bind_int64(stmt.get(), parameter, rowids_[row_index]);
  db_->Step(stmt, sql);
  if (sqlite3_changes(db_->handle()) == 0) {
    throw data::DataError(data::kErrStatement,
                          "Row cannot be located for updating. Some values may have been "
                          "changed since it was last read.");
  }
  std::vector<data::Value> row;
  if (Reread(rowids_[row_index], &row)) {
    cursor_.ChangesWritten(std::move(row));
  } else {
    // The rowid itself changed (an INTEGER PRIMARY KEY was set): keep what was written.
    cursor_.ChangesWritten();
  }
}

void EmbeddedRecordset::InsertRow() {
  std::string sql = "INSERT INTO " + source_.table;
  if (cursor_.edits().empty()) {
    sql += " DEFAULT VALUES";
  } else {
    std::string names;
    std::string marks;
    for (const auto& [index, value] : cursor_.edits()) {
      names += (names.empty() ? "" : ", ") + QuoteIdentifier(origins_[static_cast<size_t>(index)]);
      marks += marks.empty() ? "?" : ", ?";
    }
    sql += " (" + names + ") VALUES (" + marks + ")";
  }
  db_->BeforeWrite();
  Statement stmt = db_->Prepare(sql, sql);
  int parameter = 1;
  for (const auto& [index, value] : cursor_.edits()) BindValue(stmt.get(), parameter++, value);
  db_->Step(stmt, sql);
  int64_t rowid = sqlite3_last_insert_rowid(db_->handle());
  std::vector<data::Value> row;
  if (!Reread(rowid, &row)) row = cursor_.NewRow();
  cursor_.NewRowWritten(std::move(row));
  rowids_.push_back(rowid);
}

void EmbeddedRecordset::SetFilter(const std::string& expression) {
  data::ClientCursor::RequireOpen(open_);
  data::Guard(Errors(), [&] {
    data::RecordFilter filter = data::RecordFilter::Parse(expression, cursor_.fields());
    if (cursor_.HasPendingChanges()) Update();
    TakeSnapshot();
    cursor_.SetFilter(std::move(filter));
  });
}

}  // namespace msu::embedded
