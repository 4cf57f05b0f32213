#include "server_routines/database_files.h"

#include "core/file_identity.h"
#include "core/text.h"

namespace msu::server_routines {

std::string PrimaryDataFile(data::AdminConnection& connection, const std::string& database) {
  return Trim(connection.ListDatabaseFiles(database).GetColumnString(1, 9));
}

std::vector<std::string> DatabasesOfFile(data::AdminConnection& connection,
                                         const std::string& path) {
  std::vector<std::string> found;
  if (Trim(path).empty()) return found;
  for (const std::string& database : connection.ListDatabases()) {
    const std::string file = PrimaryDataFile(connection, database);
    if (!file.empty() && SameFilePath(Trim(path), file)) found.push_back(database);
  }
  return found;
}

std::optional<std::string> DatabaseOfFile(data::AdminConnection& connection,
                                          const std::string& path) {
  std::vector<std::string> found = DatabasesOfFile(connection, path);
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::optional<std::string> FileOfDatabase(data::AdminConnection& connection,
                                          const std::string& name) {
  for (const std::string& database : connection.ListDatabases()) {
    if (EqualsNoCase(database, name)) return PrimaryDataFile(connection, database);
  }
  return std::nullopt;
}

}  // namespace msu::server_routines
