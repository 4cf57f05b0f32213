// The tokens of a T-SQL statement and the helpers that walk them, shared by the files of the
// translator (tsql_translator.cpp, tsql_dml.cpp, tsql_ddl.cpp). Internal to the embedded server:
// its interface is tsql_translator.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace msu::embedded::tsql {

enum class TokenKind { kWord, kIdentifier, kString, kNumber, kVariable, kSymbol };

struct Token {
  TokenKind kind;
  std::string text;
};

using Tokens = std::vector<Token>;

// Throws data::DataError(kErrStatement), "The embedded server does not support " + what +
// ": " + statement.
[[noreturn]] void Refuse(std::string_view what, std::string_view statement);

// Splits the text into tokens; blanks and comments only separate them. Quoted identifiers keep
// their quotes, string literals theirs (N'text' becomes 'text'). Refuses an unterminated quote
// or comment and binary literals, quoting `statement`.
Tokens Tokenize(std::string_view s, std::string_view statement);

// True when the token is the word or symbol `word`, without regard to case.
inline bool Is(const Token& t, std::string_view word) {
  return (t.kind == TokenKind::kWord || t.kind == TokenKind::kSymbol) && EqualsNoCase(t.text, word);
}

inline bool IsAt(const Tokens& t, size_t i, std::string_view word) {
  return i < t.size() && Is(t[i], word);
}

inline bool IsName(const Token& t) {
  return t.kind == TokenKind::kWord || t.kind == TokenKind::kIdentifier;
}

// The name a word or quoted identifier stands for.
std::string Bare(const Token& t);

// Index of the parenthesis that closes the one at `open`, or t.size().
size_t Matching(const Tokens& t, size_t open);

// The tokens from `from` up to `to` as SQL text, with a blank between two tokens except where
// the statement reads without one (around dots and parentheses, before commas, calls).
std::string Join(const Tokens& t, size_t from = 0, size_t to = std::string::npos);

// Parts of `t` between `from` and `to` separated by commas outside parentheses.
std::vector<Tokens> SplitAtCommas(const Tokens& t, size_t from, size_t to);

inline Token Word(std::string text) { return {TokenKind::kWord, std::move(text)}; }
inline Token Symbol(std::string text) { return {TokenKind::kSymbol, std::move(text)}; }

// Index of the first word `word` at parenthesis depth 0 at or after `from`, or t.size().
size_t FindTop(const Tokens& t, size_t from, std::string_view word);

// Index of the first token `word` at or after `from`, or t.size().
size_t Find(const Tokens& t, size_t from, std::string_view word);

// A table reference: one name, or names joined by dots. Returns the index after it; refuses
// anything else.
size_t SkipQualifiedName(const Tokens& t, size_t i, std::string_view statement);

}  // namespace msu::embedded::tsql
