#include "split/database_of_file.h"

#include "core/context.h"
#include "core/text.h"
#include "data/backend.h"
#include "server_routines/admin_session.h"
#include "server_routines/connection_settings.h"
#include "server_routines/database_files.h"

namespace msu::split {

std::string DatabaseOfFile(Context& context, const std::string& path) {
  server_routines::AdminSession session(context);
  const std::string found =
      msu::server_routines::DatabaseOfFile(session.connection(), path).value_or("");
  session.Disconnect();
  if (found.empty()) {
    throw data::AdminError(
        data::kErrAdminOperation,
        "No database on the server " + context.server.ServerName + " uses the file " + path);
  }
  return found;
}

std::unique_ptr<data::Connection> OpenDatabase(Context& context, const std::string& database) {
  return server_routines::OpenServerDatabase(context, database);
}

std::unique_ptr<data::Connection> OpenDatabaseOfFile(Context& context, const std::string& path) {
  return OpenDatabase(context, DatabaseOfFile(context, path));
}

}  // namespace msu::split
