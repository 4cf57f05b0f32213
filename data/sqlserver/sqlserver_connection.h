// Data connections to a SQL Server database over ODBC. The connection string is an ODBC one
// (SqlServerBackend::DataConnectionString gives "Driver=FreeTDS;Servername=S;Database=D;..."
// or "DSN=S;Database=D"), with these keys of the utility's own, taken out before the driver
// sees the string:
//   Connect Timeout (or Login Timeout)   seconds Open waits for the server (default 15)
// Without UID in the string, Open logs in with what the backend's Connect remembered for that
// server (the login VESTRA and the server password). Open fails with kErrConnection (a server
// that does not answer within the time-out, a refused login) or kErrProviderNotFound (no such
// driver).
//
// Statements go to the server exactly as given. Execute returns the first result that has
// rows as a forward-only recordset (rows affected -1), or a closed recordset with the rows the
// statement changed. A failing statement throws DataError with the server's message:
// kErrTimeout past the command time-out (SQL_ATTR_QUERY_TIMEOUT, 30 s unless set),
// kErrConnection when the connection is lost (the connection is then closed), kErrStatement
// otherwise; Errors() holds it until the next call that succeeds. BeginTrans, CommitTrans and
// RollbackTrans send BEGIN, COMMIT and ROLLBACK TRANSACTION; closing the connection ends an
// open transaction (the server rolls it back).
//
// Recordsets: a forward recordset streams its rows; the server answers one statement at a time
// on a connection, so when another statement is sent on the same connection first, the rest of
// its rows are read into memory and it goes on from there. Static and optimistic recordsets
// read every row at once. An optimistic recordset on "SELECT ... FROM table [WHERE ...]" writes
// AddNew/Update as INSERT and UPDATE statements on that table: an update finds its row by the
// table's primary key when the recordset holds every key column, otherwise by every original
// value (long text and bytes aside), and fails with "Row cannot be located for updating. ..."
// when no row matches. After an insert the row holds what the server stored (identity keys
// included: OUTPUT INSERTED on SQL Server, the row of last_insert_rowid() on SQLite). Filters are
// those of data/record_filter.h, applied to the rows held. Closing the connection closes its
// recordsets.
//
// Set-based copy (CopyRowsFrom): between two connections of one SQL Server, as
//   INSERT INTO [dest]..t ([c1],...) SELECT [c1],... FROM [source]..t [WHERE ...]
// inside BEGIN TRANSACTION with a savepoint, without a command time-out. A failure rolls the
// transaction back and throws, so that the caller copies row by row. The copy is declined
// (nothing) for other servers or drivers, a statement other than "SELECT * FROM t [WHERE ...]",
// and fields the row copy writes differently from the server's own conversion: bytes (the row
// copy cannot write them) and Unicode text (the row copy's '...' literal is read in the
// server's code page).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "data/connection_string.h"
#include "data/data_access.h"
#include "data/sqlserver/odbc_api.h"

namespace msu::sqlserver {

// The credentials of the logins that succeeded, by server (ServerKey).
class LoginStore {
 public:
  void Remember(const std::string& server_key, const std::string& login,
                const std::string& password);
  // False when no login to that server succeeded.
  bool Find(const std::string& server_key, std::string* login, std::string* password) const;

 private:
  std::map<std::string, std::pair<std::string, std::string>> logins_;
};

// The server a connection string reaches: its DSN, Servername or Server (with Port), in lower
// case.
std::string ServerKey(const data::ConnectionString& connection_string);

// A new, closed connection.
std::unique_ptr<data::Connection> NewSqlServerConnection(std::shared_ptr<OdbcApi> api,
                                                         std::shared_ptr<LoginStore> logins);

}  // namespace msu::sqlserver
