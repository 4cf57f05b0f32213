// The filter of a recordset: conditions on its fields such as [KindCode] = 'ENG' AND [Seq] = 3,
// matched the way the suite server compares (text without regard to case or trailing blanks,
// numbers by value).
#pragma once

#include <string>
#include <vector>

#include "data/data_access.h"

namespace msu::data {

class RecordFilter {
 public:
  RecordFilter() = default;

  // Reads `expression`: conditions "field op literal" joined by AND, in parentheses or not.
  // A field is a name, bracketed or not, of `fields` (any case); op one of = <> != < > <= >=;
  // a literal a number or a text in single quotes with doubled quotes inside. An empty
  // expression gives the empty filter, which every row passes. Throws
  // DataError(kErrInvalidArgument) naming the expression and what is wrong with it.
  static RecordFilter Parse(const std::string& expression, const std::vector<FieldInfo>& fields);

  bool IsEmpty() const { return conditions_.empty(); }
  // True when the row (values in field order) passes every condition; a NULL passes none.
  bool Matches(const std::vector<Value>& row) const;

 private:
  struct Condition {
    int field = 0;
    std::string op;
    Value literal;
  };
  std::vector<Condition> conditions_;
};

}  // namespace msu::data
