// create, start, stop, status: the instances themselves.
#include <ostream>

#include "cli/server_commands.h"
#include "cli/server_repair.h"
#include "core/text.h"
#include "data/admin.h"
#include "data/embedded/instance.h"

namespace msu::cli {

namespace {

int RunCreate(ServerCommandCall& call) {
  const std::string password =
      ReadPassword(call.Option("--password-file"), "Warden password: ", true);
  auto instance = embedded::Instance::Create(call.root, call.arguments[0], password);
  call.out << "Created the server " << instance->Name() << " in " << instance->Folder()
           << "; it is running.\n";
  return 0;
}

int RunStart(ServerCommandCall& call) {
  auto instance = OpenWithWardenPassword(call, call.arguments[0]);
  call.out << "The server " << instance->Name()
           << (instance->Start() ? " has been started.\n" : " was already running.\n");
  return 0;
}

int RunStop(ServerCommandCall& call) {
  auto instance = OpenWithWardenPassword(call, call.arguments[0]);
  call.out << "The server " << instance->Name()
           << (instance->Stop() ? " has been stopped; its sessions were ended.\n"
                                : " was already stopped.\n");
  return 0;
}

int RunStatus(ServerCommandCall& call) {
  std::vector<std::string> names;
  if (call.arguments.empty()) {
    names = embedded::Instance::List(call.root);
    if (names.empty()) {
      call.out << "There are no servers in " << call.root << ".\n";
      return 0;
    }
  } else {
    names.push_back(call.arguments[0]);
  }
  std::vector<std::vector<std::string>> rows;
  for (const std::string& name : names) {
    auto instance = embedded::Instance::Open(call.root, name);
    rows.push_back({instance->Name(), instance->IsRunning() ? "running" : "stopped",
                    std::to_string(instance->Databases().size()),
                    std::to_string(instance->Sessions().size()), instance->Folder()});
  }
  PrintTable(call.out, {"server", "state", "databases", "sessions", "folder"}, rows);

  // What runs left detached and could not be attached again yet (the command's start has
  // attached again all it could).
  std::vector<std::vector<std::string>> pending_rows;
  std::vector<std::vector<std::string>> working_rows;
  for (const PendingOnInstance& pending : PendingOnInstances(call.root)) {
    if (!call.arguments.empty() && !EqualsNoCase(pending.server, call.arguments[0])) continue;
    const std::string waits =
        pending.holder != 0 ? "the running process " + std::to_string(pending.holder)
        : !pending.running  ? "the server's start"
                            : "a file or name that can be attached (see above)";
    for (const data::PendingAttachment& entry : pending.entries) {
      std::vector<std::string> row{
          pending.server,  entry.name,
          entry.data_file, entry.program + " (process " + std::to_string(entry.process) + ")",
          entry.since,     waits};
      (entry.working ? working_rows : pending_rows).push_back(std::move(row));
    }
  }
  if (!pending_rows.empty()) {
    call.out << "\nDatabases detached by a run, to be attached again:\n";
    PrintTable(call.out, {"server", "database", "data file", "detached by", "since", "waits for"},
               pending_rows);
  }
  if (!working_rows.empty()) {
    call.out << "\nWorking databases of a run, to be detached when it ends:\n";
    PrintTable(call.out, {"server", "database", "data file", "attached by", "since", "waits for"},
               working_rows);
  }
  return 0;
}

const bool kCreate = RegisterServerCommand(
    {"create",
     "create NAME [--password-file FILE]",
     "Creates the server NAME, running, with the login VESTRA.\n"
     "The login's password is derived from the Warden password, which is read from the\n"
     "terminal without echo (asked twice), or from the first line of FILE. It is never taken\n"
     "from the command line, and only a salted hash of it is kept.",
     1,
     1,
     {"--password-file"},
     &RunCreate});
const bool kStart =
    RegisterServerCommand({"start",
                           "start NAME [--password-file FILE]",
                           "Starts the server NAME: logins and data connections are accepted.",
                           1,
                           1,
                           {},
                           &RunStart,
                           true});
const bool kStop = RegisterServerCommand(
    {"stop",
     "stop NAME [--password-file FILE]",
     "Stops the server NAME.\n"
     "Every session is killed; logins and new data connections are refused until it is\n"
     "started again.",
     1,
     1,
     {},
     &RunStop,
     true});
const bool kStatus = RegisterServerCommand(
    {"status",
     "status [NAME]",
     "Shows whether the servers are running.\n"
     "With NAME, only that server. Also shows the number of databases and live sessions, and\n"
     "the databases that a run of the utility detached and that are still to be attached\n"
     "again under their own names, with what they wait for. (Every command first attaches\n"
     "those again on each running server that no run holds; start does it once more.)",
     0,
     1,
     {},
     &RunStatus});

}  // namespace

}  // namespace msu::cli
