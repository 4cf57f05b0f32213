#include "data/embedded/key_updates.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>

#include "core/text.h"
#include "data/embedded/schema_queries.h"

namespace msu::embedded {

namespace {

// The constant a statement adds to its one key column ("k = k + n", as a key shift is
// written), or nothing for any other form.
std::optional<int64_t> ShiftOf(const Translation& tr) {
  if (tr.targets.size() != 1) return std::nullopt;
  std::string value;
  for (char c : tr.values[0]) {
    if (c != ' ' && c != '[' && c != ']' && c != '"') value += LowerCase(std::string(1, c));
  }
  const std::string column = LowerCase(tr.targets[0]);
  const std::string qualified = LowerCase(tr.table_name) + "." + column;
  std::string rest;
  if (value.rfind(qualified, 0) == 0) {
    rest = value.substr(qualified.size());
  } else if (value.rfind(column, 0) == 0) {
    rest = value.substr(column.size());
  } else {
    return std::nullopt;
  }
  bool negative = false;
  size_t at = 0;
  if (at >= rest.size() || (rest[at] != '+' && rest[at] != '-')) return std::nullopt;
  negative = rest[at++] == '-';
  if (at < rest.size() && (rest[at] == '+' || rest[at] == '-')) {
    negative = negative != (rest[at++] == '-');
  }
  const std::string digits = rest.substr(at);
  if (digits.empty() || digits.size() > 12 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const int64_t amount = std::stoll(digits);
  return negative ? -amount : amount;
}

// A key shift "k = k + n" without parking every row: when every new key lies beyond every
// key of the table, one pass cannot meet a key still to move; otherwise the rows first move
// beyond all keys and then down to their new keys, two passes that cannot meet either. SQLite
// checks each row as it goes, so success means the finished table keeps its keys, as the
// statement-level check requires. Nothing when the statement has another form, or fails (the
// general way then decides, and reports a real collision).
std::optional<long> ShiftKeys(SqliteDatabase& db, const Translation& tr,
                              const std::string& statement) {
  const std::optional<int64_t> shift = ShiftOf(tr);
  if (!shift || *shift == 0) return std::nullopt;
  const std::string column = QuoteIdentifier(tr.targets[0]);
  const std::string where = tr.where.empty() ? "" : " WHERE " + tr.where;
  long rows = 0;
  try {
    const auto moved = IntegerPair(
        db, "SELECT MIN(" + column + "), MAX(" + column + ") FROM " + tr.table + where, statement);
    const auto all = IntegerPair(
        db, "SELECT MIN(" + column + "), MAX(" + column + ") FROM " + tr.table, statement);
    if (!moved || !all) return std::nullopt;
    const int64_t low = moved->first + *shift;
    const int64_t high = moved->second + *shift;
    db.Write(statement, [&] {
      const auto update = [&](int64_t amount, const std::string& condition) {
        return db.Run("UPDATE " + tr.table + " SET " + column + " = " + column + " + (" +
                          std::to_string(amount) + ")" + condition,
                      statement);
      };
      if (*shift > 0 && low > all->second) {
        rows = update(*shift, where);
      } else if (*shift < 0 && high < all->first) {
        rows = update(*shift, where);
      } else if (*shift > 0) {
        const int64_t top = std::max(all->second, high);
        const int64_t park = top - low + 1;
        rows = update(*shift + park, where);
        update(-park, " WHERE " + column + " > " + std::to_string(top));
      } else {
        const int64_t bottom = std::min(all->first, low);
        const int64_t park = high - bottom + 1;
        rows = update(*shift - park, where);
        update(park, " WHERE " + column + " < " + std::to_string(bottom));
      }
    });
  } catch (const data::DataError&) {
    return std::nullopt;
  }
  return rows;
}

}  // namespace

bool SetsUniqueColumn(SqliteDatabase& db, const Translation& tr) {
  std::set<std::string> unique = UniqueColumns(db, tr.table_name);
  for (const std::string& target : tr.targets) {
    if (unique.count(LowerCase(target)) != 0) return true;
  }
  return false;
}

long KeyShiftUpdate(SqliteDatabase& db, const Translation& tr, const std::string& statement) {
  if (std::optional<long> rows = ShiftKeys(db, tr, statement)) return *rows;
  std::set<std::string> unique = UniqueColumns(db, tr.table_name);
  std::string rowid_column = LowerCase(RowidColumn(db, tr.table_name));
  bool moves_rowid = false;
  for (const std::string& target : tr.targets) {
    if (!rowid_column.empty() && LowerCase(target) == rowid_column) moves_rowid = true;
  }
  long rows = 0;
  db.Write(statement, [&] {
    db.Run("DROP TABLE IF EXISTS temp.msu_key_shift", statement);
    std::string columns;
    std::string values;
    std::string assignments;
    for (size_t i = 0; i < tr.targets.size(); ++i) {
      columns += ", v" + std::to_string(i);
      values += ", " + tr.values[i];
      assignments +=
          (i == 0 ? "" : ", ") + QuoteIdentifier(tr.targets[i]) + " = s.v" + std::to_string(i);
    }
    db.Run("CREATE TEMP TABLE msu_key_shift (prid INTEGER PRIMARY KEY, rid INTEGER" + columns + ")",
           statement);
    // Where the rowid is the key, parked rows move below the smallest rowid (mirrored, so
    // that they stay distinct); the temporary table remembers where each row went.
    std::string parked_rowid = "rowid";
    std::string mirror;
    if (moves_rowid) {
      Statement min = db.Prepare("SELECT MIN(rowid) FROM " + tr.table, statement);
      db.Step(min, statement);
      mirror = std::to_string(2 * sqlite3_column_int64(min.get(), 0) - 1);
      parked_rowid = "(" + mirror + " - rowid)";
    }
    db.Run("INSERT INTO temp.msu_key_shift SELECT " + parked_rowid + ", rowid" + values + " FROM " +
               tr.table + (tr.where.empty() ? "" : " WHERE " + tr.where),
           statement);
    rows = static_cast<long>(sqlite3_changes(db.handle()));
    if (rows == 0) return;
    std::string parks;
    for (const std::string& target : tr.targets) {
      std::string name = LowerCase(target);
      if (unique.count(name) == 0) continue;
      std::string column = QuoteIdentifier(target);
      // Bytes never equal a number or a text, so a parked row collides with nothing.
      std::string park =
          name == rowid_column ? mirror + " - " + column : "CAST('msu-park-' || rowid AS BLOB)";
      parks += (parks.empty() ? "" : ", ") + column + " = " + park;
    }
    db.Run("UPDATE " + tr.table + " SET " + parks +
               " WHERE rowid IN (SELECT rid FROM temp.msu_key_shift)",
           statement);
    db.Run("UPDATE " + tr.table + " AS msu_target SET " + assignments +
               " FROM temp.msu_key_shift AS s WHERE msu_target.rowid = s.prid",
           statement);
    db.Run("DROP TABLE temp.msu_key_shift", statement);
  });
  return rows;
}

}  // namespace msu::embedded
