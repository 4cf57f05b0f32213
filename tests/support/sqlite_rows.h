// SQLite files read and written by the tests past the engine, through the program's own owner
// of SQLite handles: fixtures made directly, and what a file holds after a test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "data/sqlite/sqlite_handles.h"

namespace msu::testing {

// Every row of a query, each value as text ("NULL" for NULL), columns joined by "|". Throws
// std::runtime_error with SQLite's message and the query when it fails.
std::vector<std::string> QueryRows(const sqlite::Database& db, const std::string& sql);

// The same on the file at `path`, opened read-only.
std::vector<std::string> QueryFile(const std::string& path, const std::string& sql);

// Everything the tables of the file at `path` hold: for each table, its rows as QueryRows
// gives them, sorted, so that two files with the same rows in another order compare equal.
std::map<std::string, std::vector<std::string>> TableContents(const std::string& path);

// Runs one or more statements on the file at `path`, which is made when it is missing. Throws
// std::runtime_error with SQLite's message when that fails.
void ExecFile(const std::string& path, const std::string& sql);

}  // namespace msu::testing
