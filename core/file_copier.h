// Copying a whole file: the one file operation of the routines that can run out of space half
// way (a full disk, a quota). The routines copy through the Context's copier, so that tests can
// hand them one that fails part-way.
#pragma once

#include <functional>
#include <string>
#include <system_error>

namespace msu {

// How the copy is made.
struct CopyOptions {
  // The copy holds a user's data where other accounts may look (the application folder): it
  // is made readable and writable by its owner only (0600), whatever the source's permissions
  // and the umask. Otherwise it is a new file as any program makes one (0666 less the umask).
  bool private_file = true;
  // The copy is on the disk before Copy returns (fsync), so that a rename may publish it. Where
  // the system allows, each 16 MiB is written out as the copy goes, so that no single wait for
  // the disk covers the whole file.
  bool sync = false;
  // Called after every full 16 MiB copied (and written out, with `sync`) while more may
  // follow: a window stays responsive through a large copy, and a small one runs without
  // interruption.
  std::function<void()> keep_alive;
};

class FileCopier {
 public:
  virtual ~FileCopier() = default;
  // Copies the regular file `from` to `to`, replacing a file there. Returns an empty error
  // code on success, otherwise the system's error (std::errc::no_space_on_device for a full
  // disk); a partial copy may then be left at `to`.
  virtual std::error_code Copy(const std::string& from, const std::string& to,
                               const CopyOptions& options) = 0;
};

// The copier of the programs: the system's copy of a whole file. It keeps no state.
FileCopier& SystemFileCopier();

// True for the errors of a full disk or an exhausted quota.
bool IsDiskFull(const std::error_code& error);

// The words for a full disk, naming the folder whose disk is full: "The disk is full: no space
// is left in the folder FOLDER".
std::string DiskFullMessage(const std::string& folder);

}  // namespace msu
