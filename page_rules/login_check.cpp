#include "page_rules/login_check.h"

#include <memory>

#include "core/server_password.h"
#include "core/text.h"
#include "data/backend.h"
#include "server_routines/attachment.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/routine_errors.h"
#include "server_routines/run_locks.h"
#include "server_routines/working_files.h"

namespace msu {

std::vector<std::string> FillServerList(Context& context) {
  BusyPointer busy(context.prompt());
  try {
    return context.backend().ListServers();
  } catch (...) {
    server_routines::ShowErrorBox(context.prompt(), server_routines::CurrentError());
    return {};
  }
}

long TestLogin(Context& context, const std::string& server, const std::string& password,
               std::string* description) {
  std::unique_ptr<data::AdminConnection> connection;
  try {
    connection = context.backend().Connect(server, kLoginName, password);
    if (!connection) {
      throw data::AdminError(data::kErrAdminOperation, "The server gave no connection.");
    }
    connection->ReadServerProperty();
    std::unique_ptr<data::AdminConnection> ending = std::move(connection);
    ending->Disconnect();
    return 0;
  } catch (...) {
    const server_routines::RoutineError error = server_routines::CurrentError();
    if (connection) {
      try {
        connection->Disconnect();
      } catch (...) {
      }
    }
    if (description != nullptr) *description = error.description;
    // A failure that carries no number still has to read as a failure to the caller.
    return error.number != 0 ? error.number : data::kErrAdminOperation;
  }
}

namespace {

LoginResult Refused(const std::string& message, bool busy = false) {
  LoginResult result;
  result.message = message;
  result.busy = busy;
  return result;
}

// The number alone does not tell a user which server was meant or what to do about it.
std::string FailureDetail(Context& context, long number, const std::string& description) {
  const std::string& server = context.server.ServerName;
  if (number == data::kErrServerNotFound) {
    std::vector<std::string> known;
    try {
      known = context.backend().ListServers();
    } catch (...) {
    }
    std::string names;
    for (const std::string& name : known) names += (names.empty() ? "" : ", ") + name;
    return (Trim(server).empty() ? std::string("No server was named.")
                                 : "No server named " + server + " on this machine.") +
           (names.empty() ? " None is set up here yet." : " Known servers: " + names + ".");
  }
  if (number == data::kErrServerStopped) {
    std::string start;
    try {
      start = context.backend().StartCommand(server);
    } catch (...) {
    }
    if (!start.empty()) return "The server " + server + " is not running; start it with: " + start;
    return "The server " + server + " does not answer" +
           (description.empty() ? std::string(".") : ": " + description);
  }
  return description;
}

}  // namespace

LoginResult CheckLogin(Context& context, const std::string& server_text,
                       const std::string& typed_password, int direction, LocksAtLogin locks) {
  BusyPointer busy(context.prompt());
  context.server.ServerName = server_text;
  if (typed_password.empty()) return Refused(kMsgPasswordNotSpecified);

  context.server.ServerPassword = DeriveServerPassword(typed_password);
  std::string description;
  const long number =
      TestLogin(context, context.server.ServerName, context.server.ServerPassword, &description);
  if (number == data::kErrLoginFailed) return Refused(kMsgPasswordIncorrect);
  if (number != 0) {
    LoginResult refused =
        Refused(number == data::kErrServerStopped ? std::string(kMsgServerStopped)
                                                  : kMsgErrorNumber + std::to_string(number));
    refused.detail = FailureDetail(context, number, description);
    return refused;
  }

  // Going back onto the login step throws the working copies of an earlier check away, so that
  // the next check starts from the user's own files again. (It holds the application folder
  // for the moment it takes, and leaves the files of a run that holds it alone.)
  if (direction == kMoveBack) server_routines::RemoveWorkingCopies(context);
  // Nothing may change before the run knows it is the only one here.
  if (locks == LocksAtLogin::kTake) {
    if (std::string other_run = server_routines::TakeRunLocks(context); !other_run.empty()) {
      return Refused(other_run, true);
    }
  }
  std::string note;
  for (const server_routines::RepairLine& line :
       server_routines::AttachPendingAgainLines(context)) {
    context.progress().AddProgress(line.text);
    note += (note.empty() ? "" : "\n") + line.text;
  }
  LoginResult result;
  result.ok = true;
  result.note = note;
  return result;
}

}  // namespace msu
