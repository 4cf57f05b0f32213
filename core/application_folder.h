// The application folder: where the programs read the instruction files, "cvn.ini" and the help
// document, and where a run writes its working files, the temporary problem report, the page
// file of printing and its folder lock.
//
// A build's stage folder holds the programs beside the suite kit and is its own application
// folder, as a copy of the utility unpacked anywhere is. An installed copy keeps its programs in
// <prefix>/bin, where its users cannot write, and the kit in <prefix>/share/orvane-msu: each user
// then works in a folder of their own, <data home>/orvane-msu, made private (0700) when it is
// created and seeded from the kit, so that an administrator edits the instruction files there
// as the suite expects them to be edited.
//
// Seeding never loses an edit. A kit file the folder lacks is copied in; a copy the user has
// not changed since it was seeded follows the kit when a newer package brings another version
// of it; a copy the user has changed is left alone. What was seeded is noted in the folder
// (kSeedNoteFile), one line per file with the digest of the text copied.
#pragma once

#include <string>
#include <vector>

namespace msu {

enum class ApplicationFolderKind {
  kProgramFolder,  // the folder of the programs (a stage folder, an unpacked copy)
  kUserFolder,     // the user's own folder of an installed copy
};

struct ApplicationFolder {
  ApplicationFolderKind kind = ApplicationFolderKind::kProgramFolder;
  std::string path;        // the folder in use
  std::string kit_folder;  // kUserFolder: the installed kit it is seeded from; else empty
};

// The note of what was seeded, in a user folder.
inline constexpr const char* kSeedNoteFile = ".kit-seeded";

// Decides which folder the programs in `program_folder` use, touching nothing. The copy is
// installed when `program_folder` holds no "cvn.ini" and the kit folder kInstalledKitFolder
// beside it does: the folder is then JoinPath(data_home, kUserFolderName), or, when
// `data_home` is empty, the program folder as for any other copy. Every other copy uses its
// program folder.
ApplicationFolder LocateApplicationFolder(const std::string& program_folder,
                                          const std::string& data_home);

// The user's data home: $XDG_DATA_HOME when it is an absolute path, otherwise
// ~/.local/share (on Windows, %LOCALAPPDATA%). Empty when no home folder is known.
std::string UserDataHome();

// The folder of the running program: LocateApplicationFolder(ProgramFolder(), UserDataHome()).
ApplicationFolder RunningProgramsApplicationFolder();

// Makes a user folder ready: created with its missing parents (the folder itself 0700; an
// existing folder keeps its modes and access lists, which an administrator may have widened
// for a database server's service account), then seeded from the kit as described above, each
// file through a temporary file so that a copy cut short is never taken for the user's own.
// Returns the names of the kit files copied, in name order. A program folder is left as it is
// (nothing returned). Throws std::filesystem::filesystem_error or std::system_error naming the
// file or folder on failure; files seeded before the failure stay.
std::vector<std::string> PrepareApplicationFolder(const ApplicationFolder& folder);

// Two lines for the help of the command line: the folder in use and why it is that one.
std::string DescribeApplicationFolder(const ApplicationFolder& folder);

}  // namespace msu
