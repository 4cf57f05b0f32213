#include "server_routines/exit_cleanup.h"

#include "server_routines/run_locks.h"
#include "server_routines/working_files.h"

namespace msu::server_routines {

namespace {

void DetachWorkingDatabases(Context& context, FailureBox box) {
  for (const char* name : {kWorkFileB, kWorkFileA}) {
    DetachDatabaseFile(context, context.AppFile(name), AfterDetach::kGone, box);
  }
}

// Deletes the files of the application folder named in `names`, in order, each only when it
// exists; false when one of them stays.
template <size_t N>
bool DeleteFiles(Context& context, const char* const (&names)[N]) {
  bool all_done = true;
  for (const char* name : names) {
    try {
      // A working database file takes the journal files beside it along.
      const std::string path = context.AppFile(name);
      if (path == context.AppFile(kWorkFileA) || path == context.AppFile(kWorkFileB)) {
        DeleteWorkingFile(path);
      } else {
        DeleteFileIfExists(path);
      }
    } catch (...) {
      all_done = false;
    }
  }
  return all_done;
}

}  // namespace

bool RemoveWorkingCopies(Context& context, FailureBox box) {
  // The working files of another run in this folder are that run's to remove.
  if (!HoldFolderForCleanUp(context)) return true;
  // Without a login there is nothing of ours on the server, and no password to ask it with.
  if (!context.server.ServerPassword.empty()) DetachWorkingDatabases(context, box);
  const bool all_done = DeleteFiles(context, kWorkingFiles);
  ReleaseRunLocks(context);
  return all_done;
}

bool CleanUpWorkingFiles(Context& context, const std::string& target_db_path, FailureBox box) {
  if (!HoldFolderForCleanUp(context)) return true;
  if (!context.server.ServerPassword.empty()) {
    DetachWorkingDatabases(context, box);
    if (!target_db_path.empty()) {
      DetachDatabaseFile(context, target_db_path, AfterDetach::kGone, box);
    }
  }
  const bool all_done = DeleteFiles(context, kFilesDeletedAtExit);
  // The run ends here: another may start.
  ReleaseRunLocks(context);
  return all_done;
}

}  // namespace msu::server_routines
