// What a path names, looked at before the program reads it: only regular files are read as
// databases, instruction files, settings and reports, so that a pipe cannot hang a run and a
// device or a folder is never taken for data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace msu {

// Which file a path leads to, as the file system tells it: two paths name one file exactly
// when their identities are equal, whatever their spelling or links.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file `path` leads to; nothing when it cannot be looked at.
std::optional<FileIdentity> IdentityOfFile(const std::string& path);

// Empty text when `path` names a regular file (a link to one counts). Otherwise why it cannot
// be read as one: "it does not exist", "it is a folder", "it is a pipe", "it is a socket", "it
// is a device", or the system's reason when it cannot be looked at. Never opens the
// path, so it never waits for a writer at the other end of a pipe.
std::string NotARegularFile(const std::string& path);

}  // namespace msu
