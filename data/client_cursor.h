// The client-side cursor of a recordset: the rows it holds in memory, those of them its filter
// lets through (the visible rows), the current one among these, and the changes to the current
// row or to a new one that are not written yet. The cursor runs no statement: its recordset
// reads rows into it and writes the changes it holds.
//
// A forward recordset may stream its statement rather than read it whole. The cursor then
// holds only the current row (a forward cursor never goes back), the recordset hands it each
// next row with Stream, and when it reads the rest at once (Hold, EndStream, ApplyFilter) the
// cursor holds every row from the current one on.
//
// The calls a recordset passes on throw DataError as data::Recordset describes them:
// kErrNoCurrentRow without a current row, kErrNotFound for a field position out of range.
#pragma once

#include <cstddef>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "data/data_access.h"
#include "data/record_filter.h"

namespace msu::data {

class ClientCursor {
 public:
  using Row = std::vector<Value>;

  explicit ClientCursor(CursorChoice choice = CursorChoice::kStatic) : choice_(choice) {}

  CursorChoice choice() const { return choice_; }

  // What a recordset refuses alike: any call once it is closed (kErrClosed unless `open`), and
  // writing, unless its cursor is optimistic and the recordset knows where rows go
  // (kErrNotUpdatable unless `writable`).
  static void RequireOpen(bool open);
  void RequireUpdatable(bool writable) const;

  // Fields, in the order of the values of a row.
  void AddField(FieldInfo field) { fields_.push_back(std::move(field)); }
  const std::vector<FieldInfo>& fields() const { return fields_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  const FieldInfo& Field(int index) const;
  // Position of the field of that name, without regard to case; -1 when there is none.
  int FieldIndex(std::string_view name) const;
  void CheckIndex(int index) const;

  // Adds a row after those held. It counts as visible once ApplyFilter has run.
  void Hold(Row row);
  // Lets go of every row held; there is no current row until rows come again.
  void Release();
  // The visible rows become those held that pass the filter; the first of them is current.
  void ApplyFilter();
  // Sets the filter (empty: none) and applies it to the rows held.
  void SetFilter(RecordFilter filter);

  // Streaming: `row`, the next row of the statement, is held alone as the current row.
  void Stream(Row row);
  // The statement gives no more rows one at a time: they are all held, or there are none.
  void EndStream() { streaming_ = false; }
  bool streaming() const { return streaming_; }

  // End and start of data, as data::Recordset has them, for an open recordset.
  bool IsEOF() const;
  bool IsBOF() const;
  // The number of visible rows; -1 for a forward cursor without a filter, which cannot tell.
  long RecordCount() const;

  // Moves to the next row held and returns true. A streaming cursor returns false instead:
  // its recordset reads the next row, after Release, and hands it over with Stream, or ends
  // with EndStream. Throws kErrNoCurrentRow at the end.
  bool MoveNext();
  // Moves to the first row held and returns true. A forward cursor that has moved on has let
  // go of that row and returns false: its recordset runs its statement again, calling
  // Restart before it hands over the first row with Stream.
  bool MoveFirst();
  // Forgets the rows held and that there were any, and that the cursor has moved.
  void Restart();

  // The value of a field: the change pending for it, NULL in a new row, or else that of the
  // current row.
  const Value& Get(int index) const;

  // Pending changes: the fields set since the last write, and whether they make a new row.
  bool HasPendingChanges() const { return adding_ || !edits_.empty(); }
  bool adding() const { return adding_; }
  const std::map<int, Value>& edits() const { return edits_; }
  // Throws unless a field of that position can be set: one in range, of a new row or of the
  // current one.
  void RequireEditable(int index) const;
  // Sets a field of the current or the new row, to be written later.
  void Edit(int index, Value value);
  // Starts a new row, without changes yet.
  void BeginNew();

  // The current row, and its position among the rows held (for what a recordset keeps beside
  // each row). Both throw kErrNoCurrentRow without one.
  const Row& CurrentRow() const;
  std::size_t CurrentIndex() const;
  // A new row as written by its changes alone: NULL in every field not set.
  Row NewRow() const;
  // The changes of the current row are written: the row takes them on, or becomes `stored`,
  // the row as the database holds it now.
  void ChangesWritten();
  void ChangesWritten(Row stored);
  // The new row is written, as `stored`: it becomes the last visible row and the current one.
  void NewRowWritten(Row stored);

  // Lets go of every row and change, and stops streaming: the recordset is closed.
  void Clear();

 private:
  void RequireCurrent() const;

  CursorChoice choice_;
  std::vector<FieldInfo> fields_;

  std::vector<Row> rows_;
  std::vector<std::size_t> visible_;  // positions in rows_ of the rows the filter lets through
  std::size_t position_ = 0;          // in visible_; at its end there is no current row
  RecordFilter filter_;
  bool filtered_ = false;
  bool had_rows_ = false;  // a forward cursor's start of data: whether the statement gave rows
  bool moved_ = false;     // a forward cursor has moved past its first row
  bool streaming_ = false;

  std::map<int, Value> edits_;  // by field position
  bool adding_ = false;
};

}  // namespace msu::data
