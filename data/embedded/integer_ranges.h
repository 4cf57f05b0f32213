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

// Watches the rows written on `db` for its life, through SQLite's update hook (one at a time
// per connection): for each table of the main database, the smallest and largest rowid that an
// INSERT or UPDATE wrote.
class WrittenRows {
 public:
  explicit WrittenRows(sqlite3* db);
  ~WrittenRows();
  WrittenRows(const WrittenRows&) = delete;
  WrittenRows& operator=(const WrittenRows&) = delete;

  // The first watched row whose integer column holds a value outside its type's range (a
  // number beyond 64 bits, which SQLite keeps as a real, included), as the text of the
  // failure: "Arithmetic overflow error converting expression to data type int. (table T,
  // column C, value V)"; empty when every written value fits. Stops watching first.
  std::string FirstOverflow();

 private:
  static void Hook(void* self, int operation, const char* database, const char* table,
                   sqlite3_int64 rowid);

  sqlite3* db_;
  struct Span {
    sqlite3_int64 low, high;
  };
  std::map<std::string, Span> written_;
  bool watching_ = true;
};

}  // namespace msu::embedded
