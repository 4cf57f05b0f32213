#include "scripted_odbc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/text.h"

namespace msu::testing {

void ScriptedOdbc::Answer(const std::string& prefix, std::vector<Table> results) {
  rules_.push_back({prefix, std::move(results), std::nullopt});
}

void ScriptedOdbc::Fail(const std::string& prefix, Failure failure) {
  rules_.push_back({prefix, {}, std::move(failure)});
}

SQLRETURN ScriptedOdbc::AllocHandle(SQLSMALLINT, SQLHANDLE, SQLHANDLE* output) {
  *output = reinterpret_cast<SQLHANDLE>(static_cast<intptr_t>(next_handle_++));
  live_.insert(*output);
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::FreeHandle(SQLSMALLINT, SQLHANDLE handle) {
  live_.erase(handle);
  cursors_.erase(handle);
  diagnostics_.erase(handle);
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::SetConnectAttr(SQLHDBC, SQLINTEGER attribute, SQLPOINTER value,
                                       SQLINTEGER) {
  if (attribute == SQL_ATTR_LOGIN_TIMEOUT) {
    pending_login_timeout_ = static_cast<long>(reinterpret_cast<intptr_t>(value));
  }
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::DriverConnect(SQLHDBC dbc, const std::string& connection_string) {
  connection_strings.push_back(connection_string);
  login_timeouts.push_back(pending_login_timeout_);
  if (connect_failure_) {
    diagnostics_[dbc] = {*connect_failure_};
    return SQL_ERROR;
  }
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::Disconnect(SQLHDBC) { return SQL_SUCCESS; }

SQLRETURN ScriptedOdbc::GetInfoText(SQLHDBC, SQLUSMALLINT item, std::string* value) {
  if (item != SQL_DBMS_NAME) return SQL_ERROR;
  *value = "Microsoft SQL Server";
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::ExecDirect(SQLHSTMT stmt, const std::string& statement) {
  statements.push_back(statement);
  diagnostics_.erase(stmt);
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
    if (statement.size() < rule->prefix.size() ||
        !EqualsNoCase(statement.substr(0, rule->prefix.size()), rule->prefix)) {
      continue;
    }
    if (rule->failure) {
      diagnostics_[stmt] = {*rule->failure};
      return SQL_ERROR;
    }
    cursors_[stmt] = {rule->results, 0, -1};
    return SQL_SUCCESS;
  }
  diagnostics_[stmt] = {{"42000", 0, "[FreeTDS][SQL Server]Unscripted statement: " + statement}};
  return SQL_ERROR;
}

SQLRETURN ScriptedOdbc::NumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) {
  const Cursor& cursor = cursors_[stmt];
  *columns = cursor.result < cursor.results.size()
                 ? static_cast<SQLSMALLINT>(cursor.results[cursor.result].columns.size())
                 : 0;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::RowCount(SQLHSTMT stmt, SQLLEN* rows) {
  const Cursor& cursor = cursors_[stmt];
  *rows = cursor.result < cursor.results.size() ? cursor.results[cursor.result].rows_affected : -1;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, std::string* name,
                                    SQLSMALLINT* sql_type, SQLULEN* size, SQLSMALLINT* digits,
                                    SQLSMALLINT* nullable) {
  const Cursor& cursor = cursors_[stmt];
  *name = cursor.results.at(cursor.result).columns.at(column - 1);
  *sql_type = SQL_VARCHAR;
  *size = 255;
  *digits = 0;
  *nullable = SQL_NULLABLE;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::ColAttributeText(SQLHSTMT, SQLUSMALLINT, SQLUSMALLINT, std::string* value) {
  *value = "varchar";
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::Fetch(SQLHSTMT stmt) {
  Cursor& cursor = cursors_[stmt];
  if (cursor.result >= cursor.results.size()) return SQL_NO_DATA;
  ++cursor.row;
  return cursor.row < static_cast<long>(cursor.results[cursor.result].rows.size()) ? SQL_SUCCESS
                                                                                   : SQL_NO_DATA;
}

SQLRETURN ScriptedOdbc::GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
  const Cursor& cursor = cursors_[stmt];
  const std::optional<std::string>& value =
      cursor.results.at(cursor.result).rows.at(static_cast<size_t>(cursor.row)).at(column - 1);
  if (!value) {
    *indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  switch (c_type) {
    case SQL_C_SBIGINT:
      *static_cast<SQLBIGINT*>(buffer) = std::strtoll(value->c_str(), nullptr, 10);
      *indicator = sizeof(SQLBIGINT);
      return SQL_SUCCESS;
    case SQL_C_DOUBLE:
      *static_cast<double*>(buffer) = std::strtod(value->c_str(), nullptr);
      *indicator = sizeof(double);
      return SQL_SUCCESS;
    default:
      if (static_cast<SQLLEN>(value->size()) >= length) return SQL_ERROR;
      std::memcpy(buffer, value->c_str(), value->size() + 1);
      *indicator = static_cast<SQLLEN>(value->size());
      return SQL_SUCCESS;
  }
}

SQLRETURN ScriptedOdbc::MoreResults(SQLHSTMT stmt) {
  Cursor& cursor = cursors_[stmt];
  if (cursor.result + 1 >= cursor.results.size()) return SQL_NO_DATA;
  ++cursor.result;
  cursor.row = -1;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::CloseCursor(SQLHSTMT stmt) {
  cursors_.erase(stmt);
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::GetDiagRec(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record,
                                   std::string* state, SQLINTEGER* native, std::string* message) {
  const auto found = diagnostics_.find(handle);
  if (found == diagnostics_.end() || record < 1 ||
      static_cast<size_t>(record) > found->second.size()) {
    return SQL_NO_DATA;
  }
  const Failure& failure = found->second[static_cast<size_t>(record - 1)];
  *state = failure.state;
  *native = static_cast<SQLINTEGER>(failure.native);
  *message = failure.message;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::DataSources(SQLHENV, SQLUSMALLINT direction, std::string* name,
                                    std::string* driver) {
  if (direction == SQL_FETCH_FIRST) source_at_ = 0;
  if (source_at_ >= sources_.size()) return SQL_NO_DATA;
  *name = sources_[source_at_].first;
  *driver = sources_[source_at_].second;
  ++source_at_;
  return SQL_SUCCESS;
}

SQLRETURN ScriptedOdbc::Drivers(SQLHENV, SQLUSMALLINT direction, std::string* name,
                                std::string* attributes) {
  if (direction == SQL_FETCH_FIRST) driver_at_ = 0;
  if (driver_at_ >= drivers_.size()) return SQL_NO_DATA;
  *name = drivers_[driver_at_].first;
  *attributes = drivers_[driver_at_].second;
  ++driver_at_;
  return SQL_SUCCESS;
}

}  // namespace msu::testing
