// Field type codes and defined sizes of the embedded server, read from the type a column was
// declared with, or, for an expression without a declared type, from the value it holds.
#pragma once

#include <string_view>

#include "data/value.h"

namespace msu::embedded {

struct TypeInfo {
  int code = 0;
  long size = 0;
};

// Type code and defined size for a declared column type such as "int", "nvarchar(50)",
// "varchar(max)" or "decimal(18,2)" (any case, blanks allowed). A declared type the table does
// not know is read by SQLite's own affinity rules (integer, real, text, blob).
TypeInfo TypeFromDeclaration(std::string_view declared_type);

// Type code and size for a value without a declared type: integers are four-byte integers (or
// eight-byte beyond 32 bits), reals doubles, text variable-length text, bytes long binary, and
// NULL a four-byte integer.
TypeInfo TypeFromValue(const data::Value& value);

// True for the character types (char, varchar, nchar, nvarchar, text, ntext and the like):
// columns of these types compare without regard to case.
bool IsTextDeclaration(std::string_view declared_type);

// True for a declared "bit" column, whose values read as integer 0 or 1.
bool IsBitDeclaration(std::string_view declared_type);

}  // namespace msu::embedded
