// What both database pages, the merge's and the split's, check once their paths keep the page's
// own rules: that nothing has the databases or the working files open, and that an existing
// resulting database is only replaced when the user agrees.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
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

// What would keep the run from placing its new database at `result_path` once it has done
// all its work, as the page's message, or empty text: the folder missing ("Error, the folder of
// the Resulting Database does not exist: FOLDER"), or not writable by this user ("Error, the
// folder of the Resulting Database cannot be written: FOLDER (reason)"), or the database name
// (the file name without its last four characters) refused by the server ("Error, the server
// cannot take NAME as a database name: reason") or taken by a database of another file
// ("Error, the server has a database named NAME already, from the file FILE; give the
// Resulting Database another file name"). When the server cannot be asked, the name is left
// to the end of the run. Never throws.
std::string ResultPlacementMessage(Context& context, const std::string& result_path);

// Whether the disks have room for what a run writes: `working_bytes` (its working copies) in
// the application folder and `result_bytes` (the new database) in the folder of
// `result_path`, both on one disk when the folders share one. Empty text when they have, or
// when a disk cannot be asked; otherwise "Not enough room on the disk of the folder FOLDER: N MB
// are free, about M MB are needed for the working copies and the new database; nothing was
// changed." Estimates from file sizes: a disk that fills up anyway stops the run later.
std::string RoomMessage(Context& context, uint64_t working_bytes, const std::string& result_path,
                        uint64_t result_bytes);

// The size of the file at `path` in bytes; 0 when it cannot be read.
uint64_t FileBytes(const std::string& path);

// Told the path of an existing resulting database just before the question whether to
// overwrite it, and empty text once it is answered: the question's own words do not name the
// file, so the wizard names it in the page's message label meanwhile.
using OverwriteNote = std::function<void(const std::string& path)>;

// What a database page checks before its run may start, in this order.
struct RunStart {
  // Databases and working files that must have no open connections.
  std::vector<std::string> in_use_paths;
  // The working names the run will attach, each with its working file (WorkingNameRefusal).
  std::vector<std::pair<std::string, std::string>> working_names;
  // The new database, and what the run writes (RoomMessage).
  std::string result_path;
  uint64_t working_bytes = 0;
  uint64_t result_bytes = 0;
  // Asked when a file exists at `result_path`.
  const char* overwrite_question = "";
  // Told around the question (may be empty).
  OverwriteNote overwrite_note;
};

// Asks OpenConnectionsMessage about `in_use_paths`: kInUse with its message when any is in
// use; then whether the working names are free (WorkingNameRefusal; kInUse with the refusal);
// then ResultPlacementMessage and RoomMessage (kInvalid with the message). Otherwise, when a
// file exists at `result_path`, asks `overwrite_question` in a Yes/No box titled "Warning" with
// the exclamation icon and No as its default button (Enter keeps the file), telling
// `overwrite_note` the path before and empty text after: kNotOverwritten on No. kAccepted when
// none stops it. Never throws.
PathsCheck CheckRunCanStart(Context& context, const RunStart& run);

}  // namespace msu
