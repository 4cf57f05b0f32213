// An instance of the embedded server: a folder <root>/<NAME>/ holding a catalog (attached
// databases and their data files, the login "VESTRA" with a salted hash of its password, the
// running/stopped state) and the open sessions (one file each, see session_file.h). Several
// processes use one instance at once; the folder is the only thing they share.
//
// Failures throw data::AdminError: data::kErrServerNotFound for an instance that does not exist,
// data::kErrServerStopped where a running instance is needed, data::kErrAdminOperation for
// everything else, always with a description the programs can show as it is.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/admin.h"
#include "data/embedded/catalog_password.h"

namespace msu::embedded {

// One attached database.
struct AttachedDatabase {
  std::string name;
  std::string data_file;  // absolute path, as it was given when the database was attached
};

// What ListProcesses learns about a live session.
struct SessionInfo {
  long spid = 0;
  long pid = 0;  // operating-system process that owns it
  std::string login;
  std::string host;
  std::string database;
  std::string program;
  bool killed = false;
};

// Folder that holds the instances of this machine: $ORVANE_SERVER_ROOT when set, otherwise
// $XDG_DATA_HOME/orvane-server, otherwise ~/.local/share/orvane-server.
std::string DefaultInstanceRoot();

// Time as the throttling of failed logins sees it.
class LoginClock {
 public:
  virtual ~LoginClock() = default;
  // Milliseconds since the epoch.
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(int64_t milliseconds) = 0;
};

// The system's clock; it sleeps for real.
LoginClock& SystemLoginClock();

// The wait before a login after `failures` consecutive failed ones: none after none, 250 ms
// after one, doubling with each further failure up to 30 s.
int64_t LoginDelayMs(int64_t failures);

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

  // Opens the instance `name` (any letter case) under `root`. Throws AdminError
  // kErrServerNotFound, "The server NAME does not exist.", when there is none.
  static std::unique_ptr<Instance> Open(const std::string& root, const std::string& name);

  // Creates the instance `name` under `root` (made when missing), running, with the login
  // "VESTRA" whose password is the server password derived from `warden_password`. Throws
  // AdminError when the name is not a valid instance name, an instance of that name exists
  // (in any letter case), the password is empty, or the folder cannot be written.
  static std::unique_ptr<Instance> Create(const std::string& root, const std::string& name,
                                          const std::string& warden_password);

  // Names of the instances under `root`, in name order (without regard to case); none when
  // the folder does not exist.
  static std::vector<std::string> List(const std::string& root);

  // Why Attach would refuse `name` as a database name (its rules, not whether it is taken), or
  // empty text.
  static std::string DatabaseNameProblem(const std::string& name);

  // The name as the instance was created.
  virtual const std::string& Name() const = 0;
  virtual const std::string& Folder() const = 0;
  virtual bool IsRunning() const = 0;
  // A one-line description of the server software.
  virtual std::string Version() const = 0;

  // Start returns false when the instance was already running. Stop returns false when it was
  // already stopped; otherwise it kills every session, as stopping a server ends its
  // connections.
  virtual bool Start() = 0;
  virtual bool Stop() = 0;

  // True when `login` (without regard to case) exists and `password` is its server password.
  // Failed logins slow down the next ones on this instance, whichever process makes them: an
  // attempt first waits until LoginDelayMs(consecutive failures) has passed since the last
  // failure (both kept in the catalog); a success clears the count. Attempts take turns (a
  // lock file of the instance, "login.lock"), so that ten guesses made at once take as long as
  // ten made one after the other. A successful login whose
  // stored hash is of an older form (NeedsRehash) stores it again as Argon2id.
  bool CheckLogin(const std::string& login, const std::string& password) const {
    return CheckLogin(login, password, SystemLoginClock());
  }
  // The same with the clock and the waiting of `clock` (tests need not wait), and, with
  // `proofs`, without a second Argon2id computation for a login this process proved before
  // (LoginProofs): such a login is accepted at once, and a newly proved one is kept there.
  virtual bool CheckLogin(const std::string& login, const std::string& password, LoginClock& clock,
                          LoginProofs* proofs = nullptr) const = 0;

  // The attached databases, in attach order.
  virtual std::vector<AttachedDatabase> Databases() const = 0;

  // Attaches `data_file` (made absolute) as database `name` and returns a message saying so.
  // Refuses, without writing the file: an invalid or used name (any letter case), a missing
  // file, a file that is not a database, a file already attached. Creates the log file
  // "<folder of the data file>/<name>_log.LDF" when it does not exist.
  virtual std::string Attach(const std::string& name, const std::string& data_file) = 0;

  // Detaches database `name` and returns a message saying so. Refuses an unknown name and a
  // database with live sessions that have not been killed. The files stay on disk.
  virtual std::string Detach(const std::string& name) = 0;

  // Live sessions that have not been killed, in spid order. Leftovers of dead processes are
  // removed on the way and never listed.
  virtual std::vector<SessionInfo> Sessions() const = 0;

  // Kills the live session `spid`: its connection refuses every further statement. Throws
  // AdminError when there is no such live session.
  virtual void Kill(long spid) = 0;

  // Data file of the attached database of that name (compared without regard to case), or
  // nothing when no such database is attached.
  virtual std::optional<std::string> DatabaseFile(const std::string& database) const = 0;

  // Registers a session on `database` for the calling process; it lasts until the Session is
  // destroyed. Throws AdminError kErrServerStopped when the instance is stopped, and
  // kErrAdminOperation when no such database is attached or the session file cannot be made.
  virtual std::unique_ptr<Session> OpenSession(const std::string& database) = 0;

  // The record of databases detached on the way that must be attached again
  // (data::PendingAttachment), kept in the catalog whether the instance runs or not. Record
  // returns once the entry is on the disk.
  virtual std::vector<data::PendingAttachment> PendingAttachments() const = 0;
  virtual void RecordPendingAttachment(const data::PendingAttachment& attachment) = 0;
  virtual void RemovePendingAttachment(const std::string& name) = 0;

  // The file a run locks to be the only run on this instance (core/run_lock.h):
  // "<folder>/run.lock".
  virtual std::string RunLockFile() const = 0;
};

}  // namespace msu::embedded
