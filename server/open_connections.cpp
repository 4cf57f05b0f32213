#include "server/open_connections.h"

#include "core/text.h"
#include "server/admin_session.h"
#include "server/database_files.h"
#include "server/file_identity.h"
#include "server/routine_errors.h"

namespace msu {

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

}  // namespace msu
