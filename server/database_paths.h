// What both database pages, the merge's and the split's, check once their paths keep the page's
// own rules: that nothing has the databases or the working files open, and that an existing
// resulting database is only replaced when the user agrees.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"

namespace msu {

enum class PathsVerdict {
  kAccepted,
  kInvalid,         // a rule of the page is broken
  kInUse,           // a database or a working file has open connections
  kNotOverwritten,  // the resulting database exists and the user said No
};

struct PathsCheck {
  PathsVerdict verdict = PathsVerdict::kInvalid;
  // For the page's message label; empty when accepted or not overwritten.
  std::string message;
};

// "Error, " + `which` + " cannot be used: " + the reason, when something that is not a
// regular file (a folder, a pipe, a device) is at `path`; empty text otherwise (no file there
// included). Only regular files are read as databases: opening a pipe would hang the run.
std::string NotAFileMessage(const std::string& which, const std::string& path);

// Asks OpenConnectionsMessage about `in_use_paths`: kInUse with its message when any is in use.
// Otherwise, when a file exists at `result_path`, asks `overwrite_question` in a Yes/No box
// titled "Warning" with the exclamation icon: kNotOverwritten on No. kAccepted when neither
// stops it. Never throws.
PathsCheck CheckInUseAndOverwrite(Context& context, const std::vector<std::string>& in_use_paths,
                                  const std::string& result_path, const char* overwrite_question);

}  // namespace msu
