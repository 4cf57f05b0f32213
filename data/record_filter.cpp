#include "data/record_filter.h"

#include <cctype>
#include <cstdlib>

#include "core/text.h"

namespace msu::data {

namespace {

class Parser {
 public:
  Parser(const std::string& expression, const std::vector<FieldInfo>& fields)
      : text_(expression), fields_(fields) {}

  [[noreturn]] void Fail(const std::string& reason) const {
    throw DataError(kErrInvalidArgument,
                    "The filter \"" + text_ + "\" cannot be used: " + reason + ".");
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  bool AtEnd() {
    SkipBlanks();
    return pos_ >= text_.size();
  }

  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool TakeWord(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    if (!EqualsNoCase(std::string_view(text_).substr(pos_, word.size()), word)) return false;
    size_t after = pos_ + word.size();
    if (after < text_.size() &&
        (std::isalnum(static_cast<unsigned char>(text_[after])) || text_[after] == '_')) {
      return false;
    }
    pos_ = after;
    return true;
  }

  // expression := term (AND term)*
  void Expression(std::vector<std::pair<int, std::pair<std::string, Value>>>& out) {
    Term(out);
    while (!AtEnd() && TakeWord("AND")) Term(out);
  }

  void Term(std::vector<std::pair<int, std::pair<std::string, Value>>>& out) {
    if (Take('(')) {
      Expression(out);
      if (!Take(')')) Fail("a parenthesis is not closed");
      return;
    }
    int field = Field();
    std::string op = Operator();
    out.push_back({field, {op, Literal()}});
  }

  int Field() {
    SkipBlanks();
    std::string name;
    if (Take('[')) {
      size_t end = text_.find(']', pos_);
      if (end == std::string::npos) Fail("a bracket is not closed");
      name = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
    } else {
      while (pos_ < text_.size() &&
             (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_' ||
              static_cast<unsigned char>(text_[pos_]) >= 0x80)) {
        name += text_[pos_++];
      }
    }
    if (name.empty()) Fail("a field name is expected at position " + std::to_string(pos_ + 1));
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
    }
    Fail("the recordset has no field " + name);
  }

  std::string Operator() {
    SkipBlanks();
    for (std::string_view op : {"<>", "!=", "<=", ">=", "=", "<", ">"}) {
      if (text_.compare(pos_, op.size(), op) == 0) {
        pos_ += op.size();
        return op == "!=" ? "<>" : std::string(op);
      }
    }
    Fail("a comparison (=, <>, <, >, <=, >=) is expected at position " + std::to_string(pos_ + 1));
  }

  Value Literal() {
    SkipBlanks();
    if (Take('\'')) {
      std::string value;
      while (true) {
        if (pos_ >= text_.size()) Fail("a quote is not closed");
        char c = text_[pos_++];
        if (c == '\'') {
          if (pos_ < text_.size() && text_[pos_] == '\'') {
            value += '\'';
            ++pos_;
            continue;
          }
          break;
        }
        value += c;
      }
      return Value::Text(value);
    }
    const char* start = text_.c_str() + pos_;
    char* end = nullptr;
    double number = std::strtod(start, &end);
    if (end == start)
      Fail("a number or a quoted text is expected at position " + std::to_string(pos_ + 1));
    pos_ += static_cast<size_t>(end - start);
    return Value::Real(number);
  }

 private:
  const std::string& text_;
  const std::vector<FieldInfo>& fields_;
  size_t pos_ = 0;
};

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return LowerCase(text);
}

bool IsNumeric(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  std::strtod(t.c_str(), &end);
  return *end == '\0';
}

bool Holds(int comparison, const std::string& op) {
  if (op == "=") return comparison == 0;
  if (op == "<>") return comparison != 0;
  if (op == "<") return comparison < 0;
  if (op == ">") return comparison > 0;
  if (op == "<=") return comparison <= 0;
  return comparison >= 0;
}

}  // namespace

RecordFilter RecordFilter::Parse(const std::string& expression,
                                 const std::vector<FieldInfo>& fields) {
  RecordFilter filter;
  if (Trim(expression).empty()) return filter;
  Parser parser(expression, fields);
  std::vector<std::pair<int, std::pair<std::string, Value>>> parsed;
  parser.Expression(parsed);
  if (!parser.AtEnd()) parser.Fail("only conditions joined by AND can be used");
  for (auto& [field, rest] : parsed) {
    filter.conditions_.push_back({field, rest.first, rest.second});
  }
  return filter;
}

bool RecordFilter::Matches(const std::vector<Value>& row) const {
  for (const Condition& c : conditions_) {
    const Value& value = row.at(static_cast<size_t>(c.field));
    if (value.IsNull()) return false;
    int comparison = 0;
    if (c.literal.kind() == Value::Kind::kReal) {
      bool numeric = value.kind() == Value::Kind::kInteger || value.kind() == Value::Kind::kReal ||
                     IsNumeric(value.AsText());
      if (!numeric) return false;
      double v = value.AsReal();
      double l = c.literal.AsReal();
      comparison = v < l ? -1 : (v > l ? 1 : 0);
    } else {
      std::string v = RightTrimmed(value.AsText());
      std::string l = RightTrimmed(c.literal.AsText());
      comparison = v.compare(l);
    }
    if (!Holds(comparison, c.op)) return false;
  }
  return true;
}

}  // namespace msu::data
