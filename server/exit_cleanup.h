// What the program leaves behind when the wizard closes: the working databases are taken off
// the server and the working files of the application folder are deleted.
#pragma once

#include <string>

#include "core/context.h"

namespace msu {

// The files deleted at exit, in the order they are deleted.
inline constexpr const char* kFilesDeletedAtExit[] = {
    "W_O_R_K_B.tmp", "W_O_R_K_B.ini",     "W_O_R_K_B_log.LDF", "W_O_R_K_A.tmp",
    "W_O_R_K_A.ini", "W_O_R_K_A_log.LDF", "Copy.txt",          "Error.txt"};

// When a login was checked (ServerPassword is not empty), detaches the databases of
// "W_O_R_K_B.tmp", then "W_O_R_K_A.tmp", then of `target_db_path` when it is not empty (the
// new database's file itself stays on disk). Then deletes the files of kFilesDeletedAtExit
// from the application folder, each only when it exists (a working database file with the
// journal files beside it, DeleteWorkingFile). A failing step does not stop the
// next one (a failed detach shows its box, as it always does). Returns true when every file
// that existed was deleted. While another run holds the application folder
// (HoldFolderForCleanUp) nothing is done, and true is returned. The run ends with it: its
// locks (context.locks) are given back. Never throws.
bool CleanUpWorkingFiles(Context& context, const std::string& target_db_path);

}  // namespace msu
