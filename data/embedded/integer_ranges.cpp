#include "data/embedded/integer_ranges.h"

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

WrittenRows::WrittenRows(sqlite3* db) : db_(db) { sqlite3_update_hook(db_, &Hook, this); }

WrittenRows::~WrittenRows() {
  if (watching_) sqlite3_update_hook(db_, nullptr, nullptr);
}

void WrittenRows::Hook(void* self, int operation, const char* database, const char* table,
                       sqlite3_int64 rowid) {
  if (operation == SQLITE_DELETE || std::string_view(database) != "main") return;
  auto& written = static_cast<WrittenRows*>(self)->written_;
  const auto [at, added] = written.try_emplace(table, Span{rowid, rowid});
  if (!added) {
    at->second.low = std::min(at->second.low, rowid);
    at->second.high = std::max(at->second.high, rowid);
  }
}

std::string WrittenRows::FirstOverflow() {
  sqlite3_update_hook(db_, nullptr, nullptr);
  watching_ = false;
  for (const auto& [table, span] : written_) {
    struct Column {
      std::string name;
      IntegerRange range;
    };
    std::vector<Column> columns;
    {
      sqlite::Statement info;
      if (info.Prepare(db_, "SELECT name, type FROM pragma_table_info(?1)") != SQLITE_OK) continue;
      sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
      while (sqlite3_step(info.get()) == SQLITE_ROW) {
        const auto text = [&](int c) {
          const unsigned char* value = sqlite3_column_text(info.get(), c);
          return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "");
        };
        if (std::optional<IntegerRange> range = IntegerRangeOf(text(1))) {
          columns.push_back({text(0), *range});
        }
      }
    }
    for (const Column& column : columns) {
      // Ranges are written as integers; a real beyond 64 bits compares as the number it is.
      // Text kept in an integer column is no arithmetic of ours: it is left to the statements
      // that read it.
      const std::string c = QuoteIdentifier(column.name);
      const std::string sql = "SELECT " + c + " FROM main." + QuoteIdentifier(table) +
                              " WHERE rowid BETWEEN ?1 AND ?2 AND typeof(" + c +
                              ") IN ('integer', 'real') AND " + c + " NOT BETWEEN " +
                              std::to_string(column.range.low) + " AND " +
                              std::to_string(column.range.high) + " LIMIT 1";
      sqlite::Statement find;
      if (find.Prepare(db_, sql) != SQLITE_OK) continue;
      sqlite3_bind_int64(find.get(), 1, span.low);
      sqlite3_bind_int64(find.get(), 2, span.high);
      if (sqlite3_step(find.get()) != SQLITE_ROW) continue;
      const unsigned char* value = sqlite3_column_text(find.get(), 0);
      return "Arithmetic overflow error converting expression to data type " + column.range.type +
             ". (table " + table + ", column " + column.name + ", value " +
             (value != nullptr ? reinterpret_cast<const char*>(value) : "") + ")";
    }
  }
  return {};
}

}  // namespace msu::embedded
