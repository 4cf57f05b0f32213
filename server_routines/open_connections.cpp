#include "server_routines/open_connections.h"

#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/admin_session.h"
#include "server_routines/database_files.h"
#include "server_routines/routine_errors.h"

namespace msu::server_routines {

std::string CheckOpenConnections(Context& context, const std::string& path) {
  BusyPointer busy(context.prompt());
  try {
    AdminSession session(context);
    const std::string database_of_file =
        DatabaseOfFile(session.connection(), path).value_or(std::string());
    // A row of another database before the match leaves the result empty; the first row that
    // uses the database ends the scan, so any one process is enough.
    std::string result;
    const data::ResultTable processes = session->ListProcesses();
    for (long row = 1; row <= processes.Rows(); ++row) {
      if (Trim(processes.GetColumnString(row, 7)) == database_of_file) {
        result = database_of_file;
        break;
      }
      result.clear();
    }
    session.Disconnect();
    return result;
  } catch (...) {
    ShowErrorBox(context.prompt(), CurrentError());
    return "";
  }
}

std::string OpenConnectionsMessage(Context& context, const std::vector<std::string>& paths) {
  std::string names;
  for (const std::string& path : paths) names += " " + CheckOpenConnections(context, path);
  if (Trim(names).empty()) return {};
  return "There are open connections to the " + names + " database(s).";
}

}  // namespace msu::server_routines
