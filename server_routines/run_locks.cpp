#include "server_routines/run_locks.h"

#include <exception>

#include "data/backend.h"

namespace msu::server_routines {

namespace {

// What a user can do about the window that holds a place: it lets go by itself.
std::string WhenItLetsGo(const LockHolder& holder) {
  if (holder.name != kWindowRunName) return "";
  return "; it lets go once its merge or split has run, or when it goes back to its database "
         "page or closes";
}

std::string BusyMessage(const LockHolder& holder, const std::string& where) {
  const std::string process = "(process " + std::to_string(holder.process) + ")";
  if (holder.name.empty()) return "another merge or split is running " + where + " " + process;
  return holder.name + " " + process + " is running a merge or split " + where +
         WhenItLetsGo(holder);
}

}  // namespace

std::string FolderBusyMessage(const LockHolder& holder) {
  return BusyMessage(holder, "in this application folder");
}

std::string ServerBusyMessage(const std::string& server, const LockHolder& holder) {
  return BusyMessage(holder, "on the server " + server);
}

std::string TakeRunLocks(Context& context) {
  RunLocks& locks = context.locks;
  std::unique_ptr<RunLock> folder;
  if (!locks.folder) {
    LockHolder holder;
    try {
      folder = RunLock::TryTake(context.AppFile(kFolderLockFile), &holder, locks.owner);
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
      LockHolder holder;
      try {
        server_lock = RunLock::TryTake(path, &holder, locks.owner);
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

void ReleaseRunLocks(Context& context) {
  context.locks.server.reset();
  context.locks.server_name.clear();
  context.locks.folder.reset();
}

bool HoldFolderForCleanUp(Context& context) {
  if (context.locks.folder) return true;
  LockHolder holder;
  try {
    context.locks.folder =
        RunLock::TryTake(context.AppFile(kFolderLockFile), &holder, context.locks.owner);
  } catch (...) {
    return true;
  }
  return context.locks.folder != nullptr;
}

}  // namespace msu::server_routines
