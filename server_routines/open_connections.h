// Whether the running suite (or anything else) is connected to the database of a file, so the
// database pages can refuse to go on while it is in use.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"

namespace msu::server_routines {

// Finds the first database, in server order, whose data file is the file `path` names
// (DatabaseOfFile, server/database_files.h), and returns its name when at least one server process
// uses it, else empty text (also when no database uses the file). Shows the busy pointer. On any
// failure shows a plain box (description, a blank, the number) and returns empty text.
std::string CheckOpenConnections(Context& context, const std::string& path);

// Asks CheckOpenConnections about each of `paths` in order and joins the names it returns,
// each after one blank. Empty text when none is in use, otherwise
// "There are open connections to the " + names + " database(s)."
std::string OpenConnectionsMessage(Context& context, const std::vector<std::string>& paths);

}  // namespace msu::server_routines
