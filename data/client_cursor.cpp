#include "data/client_cursor.h"

#include <string>
#include <utility>

#include "core/text.h"

namespace msu::data {

namespace {

const Value kNull;

}  // namespace

void ClientCursor::RequireOpen(bool open) {
  if (!open) throw DataError(kErrClosed, "Operation is not allowed when the object is closed.");
}

void ClientCursor::RequireUpdatable(bool writable) const {
  if (choice_ != CursorChoice::kOptimistic || !writable) {
    throw DataError(kErrNotUpdatable,
                    "Current Recordset does not support updating. This may be a limitation of "
                    "the provider, or of the selected locktype.");
  }
}

const FieldInfo& ClientCursor::Field(int index) const {
  CheckIndex(index);
  return fields_[static_cast<std::size_t>(index)];
}

int ClientCursor::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

void ClientCursor::CheckIndex(int index) const {
  if (index < 0 || index >= FieldCount()) {
    throw DataError(kErrNotFound,
                    "Item cannot be found in the collection corresponding to the requested name "
                    "or ordinal: " +
                        std::to_string(index));
  }
}

void ClientCursor::Hold(Row row) {
  rows_.push_back(std::move(row));
  had_rows_ = true;
}

void ClientCursor::Release() {
  rows_.clear();
  visible_.clear();
  position_ = 0;
}

void ClientCursor::ApplyFilter() {
  visible_.clear();
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (filter_.IsEmpty() || filter_.Matches(rows_[i])) visible_.push_back(i);
  }
  position_ = 0;
}

void ClientCursor::SetFilter(RecordFilter filter) {
  filter_ = std::move(filter);
  filtered_ = !filter_.IsEmpty();
  ApplyFilter();
}

void ClientCursor::Stream(Row row) {
  rows_.clear();
  rows_.push_back(std::move(row));
  // The row is current whatever the filter: a streaming cursor tests no row against it.
  visible_ = {0};
  position_ = 0;
  had_rows_ = true;
  streaming_ = true;
}

bool ClientCursor::IsEOF() const {
  if (adding_) return false;
  return position_ >= visible_.size();
}

bool ClientCursor::IsBOF() const {
  if (adding_) return false;
  // A forward cursor has let go of the rows before the current one.
  if (choice_ == CursorChoice::kForward && !filtered_) return !had_rows_;
  return visible_.empty();
}

long ClientCursor::RecordCount() const {
  if (choice_ == CursorChoice::kForward && !filtered_) return -1;
  return static_cast<long>(visible_.size());
}

bool ClientCursor::MoveNext() {
  RequireCurrent();
  moved_ = true;
  if (streaming_) return false;
  ++position_;
  return true;
}

bool ClientCursor::MoveFirst() {
  if (choice_ == CursorChoice::kForward && moved_) return false;
  position_ = 0;
  return true;
}

void ClientCursor::Restart() {
  Release();
  had_rows_ = false;
  moved_ = false;
}

const Value& ClientCursor::Get(int index) const {
  CheckIndex(index);
  if (auto edit = edits_.find(index); edit != edits_.end()) return edit->second;
  if (adding_) return kNull;
  return CurrentRow()[static_cast<std::size_t>(index)];
}

void ClientCursor::RequireEditable(int index) const {
  CheckIndex(index);
  if (!adding_) RequireCurrent();
}

void ClientCursor::Edit(int index, Value value) {
  RequireEditable(index);
  edits_[index] = std::move(value);
}

void ClientCursor::BeginNew() {
  adding_ = true;
  edits_.clear();
}

const ClientCursor::Row& ClientCursor::CurrentRow() const { return rows_[CurrentIndex()]; }

std::size_t ClientCursor::CurrentIndex() const {
  RequireCurrent();
  return visible_[position_];
}

ClientCursor::Row ClientCursor::NewRow() const {
  Row row(fields_.size());
  for (const auto& [index, value] : edits_) row[static_cast<std::size_t>(index)] = value;
  return row;
}

void ClientCursor::ChangesWritten() {
  Row& row = rows_[CurrentIndex()];
  for (auto& [index, value] : edits_) row[static_cast<std::size_t>(index)] = std::move(value);
  edits_.clear();
}

void ClientCursor::ChangesWritten(Row stored) {
  rows_[CurrentIndex()] = std::move(stored);
  edits_.clear();
}

void ClientCursor::NewRowWritten(Row stored) {
  rows_.push_back(std::move(stored));
  visible_.push_back(rows_.size() - 1);
  position_ = visible_.size() - 1;
  had_rows_ = true;
  adding_ = false;
  edits_.clear();
}

void ClientCursor::Clear() {
  Release();
  streaming_ = false;
  edits_.clear();
  adding_ = false;
}

void ClientCursor::RequireCurrent() const {
  if (position_ >= visible_.size()) {
    throw DataError(kErrNoCurrentRow,
                    "Either BOF or EOF is True, or the current record has been deleted. "
                    "Requested operation requires a current record.");
  }
}

}  // namespace msu::data
