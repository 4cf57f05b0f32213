// Copying a whole file: the one file operation of the routines that can run out of space half
// way (a full disk, a quota). The routines copy through the Context's copier, so that tests can
// hand them one that fails part-way.
#pragma once

#include <string>
#include <system_error>

namespace msu {

class FileCopier {
 public:
  virtual ~FileCopier() = default;
  // Copies the regular file `from` to `to`, replacing a file there. Returns an empty error
  // code on success, otherwise the system's error; a partial copy may then be left at `to`.
  virtual std::error_code Copy(const std::string& from, const std::string& to) = 0;
};

// The copier of the programs: the system's copy of a whole file. It keeps no state.
FileCopier& SystemFileCopier();

}  // namespace msu
