// One run at a time per application folder and per server. Two runs in one application folder
// would share the working files; two on one server, the working databases, whose names are
// fixed. A run takes both locks before it makes its working copies and holds them in its
// Context until they are gone (msu from its login to its end; the wizard from Check Databases,
// or the split's Next, until the merge or split has run, the user goes back to the database
// page, or the window closes); a second run is refused with the name and process of the first.
// The lock of a run that died is taken over (core/run_lock.h).
#pragma once

#include <string>

#include "core/context.h"
#include "core/run_lock.h"

namespace msu::server_routines {

// The lock file of the application folder.
inline constexpr const char* kFolderLockFile = ".msu-run.lock";

// The name the wizard's runs go by in their lock files (RunLocks::owner).
inline constexpr const char* kWindowRunName = "the Orvane Merge/Split window";

// "NAME (process N) is running a merge or split in this application folder", with a word on
// when the wizard lets go when NAME is kWindowRunName; for a holder without a name "another
// merge or split is running in this application folder (process N)".
std::string FolderBusyMessage(const LockHolder& holder);
// The same for the server NAME: "... on the server NAME".
std::string ServerBusyMessage(const std::string& server, const LockHolder& holder);

// Takes the application folder's lock and the lock of ServerName (when the backend has one,
// Backend::RunLockFile) into context.locks, under the name context.locks.owner, keeping those
// the run holds already; the lock of another server held before is given back. Returns empty
// text when the run holds both. Otherwise returns FolderBusyMessage or ServerBusyMessage, or
// "the application folder FOLDER cannot be locked: " + the reason, and holds no lock it did not
// hold before the call. Never throws.
std::string TakeRunLocks(Context& context);

// Gives back both locks: the run has no working copies any more, another may start.
void ReleaseRunLocks(Context& context);

// The application folder's lock for removing working files: true when the run holds it already
// or takes it now (into context.locks), false when another run holds it: its working files are
// not this run's to delete. A folder that cannot be locked at all counts as free.
bool HoldFolderForCleanUp(Context& context);

}  // namespace msu::server_routines
