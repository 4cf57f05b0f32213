#include "server/exit_cleanup.h"

#include "server/attachment.h"
#include "server/run_locks.h"
#include "server/working_files.h"

namespace msu {

bool CleanUpWorkingFiles(Context& context, const std::string& target_db_path) {
  // The working files of another run in this folder are that run's to remove.
  if (!HoldFolderForCleanUp(context)) return true;
  // Without a login there is nothing of ours on the server, and no password to ask it with.
  if (!context.server.ServerPassword.empty()) {
    DetachDatabaseFile(context, context.AppFile(kWorkFileB));
    DetachDatabaseFile(context, context.AppFile(kWorkFileA));
    if (!target_db_path.empty()) DetachDatabaseFile(context, target_db_path);
  }
  bool all_done = true;
  for (const char* name : kFilesDeletedAtExit) {
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
  // The run ends here: another may start.
  context.locks.server.reset();
  context.locks.folder.reset();
  return all_done;
}

}  // namespace msu
