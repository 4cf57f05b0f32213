// Which database of a server uses which file: the one rule every routine finds a database by.
// A database is the database of a path when its primary data file, as the server knows it, is
// the same file as the path: the same file on the disk when both exist (a link, a relative
// path, "." and ".." all lead to the file), otherwise the same absolute, normalised path. A
// text test would take /backup/data/Fire1.mdf for /data/Fire1.mdf; this one never does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "data/admin.h"

namespace msu::server_routines {

// The primary data file of `database` as the server knows it (row 1, column 9 of
// ListDatabaseFiles), without the blanks the server pads it with. Throws what the server
// throws.
std::string PrimaryDataFile(data::AdminConnection& connection, const std::string& database);

// The databases whose primary data file is the file `path` names, in the server's order (a
// server keeps one database per file; a stale entry may make two). Throws what the server
// throws.
std::vector<std::string> DatabasesOfFile(data::AdminConnection& connection,
                                         const std::string& path);

// The first of DatabasesOfFile, or nothing.
std::optional<std::string> DatabaseOfFile(data::AdminConnection& connection,
                                          const std::string& path);

// The primary data file of the database named `name` (any letter case), or nothing when the
// server has no database of that name. Throws what the server throws.
std::optional<std::string> FileOfDatabase(data::AdminConnection& connection,
                                          const std::string& name);

}  // namespace msu::server_routines
