#include "data/sqlserver/odbc_api.h"

#include <algorithm>
#include <vector>

namespace msu::sqlserver {

namespace {

SQLCHAR* Chars(const std::string& text) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

std::string Text(const std::vector<SQLCHAR>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.data()));
}

// Calls `fill(buffer, capacity, &needed)` again with a larger buffer when the text did not fit.
template <typename Fill>
SQLRETURN FillText(std::string* out, Fill fill) {
  std::vector<SQLCHAR> buffer(512, 0);
  SQLSMALLINT needed = 0;
  SQLRETURN rc = fill(buffer.data(), static_cast<SQLSMALLINT>(buffer.size()), &needed);
  if (SQL_SUCCEEDED(rc) && needed >= static_cast<SQLSMALLINT>(buffer.size())) {
    buffer.assign(static_cast<size_t>(needed) + 1, 0);
    rc = fill(buffer.data(), static_cast<SQLSMALLINT>(buffer.size()), &needed);
  }
  if (SQL_SUCCEEDED(rc)) *out = Text(buffer);
  return rc;
}

class SystemOdbcApi final : public OdbcApi {
 public:
  SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) override {
    return SQLAllocHandle(type, input, output);
  }
  SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) override {
    return SQLFreeHandle(type, handle);
  }
  SQLRETURN SetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                       SQLINTEGER length) override {
    return SQLSetEnvAttr(env, attribute, value, length);
  }
  SQLRETURN SetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER length) override {
    return SQLSetConnectAttr(dbc, attribute, value, length);
  }
  SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& connection_string) override {
    SQLCHAR completed[1024];
    SQLSMALLINT length = 0;
    return SQLDriverConnect(dbc, nullptr, Chars(connection_string), SQL_NTS, completed,
                            sizeof completed, &length, SQL_DRIVER_NOPROMPT);
  }
  SQLRETURN Disconnect(SQLHDBC dbc) override { return SQLDisconnect(dbc); }
  SQLRETURN GetInfoText(SQLHDBC dbc, SQLUSMALLINT item, std::string* value) override {
    return FillText(value, [&](SQLCHAR* buffer, SQLSMALLINT capacity, SQLSMALLINT* needed) {
      return SQLGetInfo(dbc, item, buffer, capacity, needed);
    });
  }
  SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER length) override {
    return SQLSetStmtAttr(stmt, attribute, value, length);
  }
  SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& statement) override {
    return SQLExecDirect(stmt, Chars(statement), static_cast<SQLINTEGER>(statement.size()));
  }
  SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) override {
    return SQLNumResultCols(stmt, columns);
  }
  SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rows) override { return SQLRowCount(stmt, rows); }
  SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, std::string* name,
                        SQLSMALLINT* sql_type, SQLULEN* size, SQLSMALLINT* digits,
                        SQLSMALLINT* nullable) override {
    return FillText(name, [&](SQLCHAR* buffer, SQLSMALLINT capacity, SQLSMALLINT* needed) {
      return SQLDescribeCol(stmt, column, buffer, capacity, needed, sql_type, size, digits,
                            nullable);
    });
  }
  SQLRETURN ColAttributeText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                             std::string* value) override {
    return FillText(value, [&](SQLCHAR* buffer, SQLSMALLINT capacity, SQLSMALLINT* needed) {
      return SQLColAttribute(stmt, column, field, buffer, capacity, needed, nullptr);
    });
  }
  SQLRETURN Fetch(SQLHSTMT stmt) override { return SQLFetch(stmt); }
  SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER buffer,
                    SQLLEN length, SQLLEN* indicator) override {
    return SQLGetData(stmt, column, c_type, buffer, length, indicator);
  }
  SQLRETURN MoreResults(SQLHSTMT stmt) override { return SQLMoreResults(stmt); }
  SQLRETURN CloseCursor(SQLHSTMT stmt) override { return SQLFreeStmt(stmt, SQL_CLOSE); }
  SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string* state,
                       SQLINTEGER* native, std::string* message) override {
    SQLCHAR sqlstate[6] = {0};
    std::vector<SQLCHAR> text(1024, 0);
    SQLSMALLINT needed = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, record, sqlstate, native, text.data(),
                                 static_cast<SQLSMALLINT>(text.size()), &needed);
    if (SQL_SUCCEEDED(rc)) {
      *state = std::string(reinterpret_cast<const char*>(sqlstate));
      *message = Text(text);
    }
    return rc;
  }
  SQLRETURN DataSources(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                        std::string* driver) override {
    SQLCHAR server[SQL_MAX_DSN_LENGTH + 1] = {0};
    std::vector<SQLCHAR> description(512, 0);
    SQLSMALLINT server_length = 0;
    SQLSMALLINT description_length = 0;
    SQLRETURN rc =
        SQLDataSources(env, direction, server, sizeof server, &server_length, description.data(),
                       static_cast<SQLSMALLINT>(description.size()), &description_length);
    if (SQL_SUCCEEDED(rc)) {
      *name = std::string(reinterpret_cast<const char*>(server));
      *driver = Text(description);
    }
    return rc;
  }
  SQLRETURN Drivers(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                    std::string* attributes) override {
    std::vector<SQLCHAR> description(512, 0);
    std::vector<SQLCHAR> pairs(2048, 0);
    SQLSMALLINT description_length = 0;
    SQLSMALLINT pairs_length = 0;
    SQLRETURN rc = SQLDrivers(env, direction, description.data(),
                              static_cast<SQLSMALLINT>(description.size()), &description_length,
                              pairs.data(), static_cast<SQLSMALLINT>(pairs.size()), &pairs_length);
    if (SQL_SUCCEEDED(rc)) {
      *name = Text(description);
      // The attributes are "key=value" texts, each ended by a NUL; they are joined with ";".
      attributes->clear();
      const char* at = reinterpret_cast<const char*>(pairs.data());
      const char* end = at + std::min<size_t>(static_cast<size_t>(pairs_length), pairs.size());
      while (at < end && *at != '\0') {
        std::string pair(at);
        at += pair.size() + 1;
        if (!attributes->empty()) *attributes += ';';
        *attributes += pair;
      }
    }
    return rc;
  }
};

}  // namespace

std::shared_ptr<OdbcApi> SystemOdbc() { return std::make_shared<SystemOdbcApi>(); }

}  // namespace msu::sqlserver
