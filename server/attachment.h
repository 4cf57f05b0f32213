// Detaching and attaching databases by their data files, and placing a finished working copy
// at its final path. Each routine opens its own administration connection with the login's
// server settings and ends it before returning, on every path.
#pragma once

#include <string>

#include "core/context.h"

namespace msu {

// Ends every process using each database whose data file path occurs (without regard to
// letter case) inside `path`, detaches that database, and returns its name; when several
// match, all are detached and the name of the last one in server order is returned. Returns
// empty text when no database uses the file. On any failure shows a plain box (description, a
// blank, the number) and returns empty text; databases detached before the failure stay
// detached.
std::string DetachDatabaseFile(Context& context, const std::string& path);

// Attaches the data file at `path` as `name`, unless some database's data file path already
// occurs inside `path` (with regard to letter case), in which case nothing changes. An empty
// `name` becomes the file name of `path` without its last four characters. A log file of that
// name left in the file's folder is deleted first, so the server starts a fresh one. Returns
// true when the file is attached (or already was); on any failure shows a plain box
// (description, a blank, the number) and returns false.
bool AttachDatabaseFile(Context& context, const std::string& path, std::string& name);

// Detaches whatever uses `source` and `target`, deletes `target` and the log files of both
// paths when they exist, copies `source` to `target` and attaches the copy as
// NewDatabaseName. Returns true on success. On any failure sets LastError (number, " - ",
// description), adds "Error, merge stopped, " with CurrentOperation and then
// "Error, copying database: " with LastError to the merge page's log, and returns false.
// `target` must not be the same file as `source`: that is refused before anything is deleted.
bool CopyDatabaseFile(Context& context, const std::string& source, const std::string& target);

}  // namespace msu
