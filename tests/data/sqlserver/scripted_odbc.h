// A stand-in for the ODBC driver manager with a scripted SQL Server behind it: the tests say
// what each statement answers (result tables, rows changed, or a failure with its SQLSTATE,
// native number and message), what connecting answers, which data sources and drivers exist,
// and read back every connection string and statement the backend sent, in order. A
// statement nobody scripted fails with SQLSTATE 42000, so that an unexpected statement shows.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "data/sqlserver/odbc_api.h"

namespace msu::testing {

class ScriptedOdbc : public sqlserver::OdbcApi {
 public:
  struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> rows;
    long rows_affected = -1;  // for a result without columns
  };
  struct Failure {
    std::string state;
    long native = 0;
    std::string message;
  };

  // Statements that start with `prefix` (without regard to case) answer `results` in order;
  // the latest rule that fits wins.
  void Answer(const std::string& prefix, std::vector<Table> results);
  void Fail(const std::string& prefix, Failure failure);
  // Every connect fails with `failure` until ConnectSucceeds().
  void FailConnect(Failure failure) { connect_failure_ = std::move(failure); }
  void ConnectSucceeds() { connect_failure_.reset(); }
  void AddDriver(const std::string& name, const std::string& attributes) {
    drivers_.push_back({name, attributes});
  }
  void AddDataSource(const std::string& name, const std::string& driver) {
    sources_.push_back({name, driver});
  }

  std::vector<std::string> statements;          // sent, in order
  std::vector<std::string> connection_strings;  // given to connect, in order
  std::vector<long> login_timeouts;             // set before each connect
  // Handles allocated and not freed.
  size_t LiveHandles() const { return live_.size(); }

  SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) override;
  SQLRETURN FreeHandle(SQLSMALLINT type, SQLHANDLE handle) override;
  SQLRETURN SetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) override { return SQL_SUCCESS; }
  SQLRETURN SetConnectAttr(SQLHDBC dbc, SQLINTEGER attribute, SQLPOINTER value,
                           SQLINTEGER length) override;
  SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& connection_string) override;
  SQLRETURN Disconnect(SQLHDBC dbc) override;
  SQLRETURN GetInfoText(SQLHDBC dbc, SQLUSMALLINT item, std::string* value) override;
  SQLRETURN SetStmtAttr(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER) override {
    return SQL_SUCCESS;
  }
  SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& statement) override;
  SQLRETURN NumResultCols(SQLHSTMT stmt, SQLSMALLINT* columns) override;
  SQLRETURN RowCount(SQLHSTMT stmt, SQLLEN* rows) override;
  SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT column, std::string* name,
                        SQLSMALLINT* sql_type, SQLULEN* size, SQLSMALLINT* digits,
                        SQLSMALLINT* nullable) override;
  SQLRETURN ColAttributeText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                             std::string* value) override;
  SQLRETURN Fetch(SQLHSTMT stmt) override;
  SQLRETURN GetData(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER buffer,
                    SQLLEN length, SQLLEN* indicator) override;
  SQLRETURN MoreResults(SQLHSTMT stmt) override;
  SQLRETURN CloseCursor(SQLHSTMT stmt) override;
  SQLRETURN GetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, std::string* state,
                       SQLINTEGER* native, std::string* message) override;
  SQLRETURN DataSources(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                        std::string* driver) override;
  SQLRETURN Drivers(SQLHENV env, SQLUSMALLINT direction, std::string* name,
                    std::string* attributes) override;

 private:
  struct Rule {
    std::string prefix;
    std::vector<Table> results;
    std::optional<Failure> failure;
  };
  struct Cursor {
    std::vector<Table> results;
    size_t result = 0;
    long row = -1;
  };

  std::vector<Rule> rules_;
  std::optional<Failure> connect_failure_;
  std::vector<std::pair<std::string, std::string>> drivers_;
  std::vector<std::pair<std::string, std::string>> sources_;
  size_t driver_at_ = 0;
  size_t source_at_ = 0;
  long next_handle_ = 1;
  std::set<SQLHANDLE> live_;
  std::map<SQLHANDLE, std::vector<Failure>> diagnostics_;
  std::map<SQLHANDLE, Cursor> cursors_;
  long pending_login_timeout_ = 0;
};

}  // namespace msu::testing
