// The working copies of a merge: the data files of Database 1 and Database 2 are copied to
// "W_O_R_K_A.tmp" and "W_O_R_K_B.tmp" in the application folder, and all four files are then
// attached, so that the merge works only on the copies while the user's databases stay
// available under their own names. The user's files are only ever read.
#pragma once

#include <string>

#include "core/context.h"

namespace msu::server_routines {

// Sets NewDatabaseName from `new_database_path` (its file name without the last four
// characters), detaches the databases of `source_a_path` and `source_b_path` (remembering
// their names as SourceName and DestinationName) and those of the two working files, and
// copies each data file over its working file. Adds "Created a working copy of Database 1: "
// (then 2) and the path to the check page's log. Returns true on success. A failed copy adds
// "Error, Creating working copy of Database 1: " (or 2) and the failure's description and
// returns false; what was detached stays detached. The two user's databases are detached with
// AfterDetach::kAttachAgain: the server's record keeps them until they are attached again
// (by ReattachDatabases, or by RepairPendingAttachments after a failure).
bool MakeWorkingCopies(Context& context, const std::string& source_a_path,
                       const std::string& source_b_path, const std::string& new_database_path);

// Attaches, over one administration connection and in this order, Database 1 as SourceName,
// "W_O_R_K_A.tmp" as "W_O_R_K_A", Database 2 as DestinationName and "W_O_R_K_B.tmp" as
// "W_O_R_K_B", with a line on the check page before each; a stale log file of a working
// database is deleted before it is attached, and the entries of the user's databases leave the
// record of pending attachments once they are attached. Returns true on success. On any failure
// adds "Error Occured: " and the description to the check page's log and returns false; what was
// attached stays attached.
bool ReattachDatabases(Context& context, const std::string& source_a_path,
                       const std::string& source_b_path);

}  // namespace msu::server_routines
