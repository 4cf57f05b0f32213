// The working files of the application folder and the file operations the routines do on
// them. A merge or split never touches the user's own database files except to read them.
#pragma once

#include <string>

#include "core/file_copier.h"

namespace msu::server_routines {

// Copies of the data files of Database 1 (or of the database to split) and of Database 2.
inline constexpr const char* kWorkFileA = "W_O_R_K_A.tmp";
inline constexpr const char* kWorkFileB = "W_O_R_K_B.tmp";
// The ini files that belong to them.
inline constexpr const char* kWorkIniA = "W_O_R_K_A.ini";
inline constexpr const char* kWorkIniB = "W_O_R_K_B.ini";
// The transaction logs the server creates when it attaches a working file.
inline constexpr const char* kWorkLogA = "W_O_R_K_A_log.LDF";
inline constexpr const char* kWorkLogB = "W_O_R_K_B_log.LDF";
// The names the working files are attached as.
inline constexpr const char* kWorkDatabaseA = "W_O_R_K_A";
inline constexpr const char* kWorkDatabaseB = "W_O_R_K_B";
// Left behind by the row copy and the error log.
inline constexpr const char* kCopyLogFile = "Copy.txt";
inline constexpr const char* kFailureLogFile = "Error.txt";

// The database name a data file is attached under when none is given: its file name without
// the last four characters, whatever the length of its extension.
std::string DatabaseNameOfFile(const std::string& path);

// Appends ".mdf" to a database page's box that is not blank and whose text does not mention
// ".mdf" in any letter case (so "x.mdf.bak" stays as it is).
void AppendMdfExtension(std::string& box);

// The log file that belongs to a data file: the path without its last four characters,
// followed by "_log.LDF".
std::string LogFileOfDataFile(const std::string& path);

// The log file that belongs to a database name in a folder: folder, separator, name,
// "_log.LDF".
std::string LogFileOfDatabase(const std::string& folder, const std::string& name);

// True when a file (or anything else) exists at `path`; false also when it cannot be told.
bool FileExists(const std::string& path);

// True when both paths name one existing file (through links or different spellings).
bool SameFile(const std::string& a, const std::string& b);

// Deletes the file at `path` when one exists. Throws FileError naming the file when it exists
// and cannot be deleted.
void DeleteFileIfExists(const std::string& path);

// Deletes a working database file together with the files SQLite keeps beside it
// ("-journal", "-wal", "-shm"): a journal left by a killed run would otherwise be rolled into
// the next working copy made under the same name. Throws FileError naming the first file that
// exists and cannot be deleted.
void DeleteWorkingFile(const std::string& path);

// Copies the whole file `from` to `to` with `copier`, replacing a file at `to`. By default the
// copy is private to its owner (0600) and writable whatever the permissions of `from`; see
// CopyOptions. Throws FileError with a description naming both files when the copy fails,
// when `from` is not a regular file (a folder, a pipe, a device), and when the two paths name
// the same file (a copy onto itself would truncate the only data). A full disk is
// kErrDiskFull with DiskFullMessage for the folder of `to`.
void CopyWholeFile(const std::string& from, const std::string& to,
                   FileCopier& copier = SystemFileCopier(), const CopyOptions& options = {});

}  // namespace msu::server_routines
