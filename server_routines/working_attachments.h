// The working databases on the server ("W_O_R_K_A", "W_O_R_K_B"). A run writes only to working
// copies it made itself, in that run: the working names are found free before anything
// changes, each working copy is recorded before it is attached (so that the next run of any
// program detaches what a dead run left, server/pending_attachments.h), and before its first
// write a run confirms that the database attached under a working name is the very file it made.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/context.h"
#include "data/admin.h"

namespace msu::server_routines {

// Whether the working name `name` is free for this run's working file `working_file`: nothing
// of that name is attached, or the database of that name uses `working_file` itself (a
// leftover of this application folder, whose lock the run holds; the working copy routines
// detach it). Returns empty text then, otherwise the refusal: "The server SERVER has a
// database named NAME already, from the file FILE, that this run did not make; nothing was
// changed. If it is left over from an earlier run, detach it (msu-server detach NAME);
// otherwise attach its file under another name." Throws what the server throws.
std::string WorkingNameRefusal(data::AdminConnection& connection, const std::string& server,
                               const std::string& name, const std::string& working_file);

// WorkingNameRefusal for each (name, working file) pair over one administration connection
// with the login's server settings: the first refusal, or empty text. When the server cannot
// be asked, the reason. Never throws.
std::string WorkingNamesRefusal(Context& context,
                                const std::vector<std::pair<std::string, std::string>>& names);

// Records `working_file` as this process's working database `name` (a working entry of the
// server's record), then attaches it under that name. Throws what the server throws; the
// entry then tells the next run there is nothing of ours to detach.
void AttachWorkingCopy(data::AdminConnection& connection, const std::string& name,
                       const std::string& working_file);

// Notes that this run has just made the working file `path` (Context::working_copies), with
// the identity the file has now.
void RememberWorkingCopy(Context& context, const std::string& path);

// Before the first write to the working database `name`: returns when the database the server
// has under `name` uses the file `working_file`, and that file is the one this run made
// (RememberWorkingCopy). Otherwise throws data::AdminError (kErrAdminOperation) "The database
// NAME on the server SERVER is not the working copy this run made (it uses the file FILE); the
// run stopped before writing to it." Throws what the server throws when it cannot be asked.
void ConfirmWorkingDatabase(Context& context, const std::string& name,
                            const std::string& working_file);

}  // namespace msu::server_routines
