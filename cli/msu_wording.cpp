#include "cli/msu_wording.h"

#include "merge/merge.h"
#include "merge/merge_sequence.h"
#include "split/split.h"

namespace msu::cli {

namespace {

// The common start of the check's two closing lines, as the window writes them.
constexpr const char* kDifferences = "Warning, There are differences between databases";

}  // namespace

std::optional<std::string> CommandLineWording(const CommandWords& words, LogPage /*page*/,
                                              const std::string& line) {
  using Command = CommandWords::Command;
  if (line == merge::kProblemsLine) {
    return std::string(kDifferences) + (words.report.empty()
                                            ? ": --report FILE keeps the problem report"
                                            : ": the problem report is kept in " + words.report);
  }
  if (line == merge::kNoProblemsLine) {
    return std::string(words.command == Command::kMerge
                           ? "Done, no differences found; the merge goes on."
                           : "Done, no differences found.");
  }
  // The window's cue for its Merge button: msu merges at once, msu check never.
  if (line == merge::kPressMergeLine) return std::nullopt;
  if (line == merge::kMergePlacedLine) {
    if (words.into_incident.empty()) return std::string("The new database is in place.");
    return "The new database is in place; its incidents are folded into incident " +
           words.into_incident + " next.";
  }
  if (line == split::kSplitDoneLine) return std::string("Done.");
  return line;
}

bool IsLoaderListing(const std::string& line) {
  return line.starts_with("- Adding LU table/key object(s): ") ||
         line.starts_with("- Adding ref table/key object(s): ");
}

}  // namespace msu::cli
