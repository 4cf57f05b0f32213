// One owner for every ODBC handle of the SQL Server backend, and the one place where ODBC
// diagnostics become the error numbers of the utility.
//
// Handles free themselves when their owner ends; a statement keeps its connection handle alive
// and a connection handle its environment, so that they are freed in the order ODBC needs.
//
// Diagnostics map thus (SQLSTATE, or the server's native number):
//   data access (DataErrorFrom)   HYT00, HYT01 -> kErrTimeout; 08xxx, 28000 -> kErrConnection;
//                                 IM002, IM003, IM004 (or unixODBC's "Can't open lib") ->
//                                 kErrProviderNotFound; anything else -> kErrStatement
//   administration, Connect       28000 or native 18456 -> kErrLoginFailed;
//   (LoginErrorFrom)              08xxx, HYT00, HYT01 -> kErrServerStopped;
//                                 IM002, IM003, IM004, "Can't open lib" -> kErrProviderNotFound;
//                                 anything else -> kErrAdminOperation
// The description is the message of the first diagnostic that is no warning, without the
// "[vendor][driver]" prefixes drivers put in front of the server's own text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/admin.h"
#include "data/data_access.h"
#include "data/sqlserver/odbc_api.h"

namespace msu::sqlserver {

struct Diagnostic {
  std::string state;  // SQLSTATE, five characters
  long native = 0;    // the server's own error number
  std::string message;
};

// Every diagnostic record of the handle, in order.
std::vector<Diagnostic> ReadDiagnostics(OdbcApi& api, SQLSMALLINT type, SQLHANDLE handle);

// The description a failure is reported with: see the top of this file. `fallback` when there
// is no diagnostic.
std::string Describe(const std::vector<Diagnostic>& diagnostics, const std::string& fallback);

data::DataError DataErrorFrom(const std::vector<Diagnostic>& diagnostics,
                              const std::string& fallback);
data::AdminError LoginErrorFrom(const std::vector<Diagnostic>& diagnostics,
                                const std::string& fallback);

// The environment of ODBC 3 calls.
class OdbcEnvironment {
 public:
  // Throws data::DataError kErrProviderNotFound when the driver manager gives no environment.
  explicit OdbcEnvironment(std::shared_ptr<OdbcApi> api);
  ~OdbcEnvironment();
  OdbcEnvironment(const OdbcEnvironment&) = delete;
  OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;

  OdbcApi& api() const { return *api_; }
  SQLHENV handle() const { return env_; }

 private:
  std::shared_ptr<OdbcApi> api_;
  SQLHENV env_ = SQL_NULL_HENV;
};

// One connection to a server; disconnected and freed when it ends.
class OdbcConnectionHandle {
 public:
  explicit OdbcConnectionHandle(std::shared_ptr<OdbcEnvironment> environment);
  ~OdbcConnectionHandle();
  OdbcConnectionHandle(const OdbcConnectionHandle&) = delete;
  OdbcConnectionHandle& operator=(const OdbcConnectionHandle&) = delete;

  // Connects without prompting, waiting at most `login_timeout_seconds` for the server. Returns
  // the diagnostics of a failure (empty on success).
  std::vector<Diagnostic> Connect(const std::string& connection_string, int login_timeout_seconds);
  bool connected() const { return connected_; }
  void Disconnect();

  OdbcApi& api() const { return environment_->api(); }
  SQLHDBC handle() const { return dbc_; }

 private:
  std::shared_ptr<OdbcEnvironment> environment_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// A column of a result, as SQLDescribeCol and SQL_DESC_TYPE_NAME give it.
struct ColumnDescription {
  std::string name;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  std::string type_name;
};

// One statement of a connection.
class OdbcStatement {
 public:
  // Throws data::DataError when the connection gives no statement handle.
  explicit OdbcStatement(std::shared_ptr<OdbcConnectionHandle> connection);
  ~OdbcStatement();
  OdbcStatement(const OdbcStatement&) = delete;
  OdbcStatement& operator=(const OdbcStatement&) = delete;

  OdbcApi& api() const { return connection_->api(); }
  SQLHSTMT handle() const { return stmt_; }
  std::vector<Diagnostic> Diagnostics() const {
    return ReadDiagnostics(api(), SQL_HANDLE_STMT, stmt_);
  }
  // Throws DataErrorFrom(the statement's diagnostics) unless `rc` succeeded (or is SQL_NO_DATA
  // when `no_data_is_success`).
  void Check(SQLRETURN rc, const std::string& what, bool no_data_is_success = false) const;

  // Seconds the statement may run; 0 is no limit.
  void SetTimeout(int seconds);
  void ExecDirect(const std::string& statement);
  SQLSMALLINT ResultColumns() const;
  // Column `column` (from 1) of the current result.
  ColumnDescription Describe(SQLUSMALLINT column) const;
  // Rows changed by the current result; -1 when the driver cannot tell.
  long RowCount() const;
  // Moves to the next result; false when there is none.
  bool MoreResults();
  // Fetches the next row; false at the end.
  bool Fetch();
  // The column's value as text (UTF-8); false for NULL.
  bool GetText(SQLUSMALLINT column, std::string* text);
  // Ends the results of the statement; errors are ignored.
  void CloseCursor();

 private:
  std::shared_ptr<OdbcConnectionHandle> connection_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

}  // namespace msu::sqlserver
