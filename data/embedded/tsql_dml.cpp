// The data statements: UPDATE, DELETE and EXEC, and the single-table SELECT of an updatable
// recordset.
#include <cerrno>
#include <cstdlib>

#include "data/data_access.h"
#include "data/embedded/tsql_forms.h"

namespace msu::embedded::tsql {

namespace {

data::Value Literal(const Tokens& part, std::string_view statement) {
  if (part.size() == 1 && part[0].kind == TokenKind::kString) {
    std::string inner = part[0].text.substr(1, part[0].text.size() - 2);
    std::string text;
    for (size_t k = 0; k < inner.size(); ++k) {
      text += inner[k];
      if (inner[k] == '\'' && k + 1 < inner.size() && inner[k + 1] == '\'') ++k;
    }
    return data::Value::Text(text);
  }
  if (part.size() == 1 && Is(part[0], "NULL")) return data::Value::Null();
  std::string number;
  if (part.size() == 2 && (Is(part[0], "-") || Is(part[0], "+")) &&
      part[1].kind == TokenKind::kNumber) {
    number = (part[0].text == "-" ? "-" : "") + part[1].text;
  } else if (part.size() == 1 && part[0].kind == TokenKind::kNumber) {
    number = part[0].text;
  } else {
    Refuse("procedure arguments other than literals", statement);
  }
  if (number.find_first_of(".eE") == std::string::npos) {
    errno = 0;
    long long integer = std::strtoll(number.c_str(), nullptr, 10);
    if (errno != ERANGE) return data::Value::Integer(integer);
  }
  return data::Value::Real(std::strtod(number.c_str(), nullptr));
}

std::vector<data::Value> Arguments(const Tokens& t, size_t from, std::string_view statement) {
  std::vector<data::Value> values;
  if (from >= t.size()) return values;
  for (const Tokens& part : SplitAtCommas(t, from, t.size())) {
    values.push_back(Literal(part, statement));
  }
  return values;
}

// Splits "T.col", "[T].[col]" or "dbo.T.col" into its names, at dots outside brackets and
// quotes.
std::vector<std::string> ObjectParts(const std::string& text) {
  std::vector<std::string> parts(1);
  char close = 0;
  for (char c : text) {
    if (close != 0) {
      if (c == close) {
        close = 0;
      } else {
        parts.back() += c;
      }
    } else if (c == '[') {
      close = ']';
    } else if (c == '"') {
      close = '"';
    } else if (c == '.') {
      parts.emplace_back();
    } else if (c != ' ') {
      parts.back() += c;
    }
  }
  for (const std::string& part : parts) {
    if (part.empty()) return {};
  }
  return parts;
}

}  // namespace

Translation TranslateUpdate(const Tokens& t, std::string_view statement) {
  Translation tr;
  tr.kind = Translation::Kind::kUpdate;
  size_t table_end = SkipQualifiedName(t, 1, statement);
  if (!IsAt(t, table_end, "SET")) Refuse("UPDATE with an alias or without SET", statement);
  tr.table = Join(t, 1, table_end);
  tr.table_name = Bare(t[table_end - 1]);
  size_t from = FindTop(t, table_end + 1, "FROM");
  size_t where = FindTop(t, table_end + 1, "WHERE");
  size_t set_end = std::min(from, where);
  std::string sql = "UPDATE " + tr.table + " SET ";
  std::vector<Tokens> items = SplitAtCommas(t, table_end + 1, set_end);
  for (size_t k = 0; k < items.size(); ++k) {
    const Tokens& item = items[k];
    size_t eq = FindTop(item, 0, "=");
    if (eq == 0 || eq >= item.size() - 1) Refuse("this SET form", statement);
    size_t name_end = SkipQualifiedName(item, 0, statement);
    if (name_end != eq) Refuse("this SET form", statement);
    tr.targets.push_back(Bare(item[eq - 1]));
    tr.values.push_back(Join(item, eq + 1));
    if (k > 0) sql += ", ";
    sql += QuoteIdentifier(tr.targets.back()) + " = " + tr.values.back();
  }
  if (from < t.size()) {
    size_t from_end = std::min(where, t.size());
    for (size_t i = from + 1; i < from_end; ++i) {
      if (IsName(t[i]) && EqualsNoCase(Bare(t[i]), tr.table_name)) {
        Refuse("UPDATE ... FROM naming the updated table", statement);
      }
    }
    tr.has_from = true;
    sql += " FROM " + Join(t, from + 1, from_end);
  }
  if (where < t.size()) {
    tr.where = Join(t, where + 1);
    sql += " WHERE " + tr.where;
  }
  tr.sql = sql;
  return tr;
}

Translation TranslateDelete(Tokens t, std::string_view statement) {
  if (!IsAt(t, 1, "FROM")) t.insert(t.begin() + 1, Word("FROM"));
  size_t table_end = SkipQualifiedName(t, 2, statement);
  if (FindTop(t, table_end, "FROM") < t.size()) Refuse("DELETE with a second FROM", statement);
  Translation tr;
  tr.sql = Join(t);
  return tr;
}

Translation TranslateExec(const Tokens& t, size_t name_at, std::string_view statement) {
  if (name_at >= t.size() || !IsName(t[name_at])) Refuse("this EXEC form", statement);
  std::string name = Bare(t[name_at]);
  Translation tr;
  if (EqualsNoCase(name, "sp_rename")) {
    std::vector<data::Value> args = Arguments(t, name_at + 1, statement);
    if (args.size() < 2 || args.size() > 3) Refuse("this sp_rename form", statement);
    std::vector<std::string> object = ObjectParts(args[0].AsText());
    std::vector<std::string> target = ObjectParts(args[1].AsText());
    if (object.empty() || target.size() != 1) Refuse("this sp_rename form", statement);
    if (args.size() == 3 && EqualsNoCase(args[2].AsText(), "COLUMN")) {
      if (object.size() < 2) Refuse("sp_rename of a column without its table", statement);
      tr.sql = "ALTER TABLE " + QuoteIdentifier(object[object.size() - 2]) + " RENAME COLUMN " +
               QuoteIdentifier(object.back()) + " TO " + QuoteIdentifier(target[0]);
      return tr;
    }
    if (args.size() == 2 || EqualsNoCase(args[2].AsText(), "OBJECT")) {
      tr.sql = "ALTER TABLE " + QuoteIdentifier(object.back()) + " RENAME TO " +
               QuoteIdentifier(target[0]);
      return tr;
    }
    Refuse("sp_rename of a " + args[2].AsText(), statement);
  }
  if (EqualsNoCase(name, "sp_pkeys")) {
    if (name_at + 1 >= t.size()) Refuse("sp_pkeys without a table", statement);
    const Token& table = t[name_at + 1];
    tr.kind = Translation::Kind::kPrimaryKeys;
    tr.table_name =
        table.kind == TokenKind::kString ? Literal({table}, statement).AsText() : Bare(table);
    return tr;
  }
  tr.kind = Translation::Kind::kProcedure;
  tr.name = name;
  tr.arguments = Arguments(t, name_at + 1, statement);
  return tr;
}

}  // namespace msu::embedded::tsql

namespace msu::embedded {

using namespace tsql;

bool SplitSingleTableSelect(std::string_view sql, SingleTableSelect* out) {
  Tokens t;
  try {
    t = Tokenize(sql, sql);
  } catch (const data::DataError&) {
    return false;
  }
  if (t.empty() || !Is(t[0], "SELECT") || IsAt(t, 1, "DISTINCT") || IsAt(t, 1, "ALL")) {
    return false;
  }
  size_t from = FindTop(t, 1, "FROM");
  if (from + 1 >= t.size() || !IsName(t[from + 1])) return false;
  size_t table_end = from + 2;
  while (IsAt(t, table_end, ".") && table_end + 1 < t.size() && IsName(t[table_end + 1])) {
    table_end += 2;
  }
  if (table_end < t.size() && !IsAt(t, table_end, "WHERE") && !IsAt(t, table_end, "ORDER")) {
    return false;
  }
  int depth = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")")) --depth;
    if (depth != 0 || i == from) continue;
    for (std::string_view word :
         {"FROM", "JOIN", "GROUP", "HAVING", "UNION", "EXCEPT", "INTERSECT", "LIMIT", "WINDOW"}) {
      if (Is(t[i], word)) return false;
    }
    if (i > from && Is(t[i], ",") && i < table_end) return false;
  }
  out->select_list = Join(t, 1, from);
  out->table = Join(t, from + 1, table_end);
  out->table_name = Bare(t[table_end - 1]);
  out->rest = Join(t, table_end);
  return true;
}

}  // namespace msu::embedded
