#include "server_routines/database_version.h"

#include <charconv>
#include <limits>

#include "core/context.h"
#include "core/file_identity.h"
#include "core/text.h"
#include "data/backend.h"
#include "data/data_access.h"
#include "server_routines/admin_session.h"
#include "server_routines/connection_settings.h"
#include "server_routines/database_files.h"
#include "server_routines/routine_errors.h"

namespace msu::server_routines {

double VersionNumber(std::string_view version) { return LeadingNumber(version); }

std::optional<std::vector<int16_t>> VersionParts(std::string_view version) {
  std::vector<int16_t> parts;
  while (true) {
    size_t dot = version.find('.');
    std::string part = Trim(version.substr(0, dot));
    if (!part.empty() && part[0] == '+') part.erase(0, 1);
    int value = 0;
    const char* end = part.data() + part.size();
    auto [stop, error] = std::from_chars(part.data(), end, value);
    if (part.empty() || error != std::errc() || stop != end ||
        value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
      return std::nullopt;
    }
    parts.push_back(static_cast<int16_t>(value));
    if (dot == std::string_view::npos) return parts;
    version.remove_prefix(dot + 1);
  }
}

bool UsesInstructions4x(std::string_view database_version) {
  return VersionNumber(database_version) >= kInstructions4xVersion;
}

std::string InstructionFileForVersion(std::string_view database_version) {
  return UsesInstructions4x(database_version) ? kInstructionFile4x : kInstructionFilePre4x;
}

VersionRows ReadVersionRows(data::Connection& connection) {
  VersionRows found;
  std::unique_ptr<data::Recordset> rows = connection.Execute(kVersionQuery);
  while (!rows->IsEOF()) {
    const std::string module = UpperCase(rows->Get("module").AsText());
    if (module == "DATABASE") found.database = rows->Get("version");
    if (module == "MERGEVERSION") found.merge = rows->Get("version");
    rows->MoveNext();
  }
  rows->Close();
  return found;
}

bool ReadDatabaseVersion(Context& context, const std::string& path, std::string* database_version,
                         std::string* merge_version) {
  try {
    std::string database_name;
    bool found = false;
    {
      AdminSession session(context);
      if (std::optional<std::string> database = DatabaseOfFile(session.connection(), path)) {
        database_name = *database;
        found = true;
      }
      session.Disconnect();
    }
    if (!found) {
      throw data::AdminError(
          data::kErrAdminOperation,
          "No database on the server " + context.server.ServerName + " uses the file " + path);
    }

    // The user's own file: reading its version must never write to it.
    std::unique_ptr<data::Connection> connection =
        OpenServerDatabase(context, database_name, {.read_only = true});
    const VersionRows rows = ReadVersionRows(*connection);
    const auto take = [&](const std::optional<data::Value>& value, const char* module,
                          std::string* target) {
      if (!value || target == nullptr) return;
      if (value->IsNull()) {
        throw data::DataError(kErrInvalidUseOfNull, std::string("Invalid use of Null: the ") +
                                                        module + " version of " + database_name +
                                                        " is NULL");
      }
      *target = value->AsText();
    };
    take(rows.database, "DATABASE", database_version);
    take(rows.merge, "MERGEVERSION", merge_version);
    connection->Close();
    return true;
  } catch (...) {
    const RoutineError error = CurrentError();
    context.progress().AddProgress("Error Occured: " + LastErrorText(error));
    return false;
  }
}

}  // namespace msu::server_routines
