// Data connections of the embedded server: a database is a SQLite file, and statements arrive
// as T-SQL. The connection string names either an attached database of an instance or a file:
//
//   Provider=Orvane.Embedded;Server=ORVANE;Database=W_O_R_K_A[;Instance Root=/path]
//   Provider=Orvane.Embedded;Data Source=/path/to/file.mdf
//
// A connection to an instance's database is a session of that instance (see instance.h).
#pragma once

#include <memory>
#include <string>

#include "server/data_access.h"

namespace msu::embedded {

// A new, closed connection. `instance_root` is used when the connection string names no
// "Instance Root".
std::unique_ptr<data::Connection> NewConnection(const std::string& instance_root);

}  // namespace msu::embedded
