// msu split: a whole split without a window. Logs in as the wizard's server page does, checks
// the two paths as its split database page does and the version of the database to split
// (4.1 or later), makes the working copy and lists the incidents as the selection page does,
// keeps the incidents --keep names and removes the others, places the new database at --new,
// attached to the server under its file name, and verifies it against the database to split.
// The split page's log is printed as it grows. Whatever happens, the working database is taken
// off the server and the working files deleted; the database to split is only read and stays
// attached under its own name. With --list it only prints the incidents with their ids.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace msu::cli {

// Exit statuses: 0 when the split finished and the verification found nothing; every other
// status names what stopped it. 2 to 5, 10 and 11 mean what they mean for msu check.
inline constexpr int kSplitDone = 0;
inline constexpr int kSplitVersion =
    6;  // version unreadable, older than 4.1, unfinished transaction
inline constexpr int kSplitNotStarted = 8;       // the working copy or the list failed
inline constexpr int kSplitStopped = 12;         // the split stopped (see its log)
inline constexpr int kSplitNotVerified = 13;     // the verification found problems
inline constexpr int kSplitFewIncidents = 14;    // fewer than two incidents: nothing to split
inline constexpr int kSplitNoSuchIncident = 15;  // --keep names no incident of the database
inline constexpr int kSplitJsonNotSaved = 16;    // --json could not be written

struct SplitCommandOptions {
  std::string server;
  std::string database;
  std::string new_database;
  std::string keep;  // "3,7"
  std::string json;
  std::string password_file;
  std::string root;
  bool details = false;
  bool overwrite = false;
  bool dry_run = false;
  bool list = false;
};

// The help text of msu split, with the exit statuses.
std::string SplitHelp();

// Parses the arguments that follow "split". Returns false with `problem` set on a usage error;
// sets `help` when --help was given. `keep` receives the ids of --keep.
bool ParseSplitOptions(const std::vector<std::string>& args, SplitCommandOptions* options,
                       std::vector<long>* keep, bool* help, std::string* problem);

// The whole command: parses, prints help or usage errors, reads the Warden password from the
// terminal or --password-file and runs. The split log goes to `out`, messages to `err`.
// Returns the exit status.
int RunSplitCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace msu::cli
