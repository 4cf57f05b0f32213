// The server-administration operations the utility calls: servers, login, databases and their
// files, processes, attach and detach. Table data never goes through here (see
// data_access.h). A failing operation throws AdminError with the number the callers map to
// their messages.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>
#include "core/numbered_error.h"

namespace msu::data {

// Connect fails with kErrServerStopped or kErrLoginFailed when the server is not running or
// refuses the login; any other failure of an administration operation is kErrAdminOperation
// (core/error_numbers.h).

class AdminError : public NumberedError {
 public:
  using NumberedError::NumberedError;
};

// A result table of an administration query. Rows and columns count from 1, as the callers
// read them; values are text, possibly padded with blanks.
class ResultTable {
 public:
  ResultTable() = default;
  explicit ResultTable(std::vector<std::string> column_names)
      : column_names_(std::move(column_names)) {}

  void AddRow(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  long Rows() const { return static_cast<long>(rows_.size()); }
  long Columns() const { return static_cast<long>(column_names_.size()); }
  const std::string& ColumnName(long column) const { return column_names_.at(column - 1); }
  // Throws AdminError when the row or column does not exist.
  std::string GetColumnString(long row, long column) const;
  long GetColumnLong(long row, long column) const;

 private:
  std::vector<std::string> column_names_;
  std::vector<std::vector<std::string>> rows_;
};

// What a run leaves on the server that the next run must set right if it dies first, in the
// server's record (server/pending_attachments.h):
//   - a user's database taken off the server on the way (while its working copy is made): it
//     must be attached again under its own name; the entry lives from just before the detach
//     until it is attached again;
//   - a working database (`working`): the run attached a working copy of its own; the entry
//     lives from just before the attach until it is detached again, and tells the next run
//     that a database of that name and file is a dead run's leftover, to be detached.
struct PendingAttachment {
  std::string name;       // the database's name
  std::string data_file;  // its data file, as the server knew it
  long process = 0;       // the operating-system process that detached (or attached) it
  std::string program;    // that process's program, for the administrator
  std::string since;      // when, as "YYYY-MM-DD HH:MM:SS" (local time)
  bool working = false;   // a working database to detach, not a user's to attach again
  bool operator==(const PendingAttachment&) const = default;
};

// One administration connection. It ends when the object is destroyed or disconnected.
class AdminConnection {
 public:
  virtual ~AdminConnection() = default;

  virtual void Disconnect() = 0;
  // A cheap read of one text property of the server; proves the connection works.
  virtual std::string ReadServerProperty() = 0;
  // Names of the server's databases, in the server's order.
  virtual std::vector<std::string> ListDatabases() = 0;
  // One row per file of the database; row 1 is its primary data file, whose column 9 holds
  // the file's full physical path (possibly padded with blanks).
  virtual ResultTable ListDatabaseFiles(const std::string& database) = 0;
  // One row per server process: column 1 the process number, column 7 the name of the
  // database it uses (possibly padded with blanks).
  virtual ResultTable ListProcesses() = 0;
  // Ends the process and its connection at once.
  virtual void KillProcess(long process) = 0;
  // Attaches the data file as a database of that name; the server supplies the log file.
  virtual std::string AttachDatabase(const std::string& name, const std::string& data_file) = 0;
  // Removes the database from the server and releases its files.
  virtual std::string DetachDatabase(const std::string& name, bool skip_checks) = 0;
  // Why the server would refuse `name` as the name of a database it attaches (its own rules
  // for names; whether the name is taken is not asked here), or empty text when it would take
  // it. By default the rules of SQL Server: 1 to 128 characters, no control characters.
  virtual std::string DatabaseNameProblem(const std::string& name);

  // The record of pending attachments. Record adds (or replaces) the entry of
  // `attachment.name` durably: once it returns, the entry outlives a crash of the program and
  // of the machine. Remove drops the entry of `name` (any letter case); no entry is no error.
  // PendingAttachments lists the entries, oldest first. A backend that keeps no record (these
  // defaults) lists none, so a database it leaves detached is found only by the run that
  // detached it.
  virtual void RecordPendingAttachment(const PendingAttachment& /*attachment*/) {}
  virtual void RemovePendingAttachment(const std::string& /*name*/) {}
  virtual std::vector<PendingAttachment> PendingAttachments() { return {}; }
};

}  // namespace msu::data
