#include "data/sqlserver/sqlserver_admin.h"

#include "core/text.h"
#include "data/sqlserver/local_records.h"

namespace msu::sqlserver {

namespace {

// Administration statements wait at most this long; attaching a large file takes a while.
constexpr int kAdminTimeoutSeconds = 600;

// The informational messages of a statement that succeeded ("Changed database context ...").
std::string Messages(const OdbcStatement& statement) {
  std::string text;
  for (const Diagnostic& d : statement.Diagnostics()) {
    const std::string line = Describe({d}, "");
    if (line.empty()) continue;
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

}  // namespace

std::string UnicodeLiteral(const std::string& text) {
  std::string literal = "N'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  return literal + "'";
}

SqlServerAdminConnection::SqlServerAdminConnection(std::shared_ptr<OdbcConnectionHandle> connection,
                                                   std::string server)
    : connection_(std::move(connection)), server_(std::move(server)) {}

void SqlServerAdminConnection::Disconnect() { connection_.reset(); }

data::ResultTable SqlServerAdminConnection::Query(const std::string& statement,
                                                  std::string* messages) {
  if (connection_ == nullptr || !connection_->connected()) {
    throw data::AdminError(data::kErrAdminOperation, "The connection to the server is closed.");
  }
  try {
    OdbcStatement stmt(connection_);
    stmt.SetTimeout(kAdminTimeoutSeconds);
    stmt.ExecDirect(statement);
    if (messages != nullptr) *messages = Messages(stmt);
    data::ResultTable table;
    bool have_table = false;
    do {
      const SQLSMALLINT columns = stmt.ResultColumns();
      if (columns <= 0 || have_table) continue;
      std::vector<std::string> names;
      for (SQLUSMALLINT c = 1; c <= columns; ++c) names.push_back(stmt.Describe(c).name);
      table = data::ResultTable(names);
      have_table = true;
      while (stmt.Fetch()) {
        std::vector<std::string> row;
        for (SQLUSMALLINT c = 1; c <= columns; ++c) {
          std::string value;
          stmt.GetText(c, &value);
          row.push_back(std::move(value));
        }
        table.AddRow(std::move(row));
      }
    } while (stmt.MoreResults());
    return table;
  } catch (const data::DataError& error) {
    // A lost connection reads as a stopped server, as when the server stops under the routine.
    throw data::AdminError(
        error.number() == data::kErrConnection ? data::kErrServerStopped : data::kErrAdminOperation,
        error.description());
  }
}

std::string SqlServerAdminConnection::ReadServerProperty() {
  const data::ResultTable table =
      Query("SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128))");
  return table.Rows() > 0 ? table.GetColumnString(1, 1) : std::string();
}

std::vector<std::string> SqlServerAdminConnection::ListDatabases() {
  const data::ResultTable table = Query("SELECT name FROM sys.databases ORDER BY database_id");
  std::vector<std::string> names;
  for (long row = 1; row <= table.Rows(); ++row) names.push_back(table.GetColumnString(row, 1));
  return names;
}

data::ResultTable SqlServerAdminConnection::ListDatabaseFiles(const std::string& database) {
  data::ResultTable table = Query(
      "SELECT file_id AS fileid, data_space_id AS groupid, size, max_size AS maxsize, growth, "
      "CAST(type AS int) AS type, CAST(state AS int) AS state, name, physical_name AS filename "
      "FROM sys.master_files WHERE database_id = DB_ID(" +
      UnicodeLiteral(database) + ") ORDER BY CASE type WHEN 0 THEN 0 ELSE 1 END, file_id");
  if (table.Rows() == 0) {
    throw data::AdminError(
        data::kErrAdminOperation,
        "The database " + database + " does not exist on the server " + server_ + ".");
  }
  return table;
}

data::ResultTable SqlServerAdminConnection::ListProcesses() { return Query("EXEC sp_who"); }

void SqlServerAdminConnection::KillProcess(long process) {
  Query("KILL " + std::to_string(process));
}

std::string SqlServerAdminConnection::AttachDatabase(const std::string& name,
                                                     const std::string& data_file) {
  std::string messages;
  Query("EXEC sp_attach_single_file_db @dbname = " + UnicodeLiteral(name) +
            ", @physname = " + UnicodeLiteral(data_file),
        &messages);
  return messages;
}

std::string SqlServerAdminConnection::DetachDatabase(const std::string& name, bool skip_checks) {
  std::string messages;
  Query("EXEC sp_detach_db @dbname = " + UnicodeLiteral(name) +
            ", @skipchecks = " + (skip_checks ? "N'true'" : "N'false'"),
        &messages);
  return messages;
}

void SqlServerAdminConnection::RecordPendingAttachment(const data::PendingAttachment& attachment) {
  PendingRecordFile::ForServer(server_).Record(attachment);
}

void SqlServerAdminConnection::RemovePendingAttachment(const std::string& name) {
  PendingRecordFile::ForServer(server_).Remove(name);
}

std::vector<data::PendingAttachment> SqlServerAdminConnection::PendingAttachments() {
  return PendingRecordFile::ForServer(server_).Entries();
}

}  // namespace msu::sqlserver
