// How the fields of an ODBC result are described and read: the numeric type codes of
// data_access.h from ODBC's SQL types (the driver's type name refines it: money and smallmoney
// arrive as decimals but are currency, code 6), the defined sizes the suite server gives them,
// and the C type each value is fetched as:
//   bit, tinyint, smallint, int, bigint   integer          real, float   real number
//   binary, varbinary, image              bytes            anything else text (UTF-8): char
//                                                          and Unicode types, decimal, money,
//                                                          dates and times, GUIDs
#pragma once

#include <string>

#include "data/data_access.h"
#include "data/sqlserver/odbc_api.h"

namespace msu::sqlserver {

struct ColumnType {
  int code = data::kTypeEmpty;
  long size = 0;
  SQLSMALLINT c_type = SQL_C_CHAR;
};

// `sql_type` and `column_size` as SQLDescribeCol gives them; `type_name` as SQL_DESC_TYPE_NAME.
ColumnType ColumnTypeOf(SQLSMALLINT sql_type, SQLULEN column_size, const std::string& type_name);

}  // namespace msu::sqlserver
