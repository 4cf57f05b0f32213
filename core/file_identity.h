// How the routines tell which file a path names, as the file system tells it, and whether a
// user's database file can be read without changing it. Two paths name one file when they lead
// to the same file (the same device and inode), whatever their spelling: a relative path, "."
// and "..", a symbolic link or a hard link. The database of a file is found by this rule alone
// (server/database_files.h).
#pragma once

#include <string>

namespace msu {

// `text` with a leading "~" (alone, or before a "/") replaced by the home folder ($HOME); any
// other text is returned as it is.
std::string ExpandHome(const std::string& text);

// The folder a new database goes into when its box names no folder: C:\Orvane\database on
// Windows, ~/Orvane/Databases elsewhere (where the file dialogs also start).
std::string DefaultDatabaseFolder();

// `text` (trimmed) in DefaultDatabaseFolder() when it is a bare file name; otherwise as it is.
std::string InDefaultDatabaseFolder(const std::string& text);

// Whether two paths name one file: when both exist, whether they are one file; otherwise
// whether their absolute, normalised texts are equal.
bool SameFilePath(const std::string& a, const std::string& b);

// The file beside the database file `path` that holds a transaction left unfinished, or empty
// text when there is none: "<path>-journal" that is not empty and not zeroed (a transaction
// that was never committed or rolled back; SQLite would roll it back into the file on the
// first read), or "<path>-wal" that is not empty (committed changes not yet in the file).
// Reading such a database would write to it, and a copy of the file alone would be damaged.
std::string UnfinishedTransactionFile(const std::string& path);

// The line that refuses such a database: `which` ("Database 1", "Database 2", "The database
// to split") + " has an unfinished transaction (the file " + file name + " beside it); open it
// in the suite first". Empty text when `path` has no unfinished transaction.
std::string UnfinishedTransactionMessage(const std::string& which, const std::string& path);

}  // namespace msu
