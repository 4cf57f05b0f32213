// What the msu commands share: their option parsing, paths made absolute as the server knows
// its files, the login and path checks of the merge database page, and the saved report.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "cli/msu_terminal.h"
#include "core/application_folder.h"
#include "core/context.h"
#include "data/composite_backend.h"
#include "data/embedded/backend.h"
#include "data/sqlserver/backend.h"
#include "merge/merge_paths.h"
#include "merge/merge_sequence.h"

namespace msu::cli {

// The options of a command: "--name VALUE" or "--name=VALUE" for values, "--name" for flags.
struct OptionTable {
  std::map<std::string, std::string*> values;
  std::map<std::string, bool*> flags;
  std::vector<std::string> required;
};

// The application folder of this msu (core/application_folder.h), located on first use from
// the program's place and the environment, and the same for the rest of the run.
const ApplicationFolder& MsuApplicationFolder();

// Parses `args` into the table's targets. Returns false with `problem` set on a usage error (an
// unknown or repeated option, a missing value or required option). Sets `help` when --help or
// -h was given (nothing else is then required). `given` (may be null) receives the options
// that were given.
bool ParseOptions(const std::vector<std::string>& args, const OptionTable& table, bool* help,
                  std::string* problem, std::map<std::string, bool>* given = nullptr);

// A path as the server knows its files: absolute (a leading "~" is the home folder). Blank
// text stays as it is, so that the page's own message names what is missing.
std::string AbsolutePath(const std::string& text);

// The absolute path with ".mdf" appended where the page would append it.
std::string CompletedPath(const std::string& text);

// Checks a file option that the command writes (--report, --json): it must name a file in an
// existing folder, never one of the three databases and never a file of the application folder
// that the utility reads or makes there. False with `problem` set otherwise.
bool CheckOutputOption(const std::string& option, const std::string& path,
                       const std::vector<const std::string*>& databases, std::string* problem);

// Where a command keeps the check's problem report: `rtf` (--report) a copy of the report file,
// `pdf` (--report-pdf) the report printed to a PDF file. Empty: not kept that way.
struct ReportFiles {
  std::string rtf;
  std::string pdf;
};

// Where `files` keep the report, for the words of the lines: "A" or "A and B", absolute; empty
// when neither is given.
std::string ReportPlaces(const ReportFiles& files);

// Checks the report options that were given (`given` as ParseOptions fills it) with
// CheckOutputOption, and that --report and --report-pdf do not name the same file. False with
// `problem` set otherwise.
bool CheckReportFiles(const ReportFiles& files, const std::map<std::string, bool>& given,
                      const std::vector<const std::string*>& databases, std::string* problem);

// Copies `from` to `target` through a temporary file beside it, so that a failed copy leaves a
// file already there as it was. False with `problem` set on failure.
bool ReplaceFile(const std::string& from, const std::string& target, std::string* problem);

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
  embedded::EmbeddedBackend embedded;
  sqlserver::SqlServerBackend sql_server;
  data::CompositeBackend backend;
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

}  // namespace msu::cli
