// How the routines tell which file a path names, as the file system tells it, and whether a
// user's database file can be read without changing it.
//
// The administration routines find a database by testing whether the server's path of its
// data file occurs inside the path the user gave (without regard to letter case, or with it,
// as each routine does). That text test alone takes /backup/data/Fire1.mdf for /data/Fire1.mdf
// and, on a file system that keeps letter case, A.mdf for a.mdf. So where both paths name
// existing files the file system decides: they match exactly when they are one file (the same
// device and inode), whatever their spelling: a relative path, "." and "..", a symbolic link
// or a hard link all name the file they lead to. The text test decides only where a path names
// no existing file.
#pragma once

#include <string>

namespace msu {

enum class LetterCase { kIgnore, kKeep };

// `text` with a leading "~" (alone, or before a "/") replaced by the home folder ($HOME); any
// other text is returned as it is.
std::string ExpandHome(const std::string& text);

// The folder a new database goes into when its box names no folder: C:\Orvane\database on
// Windows, ~/Orvane/Databases elsewhere (where the file dialogs also start).
std::string DefaultDatabaseFolder();

// `text` (trimmed) in DefaultDatabaseFolder() when it is a bare file name; otherwise as it is.
std::string InDefaultDatabaseFolder(const std::string& text);

// Whether `given` names the database whose data file the server knows as `physical` (trimmed):
// when both name existing files, whether they are one file; otherwise whether `physical` occurs
// inside `given` (the letter case ignored with kIgnore).
bool NamesDatabaseFile(const std::string& given, const std::string& physical, LetterCase letters);

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
