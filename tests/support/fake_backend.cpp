#include "tests/support/fake_backend.h"

#include <algorithm>
#include <filesystem>

#include "core/text.h"

namespace msu::testing {

namespace {

[[noreturn]] void Refuse(const std::string& text) {
  throw data::AdminError(data::kErrAdminOperation, text);
}

// The server pads the text columns of its result tables.
std::string Pad(const std::string& text) { return text + std::string(40, ' '); }

class FakeConnection : public data::AdminConnection {
 public:
  explicit FakeConnection(FakeBackend& server) : s_(server) { ++s_.open_connections; }
  ~FakeConnection() override {
    if (ended_) return;
    ++s_.abandoned_connections;
    --s_.open_connections;
  }
  void Disconnect() override {
    s_.calls.push_back("Disconnect");
    if (!ended_) --s_.open_connections;
    ended_ = true;
  }
  std::string ReadServerProperty() override { return Enter("ReadServerProperty"), "Fake"; }
  std::vector<std::string> ListDatabases() override {
    Enter("ListDatabases");
    std::vector<std::string> names;
    for (const FakeDatabase& database : s_.databases) names.push_back(database.name);
    return names;
  }
  data::ResultTable ListDatabaseFiles(const std::string& name) override {
    Enter("ListDatabaseFiles " + name);
    if (!s_.Database(name)) Refuse("No database " + name + ".");
    data::ResultTable files(
        {"name", "id", "size", "max", "growth", "status", "perf", "group", "filename"});
    files.AddRow({name, "1", "1024", "-1", "10", "0", "0", "1", Pad(s_.Database(name)->file)});
    return files;
  }
  data::ResultTable ListProcesses() override {
    Enter("ListProcesses");
    data::ResultTable table({"spid", "ecid", "status", "login", "host", "blk", "dbname"});
    for (const FakeProcess& p : s_.processes) {
      table.AddRow(
          {" " + std::to_string(p.spid), "0", "sleeping", "sa", "HOST", "0", Pad(p.database)});
    }
    return table;
  }
  void KillProcess(long spid) override {
    Enter("KillProcess " + std::to_string(spid));
    if (!std::erase_if(s_.processes, [&](const FakeProcess& p) { return p.spid == spid; })) {
      Refuse("Process ID " + std::to_string(spid) + " is not an active process ID.");
    }
  }
  std::string AttachDatabase(const std::string& name, const std::string& file) override {
    Enter("AttachDatabase " + name + " " + file);
    if (name.empty()) Refuse("Invalid database name: a database name cannot be empty.");
    if (s_.Database(name)) Refuse("Database '" + name + "' already exists.");
    for (const FakeDatabase& database : s_.databases) {
      if (database.file == file) Refuse("The file '" + file + "' is in use.");
    }
    if (s_.require_files && !std::filesystem::exists(file)) {
      Refuse("Device activation error. The physical file name '" + file + "' may be incorrect.");
    }
    s_.databases.push_back({name, file});
    return "Attached.";
  }
  std::string DetachDatabase(const std::string& name, bool skip_checks) override {
    Enter("DetachDatabase " + name + (skip_checks ? " skipchecks" : ""));
    if (!s_.Database(name)) Refuse("The database '" + name + "' does not exist.");
    for (const FakeProcess& p : s_.processes) {
      if (p.database == name) Refuse("Cannot detach the database '" + name + "': it is in use.");
    }
    std::erase_if(s_.databases, [&](const FakeDatabase& d) { return d.name == name; });
    return "Detached.";
  }
  void RecordPendingAttachment(const data::PendingAttachment& attachment) override {
    Enter("RecordPendingAttachment " + attachment.name);
    Forget(attachment.name);
    s_.pending.push_back(attachment);
  }
  void RemovePendingAttachment(const std::string& name) override {
    Enter("RemovePendingAttachment " + name);
    Forget(name);
  }
  std::vector<data::PendingAttachment> PendingAttachments() override {
    Enter("PendingAttachments");
    return s_.pending;
  }

 private:
  void Enter(const std::string& call) {
    if (ended_) Refuse("Not connected.");
    s_.Enter(call);
  }
  void Forget(const std::string& name) {
    std::erase_if(s_.pending, [&](const data::PendingAttachment& entry) {
      return EqualsNoCase(entry.name, name);
    });
  }
  FakeBackend& s_;
  bool ended_ = false;
};

}  // namespace

std::vector<std::string> FakeBackend::Calls(const std::string& operation) const {
  std::vector<std::string> found;
  for (const std::string& call : calls) {
    if (call.substr(0, call.find(' ')) == operation) found.push_back(call);
  }
  return found;
}

void FakeBackend::Fail(const std::string& operation, int nth, long number,
                       const std::string& text) {
  faults_[operation] = {nth == 0 ? -1 : nth - 1, number, text};
}

const FakeDatabase* FakeBackend::Database(const std::string& name) const {
  for (const FakeDatabase& database : databases) {
    if (database.name == name) return &database;
  }
  return nullptr;
}

void FakeBackend::Enter(const std::string& call) {
  calls.push_back(call);
  auto fault = faults_.find(call.substr(0, call.find(' ')));
  if (fault == faults_.end()) return;
  if (fault->second.skip > 0) {
    --fault->second.skip;
    return;
  }
  const Fault due = fault->second;
  if (due.skip == 0) faults_.erase(fault);
  throw data::AdminError(due.number, due.text);
}

std::vector<std::string> FakeBackend::ListServers() {
  Enter("ListServers");
  return servers;
}

std::unique_ptr<data::AdminConnection> FakeBackend::Connect(const std::string& server,
                                                            const std::string& login,
                                                            const std::string& typed) {
  Enter("Connect " + server + " " + login + " " + typed);
  if (std::count(servers.begin(), servers.end(), server) +
          std::count(hidden.begin(), hidden.end(), server) ==
      0) {
    throw data::AdminError(data::kErrServerUnavailable,
                           "SQL Server does not exist or access denied.");
  }
  if (!running) throw data::AdminError(data::kErrServerStopped, "The server is not running.");
  if (login != "VESTRA" || typed != password) {
    throw data::AdminError(data::kErrLoginFailed, "Login failed for user '" + login + "'.");
  }
  return std::make_unique<FakeConnection>(*this);
}

std::unique_ptr<data::Connection> FakeBackend::CreateConnection() {
  throw data::DataError(data::kErrConnection, "The fake server has no data connections.");
}

std::string FakeBackend::DataConnectionString(const std::string& server,
                                              const std::string& database) {
  return "Provider=Fake;Server=" + server + ";Database=" + database;
}

}  // namespace msu::testing
