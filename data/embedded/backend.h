// The embedded server as a backend of the utility: the instances under one root folder are
// its servers, their attached databases its databases, their sessions its processes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/backend.h"
#include "data/embedded/instance.h"

namespace msu::embedded {

// ReadServerProperty's answer names the server software; ListDatabaseFiles gives one row for
// the data file and one for the log file, with the columns
//   1 fileid, 2 groupid, 3 size (8 KB pages), 4 maxsize, 5 growth, 6 status, 7 perf, 8 name,
//   9 filename (the full path, padded with blanks to 260 characters);
// ListProcesses gives one row per live session that has not been killed, with the columns
//   1 spid, 2 ecid, 3 status, 4 loginame, 5 hostname, 6 blk, 7 dbname (padded with blanks to
//   30 characters), 8 cmd, 9 request_id.
// Every operation of a disconnected connection, or of a connection whose instance has been
// stopped meanwhile (kErrServerStopped), throws AdminError.
class EmbeddedAdminConnection : public data::AdminConnection {
 public:
  explicit EmbeddedAdminConnection(std::unique_ptr<Instance> instance);

  void Disconnect() override;
  std::string ReadServerProperty() override;
  std::vector<std::string> ListDatabases() override;
  data::ResultTable ListDatabaseFiles(const std::string& database) override;
  data::ResultTable ListProcesses() override;
  void KillProcess(long process) override;
  std::string AttachDatabase(const std::string& name, const std::string& data_file) override;
  // `skip_checks` is about refreshing statistics before a detach, which this server does not
  // keep; it does not skip the refusal of a database in use.
  std::string DetachDatabase(const std::string& name, bool skip_checks) override;
  std::string DatabaseNameProblem(const std::string& name) override;
  // The record is the catalog's (Instance::PendingAttachments); like the other operations it
  // needs a running instance.
  void RecordPendingAttachment(const data::PendingAttachment& attachment) override;
  void RemovePendingAttachment(const std::string& name) override;
  std::vector<data::PendingAttachment> PendingAttachments() override;

 private:
  Instance& Require();
  std::unique_ptr<Instance> instance_;
};

class EmbeddedBackend : public data::Backend {
 public:
  // `root` is the folder of the instances (made absolute); empty means DefaultInstanceRoot().
  explicit EmbeddedBackend(std::string root = std::string());

  const std::string& Root() const { return root_; }

  // The instances under the root, in name order.
  std::vector<std::string> ListServers() override;
  // Throws AdminError kErrServerNotFound ("The server NAME does not exist."),
  // data::kErrServerStopped, or data::kErrLoginFailed for a wrong login name or password.
  // A login proved once by this backend is not computed again (LoginProofs): a run verifies
  // its password once.
  std::unique_ptr<data::AdminConnection> Connect(const std::string& server,
                                                 const std::string& login,
                                                 const std::string& password) override;
  std::unique_ptr<data::Connection> CreateConnection() override;
  // "Provider=Orvane.Embedded;Server=S;Database=D;Instance Root=ROOT", values quoted where
  // they need it (data/connection_string.h).
  std::string DataConnectionString(const std::string& server, const std::string& database) override;
  // True for a string whose Provider is Orvane.Embedded.
  bool OpensConnectionString(const std::string& connection_string) override;
  // The instance's "run.lock"; empty when there is no such instance.
  std::string RunLockFile(const std::string& server) override;
  // "msu-server attach SERVER DATABASE PATH" (with "--root ROOT" when the root is not the
  // default one), each word quoted for a shell where it needs it.
  std::string AttachCommand(const std::string& server, const std::string& database,
                            const std::string& path) override;
  // "msu-server start SERVER", with "--root ROOT" as AttachCommand has it.
  std::string StartCommand(const std::string& server) override;

 private:
  // "msu-server", with "--root ROOT" when the root is not the default one.
  std::string ServerProgram() const;

  std::string root_;
  // The logins this backend has proved: one Argon2id computation per login and process.
  std::shared_ptr<LoginProofs> proofs_ = std::make_shared<LoginProofs>();
};

}  // namespace msu::embedded
