// The administration operations on a SQL Server, in T-SQL over one ODBC connection to master
// (opened by SqlServerBackend::Connect with the login VESTRA):
//
//   ReadServerProperty  SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))
//   ListDatabases       SELECT name FROM sys.databases ORDER BY database_id
//   ListDatabaseFiles   one row per file from sys.master_files, data file first, with the
//                       columns 1 fileid, 2 groupid, 3 size (8 KB pages), 4 maxsize, 5 growth,
//                       6 type, 7 state, 8 name, 9 filename (the full physical path), the
//                       places sysfiles gives them; a database the server does not have fails
//   ListProcesses       EXEC sp_who: 1 spid, 2 ecid, 3 status, 4 loginame, 5 hostname, 6 blk,
//                       7 dbname, 8 cmd, 9 request_id
//   KillProcess         KILL n
//   AttachDatabase      EXEC sp_attach_single_file_db: only the data file is named; the server
//                       makes a new log file
//   DetachDatabase      EXEC sp_detach_db, statistics refreshed first unless `skip_checks`;
//                       a database in use is refused by the server
// The record of pending attachments is kept on this machine (local_records.h).
// Names and paths travel as N'...' literals with their quotes doubled. Values are read as text;
// NULL reads as empty text. A failing statement throws AdminError kErrAdminOperation with the
// server's message, or kErrServerStopped when the connection to the server is lost; every
// operation after Disconnect throws kErrAdminOperation.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/admin.h"
#include "data/sqlserver/odbc_handles.h"

namespace msu::sqlserver {

class SqlServerAdminConnection : public data::AdminConnection {
 public:
  // `connection` is connected to master; `server` names the server in messages.
  SqlServerAdminConnection(std::shared_ptr<OdbcConnectionHandle> connection, std::string server);

  void Disconnect() override;
  std::string ReadServerProperty() override;
  std::vector<std::string> ListDatabases() override;
  data::ResultTable ListDatabaseFiles(const std::string& database) override;
  data::ResultTable ListProcesses() override;
  void KillProcess(long process) override;
  std::string AttachDatabase(const std::string& name, const std::string& data_file) override;
  std::string DetachDatabase(const std::string& name, bool skip_checks) override;
  void RecordPendingAttachment(const data::PendingAttachment& attachment) override;
  void RemovePendingAttachment(const std::string& name) override;
  std::vector<data::PendingAttachment> PendingAttachments() override;

 private:
  // The first result of `statement` as a table of text, and the server's messages.
  data::ResultTable Query(const std::string& statement, std::string* messages = nullptr);

  std::shared_ptr<OdbcConnectionHandle> connection_;
  std::string server_;
};

// A text as an N'...' literal, quotes doubled.
std::string UnicodeLiteral(const std::string& text);

}  // namespace msu::sqlserver
