// A database server product behind the utility: the embedded server over SQLite files, or
// SQL Server over ODBC. The programs hand one to the routines through the Context: a composite
// of both (data/composite_backend.h) lets each server name choose its product.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/admin.h"
#include "data/data_access.h"

namespace msu::data {

class Backend {
 public:
  virtual ~Backend() = default;

  // Names of the servers visible to the machine, in the backend's order.
  virtual std::vector<std::string> ListServers() = 0;

  // Opens an administration connection. Throws AdminError with kErrServerStopped or
  // kErrLoginFailed (or another number) on failure.
  virtual std::unique_ptr<AdminConnection> Connect(const std::string& server,
                                                   const std::string& login,
                                                   const std::string& password) = 0;

  // A new, closed data connection; its connection string decides what it opens.
  virtual std::unique_ptr<Connection> CreateConnection() = 0;

  // A connection string that opens `database` on `server` with credentials the backend
  // supplies.
  virtual std::string DataConnectionString(const std::string& server,
                                           const std::string& database) = 0;

  // True when `server` is one of this backend's servers: by default a name of ListServers()
  // (without regard to case). A backend that reaches servers it does not list says so here.
  virtual bool Serves(const std::string& server);

  // True when a connection of this backend opens `connection_string` (one of its own
  // DataConnectionString answers, say). By default every string.
  virtual bool OpensConnectionString(const std::string& /*connection_string*/) { return true; }

  // The file a run locks so that it is the only run on `server` (core/run_lock.h): the
  // working databases have fixed names on a server. Empty (this default) when the backend
  // offers none; then only the application folder is locked.
  virtual std::string RunLockFile(const std::string& /*server*/) { return {}; }

  // How an administrator attaches the data file `path` to `server` as `database` by hand: a
  // command line to run, for the words of a page that needs an attached database. Empty (this
  // default) when the backend knows none.
  virtual std::string AttachCommand(const std::string& /*server*/, const std::string& /*database*/,
                                    const std::string& /*path*/) {
    return {};
  }

  // How an administrator starts `server` when it does not answer: a command line to run. Empty
  // (this default) when the backend knows none.
  virtual std::string StartCommand(const std::string& /*server*/) { return {}; }
};

}  // namespace msu::data
