// A server in memory for the tests of the administration routines. It behaves as the routines
// rely on (a database in use cannot be detached; a name or a file cannot be attached twice; a
// data file must exist to be attached), records every call, and fails any call on demand.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "data/backend.h"

namespace msu::testing {

struct FakeDatabase {
  std::string name, file;
};
struct FakeProcess {
  long spid;
  std::string database;
};

class FakeBackend : public data::Backend {
 public:
  std::vector<std::string> servers{"ORVANE"};  // listed; Connect also accepts `hidden`
  std::vector<std::string> hidden;
  bool running = true;
  std::string password = "83ecret";  // of the login "VESTRA"
  bool require_files = true;
  std::vector<FakeDatabase> databases;
  std::vector<FakeProcess> processes;
  std::vector<data::PendingAttachment> pending;  // the record of pending attachments

  // Every call: "Connect ORVANE VESTRA 83ecret", "ListDatabaseFiles X", "KillProcess 51",
  // "AttachDatabase X /path", "DetachDatabase X", "RecordPendingAttachment X",
  // "RemovePendingAttachment X", "PendingAttachments", "Disconnect", ...
  std::vector<std::string> calls;
  std::vector<std::string> Calls(const std::string& operation) const;
  int open_connections = 0;       // opened and not disconnected
  int abandoned_connections = 0;  // destroyed without Disconnect

  // The `nth` call from now (from 1; 0 = every call) of `operation` throws AdminError.
  void Fail(const std::string& operation, int nth, long number, const std::string& text);
  const FakeDatabase* Database(const std::string& name) const;

  std::vector<std::string> ListServers() override;
  std::unique_ptr<data::AdminConnection> Connect(const std::string& server,
                                                 const std::string& login,
                                                 const std::string& password) override;
  std::unique_ptr<data::Connection> CreateConnection() override;
  std::string DataConnectionString(const std::string& server, const std::string& database) override;
  void Enter(const std::string& call);  // records; throws a fault that is due

 private:
  struct Fault {
    int skip;
    long number;
    std::string text;
  };
  std::map<std::string, Fault> faults_;
};

}  // namespace msu::testing
