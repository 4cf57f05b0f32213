// An instance of the embedded server: a folder holding a catalog (attached databases and
// their data files, the login "VESTRA" with a salted hash of its password, the open sessions)
// and the running/stopped state. Several processes use one instance at once; the catalog is
// the only thing they share.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace msu::embedded {

// Folder that holds the instances of this machine: $ORVANE_SERVER_ROOT when set, otherwise
// $XDG_DATA_HOME/orvane-server, otherwise ~/.local/share/orvane-server.
std::string DefaultInstanceRoot();

// One open data connection of an instance, visible to ListProcesses in every process until
// it is destroyed or its process dies.
class Session {
 public:
  virtual ~Session() = default;
  // Process number shown by ListProcesses.
  virtual long Spid() const = 0;
  // True once an administrator killed the session. Costs no I/O: the connection asks before
  // every statement.
  virtual bool Killed() const noexcept = 0;
};

class Instance {
 public:
  virtual ~Instance() = default;

  // Opens the instance `name` under `root`. Throws AdminError when it does not exist.
  static std::unique_ptr<Instance> Open(const std::string& root, const std::string& name);

  virtual const std::string& Name() const = 0;
  virtual bool IsRunning() const = 0;

  // Data file of the attached database of that name (compared without regard to case), or
  // nothing when no such database is attached.
  virtual std::optional<std::string> DatabaseFile(const std::string& database) const = 0;

  // Registers a session on `database` for the calling process.
  virtual std::unique_ptr<Session> OpenSession(const std::string& database) = 0;
};

}  // namespace msu::embedded
