// The generic row copy of a merge and the next free key of a table: the two small routines the
// table copy runs on the merge's two data connections, A (the source working copy) and B (the
// destination working copy).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/context.h"
#include "data/data_access.h"

namespace msu::merge {

// How CopyRows moves the rows: one INSERT per row, or (where the backend can copy between the
// two connections) one set-based statement, falling back to one INSERT per row when that
// statement fails. Both leave the same rows, count and lines.
enum class RowCopyPath { kSetBased, kRowByRow };

// The literal a value is written as in an INSERT statement, by the field's type code:
//   NULL (any type)                    NULL
//   3, 4, 5, 6 (int, single, double,   the value's text form, unquoted
//   currency)
//   7 (date)                           the text form between single quotes, quotes inside kept
//   11 (boolean)                       1 when true, 0 when false
//   anything else                      the text form between single quotes, quotes doubled
// Text forms are those of data::Value::AsText: plain decimal integers, the shortest text of a
// real that reads back to it (a point as decimal separator), text as stored.
std::string FormatValue(const data::Value& value, int type);

// Copies every row of `table` in A (only those whose Standard is 0 when `non_standard_only`)
// into the table of the same name in B: "SELECT * FROM " + table [+ " WHERE Standard = 0"] on
// A, then per row "INSERT INTO " + table + " ( [f1],[f2]) VALUES (v1,v2)" on B, fields in the
// result's order. Returns the number of rows inserted. On any failure sets LastError (number,
// " - ", description), adds "Error, merge stopped, " + CurrentOperation and "Error is " +
// LastError to the merge page's log and returns 0; rows already inserted stay. `failed` (may
// be null) tells whether it failed; a full disk also halts the run (Context::Halt), since no
// later table could be copied either. Never throws.
// `changes` move integer keys of the copies on the way (data::KeyChange), as UPDATEs of A
// before the copy would have moved them.
int32_t CopyRows(Context& context, data::Connection& source, data::Connection& destination,
                 bool non_standard_only, const std::string& table,
                 RowCopyPath path = RowCopyPath::kSetBased, bool* failed = nullptr,
                 const std::vector<data::KeyChange>& changes = {});

// One more than the largest value of `column` in `table` of B ("SELECT MAX([" + column +
// "]) FROM " + table), read by its leading number and rounded to a 32-bit integer; 1 when the
// table is empty, and 1 without a message on any failure (a missing table or column, a value
// past the 32-bit range).
int32_t NextKeyValue(data::Connection& destination, const std::string& table,
                     const std::string& column);

}  // namespace msu::merge
