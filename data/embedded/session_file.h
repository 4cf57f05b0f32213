// Sessions of an instance, shared between processes without a server process: each open
// session is a small file "<instance>/sessions/<spid>.session".
//
// The owner keeps the file open with an exclusive flock for the session's life and maps it
// shared. Anyone can therefore tell a live session from the leftover of a process that died:
// if the lock can be taken, its owner is gone (the kernel releases flocks of dead processes)
// and the file is removed. Killing a session writes one byte into the file; the owner reads
// it from its mapping, without a system call, before every statement.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/embedded/instance.h"

namespace msu::embedded {

// A session owned by this process. The file disappears when the object is destroyed.
class OwnedSessionFile {
 public:
  // Publishes a live session file in `sessions_folder` (created when missing). Throws
  // std::runtime_error with the reason when the file cannot be written.
  static std::unique_ptr<OwnedSessionFile> Publish(const std::string& sessions_folder,
                                                   const SessionInfo& info);
  ~OwnedSessionFile();
  OwnedSessionFile(const OwnedSessionFile&) = delete;
  OwnedSessionFile& operator=(const OwnedSessionFile&) = delete;

  long Spid() const { return spid_; }
  bool Killed() const noexcept;
  const std::string& Path() const { return path_; }

 private:
  OwnedSessionFile(std::string path, int fd, void* mapping, long spid)
      : path_(std::move(path)), fd_(fd), mapping_(mapping), spid_(spid) {}
  std::string path_;
  int fd_;
  void* mapping_;
  long spid_;
};

// The live sessions of the folder, in spid order. Removes the files of sessions whose owner
// died. A missing folder has no sessions.
std::vector<SessionInfo> ListSessionFiles(const std::string& sessions_folder);

// Marks the live session `spid` as killed. Returns false when there is no live, unkilled
// session of that number.
bool KillSessionFile(const std::string& sessions_folder, long spid);

}  // namespace msu::embedded
