#include "data/embedded/tsql_translator.h"

#include <set>
#include <string>

#include "core/text.h"
#include "data/embedded/tsql_forms.h"

namespace msu::embedded::tsql {

namespace {

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

const std::set<std::string> kRefusedStatements = {
    "DECLARE",    "SET",     "GO",      "BEGIN",   "COMMIT",  "ROLLBACK",  "SAVE",   "IF",
    "WHILE",      "PRINT",   "USE",     "MERGE",   "PRAGMA",  "ATTACH",    "DETACH", "VACUUM",
    "REPLACE",    "GRANT",   "REVOKE",  "DENY",    "RETURN",  "RAISERROR", "THROW",  "BULK",
    "DBCC",       "BACKUP",  "RESTORE", "KILL",    "WAITFOR", "OPEN",      "CLOSE",  "FETCH",
    "DEALLOCATE", "REINDEX", "ANALYZE", "EXPLAIN", "END",     "TRY",       "CATCH"};

}  // namespace

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

}  // namespace msu::embedded::tsql

namespace msu::embedded {

using namespace tsql;

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
