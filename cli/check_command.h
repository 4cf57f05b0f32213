// msu check: the "Check Databases" step of a merge without a window. Logs in as the wizard's
// server page does, validates the three paths as its database page does, then reads the
// versions, chooses the instruction file, makes and attaches the working copies and runs the
// merge engine's initialisation (the lookup consistency check and its problem report),
// printing the check page's log. Whatever happens, what it made is taken off the server and
// deleted from the application folder before it ends.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command_support.h"

namespace msu::cli {

// Exit statuses, in the manner of diff: 0 and 1 say the check ran to its end, every other
// status names the step that stopped it.
inline constexpr int kCheckNoProblems = 0;
inline constexpr int kCheckFoundProblems = 1;
inline constexpr int kCheckUsage = kStatusUsage;
inline constexpr int kCheckLogin = kStatusLogin;
inline constexpr int kCheckPaths = kStatusPaths;
inline constexpr int kCheckInUse = kStatusInUse;
inline constexpr int kCheckVersions = kStatusVersions;
inline constexpr int kCheckInstructions = kStatusInstructions;
inline constexpr int kCheckFailed = kStatusCheckFailed;
inline constexpr int kCheckReportNotSaved = kStatusReportNotSaved;
inline constexpr int kCheckNotCleanedUp = kStatusNotCleanedUp;
inline constexpr int kCheckInterrupted = kStatusInterrupted;

struct CheckOptions {
  std::string server;
  std::string database1;
  std::string database2;
  std::string new_database;
  std::string report;      // where the problem report is copied; empty: not kept
  std::string report_pdf;  // where the problem report is printed as a PDF; empty: not printed
  std::string password_file;
  std::string root;  // folder of the embedded server's instances; empty: the default
  bool details = false;
  bool overwrite = false;
};

// The help text of msu check, with the exit statuses.
std::string CheckHelp();

// Parses the arguments that follow "check". Returns false with `problem` set on a usage error.
// Sets `help` when --help was given (nothing else is then required).
bool ParseCheckOptions(const std::vector<std::string>& args, CheckOptions* options, bool* help,
                       std::string* problem);

// Runs the check with the Warden password read from the terminal or --password-file. The
// check page's log goes to `out`, one line each; messages and message boxes go to `err`.
// Returns one of the statuses above.
int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err);

// The whole command: parses, prints help or usage errors, runs. Returns the exit status.
int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace msu::cli
