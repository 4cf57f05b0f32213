#include "data/embedded/bulk_copy.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "core/text.h"
#include "data/embedded/integer_ranges.h"
#include "data/embedded/tsql_translator.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::embedded {

namespace {

constexpr const char* kSourceSchema = "msu_source";

// The text form the row copy gives a real number (server/value.h): the shortest that reads
// back to the same number.
std::string RealText(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// msu_real_text(x, strict): the row copy's text of the real x. With strict set, a value whose
// text is no number literal (infinite, not a number) fails the statement: the row copy would
// have sent a statement the server refuses.
void RealTextFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  const double value = sqlite3_value_double(argv[0]);
  if (sqlite3_value_int(argv[1]) != 0 && !std::isfinite(value)) {
    sqlite3_result_error(context, "a number without a literal form", -1);
    return;
  }
  const std::string text = RealText(value);
  sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// msu_integer_literal(x): 1 when the row copy's text of the real x reads as an integer
// literal (no point, no exponent), which the server keeps as an integer.
void IntegerLiteralFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  const double value = sqlite3_value_double(argv[0]);
  const std::string text = RealText(value);
  sqlite3_result_int(context, std::isfinite(value) &&
                                  text.find_first_of(".eE") == std::string::npos &&
                                  text.size() < 18);
}

void RefuseFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** /*argv*/) {
  sqlite3_result_error(context, "a value the row copy cannot write as a literal", -1);
}

constexpr const char* kOutsideRange = "msu_in_range: a value outside its column's range";

// True when `value` is a number (or text a number column would store as one) outside low to
// high.
bool Outside(sqlite3_value* value, int64_t low, int64_t high) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_value_int64(value);
      return v < low || v > high;
    }
    case SQLITE_FLOAT: {
      // A long double holds every 64-bit integer exactly.
      const long double v = sqlite3_value_double(value);
      return v < static_cast<long double>(low) || v > static_cast<long double>(high);
    }
    case SQLITE_TEXT: {
      sqlite3_value* copy = sqlite3_value_dup(value);
      if (copy == nullptr) return true;
      const bool number = sqlite3_value_numeric_type(copy) != SQLITE_TEXT;
      const bool outside = number && Outside(copy, low, high);
      sqlite3_value_free(copy);
      return outside;
    }
    default:
      return false;
  }
}

// msu_in_range(x, low, high): x, unless it is a number outside low to high, which fails the
// statement. It tells the copy's values apart as the watch of the written rows would
// (integer_ranges.h), erring only to the side of failing.
void InRangeFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  if (Outside(argv[0], sqlite3_value_int64(argv[1]), sqlite3_value_int64(argv[2]))) {
    sqlite3_result_error(context, kOutsideRange, -1);
    return;
  }
  sqlite3_result_value(context, argv[0]);
}

void RegisterFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(db, "msu_real_text", 2, flags, nullptr, &RealTextFunction, nullptr,
                             nullptr, nullptr);
  sqlite3_create_function_v2(db, "msu_integer_literal", 1, flags, nullptr, &IntegerLiteralFunction,
                             nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "msu_refuse", 1, flags, nullptr, &RefuseFunction, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(db, "msu_in_range", 3, flags, nullptr, &InRangeFunction, nullptr,
                             nullptr, nullptr);
}

// What the copy needs to know of a column of the main database's table: the range of an
// integer type, and whether SQLite stores numbers written to it as it stores them in a number
// column (INTEGER, REAL or NUMERIC affinity: a whole real becomes an integer where the column
// holds integers, and stays as it is otherwise, as the literal the row copy writes would).
struct TargetColumn {
  std::optional<IntegerRange> range;
  bool numeric = false;
};

bool NumericAffinity(std::string declared) {
  declared = UpperCase(declared);
  const auto has = [&](const char* part) { return declared.find(part) != std::string::npos; };
  if (has("INT")) return true;
  if (has("CHAR") || has("CLOB") || has("TEXT") || has("BLOB") || declared.empty()) return false;
  return true;  // REAL, FLOA, DOUB, or NUMERIC
}

std::map<std::string, TargetColumn, std::less<>> ColumnsOf(sqlite3* db, const std::string& table) {
  std::map<std::string, TargetColumn, std::less<>> columns;
  sqlite::Statement info;
  if (info.Prepare(db, "SELECT name, type FROM main.pragma_table_info(?1)") != SQLITE_OK) {
    return columns;
  }
  sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
  while (sqlite3_step(info.get()) == SQLITE_ROW) {
    const unsigned char* name = sqlite3_column_text(info.get(), 0);
    const unsigned char* type = sqlite3_column_text(info.get(), 1);
    if (name == nullptr) continue;
    const std::string declared = type != nullptr ? reinterpret_cast<const char*>(type) : "";
    columns.emplace(UpperCase(reinterpret_cast<const char*>(name)),
                    TargetColumn{IntegerRangeOf(declared), NumericAffinity(declared)});
  }
  return columns;
}

// The value the row copy's literal for column `c` gives, by type code (see FormatValue in
// server/row_copy.h): numbers unquoted, booleans 1 or 0, everything else as quoted text.
std::string ValueExpression(const std::string& c, int type) {
  switch (type) {
    case data::kTypeChar:
    case data::kTypeWChar:
    case data::kTypeVarChar:
    case data::kTypeLongVarChar:
    case data::kTypeVarWChar:
    case data::kTypeLongVarWChar:
      // A character column keeps text as text (SQLite turns any number written into it into
      // text): its values read back as the literal would give them, with nothing to convert.
      return c;
    case data::kTypeInteger:
    case data::kTypeSingle:
    case data::kTypeDouble:
    case data::kTypeCurrency:
      return "CASE typeof(" + c + ") WHEN 'integer' THEN " + c + " WHEN 'null' THEN NULL" +
             " WHEN 'real' THEN CASE WHEN msu_integer_literal(" + c + ") THEN CAST(" + c +
             " AS INTEGER) ELSE CAST(msu_real_text(" + c + ", 1) AS REAL) END" +
             " ELSE msu_refuse(" + c + ") END";
    case data::kTypeBoolean:
      return "CASE typeof(" + c + ") WHEN 'null' THEN NULL WHEN 'integer' THEN (" + c +
             " <> 0) WHEN 'real' THEN (" + c + " <> 0.0) WHEN 'text' THEN (UPPER(TRIM(" + c +
             ", ' ' || char(9))) IN ('1', 'T', 'TRUE', 'Y', '-1')) ELSE 0 END";
    default:
      return "CASE typeof(" + c + ") WHEN 'integer' THEN CAST(" + c +
             " AS TEXT) WHEN 'real' THEN msu_real_text(" + c + ", 0) WHEN 'blob' THEN msu_refuse(" +
             c + ") ELSE " + c + " END";
  }
}

// Attaches the source for the life of the object.
class AttachedSource {
 public:
  AttachedSource(SqliteDatabase& db, const std::string& path, const std::string& statement)
      : db_(db) {
    db_.Run("ATTACH DATABASE " + SqlLiteral(path) + " AS " + kSourceSchema, statement);
  }
  ~AttachedSource() {
    sqlite3_exec(db_.handle(), (std::string("DETACH DATABASE ") + kSourceSchema).c_str(), nullptr,
                 nullptr, nullptr);
  }
  AttachedSource(const AttachedSource&) = delete;
  AttachedSource& operator=(const AttachedSource&) = delete;

 private:
  SqliteDatabase& db_;
};

// The copy may take longer than one row's statement may; the connection's time-out comes back
// afterwards.
class NoTimeout {
 public:
  explicit NoTimeout(SqliteDatabase& db) : db_(db), seconds_(db.timeout()) { db_.SetTimeout(0); }
  ~NoTimeout() { db_.SetTimeout(seconds_); }
  NoTimeout(const NoTimeout&) = delete;
  NoTimeout& operator=(const NoTimeout&) = delete;

 private:
  SqliteDatabase& db_;
  int seconds_;
};

// The value of `column` after its changes, for a column holding an integer: each change in
// turn, 0 and -1 kept by an offset, old keys replaced by a map.
std::string ChangedInteger(const std::string& c, const std::vector<const ColumnChange*>& changes) {
  std::string value = c;
  for (const ColumnChange* change : changes) {
    if (change->change.new_keys != nullptr) {
      value = "COALESCE((SELECT msu_k.n FROM " + change->key_table +
              " AS msu_k WHERE msu_k.o = " + value + "), " + value + ")";
    } else {
      value = "(CASE WHEN " + value + " IN (0, -1) THEN " + value + " ELSE " + value + " + " +
              std::to_string(change->change.offset) + " END)";
    }
  }
  return value;
}

}  // namespace

std::optional<long> BulkCopy(SqliteDatabase& destination, const std::string& source_path,
                             const std::string& source_statement, const std::string& table,
                             const std::vector<data::FieldInfo>& fields,
                             const std::vector<ColumnChange>& changes) {
  if (fields.empty()) return std::nullopt;
  for (const data::FieldInfo& field : fields) {
    if (field.type == data::kTypeDate) return std::nullopt;
  }
  SingleTableSelect source;
  SingleTableSelect target;
  try {
    const Translation from = TranslateStatement(source_statement);
    const Translation to = TranslateStatement("SELECT * FROM " + table);
    if (from.kind != Translation::Kind::kStatement || to.kind != Translation::Kind::kStatement ||
        !SplitSingleTableSelect(from.sql, &source) || !SplitSingleTableSelect(to.sql, &target) ||
        source.select_list != "*" || source.table.find('.') != std::string::npos ||
        target.table.find('.') != std::string::npos) {
      return std::nullopt;
    }
  } catch (const data::DataError&) {
    return std::nullopt;  // the row copy reports the statement the server refuses
  }

  // Each value of an integer column is checked against the column's range as it is copied,
  // so the rows need not be read again (SqliteDatabase::Write).
  const auto targets = ColumnsOf(destination.handle(), target.table_name);
  std::string columns;
  std::string values;
  std::string checked_values;
  for (const data::FieldInfo& field : fields) {
    const std::string column = "[" + field.name + "]";
    columns += (columns.empty() ? "" : ",") + column;
    std::vector<const ColumnChange*> mine;
    for (const ColumnChange& change : changes) {
      if (EqualsNoCase(change.change.column, field.name)) mine.push_back(&change);
    }
    const std::string c = "msu_s." + column;
    std::string value = ValueExpression(c, field.type);
    // A key moves as an UPDATE of the stored integer would move it; anything else is copied
    // as the row copy writes it.
    if (!mine.empty()) {
      value = "CASE WHEN typeof(" + c + ") = 'integer' THEN " + ChangedInteger(c, mine) + " ELSE " +
              value + " END";
    }
    const auto found = targets.find(UpperCase(field.name));
    const TargetColumn target_column = found != targets.end() ? found->second : TargetColumn{};
    // In a number column, a number of a number field is stored as the row copy's literal of it
    // would be: only other values (text, a number without a literal) take the conversion.
    // The unary plus keeps the column's affinity out of the comparisons, so that text is never
    // taken for a number there. A number outside an integer column's range takes the check.
    const bool number_field = field.type == data::kTypeInteger || field.type == data::kTypeSingle ||
                              field.type == data::kTypeDouble || field.type == data::kTypeCurrency;
    const bool as_stored = mine.empty() && target_column.numeric;
    std::string checked = value;
    if (target_column.range) {
      const std::string low = std::to_string(target_column.range->low);
      const std::string high = std::to_string(target_column.range->high);
      const auto in_range = [&](const std::string& x) {
        return "msu_in_range(" + x + ", " + low + ", " + high + ")";
      };
      checked = in_range(value);
      const bool moved_by_offsets =
          std::all_of(mine.begin(), mine.end(),
                      [](const ColumnChange* m) { return m->change.new_keys == nullptr; });
      if (as_stored && number_field) {
        checked = "CASE WHEN +" + c + " BETWEEN " + low + " AND " + high + " THEN " + c + " WHEN " +
                  c + " IS NULL THEN NULL ELSE " + checked + " END";
      } else if (!mine.empty() && moved_by_offsets) {
        // A moved key in range is its own check; only the rest asks the function.
        const std::string moved = ChangedInteger(c, mine);
        checked = "CASE WHEN typeof(" + c + ") = 'integer' THEN CASE WHEN " + moved + " BETWEEN " +
                  low + " AND " + high + " THEN " + moved + " ELSE " + in_range(moved) +
                  " END ELSE " + in_range(ValueExpression(c, field.type)) + " END";
      } else if (as_stored && field.type != data::kTypeBoolean) {
        // The text of an integer in range, written to a number column, is stored as that
        // integer.
        checked = "CASE WHEN typeof(" + c + ") = 'integer' AND " + c + " BETWEEN " + low + " AND " +
                  high + " THEN " + c + " ELSE " + checked + " END";
      }
    } else if (as_stored && number_field) {
      checked = "CASE WHEN +" + c + " BETWEEN -1.7976931348623157e308 AND 1.7976931348623157e308" +
                " THEN " + c + " ELSE " + value + " END";
    } else if (as_stored && field.type == data::kTypeBoolean) {
      checked = "CASE WHEN +" + c + " IN (0, 1) THEN " + c + " ELSE " + value + " END";
    } else if (mine.empty() && !number_field && field.type != data::kTypeBoolean && value != c) {
      // A field written as quoted text (a date) keeps its text, whatever the column.
      checked = "CASE WHEN +" + c + " >= '' AND +" + c + " < x'' THEN " + c + " WHEN " + c +
                " IS NULL THEN NULL ELSE " + value + " END";
    }
    values += (values.empty() ? "" : ", ") + value;
    checked_values += (checked_values.empty() ? "" : ", ") + checked;
  }
  const auto insert = [&](const std::string& selected) {
    return "INSERT INTO main." + target.table + " (" + columns + ") SELECT " + selected + " FROM " +
           kSourceSchema + "." + source.table + " AS msu_s" +
           (source.rest.empty() ? "" : " " + source.rest);
  };

  destination.CheckUsable();
  destination.BeforeWrite();
  RegisterFunctions(destination.handle());
  AttachedSource attached(destination, source_path, source_statement);
  NoTimeout no_timeout(destination);
  long rows = 0;
  try {
    destination.Write(
        source_statement, [&] { rows = destination.Run(insert(checked_values), source_statement); },
        true);
  } catch (const data::DataError& error) {
    if (error.description().find(kOutsideRange) == std::string::npos) throw;
    // A value outside its range: the copy runs again unchecked, so that the watch of the
    // written rows names it as any statement's failure would.
    destination.Write(source_statement,
                      [&] { rows = destination.Run(insert(values), source_statement); });
  }
  return rows;
}

}  // namespace msu::embedded
