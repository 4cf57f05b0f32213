#include "server_routines/attachment.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "core/file_identity.h"
#include "core/private_files.h"
#include "core/text.h"
#include "data/backend.h"
#include "server_routines/admin_session.h"
#include "server_routines/database_files.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/routine_errors.h"
#include "server_routines/working_files.h"

namespace msu::server_routines {

namespace fs = std::filesystem;

namespace {

// The running suite may hold the database open; its processes are ended so that the detach
// does not wait for them or fail.
void KillProcessesOf(data::AdminConnection& connection, const std::string& database) {
  const data::ResultTable processes = connection.ListProcesses();
  for (long row = 1; row <= processes.Rows(); ++row) {
    if (Trim(processes.GetColumnString(row, 7)) == database) {
      connection.KillProcess(processes.GetColumnLong(row, 1));
    }
  }
}

}  // namespace

std::string DetachDatabaseFile(Context& context, const std::string& path, AfterDetach after,
                               FailureBox box) {
  try {
    std::string result;
    AdminSession session(context);
    // Every database is looked at: the files of several databases can occur in the given path
    // (one path being the start of another), and each of those databases goes.
    for (const std::string& database : DatabasesOfFile(session.connection(), path)) {
      const std::string file = PrimaryDataFile(session.connection(), database);
      if (after == AfterDetach::kAttachAgain) {
        session->RecordPendingAttachment(NewPendingAttachment(database, file));
      }
      KillProcessesOf(session.connection(), database);
      session->DetachDatabase(database, false);
      // A working database leaves the record with its detach; a user's stays there until it
      // is attached again.
      if (after == AfterDetach::kGone) ForgetPendingAttachment(session.connection(), database);
      result = database;
    }
    session.Disconnect();
    return result;
  } catch (...) {
    const RoutineError error = CurrentError();
    if (box == FailureBox::kShow) ShowErrorBox(context.prompt(), error);
    return "";
  }
}

std::string AttachCommandFor(Context& context, const std::string& path) {
  try {
    return context.backend().AttachCommand(context.server.ServerName, DatabaseNameOfFile(path),
                                           path);
  } catch (...) {
    return {};
  }
}

std::optional<bool> IsAttached(Context& context, const std::string& path) {
  try {
    AdminSession session(context);
    const bool attached = DatabaseOfFile(session.connection(), path).has_value();
    session.Disconnect();
    return attached;
  } catch (...) {
    return std::nullopt;
  }
}

bool AttachDatabaseFile(Context& context, const std::string& path, std::string& name) {
  try {
    AdminSession session(context);
    if (DatabaseOfFile(session.connection(), path)) {
      session.Disconnect();
      return true;
    }
    if (name.empty()) name = DatabaseNameOfFile(path);
    DeleteFileIfExists(LogFileOfDatabase(FolderOf(path), name));
    session->AttachDatabase(name, path);
    ForgetPendingAttachment(session.connection(), name);
    session.Disconnect();
    return true;
  } catch (...) {
    ShowErrorBox(context.prompt(), CurrentError());
    return false;
  }
}

bool CopyDatabaseFile(Context& context, const std::string& source, const std::string& target) {
  try {
    AdminSession session(context);
    // Replacing the target would otherwise replace the only copy of the data.
    if (SameFile(source, target)) {
      throw FileError(kErrPathAccess,
                      "Cannot copy the file \"" + source + "\" onto itself (\"" + target + "\").");
    }
    DetachDatabaseFile(context, source);
    DetachDatabaseFile(context, target);
    DeleteFileIfExists(LogFileOfDataFile(target));
    DeleteFileIfExists(LogFileOfDataFile(source));
    PlaceDatabaseFile(session.connection(), context, source, target, context.merge.NewDatabaseName);
    session.Disconnect();
    return true;
  } catch (...) {
    const RoutineError error = CurrentError();
    if (error.number == kErrDiskFull) context.Halt(error.description);
    KeepLastError(context, error);
    context.progress().AddProgressMerge("Error, merge stopped, " + context.merge.CurrentOperation);
    context.progress().AddProgressMerge("Error, copying database: " + context.merge.LastError);
    return false;
  }
}

std::string PartFileOf(const std::string& target, long process) {
  return JoinPath(FolderOf(target),
                  "." + FileNameOf(target) + ".msu-" + std::to_string(process) + ".part");
}

std::string IncompleteNameOf(const std::string& target) {
  const fs::path name(FileNameOf(target));
  return JoinPath(FolderOf(target),
                  name.stem().string() + ".incomplete" + name.extension().string());
}

namespace {

// Part files of `target` whose process is gone: a run killed while placing it.
void RemoveStaleParts(const std::string& target) {
  const std::string prefix = "." + FileNameOf(target) + ".msu-";
  std::error_code error;
  const std::string folder = FolderOf(target).empty() ? "." : FolderOf(target);
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(".part")) continue;
    const std::string pid = name.substr(prefix.size(), name.size() - prefix.size() - 5);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const long process = std::stol(pid);
    if (process == static_cast<long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

// A disk without room for the copy fails now rather than half-way.
void RequireRoom(const std::string& source, const std::string& target) {
  struct stat status {};
  struct statvfs disk {};
  const std::string folder = FolderOf(target).empty() ? "." : FolderOf(target);
  if (::stat(source.c_str(), &status) != 0 || ::statvfs(folder.c_str(), &disk) != 0) return;
  const uint64_t room = static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
  if (room < static_cast<uint64_t>(status.st_size)) {
    throw FileError(kErrDiskFull, DiskFullMessage(folder) + " (" +
                                      std::to_string(status.st_size / 1024) +
                                      " KB are needed for " + target + ", " +
                                      std::to_string(room / 1024) + " KB are free).");
  }
}

uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  return error ? static_cast<uintmax_t>(-1) : size;
}

}  // namespace

namespace {

// Removes the part file `part` after `failure` and throws it on; when the part cannot be
// removed, the description says where it lies.
[[noreturn]] void DropPart(const std::string& part, const NumberedError& failure) {
  std::error_code error;
  fs::remove(part, error);
  if (!error) throw;
  throw FileError(failure.number(), failure.description() + " The unfinished copy " + part +
                                        " could not be deleted: " + error.message() + ".");
}

// The copy of PlaceDatabaseFile: `source` written to `part`, synced and checked. A part file
// that fails is removed.
void WritePart(Context& context, const std::string& source, const std::string& target,
               const std::string& part, std::function<void()> keep_alive) {
  const std::string folder = FolderOf(target).empty() ? "." : FolderOf(target);
  if (!fs::is_directory(folder)) {
    throw FileError(kErrFileNotFound, "Cannot copy the file \"" + source + "\" to \"" + target +
                                          "\": the folder " + folder + " does not exist.");
  }
  RemoveStaleParts(target);
  RequireRoom(source, target);
  try {
    CopyWholeFile(source, part, context.copier(),
                  {.private_file = false, .sync = true, .keep_alive = std::move(keep_alive)});
    if (SizeOf(part) != SizeOf(source)) {
      throw FileError(kErrDeviceIO,
                      "The copy " + part + " of " + source + " is not as long as the file copied.");
    }
  } catch (const NumberedError& failure) {
    DropPart(part, failure);
  }
}

// The rest of PlaceDatabaseFile once `part` is written: it takes the name `target`, the folder
// is synced, and it is attached as `attach_as` (when not empty).
void PublishPart(data::AdminConnection& connection, const std::string& part,
                 const std::string& target, const std::string& attach_as) {
  try {
    std::error_code error;
    fs::rename(part, target, error);
    if (error) {
      throw FileError(kErrPathAccess, "Cannot rename \"" + part + "\" to \"" + target +
                                          "\": " + error.message() + ".");
    }
  } catch (const NumberedError& failure) {
    DropPart(part, failure);
  }
  SyncFolder(FolderOf(target));
  if (!attach_as.empty()) connection.AttachDatabase(attach_as, target);
}

}  // namespace

void PlaceDatabaseFile(data::AdminConnection& connection, Context& context,
                       const std::string& source, const std::string& target,
                       const std::string& attach_as) {
  const std::string part = PartFileOf(target, static_cast<long>(::getpid()));
  WritePart(context, source, target, part, [&context] { context.progress().KeepAlive(); });
  PublishPart(connection, part, target, attach_as);
}

DatabaseCopyAhead::DatabaseCopyAhead(Context& context, std::string source, std::string target)
    : context_(context),
      source_(std::move(source)),
      target_(std::move(target)),
      part_(PartFileOf(target_, static_cast<long>(::getpid()))) {
  // A file copied onto itself is refused by Place before anything is written.
  if (SameFile(source_, target_)) return;
  try {
    written_ = std::async(std::launch::async, [this] {
      // No window on this thread (the waiting side keeps it alive); between two pieces of the
      // copy it asks whether its owner still wants it.
      WritePart(context_, source_, target_, part_, [this] {
        if (abandoned_) throw Abandoned();
      });
    });
  } catch (const std::system_error&) {
    // No thread: Place copies as CopyDatabaseFile does.
  }
}

DatabaseCopyAhead::~DatabaseCopyAhead() {
  abandoned_ = true;
  if (written_.valid()) written_.wait();
  // Placed, the part file has taken its name; otherwise what was written goes.
  std::error_code ignored;
  fs::remove(part_, ignored);
}

bool DatabaseCopyAhead::Place() {
  if (!written_.valid()) return CopyDatabaseFile(context_, source_, target_);
  try {
    AdminSession session(context_);
    if (SameFile(source_, target_)) {
      throw FileError(kErrPathAccess, "Cannot copy the file \"" + source_ + "\" onto itself (\"" +
                                          target_ + "\").");
    }
    DetachDatabaseFile(context_, source_);
    DetachDatabaseFile(context_, target_);
    DeleteFileIfExists(LogFileOfDataFile(target_));
    DeleteFileIfExists(LogFileOfDataFile(source_));
    while (written_.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready) {
      context_.progress().KeepAlive();
    }
    written_.get();
    PublishPart(session.connection(), part_, target_, context_.merge.NewDatabaseName);
    session.Disconnect();
    return true;
  } catch (...) {
    const RoutineError error = CurrentError();
    if (error.number == kErrDiskFull) context_.Halt(error.description);
    KeepLastError(context_, error);
    context_.progress().AddProgressMerge("Error, merge stopped, " +
                                         context_.merge.CurrentOperation);
    context_.progress().AddProgressMerge("Error, copying database: " + context_.merge.LastError);
    return false;
  }
}

}  // namespace msu::server_routines
