// Files the programs make that hold a user's data or a run's state (working copies, the
// temporary problem report and page file, run locks, records of detached databases): they are
// readable and writable by their owner only, whatever the umask, because the application folder
// may be readable by other local accounts.
#pragma once

#include <string>

namespace msu {

// Makes sure the file at `path` exists and is private (0600): a missing file is created
// empty with that mode, an existing one is narrowed to it (its content stays). A writer may
// then open it with truncation: the mode is kept. Throws std::system_error naming the file
// when it cannot be created or narrowed.
void PreparePrivateFile(const std::string& path);

// Makes the folder (and missing parents) and narrows the folder itself to 0700. Throws
// std::system_error naming the folder on failure.
void MakePrivateFolder(const std::string& folder);

// Replaces the file at `path` with `text` so that a crash leaves either the old or the new
// content, never a mix: written to a private temporary file beside it, synced, renamed over
// `path`, and the folder synced. Throws std::system_error naming the file on failure (the
// temporary file is removed then).
void ReplaceFileContents(const std::string& path, const std::string& text);

// Syncs the folder's entry list to the disk, so that a rename or a new file in it survives a
// power cut. A failure is ignored: some file systems cannot sync a folder.
void SyncFolder(const std::string& folder);

}  // namespace msu
