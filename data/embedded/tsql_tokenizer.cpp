#include "data/embedded/tsql_tokenizer.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "data/data_access.h"
#include "data/embedded/tsql_translator.h"

namespace msu::embedded::tsql {

namespace {

bool IsWordStart(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalpha(u) || c == '_' || c == '#' || u >= 0x80;
}

bool IsWordChar(char c) {
  auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) || c == '_' || c == '#' || c == '$' || c == '@' || u >= 0x80;
}

// Keywords that a parenthesis follows after a blank (everything else before one is a call).
const std::set<std::string> kSpacedKeywords = {
    "SELECT", "FROM",      "WHERE",  "AND",     "OR",       "NOT",     "IN",     "ON",
    "AS",     "VALUES",    "EXISTS", "THEN",    "ELSE",     "WHEN",    "JOIN",   "BY",
    "KEY",    "HAVING",    "UNION",  "ALL",     "DISTINCT", "SET",     "INTO",   "TABLE",
    "CASE",   "IS",        "LIKE",   "BETWEEN", "CHECK",    "DEFAULT", "UNIQUE", "REFERENCES",
    "EXCEPT", "INTERSECT", "WITH",   "RETURN",  "ANY",      "SOME"};

}  // namespace

[[noreturn]] void Refuse(std::string_view what, std::string_view statement) {
  throw data::DataError(data::kErrStatement, "The embedded server does not support " +
                                                 std::string(what) + ": " + std::string(statement));
}

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

size_t Matching(const Tokens& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")") && --depth == 0) return i;
  }
  return t.size();
}

std::string Join(const Tokens& t, size_t from, size_t to) {
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

size_t FindTop(const Tokens& t, size_t from, std::string_view word) {
  int depth = 0;
  for (size_t i = from; i < t.size(); ++i) {
    if (Is(t[i], "(")) ++depth;
    if (Is(t[i], ")")) --depth;
    if (depth == 0 && Is(t[i], word)) return i;
  }
  return t.size();
}

size_t Find(const Tokens& t, size_t from, std::string_view word) {
  for (size_t i = from; i < t.size(); ++i) {
    if (Is(t[i], word)) return i;
  }
  return t.size();
}

size_t SkipQualifiedName(const Tokens& t, size_t i, std::string_view statement) {
  if (i >= t.size() || !IsName(t[i])) Refuse("this statement form", statement);
  ++i;
  while (IsAt(t, i, ".") && i + 1 < t.size() && IsName(t[i + 1])) i += 2;
  return i;
}

}  // namespace msu::embedded::tsql

namespace msu::embedded {

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace msu::embedded
