#include "server_routines/working_attachments.h"

#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/admin_session.h"
#include "server_routines/database_files.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/routine_errors.h"

namespace msu::server_routines {

std::string WorkingNameRefusal(data::AdminConnection& connection, const std::string& server,
                               const std::string& name, const std::string& working_file) {
  const std::optional<std::string> file = FileOfDatabase(connection, name);
  if (!file || SameFilePath(*file, working_file)) return {};
  return "The server " + server + " has a database named " + name + " already, from the file " +
         *file +
         ", that this run did not make; nothing was changed. If it is left over from an earlier "
         "run, detach it (msu-server detach " +
         name + "); otherwise attach its file under another name.";
}

std::string WorkingNamesRefusal(Context& context,
                                const std::vector<std::pair<std::string, std::string>>& names) {
  try {
    AdminSession session(context);
    for (const auto& [name, file] : names) {
      std::string refusal =
          WorkingNameRefusal(session.connection(), context.server.ServerName, name, file);
      if (!refusal.empty()) return refusal;
    }
    session.Disconnect();
    return {};
  } catch (...) {
    return "The working databases could not be looked for on the server " +
           context.server.ServerName + ": " + CurrentError().description;
  }
}

void AttachWorkingCopy(data::AdminConnection& connection, const std::string& name,
                       const std::string& working_file) {
  connection.RecordPendingAttachment(NewPendingAttachment(name, working_file, true));
  connection.AttachDatabase(name, working_file);
}

void RememberWorkingCopy(Context& context, const std::string& path) {
  if (const std::optional<FileIdentity> identity = IdentityOfFile(path)) {
    context.working_copies[path] = *identity;
  } else {
    context.working_copies.erase(path);
  }
}

void ConfirmWorkingDatabase(Context& context, const std::string& name,
                            const std::string& working_file) {
  std::optional<std::string> file;
  {
    AdminSession session(context);
    file = FileOfDatabase(session.connection(), name);
    session.Disconnect();
  }
  const auto made = context.working_copies.find(working_file);
  const std::optional<FileIdentity> now = IdentityOfFile(working_file);
  const bool ours = file && made != context.working_copies.end() && now && *now == made->second &&
                    IdentityOfFile(*file) == now;
  if (ours) return;
  throw data::AdminError(
      data::kErrAdminOperation,
      "The database " + name + " on the server " + context.server.ServerName +
          " is not the working copy this run made (" +
          (file ? "it uses the file " + *file : std::string("it is not attached")) +
          "); the run stopped before writing to it.");
}

}  // namespace msu::server_routines
