// A data connection to the database the server has attached for a data file, for reading the
// database to split without knowing the name it is attached under.
#pragma once

#include <memory>
#include <string>

#include "data/data_access.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::split {

// The name of the first database, in server order, whose primary data file is the file `path`
// names (msu::server_routines::DatabaseOfFile, server/database_files.h), as ReadDatabaseVersion
// finds it. Throws data::AdminError when no database uses the file or the server cannot be asked.
std::string DatabaseOfFile(Context& context, const std::string& path);

// An open connection to that database through the suite's connection settings. Throws what
// DatabaseOfFile, GetConnectionString and Open throw.
std::unique_ptr<data::Connection> OpenDatabaseOfFile(Context& context, const std::string& path);

// An open connection to the database attached as `database`. Throws what GetConnectionString
// and Open throw.
std::unique_ptr<data::Connection> OpenDatabase(Context& context, const std::string& database);

}  // namespace msu::split
