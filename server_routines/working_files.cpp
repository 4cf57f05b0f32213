#include "server_routines/working_files.h"

#include <filesystem>
#include <system_error>

#include "core/file_checks.h"
#include "core/text.h"
#include "server_routines/routine_errors.h"

namespace fs = std::filesystem;

namespace msu::server_routines {

namespace {

long FileErrorNumber(const std::error_code& error) {
  if (error == std::errc::no_such_file_or_directory) return kErrFileNotFound;
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system) {
    return kErrPermissionDenied;
  }
  return kErrPathAccess;
}

}  // namespace

std::string DatabaseNameOfFile(const std::string& path) { return DropLast(FileNameOf(path), 4); }

void AppendMdfExtension(std::string& box) {
  if (Trim(box).empty()) return;
  if (UpperCase(box).find(".MDF") == std::string::npos) box += ".mdf";
}

std::string LogFileOfDataFile(const std::string& path) { return DropLast(path, 4) + "_log.LDF"; }

std::string LogFileOfDatabase(const std::string& folder, const std::string& name) {
  return JoinPath(folder, name + "_log.LDF");
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::exists(fs::symlink_status(path, error));
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return FileExists(a) && FileExists(b) && fs::equivalent(a, b, error) && !error;
}

void DeleteFileIfExists(const std::string& path) {
  if (!FileExists(path)) return;
  std::error_code error;
  fs::remove(path, error);
  if (error) {
    throw FileError(FileErrorNumber(error),
                    "Cannot delete the file \"" + path + "\": " + error.message() + ".");
  }
}

void DeleteWorkingFile(const std::string& path) {
  // The journal goes first: a database file without its journal is whole, a journal without
  // its file is harmless; a file whose journal stays behind is not.
  for (const char* suffix : {"-journal", "-wal", "-shm", ""}) DeleteFileIfExists(path + suffix);
}

void CopyWholeFile(const std::string& from, const std::string& to, FileCopier& copier,
                   const CopyOptions& options) {
  if (SameFile(from, to)) {
    throw FileError(kErrPathAccess,
                    "Cannot copy the file \"" + from + "\" onto itself (\"" + to + "\").");
  }
  // A pipe would make the copy wait for a writer, a device would never end.
  if (const std::string problem = NotARegularFile(from);
      !problem.empty() && FileExists(from) && problem != "it does not exist") {
    throw FileError(kErrPathAccess,
                    "Cannot copy the file \"" + from + "\" to \"" + to + "\": " + problem + ".");
  }
  std::error_code error;
  if (!fs::is_regular_file(from, error)) {
    if (!error) error = std::make_error_code(std::errc::no_such_file_or_directory);
  } else {
    error = copier.Copy(from, to, options);
  }
  if (IsDiskFull(error)) {
    std::error_code ignored;
    throw FileError(kErrDiskFull, DiskFullMessage(FolderOf(fs::absolute(to, ignored).string())) +
                                      " (copying \"" + from + "\" to \"" + to + "\").");
  }
  if (error) {
    throw FileError(FileErrorNumber(error), "Cannot copy the file \"" + from + "\" to \"" + to +
                                                "\": " + error.message() + ".");
  }
}

}  // namespace msu::server_routines
