// attach, detach, databases: the databases of an instance.
#include <ostream>

#include "cli/server_commands.h"
#include "data/embedded/instance.h"

namespace msu::cli {

namespace {

int RunAttach(ServerCommandCall& call) {
  auto instance = OpenWithWardenPassword(call, call.arguments[0]);
  call.out << instance->Attach(call.arguments[1], call.arguments[2]) << "\n";
  return 0;
}

int RunDetach(ServerCommandCall& call) {
  auto instance = OpenWithWardenPassword(call, call.arguments[0]);
  call.out << instance->Detach(call.arguments[1]) << "\n";
  return 0;
}

int RunDatabases(ServerCommandCall& call) {
  auto instance = embedded::Instance::Open(call.root, call.arguments[0]);
  std::vector<std::vector<std::string>> rows;
  for (const embedded::AttachedDatabase& database : instance->Databases()) {
    rows.push_back({database.name, database.data_file});
  }
  PrintTable(call.out, {"database", "data file"}, rows);
  return 0;
}

const bool kAttach = RegisterServerCommand(
    {"attach",
     "attach NAME DBNAME FILE [--password-file FILE]",
     "Attaches the database file FILE to the server NAME as the database DBNAME.\n"
     "The file must exist and be a database; it is not written. The log file\n"
     "DBNAME_log.LDF is created beside it when it does not exist.",
     3,
     3,
     {},
     &RunAttach,
     true});
const bool kDetach = RegisterServerCommand(
    {"detach",
     "detach NAME DBNAME [--password-file FILE]",
     "Detaches the database DBNAME from the server NAME; its files stay on disk.\n"
     "Refused while sessions are open on it (end them with kill).",
     2,
     2,
     {},
     &RunDetach,
     true});
const bool kDatabases = RegisterServerCommand(
    {"databases",
     "databases NAME",
     "Lists the databases of the server NAME with their data files, in attach order.",
     1,
     1,
     {},
     &RunDatabases});

}  // namespace

}  // namespace msu::cli
