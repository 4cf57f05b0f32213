#include "server/attachment.h"

#include <vector>

#include "core/text.h"
#include "server/admin_session.h"
#include "server/file_identity.h"
#include "server/pending_attachments.h"
#include "server/routine_errors.h"
#include "server/working_files.h"

namespace msu {

namespace {

// The physical path of a database's primary data file, as the server pads it.
std::string PrimaryDataFile(data::AdminConnection& connection, const std::string& database) {
  return Trim(connection.ListDatabaseFiles(database).GetColumnString(1, 9));
}

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

std::string DetachDatabaseFile(Context& context, const std::string& path, AfterDetach after) {
  try {
    std::string result;
    AdminSession session(context);
    // Every database is looked at: the files of several databases can occur in the given path
    // (one path being the start of another), and each of those databases goes.
    for (const std::string& database : session->ListDatabases()) {
      const std::string file = PrimaryDataFile(session.connection(), database);
      if (!NamesDatabaseFile(path, file, LetterCase::kIgnore)) continue;
      if (after == AfterDetach::kAttachAgain) {
        session->RecordPendingAttachment(NewPendingAttachment(database, file));
      }
      KillProcessesOf(session.connection(), database);
      session->DetachDatabase(database, false);
      result = database;
    }
    session.Disconnect();
    return result;
  } catch (...) {
    ShowErrorBox(context.prompt(), CurrentError());
    return "";
  }
}

bool AttachDatabaseFile(Context& context, const std::string& path, std::string& name) {
  try {
    AdminSession session(context);
    for (const std::string& database : session->ListDatabases()) {
      if (NamesDatabaseFile(path, PrimaryDataFile(session.connection(), database),
                            LetterCase::kKeep)) {
        session.Disconnect();
        return true;
      }
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
    // Deleting the target first would otherwise delete the only copy of the data.
    if (SameFile(source, target)) {
      throw FileError(kErrPathAccess,
                      "Cannot copy the file \"" + source + "\" onto itself (\"" + target + "\").");
    }
    DetachDatabaseFile(context, source);
    DetachDatabaseFile(context, target);
    DeleteFileIfExists(target);
    DeleteFileIfExists(LogFileOfDataFile(target));
    DeleteFileIfExists(LogFileOfDataFile(source));
    CopyWholeFile(source, target, context.copier());
    session->AttachDatabase(context.merge.NewDatabaseName, target);
    session.Disconnect();
    return true;
  } catch (...) {
    const RoutineError error = CurrentError();
    context.merge.LastError = LastErrorText(error);
    context.progress().AddProgressMerge("Error, merge stopped, " + context.merge.CurrentOperation);
    context.progress().AddProgressMerge("Error, copying database: " + context.merge.LastError);
    return false;
  }
}

}  // namespace msu
