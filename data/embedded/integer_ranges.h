// SQL Server's integer types hold only their ranges (tinyint 0 to 255, smallint 16 bits, int
// 32 bits, bigint 64 bits), SQLite's integers any 64-bit value. On the suite server a statement
// whose arithmetic leaves a column's range fails ("Arithmetic overflow error converting
// expression to data type int.") and changes nothing; the embedded server does the same, so that
// the routines meet the failure, and write its lines, where the suite server would stop them.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msu::embedded {

struct IntegerRange {
  std::string type;  // "tinyint", "smallint", "int", "bigint"
  int64_t low = 0;
  int64_t high = 0;
};

// The range of a column whose declared type is `declared` ("int", "INTEGER" as identity
// columns are kept, "smallint", ...); nothing for a type that is no integer type of the suite
// server ("bit" included).
std::optional<IntegerRange> IntegerRangeOf(std::string_view declared);

// False only when an UPDATE of the main database's `table` that sets `columns` (bare names)
// cannot write a value outside a range: none of them has a range and the database has no
// trigger (which could write anything). A table that cannot be read counts as may.
bool UpdateMayLeaveRanges(sqlite3* db, const std::string& table,
                          const std::vector<std::string>& columns);

// Watches the rows written on `db` for its life, through SQLite's update hook (one at a time
// per connection): for each table of the main database, the rowids that an INSERT or UPDATE
// wrote, or, past kMostRowsListed of them, the smallest and largest.
class WrittenRows {
 public:
  explicit WrittenRows(sqlite3* db);
  ~WrittenRows();
  WrittenRows(const WrittenRows&) = delete;
  WrittenRows& operator=(const WrittenRows&) = delete;

  // Beyond this many rows of one table the check reads every row between the first and the last
  // written, in one pass, instead of looking each one up.
  static constexpr size_t kMostRowsListed = 65536;

  // The first watched row whose integer column holds a value outside its type's range (a
  // number beyond 64 bits, which SQLite keeps as a real, included), as the text of the
  // failure: "Arithmetic overflow error converting expression to data type int. (table T,
  // column C, value V)"; empty when every written value fits. The column named is the first,
  // in the table's order, that any watched row breaks, the value that of the first such row.
  // Stops watching first. One read of the watched rows when every value fits.
  std::string FirstOverflow();

 private:
  struct Written {
    sqlite3_int64 low = 0, high = 0;
    std::vector<sqlite3_int64> rowids;  // in the order written; cleared past kMostRowsListed
    bool listed = true;
  };

  static void Hook(void* self, int operation, const char* database, const char* table,
                   sqlite3_int64 rowid);
  std::string FirstOverflowIn(const std::string& table, Written& written);

  sqlite3* db_;
  std::map<std::string, Written> written_;
  bool watching_ = true;
};

}  // namespace msu::embedded
