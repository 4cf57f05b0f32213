// The suite's connection-settings component: turns the section "CVN" of the suite's ini file,
// a server name and a database name into a connection string that opens that database on that
// server with credentials the component supplies.
#pragma once

#include <memory>
#include <string>

#include "core/context.h"
#include "data/data_access.h"

namespace msu::server_routines {

// Returns the connection string for `database_name` on `server_name`, reading `section` of the
// ini file at `ini_path` (normally "CVN" and the application folder's "cvn.ini"). Throws
// data::DataError with a clear description when the ini file cannot be read.
std::string GetConnectionString(Context& context, const std::string& section,
                                const std::string& ini_path, const std::string& server_name,
                                const std::string& database_name);

// How a data connection to one of the server's databases is opened.
struct OpenSettings {
  bool never_prompt = false;  // "PROMPT" 4: a failed login is an error, never a login box
  bool read_only = false;     // the user's own file: nothing may be written to it
  bool unsynced = false;      // a working copy: a crash means starting again anyway, so
                              // waiting for each commit to reach the disk buys nothing
  bool heartbeat = false;     // long statements beat the context's heartbeat (a stop request)
};

// An open data connection to `database_name` on the login's server, through the application
// folder's "cvn.ini" (section "CVN"). Throws what GetConnectionString and Open throw.
std::unique_ptr<data::Connection> OpenServerDatabase(Context& context,
                                                     const std::string& database_name,
                                                     const OpenSettings& settings = {});

}  // namespace msu::server_routines
