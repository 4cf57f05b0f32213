// What a run leaves behind: its working databases are taken off the server and the working
// files of the application folder are deleted, once a merge or split no longer needs them and
// when the program ends.
#pragma once

#include <string>

#include "core/context.h"
#include "server_routines/attachment.h"

namespace msu::server_routines {

// The working files of both sides, in the order they are deleted: copy B's, then copy A's.
inline constexpr const char* kWorkingFiles[] = {"W_O_R_K_B.tmp",     "W_O_R_K_B.ini",
                                                "W_O_R_K_B_log.LDF", "W_O_R_K_A.tmp",
                                                "W_O_R_K_A.ini",     "W_O_R_K_A_log.LDF"};

// The files deleted at exit, in the order they are deleted.
inline constexpr const char* kFilesDeletedAtExit[] = {
    "W_O_R_K_B.tmp", "W_O_R_K_B.ini",     "W_O_R_K_B_log.LDF", "W_O_R_K_A.tmp",
    "W_O_R_K_A.ini", "W_O_R_K_A_log.LDF", "Copy.txt",          "Error.txt"};

// The working copies of the application folder, once the run is done with them: when a login
// was checked (ServerPassword is not empty), the databases of "W_O_R_K_B.tmp" and then of
// "W_O_R_K_A.tmp" are detached; then the files of kWorkingFiles are deleted, each only when it
// exists (a working database file with the journal files beside it, DeleteWorkingFile). A failing
// step does not stop the next one; a failed detach shows its box (none with FailureBox::kSilent).
// While another run holds the application folder (HoldFolderForCleanUp) nothing is done: its
// working files are its own. Then the run's locks are given back (ReleaseRunLocks): without working
// copies it holds nothing another run could need. Returns true when every file that existed was
// deleted, and when another run holds the folder. Never throws.
bool RemoveWorkingCopies(Context& context, FailureBox box = FailureBox::kShow);

// The clean-up when the program ends: as RemoveWorkingCopies, with the database of
// `target_db_path`, when it is not empty, detached after the working databases (the new
// database's file itself stays on disk), and "Copy.txt" and "Error.txt" deleted after the
// working files (kFilesDeletedAtExit). Returns true when every file that existed was deleted.
// Never throws.
bool CleanUpWorkingFiles(Context& context, const std::string& target_db_path,
                         FailureBox box = FailureBox::kShow);

}  // namespace msu::server_routines
