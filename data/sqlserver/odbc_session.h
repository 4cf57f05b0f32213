// What an open SQL Server connection shares with its recordsets: the ODBC connection, the
// dialect of the server behind it, its command time-out and error collection, and the one
// forward recordset that may be reading results on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "data/sqlserver/odbc_handles.h"

namespace msu::sqlserver {

enum class Dialect { kSqlServer, kSqlite, kOther };

// A name in square brackets, "]" doubled inside.
std::string Bracketed(const std::string& name);

// A recordset that reads its rows from the connection while it is open.
class StreamingReader {
 public:
  virtual ~StreamingReader() = default;
  // Reads the rest of the rows into memory and lets go of the connection.
  virtual void ReadRest() = 0;
  // The connection closes: let go of the statement at once.
  virtual void ConnectionClosing() = 0;
};

struct OdbcSession {
  std::shared_ptr<OdbcConnectionHandle> connection;
  Dialect dialect = Dialect::kOther;
  std::string database;    // the database connected to (SQL Server only)
  std::string server_key;  // ServerKey of the connection string
  int timeout = 30;
  std::vector<data::ErrorEntry> errors;
  StreamingReader* streaming = nullptr;
  long generation = 0;  // counts the opens: a recordset belongs to one of them

  bool IsOpen() const { return connection != nullptr && connection->connected(); }

  // Throws kErrClosed unless open.
  void RequireOpen() const;
  // Makes the connection free for a new statement.
  void FreeForStatement();
  // A new statement with the command time-out (`timeout_seconds` when not negative), run.
  std::unique_ptr<OdbcStatement> Run(const std::string& statement, int timeout_seconds = -1);
  // Closes the connection (recordsets let go first).
  void Close();

  // A text and a byte string as literals of the dialect.
  std::string TextLiteral(const std::string& text) const;
  std::string BytesLiteral(const std::string& bytes) const;
  // The literal of a value assigned to a field.
  std::string Literal(const data::Value& value) const;
};

}  // namespace msu::sqlserver
