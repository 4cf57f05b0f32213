#include "data/embedded/backend.h"

#include <sys/stat.h>

#include <filesystem>

#include "core/text.h"
#include "data/connection_string.h"
#include "data/embedded/embedded_connection.h"

namespace msu::embedded {

namespace {

constexpr long kPageSize = 8192;

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

// A word for a POSIX shell: as it is when it holds only characters no shell reads specially,
// otherwise in single quotes.
std::string ShellWord(const std::string& word) {
  if (!word.empty() &&
      word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                             "_-./,:+@%=") == std::string::npos) {
    return word;
  }
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string SizeInPages(const std::string& path) {
  struct stat file_status {};
  if (::stat(path.c_str(), &file_status) != 0) return "0";
  return std::to_string((file_status.st_size + kPageSize - 1) / kPageSize);
}

}  // namespace

EmbeddedAdminConnection::EmbeddedAdminConnection(std::unique_ptr<Instance> instance)
    : instance_(std::move(instance)) {}

Instance& EmbeddedAdminConnection::Require() {
  if (!instance_) {
    throw data::AdminError(data::kErrAdminOperation, "The connection to the server is closed.");
  }
  if (!instance_->IsRunning()) {
    throw data::AdminError(data::kErrServerStopped,
                           "The server " + instance_->Name() + " is stopped.");
  }
  return *instance_;
}

void EmbeddedAdminConnection::Disconnect() { instance_.reset(); }

std::string EmbeddedAdminConnection::ReadServerProperty() { return Require().Version(); }

std::vector<std::string> EmbeddedAdminConnection::ListDatabases() {
  std::vector<std::string> names;
  for (const AttachedDatabase& database : Require().Databases()) names.push_back(database.name);
  return names;
}

data::ResultTable EmbeddedAdminConnection::ListDatabaseFiles(const std::string& database) {
  Instance& instance = Require();
  for (const AttachedDatabase& attached : instance.Databases()) {
    if (!EqualsNoCase(attached.name, database)) continue;
    data::ResultTable table(
        {"fileid", "groupid", "size", "maxsize", "growth", "status", "perf", "name", "filename"});
    table.AddRow({"1", "1", SizeInPages(attached.data_file), "-1", "10", "2", "0", attached.name,
                  Padded(attached.data_file, 260)});
    const std::string log_file = JoinPath(FolderOf(attached.data_file), attached.name + "_log.LDF");
    table.AddRow({"2", "0", SizeInPages(log_file), "-1", "10", "66", "0", attached.name + "_log",
                  Padded(log_file, 260)});
    return table;
  }
  throw data::AdminError(
      data::kErrAdminOperation,
      "The database " + database + " does not exist on the server " + instance.Name() + ".");
}

data::ResultTable EmbeddedAdminConnection::ListProcesses() {
  data::ResultTable table(
      {"spid", "ecid", "status", "loginame", "hostname", "blk", "dbname", "cmd", "request_id"});
  for (const SessionInfo& session : Require().Sessions()) {
    table.AddRow({std::to_string(session.spid), "0", "sleeping", session.login, session.host, "0",
                  Padded(session.database, 30), "AWAITING COMMAND", "0"});
  }
  return table;
}

void EmbeddedAdminConnection::KillProcess(long process) { Require().Kill(process); }

std::string EmbeddedAdminConnection::AttachDatabase(const std::string& name,
                                                    const std::string& data_file) {
  return Require().Attach(name, data_file);
}

std::string EmbeddedAdminConnection::DetachDatabase(const std::string& name, bool /*skip_checks*/) {
  return Require().Detach(name);
}

std::string EmbeddedAdminConnection::DatabaseNameProblem(const std::string& name) {
  return Instance::DatabaseNameProblem(name);
}

void EmbeddedAdminConnection::RecordPendingAttachment(const data::PendingAttachment& attachment) {
  Require().RecordPendingAttachment(attachment);
}

void EmbeddedAdminConnection::RemovePendingAttachment(const std::string& name) {
  Require().RemovePendingAttachment(name);
}

std::vector<data::PendingAttachment> EmbeddedAdminConnection::PendingAttachments() {
  return Require().PendingAttachments();
}

EmbeddedBackend::EmbeddedBackend(std::string root)
    : root_(root.empty() ? DefaultInstanceRoot() : std::move(root)) {
  // The root travels in connection strings, which may be used from another folder.
  std::error_code ignored;
  root_ = std::filesystem::absolute(root_, ignored).string();
}

std::vector<std::string> EmbeddedBackend::ListServers() { return Instance::List(root_); }

std::unique_ptr<data::AdminConnection> EmbeddedBackend::Connect(const std::string& server,
                                                                const std::string& login,
                                                                const std::string& password) {
  std::unique_ptr<Instance> instance = Instance::Open(root_, server);
  if (!instance->IsRunning()) {
    throw data::AdminError(data::kErrServerStopped,
                           "The server " + instance->Name() + " is stopped.");
  }
  if (!instance->CheckLogin(login, password, SystemLoginClock(), proofs_.get())) {
    throw data::AdminError(data::kErrLoginFailed, "Login failed for user '" + login + "'.");
  }
  return std::make_unique<EmbeddedAdminConnection>(std::move(instance));
}

std::unique_ptr<data::Connection> EmbeddedBackend::CreateConnection() {
  return NewConnection(root_);
}

std::string EmbeddedBackend::DataConnectionString(const std::string& server,
                                                  const std::string& database) {
  data::ConnectionString text;
  text.Set("Provider", "Orvane.Embedded");
  text.Set("Server", server);
  text.Set("Database", database);
  text.Set("Instance Root", root_);
  return text.Text();
}

bool EmbeddedBackend::OpensConnectionString(const std::string& connection_string) {
  return EqualsNoCase(data::ConnectionString::Parse(connection_string).Get("Provider"),
                      "Orvane.Embedded");
}

}  // namespace msu::embedded

namespace msu::embedded {

std::string EmbeddedBackend::ServerProgram() const {
  std::error_code ignored;
  if (std::filesystem::equivalent(root_, DefaultInstanceRoot(), ignored)) return "msu-server";
  return "msu-server --root " + ShellWord(root_);
}

std::string EmbeddedBackend::AttachCommand(const std::string& server, const std::string& database,
                                           const std::string& path) {
  return ServerProgram() + " attach " + ShellWord(server) + " " + ShellWord(database) + " " +
         ShellWord(path);
}

std::string EmbeddedBackend::StartCommand(const std::string& server) {
  return ServerProgram() + " start " + ShellWord(server);
}

std::string EmbeddedBackend::RunLockFile(const std::string& server) {
  try {
    return Instance::Open(root_, server)->RunLockFile();
  } catch (const data::AdminError&) {
    return {};
  }
}

}  // namespace msu::embedded
