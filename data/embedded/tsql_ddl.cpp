// The definitions: CREATE TABLE and ALTER TABLE with their columns and constraints, and the
// table rebuild without its primary key.
#include <set>

#include "data/data_access.h"
#include "data/embedded/tsql_forms.h"
#include "data/embedded/type_codes.h"

namespace msu::embedded::tsql {

namespace {

// Maps a collation name of the suite server to SQLite's.
std::string Collation(const Token& name, std::string_view statement) {
  std::string upper = UpperCase(Bare(name));
  if (upper == "NOCASE" || upper == "BINARY" || upper == "RTRIM") return upper;
  if (upper.find("_CI") != std::string::npos) return "NOCASE";
  if (upper.find("_CS") != std::string::npos || upper.find("_BIN") != std::string::npos) {
    return "BINARY";
  }
  Refuse("the collation " + name.text, statement);
}

const std::set<std::string> kColumnKeywords = {
    "CONSTRAINT", "PRIMARY",   "NOT",   "NULL",       "UNIQUE",      "DEFAULT",
    "IDENTITY",   "COLLATE",   "CHECK", "REFERENCES", "FOREIGN",     "ROWGUIDCOL",
    "SPARSE",     "GENERATED", "AS",    "CLUSTERED",  "NONCLUSTERED"};

struct Column {
  std::string sql;
  std::string name;
  bool identity = false;
  bool primary = false;
  std::string seed = "1";
};

// One column definition. An identity column comes back with `identity` set and its SQL
// without the type, IDENTITY and PRIMARY KEY; the caller decides about the key.
Column TranslateColumn(const Tokens& t, bool allow_identity, std::string_view statement) {
  Column column;
  if (t.empty() || !IsName(t[0])) Refuse("this column definition", statement);
  column.name = Bare(t[0]);
  size_t i = 1;
  std::string type;
  while (i < t.size() && t[i].kind != TokenKind::kSymbol &&
         !(t[i].kind == TokenKind::kWord && kColumnKeywords.count(UpperCase(t[i].text)) != 0)) {
    type += (type.empty() ? "" : " ") + Bare(t[i]);
    ++i;
  }
  if (!type.empty() && IsAt(t, i, "(")) {
    size_t close = Matching(t, i);
    if (close >= t.size()) Refuse("unbalanced parentheses", statement);
    type += Join(t, i, close + 1);
    i = close + 1;
  }
  bool has_collation = false;
  Tokens rest;
  for (; i < t.size(); ++i) {
    std::string upper = t[i].kind == TokenKind::kWord ? UpperCase(t[i].text) : std::string();
    if (upper == "CLUSTERED" || upper == "NONCLUSTERED" || upper == "ROWGUIDCOL" ||
        upper == "SPARSE") {
      continue;
    }
    if (upper == "IDENTITY") {
      if (!allow_identity) Refuse("IDENTITY columns here", statement);
      column.identity = true;
      if (IsAt(t, i + 1, "(")) {
        size_t close = Matching(t, i + 1);
        std::vector<Tokens> args = SplitAtCommas(t, i + 2, close);
        if (args.size() != 2 || args[0].size() != 1 || Join(args[1]) != "1") {
          Refuse("IDENTITY other than IDENTITY(seed, 1)", statement);
        }
        column.seed = args[0][0].text;
        i = close;
      }
      continue;
    }
    if (upper == "COLLATE" && i + 1 < t.size()) {
      rest.push_back(t[i]);
      rest.push_back(Word(Collation(t[i + 1], statement)));
      has_collation = true;
      ++i;
      continue;
    }
    if (upper == "PRIMARY" && IsAt(t, i + 1, "KEY")) column.primary = true;
    if (upper == "DEFAULT" && i + 2 < t.size() && t[i + 1].kind == TokenKind::kWord &&
        Is(t[i + 2], "(")) {
      // SQLite takes an expression default only in parentheses.
      size_t close = Matching(t, i + 2);
      rest.push_back(t[i]);
      rest.push_back(Symbol("("));
      for (size_t k = i + 1; k <= close && k < t.size(); ++k) rest.push_back(t[k]);
      rest.push_back(Symbol(")"));
      i = close;
      continue;
    }
    rest.push_back(t[i]);
  }
  if (column.identity) {
    // The key (and the name of its constraint) goes with the type.
    Tokens kept;
    std::string key = "PRIMARY KEY AUTOINCREMENT";
    for (size_t k = 0; k < rest.size(); ++k) {
      if (Is(rest[k], "CONSTRAINT") && k + 3 < rest.size() && Is(rest[k + 2], "PRIMARY") &&
          Is(rest[k + 3], "KEY")) {
        key = "CONSTRAINT " + rest[k + 1].text + " " + key;
        k += 3;
        continue;
      }
      if (Is(rest[k], "PRIMARY") && k + 1 < rest.size() && Is(rest[k + 1], "KEY")) {
        ++k;
        continue;
      }
      kept.push_back(rest[k]);
    }
    column.sql = QuoteIdentifier(column.name) + " INTEGER " + key;
    if (!kept.empty()) column.sql += " " + Join(kept);
    return column;
  }
  column.sql = QuoteIdentifier(column.name);
  if (!type.empty()) {
    // "(max)" is no SQLite size: keep the declared text as a quoted type name.
    bool max = UpperCase(type).find("(MAX)") != std::string::npos;
    column.sql += " " + (max ? QuoteIdentifier(type) : type);
    if (IsTextDeclaration(type) && !has_collation) column.sql += " COLLATE NOCASE";
  }
  if (!rest.empty()) column.sql += " " + Join(rest);
  return column;
}

bool IsTableConstraint(const Tokens& element) {
  return !element.empty() &&
         (Is(element[0], "CONSTRAINT") || Is(element[0], "PRIMARY") || Is(element[0], "UNIQUE") ||
          Is(element[0], "FOREIGN") || Is(element[0], "CHECK"));
}

// A table constraint without the suite server's storage options.
Tokens CleanConstraint(const Tokens& element) {
  Tokens out;
  for (size_t i = 0; i < element.size(); ++i) {
    if (Is(element[i], "CLUSTERED") || Is(element[i], "NONCLUSTERED")) continue;
    if (Is(element[i], "WITH") && IsAt(element, i + 1, "(")) {
      i = Matching(element, i + 1);
      continue;
    }
    if (Is(element[i], "ON") && i + 1 < element.size() && !IsAt(element, i + 1, "DELETE") &&
        !IsAt(element, i + 1, "UPDATE") && !IsAt(element, i + 1, "CONFLICT")) {
      ++i;
      continue;
    }
    out.push_back(element[i]);
  }
  return out;
}

// Columns named by a PRIMARY KEY (...) constraint, or empty.
std::vector<std::string> PrimaryKeyColumns(const Tokens& element) {
  std::vector<std::string> columns;
  for (size_t i = 0; i + 2 < element.size(); ++i) {
    if (!Is(element[i], "PRIMARY") || !Is(element[i + 1], "KEY") || !Is(element[i + 2], "(")) {
      continue;
    }
    size_t close = Matching(element, i + 2);
    for (const Tokens& part : SplitAtCommas(element, i + 3, close)) {
      if (!part.empty()) columns.push_back(Bare(part[0]));
    }
  }
  return columns;
}

}  // namespace

Translation TranslateCreateTable(const Tokens& t, std::string_view statement) {
  size_t name_end = SkipQualifiedName(t, 2, statement);
  if (!IsAt(t, name_end, "(")) Refuse("CREATE TABLE without a column list", statement);
  size_t close = Matching(t, name_end);
  if (close >= t.size()) Refuse("unbalanced parentheses", statement);
  for (size_t i = close + 1; i < t.size(); ++i) {
    // Storage placement of the suite server: ON [PRIMARY], TEXTIMAGE_ON [PRIMARY].
    if ((Is(t[i], "ON") || Is(t[i], "TEXTIMAGE_ON")) && i + 1 < t.size() && IsName(t[i + 1])) {
      ++i;
      continue;
    }
    Refuse("this CREATE TABLE option", statement);
  }
  std::string table_name = Bare(t[name_end - 1]);
  std::vector<Tokens> elements = SplitAtCommas(t, name_end + 1, close);
  std::vector<Column> columns;
  std::vector<Tokens> constraints;
  for (const Tokens& element : elements) {
    if (IsTableConstraint(element)) {
      constraints.push_back(CleanConstraint(element));
    } else {
      columns.push_back(TranslateColumn(element, true, statement));
    }
  }
  Translation tr;
  std::string sql = "CREATE TABLE " + Join(t, 2, name_end) + " (";
  const Column* identity = nullptr;
  for (const Column& c : columns) {
    if (!c.identity) continue;
    if (identity != nullptr) Refuse("two IDENTITY columns", statement);
    identity = &c;
  }
  bool first = true;
  for (const Column& c : columns) {
    sql += (first ? "" : ", ") + c.sql;
    first = false;
  }
  bool identity_keyed = identity != nullptr && identity->primary;
  for (const Tokens& constraint : constraints) {
    std::vector<std::string> key = PrimaryKeyColumns(constraint);
    if (identity != nullptr && key.size() == 1 && EqualsNoCase(key[0], identity->name)) {
      identity_keyed = true;
      continue;
    }
    if (identity != nullptr && !key.empty()) {
      Refuse("an IDENTITY column beside another primary key", statement);
    }
    sql += ", " + Join(constraint);
  }
  if (identity != nullptr && !identity_keyed) {
    Refuse("an IDENTITY column that is not the primary key", statement);
  }
  sql += ")";
  tr.sql = sql;
  if (identity != nullptr && identity->seed != "1") {
    tr.follow_up.push_back("INSERT INTO sqlite_sequence (name, seq) VALUES ('" + table_name +
                           "', " + identity->seed + " - 1)");
  }
  return tr;
}

Translation TranslateAlterTable(const Tokens& t, std::string_view statement) {
  size_t name_end = SkipQualifiedName(t, 2, statement);
  std::string table = Join(t, 2, name_end);
  Translation tr;
  size_t i = name_end;
  if (IsAt(t, i, "ADD")) {
    size_t start = IsAt(t, i + 1, "COLUMN") ? i + 2 : i + 1;
    Tokens def(t.begin() + static_cast<long>(start), t.end());
    if (IsTableConstraint(def)) Refuse("ALTER TABLE ... ADD of a constraint", statement);
    if (SplitAtCommas(def, 0, def.size()).size() > 1) {
      Refuse("ALTER TABLE ... ADD of several columns", statement);
    }
    tr.sql = "ALTER TABLE " + table + " ADD COLUMN " + TranslateColumn(def, false, statement).sql;
    return tr;
  }
  if (IsAt(t, i, "DROP") && IsAt(t, i + 1, "COLUMN") && i + 3 == t.size() && IsName(t[i + 2])) {
    tr.sql = "ALTER TABLE " + table + " DROP COLUMN " + QuoteIdentifier(Bare(t[i + 2]));
    return tr;
  }
  if (IsAt(t, i, "DROP") && IsAt(t, i + 1, "CONSTRAINT") && i + 3 == t.size() && IsName(t[i + 2])) {
    tr.kind = Translation::Kind::kDropConstraint;
    tr.table_name = Bare(t[name_end - 1]);
    tr.name = Bare(t[i + 2]);
    return tr;
  }
  Refuse("this ALTER TABLE form", statement);
}

}  // namespace msu::embedded::tsql

namespace msu::embedded {

using namespace tsql;

std::string TranslateColumnDefinition(std::string_view definition, std::string_view statement) {
  Tokens t = RewriteCommon(Tokenize(definition, statement), statement);
  return TranslateColumn(t, false, statement).sql;
}

std::string CreateTableWithoutPrimaryKey(std::string_view create_sql, std::string_view new_name) {
  Tokens t = Tokenize(create_sql, create_sql);
  size_t open = Find(t, 0, "(");
  size_t close = Matching(t, open);
  std::string sql = "CREATE TABLE " + QuoteIdentifier(new_name) + " (";
  bool first = true;
  for (const Tokens& element : SplitAtCommas(t, open + 1, close)) {
    bool has_key = false;
    for (size_t i = 0; i + 1 < element.size(); ++i) {
      if (Is(element[i], "PRIMARY") && Is(element[i + 1], "KEY")) has_key = true;
    }
    if (IsTableConstraint(element) && has_key) continue;
    Tokens kept;
    for (size_t i = 0; i < element.size(); ++i) {
      if (Is(element[i], "CONSTRAINT") && i + 3 < element.size() && Is(element[i + 2], "PRIMARY")) {
        ++i;
        continue;
      }
      if (Is(element[i], "PRIMARY") && IsAt(element, i + 1, "KEY")) {
        ++i;
        while (IsAt(element, i + 1, "ASC") || IsAt(element, i + 1, "DESC") ||
               IsAt(element, i + 1, "AUTOINCREMENT")) {
          ++i;
        }
        if (IsAt(element, i + 1, "ON") && IsAt(element, i + 2, "CONFLICT")) i += 3;
        continue;
      }
      kept.push_back(element[i]);
    }
    sql += (first ? "" : ", ") + Join(kept);
    first = false;
  }
  return sql + ")" + (close + 1 < t.size() ? " " + Join(t, close + 1) : std::string());
}

std::string PrimaryKeyConstraintName(std::string_view create_sql) {
  Tokens t;
  try {
    t = Tokenize(create_sql, create_sql);
  } catch (const data::DataError&) {
    return std::string();
  }
  for (size_t i = 0; i + 3 < t.size(); ++i) {
    if (Is(t[i], "CONSTRAINT") && IsName(t[i + 1]) && Is(t[i + 2], "PRIMARY") &&
        Is(t[i + 3], "KEY")) {
      return Bare(t[i + 1]);
    }
  }
  return std::string();
}

}  // namespace msu::embedded
