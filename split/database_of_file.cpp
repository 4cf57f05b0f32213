#include "split/database_of_file.h"

#include "core/context.h"
#include "core/text.h"
#include "data/backend.h"
#include "server/admin_session.h"
#include "server/connection_settings.h"
#include "server/database_files.h"

namespace msu::split {

std::string DatabaseOfFile(Context& context, const std::string& path) {
  AdminSession session(context);
  const std::string found = msu::DatabaseOfFile(session.connection(), path).value_or("");
  session.Disconnect();
  if (found.empty()) {
    throw data::AdminError(
        data::kErrAdminOperation,
        "No database on the server " + context.server.ServerName + " uses the file " + path);
  }
  return found;
}

std::unique_ptr<data::Connection> OpenDatabase(Context& context, const std::string& database) {
  std::unique_ptr<data::Connection> connection = context.backend().CreateConnection();
  connection->SetConnectionString(GetConnectionString(context, "CVN", context.AppFile("cvn.ini"),
                                                      context.server.ServerName, database));
  connection->Open("", "");
  return connection;
}

std::unique_ptr<data::Connection> OpenDatabaseOfFile(Context& context, const std::string& path) {
  return OpenDatabase(context, DatabaseOfFile(context, path));
}

}  // namespace msu::split
