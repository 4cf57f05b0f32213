// The wizard's words on the command line. The engines write the lines of the wizard's pages,
// and some of them name a button ("press Next to view them", "Press Merge to start ..."); msu
// prints what such a line means for the command instead, and leaves out what only the window
// needs. The engines' lines stay as they are: only what msu prints changes, never what it
// decides (that comes from the sequences' outcomes).
#pragma once

#include <optional>
#include <string>

#include "core/progress.h"

namespace msu::cli {

// What the command was given that its lines speak of.
struct CommandWords {
  enum class Command { kCheck, kMerge, kSplit };
  Command command = Command::kCheck;
  std::string report;         // where the report is kept (ReportPlaces), or empty
  std::string into_incident;  // --into-incident ID, or empty
  bool dry_run = false;
};

// The line msu prints for `line` of `page`'s log: the line itself, its command-line wording when
// it names a button of the wizard, or nothing when it only guides the window's user.
std::optional<std::string> CommandLineWording(const CommandWords& words, LogPage page,
                                              const std::string& line);

// The lines of the instruction loader that list the objects it adds ("- Adding LU table/key
// object(s): ..."): shown in the window, on the command line only with --details.
bool IsLoaderListing(const std::string& line);

}  // namespace msu::cli
