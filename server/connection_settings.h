// The suite's connection-settings component: turns the section "CVN" of the suite's ini file,
// a server name and a database name into a connection string that opens that database on that
// server with credentials the component supplies.
#pragma once

#include <string>

#include "core/context.h"

namespace msu {

// Returns the connection string for `database_name` on `server_name`, reading `section` of the
// ini file at `ini_path` (normally "CVN" and the application folder's "cvn.ini"). Throws
// data::DataError with a clear description when the ini file cannot be read.
std::string GetConnectionString(Context& context, const std::string& section,
                                const std::string& ini_path, const std::string& server_name,
                                const std::string& database_name);

}  // namespace msu
