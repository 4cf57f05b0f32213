#include "data/embedded/type_codes.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/text.h"
#include "data/data_access.h"

namespace msu::embedded {

namespace {

constexpr long kMaxSize = 2147483647;  // "(max)" and the long types

// The declared type's name, in lower case, and its first size argument (-1 when there is
// none, kMaxSize for "max").
struct Declaration {
  std::string name;
  long size = -1;
};

Declaration Parse(std::string_view declared) {
  Declaration d;
  size_t open = declared.find('(');
  std::string name = LowerCase(Trim(declared.substr(0, open)));
  // "double precision", "national character varying": keep single blanks between the words.
  std::string collapsed;
  for (char c : name) {
    if (c == '"' || c == '[' || c == ']') continue;
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed += ' ';
    } else {
      collapsed += c;
    }
  }
  d.name = collapsed;
  if (open != std::string_view::npos) {
    std::string argument = LowerCase(Trim(declared.substr(open + 1)));
    if (argument.rfind("max", 0) == 0) {
      d.size = kMaxSize;
    } else {
      d.size = std::strtol(argument.c_str(), nullptr, 10);
    }
  }
  return d;
}

struct Entry {
  std::string_view name;
  int code;
  long size;  // 0: the declared size (or `fallback` without one)
  long fallback;
};

// The declared types of the suite server, with their codes and sizes.
constexpr std::array<Entry, 31> kTable = {{
    {"int", data::kTypeInteger, 4, 0},
    {"integer", data::kTypeInteger, 4, 0},
    {"smallint", data::kTypeSmallInt, 2, 0},
    {"tinyint", data::kTypeTinyInt, 1, 0},
    {"bigint", data::kTypeBigInt, 8, 0},
    {"bit", data::kTypeBoolean, 2, 0},
    {"real", data::kTypeDouble, 8, 0},
    {"float", data::kTypeDouble, 8, 0},
    {"double", data::kTypeDouble, 8, 0},
    {"double precision", data::kTypeDouble, 8, 0},
    {"money", data::kTypeCurrency, 8, 0},
    {"smallmoney", data::kTypeCurrency, 8, 0},
    {"decimal", data::kTypeNumeric, 19, 0},
    {"numeric", data::kTypeNumeric, 19, 0},
    {"datetime", data::kTypeDBTimeStamp, 16, 0},
    {"smalldatetime", data::kTypeDBTimeStamp, 16, 0},
    {"datetime2", data::kTypeDBTimeStamp, 16, 0},
    {"date", data::kTypeDBDate, 6, 0},
    {"time", data::kTypeDBTime, 8, 0},
    {"char", data::kTypeChar, 0, 1},
    {"nchar", data::kTypeWChar, 0, 1},
    {"varchar", data::kTypeVarChar, 0, 1},
    {"nvarchar", data::kTypeVarWChar, 0, 1},
    {"text", data::kTypeLongVarChar, kMaxSize, 0},
    {"ntext", data::kTypeLongVarWChar, 1073741823, 0},
    {"uniqueidentifier", data::kTypeGuid, 16, 0},
    {"binary", data::kTypeBinary, 0, 1},
    {"varbinary", data::kTypeVarBinary, 0, 1},
    {"image", data::kTypeLongVarBinary, kMaxSize, 0},
    {"blob", data::kTypeLongVarBinary, kMaxSize, 0},
    {"boolean", data::kTypeBoolean, 2, 0},
}};

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TypeInfo TypeFromDeclaration(std::string_view declared_type) {
  Declaration d = Parse(declared_type);
  for (const Entry& e : kTable) {
    if (e.name != d.name) continue;
    long size = e.size != 0 ? e.size : (d.size > 0 ? d.size : e.fallback);
    // "(max)" turns the variable-length types into their long forms.
    if (d.size == kMaxSize) {
      if (e.code == data::kTypeVarChar) return {data::kTypeLongVarChar, kMaxSize};
      if (e.code == data::kTypeVarWChar) return {data::kTypeLongVarWChar, 1073741823};
      if (e.code == data::kTypeVarBinary) return {data::kTypeLongVarBinary, kMaxSize};
    }
    if (e.code == data::kTypeNumeric && d.size > 0) size = d.size;
    return {e.code, size};
  }
  // Not a type of the suite server: read it the way SQLite gives a column its affinity.
  if (Contains(d.name, "int")) return {data::kTypeInteger, 4};
  if (Contains(d.name, "char") || Contains(d.name, "clob") || Contains(d.name, "text")) {
    return {data::kTypeVarChar, d.size > 0 ? d.size : kMaxSize};
  }
  if (d.name.empty() || Contains(d.name, "blob")) return {data::kTypeLongVarBinary, kMaxSize};
  if (Contains(d.name, "real") || Contains(d.name, "floa") || Contains(d.name, "doub")) {
    return {data::kTypeDouble, 8};
  }
  return {data::kTypeNumeric, 19};
}

TypeInfo TypeFromValue(const data::Value& value) {
  switch (value.kind()) {
    case data::Value::Kind::kInteger: {
      int64_t v = value.AsInteger();
      if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) {
        return {data::kTypeBigInt, 8};
      }
      return {data::kTypeInteger, 4};
    }
    case data::Value::Kind::kReal:
      return {data::kTypeDouble, 8};
    case data::Value::Kind::kText:
      return {data::kTypeVarChar, std::max<long>(1, static_cast<long>(value.AsText().size()))};
    case data::Value::Kind::kBlob:
      return {data::kTypeLongVarBinary, kMaxSize};
    default:
      return {data::kTypeInteger, 4};
  }
}

bool IsTextDeclaration(std::string_view declared_type) {
  int code = TypeFromDeclaration(declared_type).code;
  return code == data::kTypeChar || code == data::kTypeWChar || code == data::kTypeVarChar ||
         code == data::kTypeVarWChar || code == data::kTypeLongVarChar ||
         code == data::kTypeLongVarWChar;
}

bool IsBitDeclaration(std::string_view declared_type) {
  return TypeFromDeclaration(declared_type).code == data::kTypeBoolean;
}

}  // namespace msu::embedded
