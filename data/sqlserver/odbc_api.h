// The handful of ODBC calls the SQL Server backend makes, behind one interface, so that tests
// can stand in for the driver manager and script what the server answers. SystemOdbc() is the
// machine's driver manager (unixODBC on Linux, the system's on Windows); every call returns
// the driver's SQLRETURN unchanged and reads its diagnostics through GetDiagRec.
//
// Texts go in and out as std::string (UTF-8, the client character set the connections ask
// for); the functions that fill buffers in the C interface fill strings here.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>

namespace msu::sqlserver {

class OdbcApi {
 public:
  virtual ~OdbcApi() = default;

  virtual SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) = 0;
  virtual SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) = 0;
  virtual SQLRETURN SetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                               SQLINTEGER length) = 0;
  virtual SQLRETURN SetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                                   SQLINTEGER length) = 0;
  // SQLDriverConnect without a window and never prompting (SQL_DRIVER_NOPROMPT).
  virtual SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& connection_string) = 0;
  virtual SQLRETURN Disconnect(SQLHDBC dbc) = 0;
  // SQLGetInfo of a text item (SQL_DBMS_NAME, say).
  virtual SQLRETURN GetInfoText(SQLHDBC dbc, SQLUSMALLINT item, std::string* value) = 0;
  virtual SQLRETURN SetStmtAttr(SQLHSTMT stmt, SQLINTEGER attribute, SQLPOINTER value,
                                SQLINTEGER length) = 0;
  virtual SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& statement) = 0;
  virtual SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) = 0;
  virtual SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rows) = 0;
  virtual SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, std::string* name,
                                SQLSMALLINT* sql_type, SQLULEN* size, SQLSMALLINT* digits,
                                SQLSMALLINT* nullable) = 0;
  // SQLColAttribute of a text field (SQL_DESC_TYPE_NAME, SQL_DESC_BASE_TABLE_NAME ...).
  virtual SQLRETURN ColAttributeText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                     std::string* value) = 0;
  virtual SQLRETURN Fetch(SQLHSTMT stmt) = 0;
  virtual SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                            SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) = 0;
  virtual SQLRETURN MoreResults(SQLHSTMT stmt) = 0;
  // SQLFreeStmt(SQL_CLOSE): ends the results of the statement, keeps the handle.
  virtual SQLRETURN CloseCursor(SQLHSTMT stmt) = 0;
  virtual SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                               std::string* state, SQLINTEGER* native, std::string* message) = 0;
  // SQLDataSources and SQLDrivers, one entry per call from SQL_FETCH_FIRST on.
  virtual SQLRETURN DataSources(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                                std::string* driver) = 0;
  virtual SQLRETURN Drivers(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                            std::string* attributes) = 0;
};

// The machine's driver manager.
std::shared_ptr<OdbcApi> SystemOdbc();

}  // namespace msu::sqlserver
