#include "data/embedded/tsql_translator.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>

#include "core/text.h"
#include "data/data_access.h"
#include "data/embedded/type_codes.h"

namespace msu::embedded {

namespace {

enum class TokenKind { kWord, kIdentifier, kString, kNumber, kVariable, kSymbol };

struct Token {
  TokenKind kind;
  std::string text;
};

using Tokens = std::vector<Token>;

[[noreturn]] void Refuse(std::string_view what, std::string_view statement) {
  throw data::DataError(data::kErrStatement, "The embedded server does not support " +
                                                 std::string(what) + ": " + std::string(statement));
}

bool IsWordStart(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalpha(u) || c == '_' || c == '#' || u >= 0x80;
}

bool IsWordChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '#' || c == '$' || c == '@' || u >= 0x80;
}

// Splits the text into tokens; blanks and comments only separate them.
Tokens Tokenize(std::string_view s, std::string_view statement) {
  Tokens tokens;
  size_t i = 0;
  auto closing = [&](size_t from, char quote) -> size_t {
    // Index of the closing quote; a doubled quote stands for itself.
    for (size_t j = from; j < s.size(); ++j) {
      if (s[j] != quote) continue;
      if (j + 1 < s.size() && s[j + 1] == quote) {
        ++j;
        continue;
      }
      return j;
    }
    Refuse("an unterminated quote", statement);
  };
  while (i < s.size()) {
    char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      size_t end = s.find("*/", i + 2);
      if (end == std::string_view::npos) Refuse("an unterminated comment", statement);
      i = end + 2;
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'')) {
      size_t start = c == '\'' ? i : i + 1;
      size_t end = closing(start + 1, '\'');
      tokens.push_back({TokenKind::kString, std::string(s.substr(start, end - start + 1))});
      i = end + 1;
    } else if (c == '[') {
      size_t end = closing(i + 1, ']');
      std::string inner(s.substr(i + 1, end - i - 1));
      if (inner.find("]]") != std::string::npos) {
        std::string bare;
        for (size_t k = 0; k < inner.size(); ++k) {
          bare += inner[k];
          if (inner[k] == ']' && k + 1 < inner.size() && inner[k + 1] == ']') ++k;
        }
        tokens.push_back({TokenKind::kIdentifier, QuoteIdentifier(bare)});
      } else {
        tokens.push_back({TokenKind::kIdentifier, "[" + inner + "]"});
      }
      i = end + 1;
    } else if (c == '"' || c == '`') {
      size_t end = closing(i + 1, c);
      tokens.push_back({TokenKind::kIdentifier, std::string(s.substr(i, end - i + 1))});
      i = end + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() &&
                std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        Refuse("binary literals (0x...)", statement);
      }
      size_t start = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
          i = j;
          while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        }
      }
      tokens.push_back({TokenKind::kNumber, std::string(s.substr(start, i - start))});
    } else if (c == '@') {
      size_t start = i++;
      while (i < s.size() && IsWordChar(s[i])) ++i;
      tokens.push_back({TokenKind::kVariable, std::string(s.substr(start, i - start))});
    } else if (IsWordStart(c)) {
      size_t start = i;
      while (i < s.size() && IsWordChar(s[i])) ++i;
      tokens.push_back({TokenKind::kWord, std::string(s.substr(start, i - start))});
    } else {
      static const char* const kPairs[] = {"<>", "!=", "<=", ">=", "||", "!<", "!>", "==",
                                           "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="};
      std::string symbol(1, c);
      for (const char* pair : kPairs) {
        if (s.substr(i, 2) == pair) symbol = pair;
      }
      tokens.push_back({TokenKind::kSymbol, symbol});
      i += symbol.size();
    }
  }
  return tokens;
}

bool Is(const Token& t, std::string_view word) {
  return (t.kind == TokenKind::kWord || t.kind == TokenKind::kSymbol) && EqualsNoCase(t.text, word);
}

bool IsAt(const Tokens& t, size_t i, std::string_view word) {
  return i < t.size() && Is(t[i], word);
}

bool IsName(const Token& t) {
  return t.kind == TokenKind::kWord || t.kind == TokenKind::kIdentifier;
}

// The name a word or quoted identifier stands for.
std::string Bare(const Token& t) {
  if (t.kind != TokenKind::kIdentifier) return t.text;
  std::string inner = t.text.substr(1, t.text.size() - 2);
  if (t.text[0] == '[') return inner;
  std::string bare;
  for (size_t k = 0; k < inner.size(); ++k) {
    bare += inner[k];
    if (inner[k] == t.text[0] && k + 1 < inner.size() && inner[k + 1] == t.text[0]) ++k;
  }
  return bare;
}

// Index of the parenthesis that closes the one at `open`, or t.size().
size_t Matching(const Tokens& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")") && --depth == 0) return i;
  }
  return t.size();
}

// Keywords that a parenthesis follows after a blank (everything else before one is a call).
const std::set<std::string> kSpacedKeywords = {
    "SELECT", "FROM",      "WHERE",  "AND",     "OR",       "NOT",     "IN",     "ON",
    "AS",     "VALUES",    "EXISTS", "THEN",    "ELSE",     "WHEN",    "JOIN",   "BY",
    "KEY",    "HAVING",    "UNION",  "ALL",     "DISTINCT", "SET",     "INTO",   "TABLE",
    "CASE",   "IS",        "LIKE",   "BETWEEN", "CHECK",    "DEFAULT", "UNIQUE", "REFERENCES",
    "EXCEPT", "INTERSECT", "WITH",   "RETURN",  "ANY",      "SOME"};

std::string Join(const Tokens& t, size_t from = 0, size_t to = std::string::npos) {
  std::string out;
  to = std::min(to, t.size());
  for (size_t i = from; i < to; ++i) {
    if (i > from) {
      const Token& prev = t[i - 1];
      const Token& next = t[i];
      bool call = Is(next, "(") && IsName(prev) &&
                  !(prev.kind == TokenKind::kWord && kSpacedKeywords.count(UpperCase(prev.text)));
      bool tight =
          Is(prev, "(") || Is(prev, ".") || Is(next, ")") || Is(next, ",") || Is(next, ".") || call;
      if (!tight) out += ' ';
    }
    out += t[i].text;
  }
  return out;
}

// Parts of `t` between `from` and `to` separated by commas outside parentheses.
std::vector<Tokens> SplitAtCommas(const Tokens& t, size_t from, size_t to) {
  std::vector<Tokens> parts(1);
  int depth = 0;
  for (size_t i = from; i < to; ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")")) --depth;
    if (depth == 0 && Is(t[i], ",")) {
      parts.emplace_back();
    } else {
      parts.back().push_back(t[i]);
    }
  }
  return parts;
}

Token Word(std::string text) { return {TokenKind::kWord, std::move(text)}; }
Token Symbol(std::string text) { return {TokenKind::kSymbol, std::move(text)}; }

const std::set<std::string> kRefusedFunctions = {
    "CONVERT",  "TRY_CONVERT",    "TRY_CAST",  "CHARINDEX", "PATINDEX",      "DATEADD",
    "DATEDIFF", "DATEPART",       "DATENAME",  "NEWID",     "FORMAT",        "LOG",
    "STUFF",    "SCOPE_IDENTITY", "OBJECT_ID", "EOMONTH",   "DATEFROMPARTS", "STR"};
const std::set<std::string> kCastTypes = {"INT",     "INTEGER",  "BIGINT", "SMALLINT", "TINYINT",
                                          "VARCHAR", "NVARCHAR", "CHAR",   "NCHAR",    "TEXT",
                                          "NTEXT",   "REAL",     "FLOAT",  "DECIMAL",  "NUMERIC"};
const std::set<std::string> kTableHints = {"NOLOCK",   "READPAST", "HOLDLOCK",
                                           "UPDLOCK",  "ROWLOCK",  "TABLOCK",
                                           "TABLOCKX", "NOWAIT",   "READUNCOMMITTED"};

// Refusals that hold wherever the form appears.
void CheckForms(const Tokens& t, std::string_view statement) {
  // CREATE INDEX and table constraints carry storage options in WITH (...).
  bool create = !t.empty() && Is(t[0], "CREATE");
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    if (tok.kind == TokenKind::kVariable) Refuse("variables (" + tok.text + ")", statement);
    if (tok.kind == TokenKind::kSymbol && tok.text.size() == 2 && tok.text[1] == '=' &&
        tok.text != "<=" && tok.text != ">=" && tok.text != "!=" && tok.text != "==") {
      Refuse("compound assignment (" + tok.text + ")", statement);
    }
    if (tok.kind != TokenKind::kWord) continue;
    std::string upper = UpperCase(tok.text);
    if (kTableHints.count(upper) != 0) Refuse("table hints (" + tok.text + ")", statement);
    if (upper == "WITH" && IsAt(t, i + 1, "(") && !create)
      Refuse("table hints (WITH (...))", statement);
    if (upper == "OUTPUT") Refuse("OUTPUT clauses", statement);
    // Character classes in LIKE patterns are the suite server's; SQLite would read the
    // brackets as themselves.
    if (upper == "LIKE" && i + 1 < t.size() && t[i + 1].kind == TokenKind::kString &&
        t[i + 1].text.find('[') != std::string::npos) {
      Refuse("LIKE patterns with [ ] character classes", statement);
    }
    if (i > 0 && (upper == "EXEC" || upper == "EXECUTE")) {
      Refuse("EXEC inside a statement", statement);
    }
    if (IsAt(t, i + 1, "(") && kRefusedFunctions.count(upper) != 0) {
      Refuse(upper + "()", statement);
    }
    if (upper == "SELECT") {
      // SELECT ... INTO creates a table on the suite server.
      int depth = 0;
      for (size_t j = i + 1; j < t.size(); ++j) {
        if (Is(t[j], "(")) ++depth;
        if (Is(t[j], ")") && --depth < 0) break;
        if (depth != 0) continue;
        if (Is(t[j], "FROM") || Is(t[j], "UNION") || Is(t[j], "SELECT")) break;
        if (Is(t[j], "INTO")) Refuse("SELECT ... INTO", statement);
      }
    }
  }
}

// Rewrites that apply to every statement: schema prefixes, functions, TOP, concatenation of
// literals.
Tokens RewriteCommon(const Tokens& t, std::string_view statement) {
  Tokens out;
  std::vector<bool> extra_close;                    // per open parenthesis: close LEN's RTRIM too
  std::vector<std::pair<int, std::string>> limits;  // depth of a SELECT with TOP, and n
  int depth = 0;
  auto close_limits = [&](int at_depth) {
    while (!limits.empty() && limits.back().first == at_depth) {
      out.push_back(Word("LIMIT"));
      out.push_back({TokenKind::kNumber, limits.back().second});
      limits.pop_back();
    }
  };
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    std::string upper = tok.kind == TokenKind::kWord ? UpperCase(tok.text) : std::string();
    if (IsName(tok) && EqualsNoCase(Bare(tok), "dbo") && IsAt(t, i + 1, ".")) {
      ++i;
      continue;
    }
    if (Is(tok, "(")) {
      out.push_back(tok);
      extra_close.push_back(false);
      ++depth;
      continue;
    }
    if (Is(tok, ")")) {
      close_limits(depth);
      out.push_back(tok);
      if (!extra_close.empty()) {
        if (extra_close.back()) out.push_back(Symbol(")"));
        extra_close.pop_back();
      }
      --depth;
      continue;
    }
    if (upper == "UNION" || upper == "EXCEPT" || upper == "INTERSECT") {
      if (!limits.empty() && limits.back().first == depth) Refuse("TOP in a UNION", statement);
    }
    if (upper == "TOP") {
      bool after_select = !out.empty() && (Is(out.back(), "SELECT") || Is(out.back(), "DISTINCT") ||
                                           Is(out.back(), "ALL"));
      if (!after_select) Refuse("TOP outside SELECT", statement);
      std::string n;
      size_t next = i + 1;
      if (next < t.size() && t[next].kind == TokenKind::kNumber) {
        n = t[next].text;
        next += 1;
      } else if (IsAt(t, next, "(") && next + 2 < t.size() &&
                 t[next + 1].kind == TokenKind::kNumber && Is(t[next + 2], ")")) {
        n = t[next + 1].text;
        next += 3;
      } else {
        Refuse("TOP without a number", statement);
      }
      if (IsAt(t, next, "PERCENT")) Refuse("TOP ... PERCENT", statement);
      if (IsAt(t, next, "WITH")) Refuse("TOP ... WITH TIES", statement);
      limits.emplace_back(depth, n);
      i = next - 1;
      continue;
    }
    if (IsAt(t, i + 1, "(") && tok.kind == TokenKind::kWord) {
      if (upper == "ISNULL") {
        out.push_back(Word("IFNULL"));
        continue;
      }
      if (upper == "SUBSTRING") {
        out.push_back(Word("SUBSTR"));
        continue;
      }
      if ((upper == "GETDATE" || upper == "GETUTCDATE") && IsAt(t, i + 2, ")")) {
        out.push_back(Word("datetime"));
        out.push_back(Symbol("("));
        out.push_back({TokenKind::kString, "'now'"});
        if (upper == "GETDATE") {
          out.push_back(Symbol(","));
          out.push_back({TokenKind::kString, "'localtime'"});
        }
        out.push_back(Symbol(")"));
        i += 2;
        continue;
      }
      if (upper == "LEN") {
        // LEN ignores trailing blanks.
        out.push_back(Word("LENGTH"));
        out.push_back(Symbol("("));
        out.push_back(Word("RTRIM"));
        out.push_back(Symbol("("));
        extra_close.push_back(true);
        ++depth;
        ++i;
        continue;
      }
      if (upper == "CAST") {
        size_t close = Matching(t, i + 1);
        int inner = 0;
        for (size_t j = i + 1; j < close; ++j) {
          if (Is(t[j], "(")) ++inner;
          if (Is(t[j], ")")) --inner;
          if (inner == 1 && Is(t[j], "AS") && j + 1 < close) {
            std::string type = UpperCase(t[j + 1].text);
            if (kCastTypes.count(type) == 0) Refuse("CAST to " + t[j + 1].text, statement);
          }
        }
      }
    }
    if (Is(tok, "+") && ((!out.empty() && out.back().kind == TokenKind::kString) ||
                         (i + 1 < t.size() && t[i + 1].kind == TokenKind::kString))) {
      bool both = !out.empty() && out.back().kind == TokenKind::kString && i + 1 < t.size() &&
                  t[i + 1].kind == TokenKind::kString;
      if (!both) Refuse("string concatenation with +", statement);
      out.push_back(Symbol("||"));
      continue;
    }
    if (Is(tok, "!<")) {
      out.push_back(Symbol(">="));
      continue;
    }
    if (Is(tok, "!>")) {
      out.push_back(Symbol("<="));
      continue;
    }
    out.push_back(tok);
  }
  close_limits(0);
  if (!limits.empty()) Refuse("unbalanced parentheses", statement);
  return out;
}

// Index of the first word `word` at parenthesis depth 0 at or after `from`, or t.size().
size_t FindTop(const Tokens& t, size_t from, std::string_view word) {
  int depth = 0;
  for (size_t i = from; i < t.size(); ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")")) --depth;
    if (depth == 0 && Is(t[i], word)) return i;
  }
  return t.size();
}

// Index of the first token `word` at or after `from`, or t.size().
size_t Find(const Tokens& t, size_t from, std::string_view word) {
  for (size_t i = from; i < t.size(); ++i) {
    if (Is(t[i], word)) return i;
  }
  return t.size();
}

// A table reference: one name, or names joined by dots. Returns the index after it.
size_t SkipQualifiedName(const Tokens& t, size_t i, std::string_view statement) {
  if (i >= t.size() || !IsName(t[i])) Refuse("this statement form", statement);
  ++i;
  while (IsAt(t, i, ".") && i + 1 < t.size() && IsName(t[i + 1])) i += 2;
  return i;
}

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

const std::set<std::string> kRefusedStatements = {
    "DECLARE",    "SET",     "GO",      "BEGIN",   "COMMIT",  "ROLLBACK",  "SAVE",   "IF",
    "WHILE",      "PRINT",   "USE",     "MERGE",   "PRAGMA",  "ATTACH",    "DETACH", "VACUUM",
    "REPLACE",    "GRANT",   "REVOKE",  "DENY",    "RETURN",  "RAISERROR", "THROW",  "BULK",
    "DBCC",       "BACKUP",  "RESTORE", "KILL",    "WAITFOR", "OPEN",      "CLOSE",  "FETCH",
    "DEALLOCATE", "REINDEX", "ANALYZE", "EXPLAIN", "END",     "TRY",       "CATCH"};

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string TranslateColumnDefinition(std::string_view definition, std::string_view statement) {
  Tokens t = RewriteCommon(Tokenize(definition, statement), statement);
  return TranslateColumn(t, false, statement).sql;
}

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

Translation TranslateStatement(std::string_view statement) {
  Tokens raw = Tokenize(statement, statement);
  while (!raw.empty() && Is(raw.back(), ";")) raw.pop_back();
  if (raw.empty()) Refuse("an empty statement", statement);
  for (const Token& tok : raw) {
    if (Is(tok, ";")) Refuse("several statements in one text", statement);
  }
  int depth = 0;
  for (const Token& tok : raw) {
    if (Is(tok, "(")) ++depth;
    if (Is(tok, ")") && --depth < 0) break;
  }
  if (depth != 0) Refuse("unbalanced parentheses", statement);

  CheckForms(raw, statement);
  Tokens t = RewriteCommon(raw, statement);
  if (t.empty()) Refuse("an empty statement", statement);
  std::string first = t[0].kind == TokenKind::kWord ? UpperCase(t[0].text) : std::string();

  Translation tr;
  if (first == "SELECT" || first == "WITH" || first == "VALUES") {
    tr.sql = Join(t);
    return tr;
  }
  if (first == "INSERT") {
    if (!IsAt(t, 1, "INTO")) t.insert(t.begin() + 1, Word("INTO"));
    tr.sql = Join(t);
    return tr;
  }
  if (first == "UPDATE") return TranslateUpdate(t, statement);
  if (first == "DELETE") return TranslateDelete(t, statement);
  if (first == "TRUNCATE" && IsAt(t, 1, "TABLE")) {
    size_t end = SkipQualifiedName(t, 2, statement);
    if (end != t.size()) Refuse("this TRUNCATE form", statement);
    tr.sql = "DELETE FROM " + Join(t, 2);
    return tr;
  }
  if (first == "EXEC" || first == "EXECUTE") return TranslateExec(t, 1, statement);
  if (first == "CREATE") {
    if (IsAt(t, 1, "TABLE")) return TranslateCreateTable(t, statement);
    size_t k = 1;
    if (IsAt(t, k, "UNIQUE")) ++k;
    if (IsAt(t, k, "CLUSTERED") || IsAt(t, k, "NONCLUSTERED")) {
      t.erase(t.begin() + static_cast<long>(k));
    }
    if (IsAt(t, k, "INDEX")) {
      size_t open = Find(t, k, "(");
      size_t close = open < t.size() ? Matching(t, open) : t.size();
      if (close + 1 < t.size() && !IsAt(t, close + 1, "WHERE")) {
        if (IsAt(t, close + 1, "INCLUDE")) Refuse("CREATE INDEX ... INCLUDE", statement);
        t.resize(close + 1);  // WITH (...) and ON [PRIMARY]: storage options
      }
      tr.sql = Join(t);
      return tr;
    }
    if (IsAt(t, 1, "VIEW")) {
      tr.sql = Join(t);
      return tr;
    }
    Refuse("CREATE " + (t.size() > 1 ? UpperCase(t[1].text) : std::string()), statement);
  }
  if (first == "DROP") {
    if (IsAt(t, 1, "INDEX")) {
      // DROP INDEX t.i and DROP INDEX i ON t both name index i.
      size_t k = IsAt(t, 2, "IF") && IsAt(t, 3, "EXISTS") ? 4 : 2;
      size_t end = SkipQualifiedName(t, k, statement);
      std::string sql = Join(t, 0, k) + " " + QuoteIdentifier(Bare(t[end - 1]));
      if (end != t.size() && !(IsAt(t, end, "ON") && end + 2 == t.size())) {
        Refuse("this DROP INDEX form", statement);
      }
      tr.sql = sql;
      return tr;
    }
    if (IsAt(t, 1, "TABLE") || IsAt(t, 1, "VIEW")) {
      tr.sql = Join(t);
      return tr;
    }
    Refuse("this DROP form", statement);
  }
  if (first == "ALTER" && IsAt(t, 1, "TABLE")) return TranslateAlterTable(t, statement);
  if (kRefusedStatements.count(first) != 0) Refuse(first + " statements", statement);
  if (IsName(t[0]) && first != "ALTER") {
    // A bare procedure name, possibly followed by its arguments.
    for (size_t i = 1; i < t.size(); ++i) {
      bool literal = t[i].kind == TokenKind::kString || t[i].kind == TokenKind::kNumber ||
                     Is(t[i], ",") || Is(t[i], "-") || Is(t[i], "NULL");
      if (!literal) Refuse("this statement form", statement);
    }
    return TranslateExec(t, 0, statement);
  }
  Refuse("this statement form", statement);
}

}  // namespace msu::embedded
