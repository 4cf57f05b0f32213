#include "server/login_check.h"

#include <memory>

#include "data/backend.h"
#include "server/attachment.h"
#include "server/login.h"
#include "server/pending_attachments.h"
#include "server/routine_errors.h"
#include "server/run_locks.h"
#include "server/working_files.h"

namespace msu {

std::vector<std::string> FillServerList(Context& context) {
  BusyPointer busy(context.prompt());
  try {
    return context.backend().ListServers();
  } catch (...) {
    ShowErrorBox(context.prompt(), CurrentError());
    return {};
  }
}

long TestLogin(Context& context, const std::string& server, const std::string& password) {
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
    const RoutineError error = CurrentError();
    if (connection) {
      try {
        connection->Disconnect();
      } catch (...) {
      }
    }
    // A failure that carries no number still has to read as a failure to the caller.
    return error.number != 0 ? error.number : data::kErrAdminOperation;
  }
}

namespace {

// Going back onto the login step throws away the working copy A of an earlier check, so that
// the next check starts from the user's own file again.
void RemoveWorkingCopyA(Context& context) {
  DetachDatabaseFile(context, context.AppFile(kWorkFileA));
  for (const char* name : {kWorkFileA, kWorkIniA}) {
    try {
      DeleteWorkingFile(context.AppFile(name));
    } catch (...) {
      ShowErrorBox(context.prompt(), CurrentError());
    }
  }
}

LoginResult Refused(const std::string& message, bool busy = false) {
  LoginResult result;
  result.message = message;
  result.busy = busy;
  return result;
}

}  // namespace

LoginResult CheckLogin(Context& context, const std::string& server_text,
                       const std::string& typed_password, int direction) {
  BusyPointer busy(context.prompt());
  context.server.ServerName = server_text;
  if (typed_password.empty()) return Refused(kMsgPasswordNotSpecified);

  context.server.ServerPassword = DeriveServerPassword(typed_password);
  const long number = TestLogin(context, context.server.ServerName, context.server.ServerPassword);
  if (number == data::kErrServerStopped) return Refused(kMsgServerStopped);
  if (number == data::kErrLoginFailed) return Refused(kMsgPasswordIncorrect);
  if (number != 0) return Refused(kMsgErrorNumber + std::to_string(number));

  // Nothing may change before the run knows it is the only one here.
  if (std::string other_run = TakeRunLocks(context); !other_run.empty()) {
    return Refused(other_run, true);
  }
  std::string note;
  for (const RepairLine& line : AttachPendingAgainLines(context)) {
    context.progress().AddProgress(line.text);
    note += (note.empty() ? "" : "\n") + line.text;
  }
  if (direction == kMoveBack) RemoveWorkingCopyA(context);
  LoginResult result;
  result.ok = true;
  result.note = note;
  return result;
}

}  // namespace msu
