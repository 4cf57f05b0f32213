// Data connections of the embedded server: a database is a SQLite file, and statements arrive
// as T-SQL. The connection string names either an attached database of an instance or a file:
//
//   Provider=Orvane.Embedded;Server=ORVANE;Database=W_O_R_K_A[;Instance Root=/path]
//   Provider=Orvane.Embedded;Data Source=/path/to/file.mdf
//
// Values are quoted as data/connection_string.h reads them ("Data Source={/a;b/c.mdf}").
//
// A connection to an instance's database is a session of that instance (see instance.h). Open
// fails with kErrConnection when the instance does not exist, with "The server NAME is
// stopped." when it is stopped, and with "Cannot open database "DB" requested by the login.
// The login failed." when no such database is attached. Once an administrator kills the
// session, the next statement closes the connection and fails with kErrConnection "The
// connection was ended by the server administrator (process N was killed).".
//
// Every statement commits on its own unless BeginTrans has started a transaction (one at a
// time; CommitTrans or RollbackTrans ends it), and by default a commit returns only once the
// file is safely on disk. A caller that works on a throw-away copy (the working databases of a
// merge) may trade that for speed, with "Synchronous=Off" in the connection string or the property
// SetProperty("Synchronous", 0) (1: normal, 2: full, the default): a crash of the program still
// loses nothing but the statement under way; a crash of the machine may damage the file.
//
// A connection opened with "Mode=Read" in its string, or after SetProperty("Mode", 1), only
// reads: every write is refused, and a file that a dead process left in the middle of a
// transaction is refused rather than rolled back, so the file is never changed.
//
// Keys: an UPDATE is checked against UNIQUE and PRIMARY KEY constraints once the whole
// statement has run, as on the suite server, so that keys can be shifted past each other. A
// shift by a constant ("k = k + n") takes one pass when every new key lies beyond every key of
// the table, two otherwise; other forms park the rows they change first.
// Identity columns ("int IDENTITY(s,1) PRIMARY KEY") are SQLite's "INTEGER PRIMARY KEY
// AUTOINCREMENT": the engine assigns the next key when a row is added without one, an
// optimistic recordset shows it after Update, and keys are never reused.
//
// Set-based copy (Connection::CopyRowsFrom): between two connections of this server the
// source file is attached to the destination connection and the rows go over in one
// INSERT ... SELECT inside a savepoint, each value written as the row copy would write it
// (bulk_copy.h).
//
// Digests (Connection::DigestRows) are computed on SQLite's own values, so a digest of this
// server compares with digests of this server only.
//
// Opening never creates or writes a file: a missing file, an empty file and a file that is not
// a database are refused with kErrConnection. New database files are made by
// CreateDatabaseFile (database_file.h). Statements are translated from T-SQL as described in
// tsql_translator.h; forms the server does not know are refused with kErrStatement.
#pragma once

#include <memory>
#include <string>

#include "data/data_access.h"

namespace msu::embedded {

// A new, closed connection. `instance_root` is used when the connection string names no
// "Instance Root".
std::unique_ptr<data::Connection> NewConnection(const std::string& instance_root);

}  // namespace msu::embedded
