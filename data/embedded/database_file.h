// Database files of the embedded server: a database is one SQLite file in rollback-journal
// mode.
#pragma once

#include <string>

namespace msu::embedded {

// Creates a new, empty database file at `path` (its folder must exist). Throws
// data::DataError(kErrConnection) when a file already exists there or cannot be created; an
// existing file is never touched.
void CreateDatabaseFile(const std::string& path);

}  // namespace msu::embedded
