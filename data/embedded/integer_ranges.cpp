#include "data/embedded/integer_ranges.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/text.h"
#include "data/embedded/tsql_translator.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::embedded {

std::optional<IntegerRange> IntegerRangeOf(std::string_view declared) {
  std::string type = UpperCase(Trim(declared));
  if (const size_t stop = type.find_first_of(" ("); stop != std::string::npos) {
    type.resize(stop);
  }
  if (type == "TINYINT") return IntegerRange{"tinyint", 0, 255};
  if (type == "SMALLINT") return IntegerRange{"smallint", -32768, 32767};
  if (type == "INT" || type == "INTEGER") {
    return IntegerRange{"int", std::numeric_limits<int32_t>::min(),
                        std::numeric_limits<int32_t>::max()};
  }
  if (type == "BIGINT") {
    return IntegerRange{"bigint", std::numeric_limits<int64_t>::min(),
                        std::numeric_limits<int64_t>::max()};
  }
  return std::nullopt;
}

bool UpdateMayLeaveRanges(sqlite3* db, const std::string& table,
                          const std::vector<std::string>& columns) {
  if (columns.empty()) return true;
  sqlite::Statement triggers;
  if (triggers.Prepare(db, "SELECT 1 FROM main.sqlite_schema WHERE type = 'trigger' LIMIT 1") !=
          SQLITE_OK ||
      sqlite3_step(triggers.get()) != SQLITE_DONE) {
    return true;
  }
  sqlite::Statement info;
  if (info.Prepare(db, "SELECT name, type FROM main.pragma_table_info(?1)") != SQLITE_OK) {
    return true;
  }
  sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  bool found = false;
  int rc;
  while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
    found = true;
    const auto text = [&](int c) {
      const unsigned char* value = sqlite3_column_text(info.get(), c);
      return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "");
    };
    if (!IntegerRangeOf(text(1))) continue;
    const std::string name = text(0);
    for (const std::string& column : columns) {
      if (EqualsNoCase(column, name)) return true;
    }
  }
  return rc != SQLITE_DONE || !found;
}

WrittenRows::WrittenRows(sqlite3* db) : db_(db) { sqlite3_update_hook(db_, &Hook, this); }

WrittenRows::~WrittenRows() {
  if (watching_) sqlite3_update_hook(db_, nullptr, nullptr);
}

void WrittenRows::Hook(void* self, int operation, const char* database, const char* table,
                       sqlite3_int64 rowid) {
  if (operation == SQLITE_DELETE || std::string_view(database) != "main") return;
  auto& all = static_cast<WrittenRows*>(self)->written_;
  const auto [at, added] = all.try_emplace(table);
  Written& written = at->second;
  if (added) {
    written.low = written.high = rowid;
  } else {
    written.low = std::min(written.low, rowid);
    written.high = std::max(written.high, rowid);
  }
  if (!written.listed) return;
  if (written.rowids.size() == kMostRowsListed) {
    written.listed = false;
    std::vector<sqlite3_int64>().swap(written.rowids);
    return;
  }
  written.rowids.push_back(rowid);
}

std::string WrittenRows::FirstOverflow() {
  sqlite3_update_hook(db_, nullptr, nullptr);
  watching_ = false;
  for (auto& [table, written] : written_) {
    if (std::string overflow = FirstOverflowIn(table, written); !overflow.empty()) return overflow;
  }
  return {};
}

std::string WrittenRows::FirstOverflowIn(const std::string& table, Written& written) {
  struct Column {
    std::string name;
    IntegerRange range;
    // True for a value outside the range. Ranges are written as integers; a real beyond 64
    // bits compares as the number it is. Text kept in an integer column is no arithmetic of
    // ours: it is left to the statements that read it.
    std::string outside;
  };
  std::vector<Column> columns;
  {
    sqlite::Statement info;
    if (info.Prepare(db_, "SELECT name, type FROM pragma_table_info(?1)") != SQLITE_OK) return {};
    sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(info.get()) == SQLITE_ROW) {
      const auto text = [&](int c) {
        const unsigned char* value = sqlite3_column_text(info.get(), c);
        return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "");
      };
      if (std::optional<IntegerRange> range = IntegerRangeOf(text(1))) {
        const std::string c = QuoteIdentifier(text(0));
        columns.push_back({text(0), *range,
                           "(typeof(" + c + ") IN ('integer', 'real') AND " + c + " NOT BETWEEN " +
                               std::to_string(range->low) + " AND " + std::to_string(range->high) +
                               ")"});
      }
    }
  }
  if (columns.empty()) return {};
  const std::string from = " FROM main." + QuoteIdentifier(table);
  std::string any;
  for (const Column& column : columns) any += (any.empty() ? "" : " OR ") + column.outside;

  // The rows to read: those listed, in rowid order, or every row of the span.
  std::sort(written.rowids.begin(), written.rowids.end());
  written.rowids.erase(std::unique(written.rowids.begin(), written.rowids.end()),
                       written.rowids.end());
  // The first value of the rows to read that `condition` holds for, as text; nothing when none.
  const auto first = [&](const std::string& select,
                         const std::string& condition) -> std::optional<std::string> {
    sqlite::Statement find;
    const std::string rows = written.listed ? "rowid = ?1" : "rowid BETWEEN ?1 AND ?2";
    if (find.Prepare(db_, "SELECT " + select + from + " WHERE " + rows + " AND (" + condition +
                              ") LIMIT 1") != SQLITE_OK) {
      return std::nullopt;
    }
    const auto found = [&]() -> std::optional<std::string> {
      if (sqlite3_step(find.get()) != SQLITE_ROW) return std::nullopt;
      const unsigned char* value = sqlite3_column_text(find.get(), 0);
      return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "");
    };
    if (!written.listed) {
      sqlite3_bind_int64(find.get(), 1, written.low);
      sqlite3_bind_int64(find.get(), 2, written.high);
      return found();
    }
    for (const sqlite3_int64 rowid : written.rowids) {
      sqlite3_reset(find.get());
      sqlite3_bind_int64(find.get(), 1, rowid);
      if (std::optional<std::string> value = found()) return value;
    }
    return std::nullopt;
  };

  if (!first("1", any)) return {};
  for (const Column& column : columns) {
    if (std::optional<std::string> value = first(QuoteIdentifier(column.name), column.outside)) {
      return "Arithmetic overflow error converting expression to data type " + column.range.type +
             ". (table " + table + ", column " + column.name + ", value " + *value + ")";
    }
  }
  return {};
}

}  // namespace msu::embedded
