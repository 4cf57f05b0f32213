// msu merge: a whole merge without a window. Logs in and validates the paths as msu check does,
// runs the database check (differences it finds do not stop the merge: they are in the report),
// then the merge, which renumbers, copies and verifies, and places the new database at --new,
// attached to the server under its name; with --into-incident every incident of the new
// database is then folded into that one. The check and merge logs are printed as they grow.
// Whatever happens, the working databases are taken off the server and the working files
// deleted, and Database 1 and Database 2 stay attached under their own names, unchanged.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace msu::cli {

// Exit statuses: 0 when the merge (and the consolidation) finished and the verification found
// nothing; every other status names what stopped it. 2 to 11 mean what they mean for msu check.
inline constexpr int kMergeDone = 0;
inline constexpr int kMergeStopped = 12;         // the merge stopped (see its log)
inline constexpr int kMergeNotVerified = 13;     // the verification found problems
inline constexpr int kMergeRemergeRefused = 14;  // Database 1 looks merged into Database 2 before
inline constexpr int kMergeNoSuchIncident = 15;  // --into-incident names no incident
inline constexpr int kMergeJsonNotSaved = 16;    // --json could not be written

struct MergeCommandOptions {
  std::string server;
  std::string database1;
  std::string database2;
  std::string new_database;
  std::string report;
  std::string report_pdf;
  std::string json;
  std::string into_incident;  // empty: no consolidation
  std::string password_file;
  std::string root;
  bool details = false;
  bool dry_run = false;
  bool allow_remerge = false;
  bool overwrite = false;
};

// The help text of msu merge, with the exit statuses.
std::string MergeHelp();

// Parses the arguments that follow "merge". Returns false with `problem` set on a usage error;
// sets `help` when --help was given.
bool ParseMergeOptions(const std::vector<std::string>& args, MergeCommandOptions* options,
                       bool* help, std::string* problem);

// Runs the merge with the Warden password from the terminal or --password-file; the logs go to
// `out` (with a live percentage line when `out` is a terminal), messages to `err`.
int RunMerge(const MergeCommandOptions& options, std::ostream& out, std::ostream& err,
             bool live_status);

// The whole command: parses, prints help or usage errors, runs. Returns the exit status.
int RunMergeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool live_status = false);

}  // namespace msu::cli
