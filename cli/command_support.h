// What the msu commands that work on the server share: their servers and context, the login and
// path checks of the merge database page, the exit statuses, the saved report and the clean-up
// every run ends with. Their command lines are read with cli/command_line.h.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/msu_terminal.h"
#include "core/application_folder.h"
#include "core/context.h"
#include "data/machine_servers.h"
#include "merge/merge_sequence.h"
#include "page_rules/merge_paths.h"

namespace msu::cli {

// Exit statuses shared by the commands that log in and take the three merge paths; 0 and 1
// are the commands' own.
inline constexpr int kStatusUsage = 2;     // bad command line, unreadable password
inline constexpr int kStatusLogin = 3;     // the login check refused
inline constexpr int kStatusPaths = 4;     // a path rule, or an existing new database kept
inline constexpr int kStatusInUse = 5;     // open connections to a database or working file, or
                                           // another run in the application folder or on the server
inline constexpr int kStatusVersions = 6;  // a version unreadable, or a database too old
inline constexpr int kStatusInstructions = 7;    // no instruction file fits, or it did not load
inline constexpr int kStatusCheckFailed = 8;     // working copies, re-attach, initialisation
inline constexpr int kStatusReportNotSaved = 9;  // --report could not be written
inline constexpr int kStatusNotCleanedUp = 10;   // working files left in the application folder
inline constexpr int kStatusInterrupted = 11;    // a signal arrived: the run stopped and cleaned up

// What a command that works on the server has: the servers (the embedded instances of `root`,
// then the SQL Servers configured on the machine, each name choosing its own), the terminal
// log of `pages` (detail lines when `details`), message boxes answered on `err` (Yes/No with
// Yes when `overwrite`; without a word when `quiet_yes`, for a question whose answer changes
// nothing) and the context over them, in MsuApplicationFolder().
struct CommandSession {
  CommandSession(const std::string& root, std::ostream& out, std::ostream& err,
                 std::initializer_list<LogPage> pages, bool details, bool overwrite,
                 bool live_status = false, bool quiet_yes = false);
  data::MachineServers servers;
  TerminalProgress progress;
  TerminalPrompt prompt;
  Context context;
};

// The status of a check that stopped: kStatusVersions, kStatusInstructions or
// kStatusCheckFailed by the stage it reached; 0 for a completed check. A completed check whose
// instruction file gave no table at all (an empty, binary or UTF-16 file loads as "no tables",
// which the wizard accepts) checked nothing: kStatusInstructions, after a line on `err`.
int CheckStageStatus(const merge::CheckOutcome& outcome, const Context& context,
                     const merge::Merge* engine, std::ostream& err);

// Logs in as the wizard's server page does (the password is wiped once used; the run's locks
// are taken and databases an earlier run left detached are attached again), writing a refusal
// to `err`. Returns 0, or kStatusLogin or kStatusInUse (another run holding the application
// folder or the server).
int LogIn(Context& context, const std::string& server, std::string& password, std::ostream& err);

// Logs in as LogIn does, then validates
// the three paths as its database page does, writing the refusal to `err`. Returns 0 with
// `paths` set to the trimmed, completed paths, or kStatusLogin, kStatusPaths or kStatusInUse
// (open connections, or another run holding the application folder or the server).
int LoginAndValidatePaths(Context& context, const std::string& server, std::string& password,
                          const MergePathBoxes& given, MergePathBoxes* paths, std::ostream& err);

// Reads the Warden password from `password_file` or the terminal, then runs `steps` with it,
// turning interrupts into stop requests (InterruptRequests; a CommandSession's context watches
// them): the run stops at its next step and cleans up, and then ends with kStatusInterrupted,
// telling `err` that "the `what` stopped at its next step and was cleaned up". kStatusUsage
// when the password cannot be read.
int RunWithPassword(const std::string& password_file, const std::string& what, std::ostream& err,
                    const std::function<int(std::string& password)>& steps);

// The end of every run that made working copies: the check's problem report is saved as
// `report_files` asks (the application folder keeps none; the command's last line says where
// it is, or that it was not kept); the engine's connections are closed, the working databases taken
// off the server and the working files deleted. A new database the run attached stays attached. The
// PDF is printed last, from a copy of the report, once the databases are safe. A run that had gone
// well (status 0 or 1) ends with kStatusReportNotSaved or kStatusNotCleanedUp when one of these
// fails. Returns the status.
int SaveReportAndCleanUp(Context& context, merge::Merge* engine, const merge::CheckOutcome& outcome,
                         const ReportFiles& report_files, int status, std::ostream& err);

// The clean-up every command's run ends with, once its engine has closed its connections: the
// working databases are taken off the server and the working files deleted (the new database the
// run attached is its result and stays attached), then `also_delete` when not empty. A clean-up
// that failed is said on `err`; returns false then.
bool CleanUpAfterRun(Context& context, std::ostream& err, const std::string& also_delete = "");

}  // namespace msu::cli
