// The suite's ini file is read here and nowhere else. Keys of the section (names compared
// without regard to case; lines starting with ";" or "#" are comments):
//
//   [CVN]
//   Options=Key=Value;Key=Value   optional: attributes appended to the server's own connection
//                                 string, for a site that needs more than the defaults
//
// Other keys belong to the suite and are left alone. The credentials always come from the
// backend, never from the file.
#include "server_routines/connection_settings.h"

#include <fstream>
#include <optional>

#include "core/file_checks.h"
#include "core/text.h"
#include "data/backend.h"
#include "data/data_access.h"
#include "server_routines/working_files.h"

namespace msu::server_routines {

namespace {

// The keys and values of `section`, or nothing when the file has no such section.
std::optional<std::vector<std::pair<std::string, std::string>>> ReadSection(
    std::istream& in, const std::string& section) {
  std::optional<std::vector<std::pair<std::string, std::string>>> found;
  bool inside = false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string text = Trim(line);
    if (text.empty() || text[0] == ';' || text[0] == '#') continue;
    if (text.front() == '[' && text.back() == ']') {
      inside = EqualsNoCase(Trim(text.substr(1, text.size() - 2)), section);
      if (inside && !found) found.emplace();
      continue;
    }
    if (!inside) continue;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    found->emplace_back(Trim(text.substr(0, equals)), Trim(text.substr(equals + 1)));
  }
  return found;
}

std::string ValueOf(const std::vector<std::pair<std::string, std::string>>& keys,
                    const std::string& key) {
  for (const auto& [name, value] : keys) {
    if (EqualsNoCase(name, key)) return value;
  }
  return "";
}

}  // namespace

std::string GetConnectionString(Context& context, const std::string& section,
                                const std::string& ini_path, const std::string& server_name,
                                const std::string& database_name) {
  if (!FileExists(ini_path)) {
    throw data::DataError(data::kErrConnection,
                          "The suite's settings file \"" + ini_path +
                              "\" was not found; it is needed to connect to the database " +
                              database_name + ".");
  }
  if (const std::string problem = NotARegularFile(ini_path); !problem.empty()) {
    throw data::DataError(data::kErrConnection, "The suite's settings file \"" + ini_path +
                                                    "\" cannot be read: " + problem + ".");
  }
  std::ifstream in(ini_path, std::ios::binary);
  if (!in) {
    throw data::DataError(data::kErrConnection,
                          "The suite's settings file \"" + ini_path + "\" cannot be read.");
  }
  const auto keys = ReadSection(in, section);
  if (!keys) {
    throw data::DataError(data::kErrConnection, "The suite's settings file \"" + ini_path +
                                                    "\" has no section [" + section + "].");
  }

  std::string connection_string;
  try {
    connection_string = context.backend().DataConnectionString(server_name, database_name);
  } catch (const data::AdminError& error) {
    throw data::DataError(error.number(), error.description());
  }
  std::string options = ValueOf(*keys, "Options");
  while (!options.empty() && options.front() == ';') options.erase(0, 1);
  if (!options.empty()) {
    if (!connection_string.empty() && connection_string.back() != ';') connection_string += ';';
    connection_string += options;
  }
  return connection_string;
}

std::unique_ptr<data::Connection> OpenServerDatabase(Context& context,
                                                     const std::string& database_name,
                                                     const OpenSettings& settings) {
  std::unique_ptr<data::Connection> connection = context.backend().CreateConnection();
  connection->SetConnectionString(GetConnectionString(context, "CVN", context.AppFile("cvn.ini"),
                                                      context.server.ServerName, database_name));
  if (settings.never_prompt) connection->SetProperty("PROMPT", 4);
  if (settings.read_only) connection->SetProperty("Mode", data::kModeRead);
  if (settings.unsynced) connection->SetProperty("Synchronous", 0);
  if (settings.heartbeat) connection->SetHeartbeat(context.Heartbeat());
  connection->Open("", "");
  return connection;
}

}  // namespace msu::server_routines
