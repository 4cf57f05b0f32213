#include "data/sqlserver/odbc_types.h"

#include "core/text.h"

namespace msu::sqlserver {

namespace {

constexpr long kLongSize = 2147483647;

long TextSize(SQLULEN column_size) {
  if (column_size == 0 || column_size > static_cast<SQLULEN>(kLongSize)) return kLongSize;
  return static_cast<long>(column_size);
}

}  // namespace

ColumnType ColumnTypeOf(SQLSMALLINT sql_type, SQLULEN column_size, const std::string& type_name) {
  std::string name = LowerCase(Trim(type_name));
  name = name.substr(0, name.find('('));
  if (name == "money" || name == "smallmoney") return {data::kTypeCurrency, 8, SQL_C_CHAR};
  // Drivers that keep the declared type (SQLite's) report fixed-length text as varying.
  if (name == "char" && sql_type == SQL_VARCHAR) sql_type = SQL_CHAR;
  if (name == "nchar" && sql_type == SQL_WVARCHAR) sql_type = SQL_WCHAR;
  switch (sql_type) {
    case SQL_BIT:
      return {data::kTypeBoolean, 2, SQL_C_SBIGINT};
    case SQL_TINYINT:
      return {data::kTypeTinyInt, 1, SQL_C_SBIGINT};
    case SQL_SMALLINT:
      return {data::kTypeSmallInt, 2, SQL_C_SBIGINT};
    case SQL_INTEGER:
      return {data::kTypeInteger, 4, SQL_C_SBIGINT};
    case SQL_BIGINT:
      return {data::kTypeBigInt, 8, SQL_C_SBIGINT};
    case SQL_REAL:
      return {data::kTypeSingle, 4, SQL_C_DOUBLE};
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return {data::kTypeDouble, 8, SQL_C_DOUBLE};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return {data::kTypeNumeric, 19, SQL_C_CHAR};
    case SQL_CHAR:
      return {data::kTypeChar, TextSize(column_size), SQL_C_CHAR};
    case SQL_VARCHAR:
      return {data::kTypeVarChar, TextSize(column_size), SQL_C_CHAR};
    case SQL_LONGVARCHAR:
      return {data::kTypeLongVarChar, kLongSize, SQL_C_CHAR};
    case SQL_WCHAR:
      return {data::kTypeWChar, TextSize(column_size), SQL_C_CHAR};
    case SQL_WVARCHAR:
      return {data::kTypeVarWChar, TextSize(column_size), SQL_C_CHAR};
    case SQL_WLONGVARCHAR:
      return {data::kTypeLongVarWChar, 1073741823, SQL_C_CHAR};
    case SQL_BINARY:
      return {data::kTypeBinary, TextSize(column_size), SQL_C_BINARY};
    case SQL_VARBINARY:
      return {data::kTypeVarBinary, TextSize(column_size), SQL_C_BINARY};
    case SQL_LONGVARBINARY:
      return {data::kTypeLongVarBinary, kLongSize, SQL_C_BINARY};
    case SQL_GUID:
      return {data::kTypeGuid, 16, SQL_C_CHAR};
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return {data::kTypeDBDate, 6, SQL_C_CHAR};
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case -154:  // SQL Server's time(n)
      return {data::kTypeDBTime, 8, SQL_C_CHAR};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return {data::kTypeDBTimeStamp, 16, SQL_C_CHAR};
    default:
      return {data::kTypeVarChar, TextSize(column_size), SQL_C_CHAR};
  }
}

}  // namespace msu::sqlserver
