// What the sample generator writes its rows with: numbers drawn from a seed, the same on every
// platform; the date texts of the rows; and one prepared INSERT per table whose columns are set
// by name, so that one generator serves every schema version.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/sqlite/sqlite_handles.h"
#include "suite/schema.h"

namespace msu::suite::sample {

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  uint64_t state_;
};

// A date-time text the suite's server reads back unchanged: "2024-07-01 08:30:00", for the day
// `day_offset` days after 2024-01-01 and `minutes` minutes into it.
std::string DateText(int day_offset, int minutes);

// Inserts rows into one table through one prepared statement. Columns are set by name; a
// column the table lacks in this version (Leader before 4.13, say) is skipped, so that one
// generator serves every version. A name no version knows is a programming error
// (std::logic_error).
class RowWriter {
 public:
  // `all_versions` holds the same table in each version the kit builds (nullptr where a
  // version lacks it): a column found in none of them is unknown.
  RowWriter(sqlite::Database& db, const TableInfo& table,
            std::vector<const TableInfo*> all_versions);

  RowWriter& Int(std::string_view column, int64_t value) {
    if (Slot* slot = Find(column)) *slot = {kInt, value, 0, {}};
    return *this;
  }
  RowWriter& Real(std::string_view column, double value) {
    if (Slot* slot = Find(column)) *slot = {kReal, 0, value, {}};
    return *this;
  }
  RowWriter& Text(std::string_view column, std::string_view value) {
    if (Slot* slot = Find(column)) *slot = {kText, 0, 0, std::string(value)};
    return *this;
  }
  RowWriter& Null(std::string_view column) {
    if (Slot* slot = Find(column)) *slot = {};
    return *this;
  }

  // Writes the row and starts the next one with every column NULL.
  void Insert();

 private:
  enum Kind { kNull, kInt, kReal, kText };
  struct Slot {
    Kind kind = kNull;
    int64_t i = 0;
    double d = 0;
    std::string s;
  };

  Slot* Find(std::string_view column);

  const TableInfo& table_;
  std::vector<const TableInfo*> all_versions_;
  std::unique_ptr<sqlite::Statement> statement_;
  std::vector<Slot> values_;
};

// The row writers of one database of one version, each made when its table is first written,
// and the keys handed out per table. The writers refer to the table lists held here, so the
// object stays where it was made.
class TableWriters {
 public:
  TableWriters(sqlite::Database& db, SchemaVersion version);
  TableWriters(const TableWriters&) = delete;
  TableWriters& operator=(const TableWriters&) = delete;

  // The writer of `table`; a table this version lacks is a programming error
  // (std::logic_error).
  RowWriter& Table(const std::string& table);
  // The next key of `table`: 1, 2, 3 ... in the order asked for.
  long NextKey(const std::string& table) { return ++keys_[table]; }

 private:
  sqlite::Database& db_;
  std::vector<TableInfo> tables_;
  std::vector<std::vector<TableInfo>> all_versions_;
  std::map<std::string, std::unique_ptr<RowWriter>> writers_;
  std::map<std::string, long> keys_;
};

}  // namespace msu::suite::sample
