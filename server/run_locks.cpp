#include "server/run_locks.h"

#include <exception>

#include "data/backend.h"

namespace msu {

std::string FolderBusyMessage(long process) {
  return "another merge or split is running in this application folder (process " +
         std::to_string(process) + ")";
}

std::string ServerBusyMessage(const std::string& server, long process) {
  return "another merge or split is running on the server " + server + " (process " +
         std::to_string(process) + ")";
}

std::string TakeRunLocks(Context& context) {
  RunLocks& locks = context.locks;
  std::unique_ptr<RunLock> folder;
  if (!locks.folder) {
    long holder = 0;
    try {
      folder = RunLock::TryTake(context.AppFile(kFolderLockFile), &holder);
    } catch (const std::exception& error) {
      return "the application folder " + context.ApplicationFolder() +
             " cannot be locked: " + error.what();
    }
    if (!folder) return FolderBusyMessage(holder);
  }

  const std::string& server = context.server.ServerName;
  if (!locks.server || locks.server_name != server) {
    std::string path;
    try {
      path = context.backend().RunLockFile(server);
    } catch (...) {
      // A server that cannot say where its lock is cannot be logged in to either.
    }
    std::unique_ptr<RunLock> server_lock;
    if (!path.empty()) {
      long holder = 0;
      try {
        server_lock = RunLock::TryTake(path, &holder);
      } catch (const std::exception& error) {
        return "the server " + server + " cannot be locked: " + error.what();
      }
      if (!server_lock) return ServerBusyMessage(server, holder);
    }
    locks.server = std::move(server_lock);
    locks.server_name = server;
  }
  if (folder) locks.folder = std::move(folder);
  return {};
}

bool HoldFolderForCleanUp(Context& context) {
  if (context.locks.folder) return true;
  long holder = 0;
  try {
    context.locks.folder = RunLock::TryTake(context.AppFile(kFolderLockFile), &holder);
  } catch (...) {
    return true;
  }
  return context.locks.folder != nullptr;
}

}  // namespace msu
