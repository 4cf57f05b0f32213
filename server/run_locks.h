// One run at a time per application folder and per server. Two runs in one application folder
// would share the working files; two on one server, the working databases, whose names are
// fixed. A run takes both locks with its login (before it changes anything) and holds them in
// its Context until it ends; a second run is refused with the process number of the first.
// The lock of a run that died is taken over (core/run_lock.h).
#pragma once

#include <string>

#include "core/context.h"

namespace msu {

// The lock file of the application folder.
inline constexpr const char* kFolderLockFile = ".msu-run.lock";

// "another merge or split is running in this application folder (process N)"
std::string FolderBusyMessage(long process);
// "another merge or split is running on the server NAME (process N)"
std::string ServerBusyMessage(const std::string& server, long process);

// Takes the application folder's lock and the lock of ServerName (when the backend has one,
// Backend::RunLockFile) into context.locks, keeping those the run holds already; the lock of
// another server held before is given back. Returns empty text when the run holds both.
// Otherwise returns FolderBusyMessage or ServerBusyMessage, or "the application folder FOLDER
// cannot be locked: " + the reason, and holds no lock it did not hold before the call.
// Never throws.
std::string TakeRunLocks(Context& context);

// The application folder's lock for the clean-up at exit: true when the run holds it already
// or takes it now (into context.locks), false when another run holds it: its working files
// are not this run's to delete. A folder that cannot be locked at all counts as free.
bool HoldFolderForCleanUp(Context& context);

}  // namespace msu
