// What the utility keeps about a SQL Server on this machine, since it owns no place on the
// server itself: the record of databases taken off the server on the way (so that the next run
// attaches them again after a run was killed) and the file a run locks so that it is the only
// run on that server.
//
// Both live in the user's state folder: $XDG_STATE_HOME/orvane-msu, else
// ~/.local/state/orvane-msu (%LOCALAPPDATA%\orvane-msu on Windows), made readable by the user
// only. Server names are compared without regard to case, as SQL Server does.
#pragma once

#include <string>
#include <vector>

#include "data/admin.h"

namespace msu::sqlserver {

// The state folder, made when missing. Empty when there is no home to put it in.
std::string LocalStateFolder();

// The file a run on `server` locks; empty when there is no state folder.
std::string LocalRunLockFile(const std::string& server);

// The record of pending attachments of one server, as a file of one line per database. Every
// change writes a new file beside the old and renames it over, so that a run killed while
// writing leaves the old record whole. Failing writes throw data::AdminError
// kErrAdminOperation; a record that cannot be read reads as empty.
class PendingRecordFile {
 public:
  explicit PendingRecordFile(std::string path) : path_(std::move(path)) {}
  // The record of `server` in the state folder.
  static PendingRecordFile ForServer(const std::string& server);

  // Replaces the entry of the same database name (without regard to case), if any.
  void Record(const data::PendingAttachment& attachment);
  void Remove(const std::string& name);
  std::vector<data::PendingAttachment> Entries() const;

 private:
  void Write(const std::vector<data::PendingAttachment>& entries) const;

  std::string path_;
};

}  // namespace msu::sqlserver
