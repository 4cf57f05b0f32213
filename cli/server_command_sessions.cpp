// sessions, kill, hold, sql: the sessions of an instance, and data connections opened by this
// program through the data-access layer, exactly as the utility opens them.
#include <signal.h>
#include <unistd.h>

#include <ostream>

#include "cli/server_commands.h"
#include "data/data_access.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"

namespace msu::cli {

namespace {

volatile sig_atomic_t stop_requested = 0;

void RequestStop(int) { stop_requested = 1; }

long ParseSpid(const std::string& text) {
  size_t used = 0;
  long spid = 0;
  try {
    spid = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || spid <= 0) {
    throw UsageError("the process number must be a positive whole number, not '" + text + "'");
  }
  return spid;
}

std::unique_ptr<data::Connection> OpenDataConnection(const ServerCommandCall& call) {
  OpenWithWardenPassword(call, call.arguments[0]);
  embedded::EmbeddedBackend backend(call.root);
  auto connection = backend.CreateConnection();
  connection->SetConnectionString(
      backend.DataConnectionString(call.arguments[0], call.arguments[1]));
  connection->SetProperty("PROMPT", 4);
  connection->Open();
  return connection;
}

int RunSessions(ServerCommandCall& call) {
  auto instance = embedded::Instance::Open(call.root, call.arguments[0]);
  std::vector<std::vector<std::string>> rows;
  for (const embedded::SessionInfo& session : instance->Sessions()) {
    rows.push_back({std::to_string(session.spid), session.database, session.login, session.host,
                    std::to_string(session.pid), session.program});
  }
  PrintTable(call.out, {"spid", "database", "login", "host", "pid", "program"}, rows);
  return 0;
}

int RunKill(ServerCommandCall& call) {
  const long spid = ParseSpid(call.arguments[1]);
  auto instance = OpenWithWardenPassword(call, call.arguments[0]);
  instance->Kill(spid);
  call.out << "Process " << spid << " on the server " << instance->Name() << " was killed.\n";
  return 0;
}

int RunHold(ServerCommandCall& call) {
  struct sigaction action {};
  action.sa_handler = &RequestStop;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);

  auto connection = OpenDataConnection(call);
  call.out << "Holding a connection to " << call.arguments[1] << " on " << call.arguments[0]
           << " (process " << ::getpid() << ") until it is killed." << std::endl;
  while (!stop_requested) {
    ::usleep(100 * 1000);
    try {
      connection->Execute("SELECT 1");
    } catch (const data::DataError& error) {
      // Being killed is how a hold is meant to end.
      call.out << "The connection ended: " << error.description() << " (error " << error.number()
               << ")" << std::endl;
      return 0;
    }
  }
  connection->Close();
  call.out << "Interrupted; the connection was closed." << std::endl;
  return 0;
}

int RunSql(ServerCommandCall& call) {
  auto connection = OpenDataConnection(call);
  long rows_affected = -1;
  std::unique_ptr<data::Recordset> result = connection->Execute(call.arguments[2], &rows_affected);
  if (result && result->IsOpen()) {
    std::vector<std::string> headers;
    for (int i = 0; i < result->FieldCount(); ++i) headers.push_back(result->Field(i).name);
    std::vector<std::vector<std::string>> rows;
    for (; !result->IsEOF(); result->MoveNext()) {
      std::vector<std::string> row;
      for (int i = 0; i < result->FieldCount(); ++i) {
        const data::Value& value = result->Get(i);
        row.push_back(value.IsNull() ? "NULL" : value.AsText());
      }
      rows.push_back(std::move(row));
    }
    PrintTable(call.out, headers, rows);
    call.out << "(" << rows.size() << (rows.size() == 1 ? " row)\n" : " rows)\n");
  } else {
    call.out << "(" << rows_affected
             << (rows_affected == 1 ? " row affected)\n" : " rows affected)\n");
  }
  connection->Close();
  return 0;
}

const bool kSessions =
    RegisterServerCommand({"sessions",
                           "sessions NAME",
                           "Lists the live sessions of the server NAME.\n"
                           "Every open data connection is one, whichever process opened it.",
                           1,
                           1,
                           {},
                           &RunSessions});
const bool kKill = RegisterServerCommand({"kill",
                                          "kill NAME SPID [--password-file FILE]",
                                          "Kills the session SPID of the server NAME.\n"
                                          "Its connection refuses every further statement.",
                                          2,
                                          2,
                                          {},
                                          &RunKill,
                                          true});
const bool kHold = RegisterServerCommand(
    {"hold",
     "hold NAME DBNAME [--password-file FILE]",
     "Holds a data connection to the database DBNAME until its session is killed.\n"
     "The connection is opened as the running suite opens it. When its session is killed,\n"
     "prints why the connection ended and exits with 0; an interrupt closes it.",
     2,
     2,
     {},
     &RunHold,
     true});
const bool kSql = RegisterServerCommand(
    {"sql",
     "sql NAME DBNAME STATEMENT [--password-file FILE]",
     "Runs one T-SQL statement on the database DBNAME of the server NAME.\n"
     "Prints the rows it returns as a table, or the number of rows it changed.",
     3,
     3,
     {},
     &RunSql,
     true});

}  // namespace

}  // namespace msu::cli
