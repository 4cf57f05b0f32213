// What the msu commands share: their option parsing, paths made absolute as the server knows
// its files, the login and path checks of the merge database page, and the saved report.
#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "core/context.h"
#include "server/merge_paths.h"

namespace msu::cli {

// The options of a command: "--name VALUE" or "--name=VALUE" for values, "--name" for flags.
struct OptionTable {
  std::map<std::string, std::string*> values;
  std::map<std::string, bool*> flags;
  std::vector<std::string> required;
};

// Parses `args` into the table's targets. Returns false with `problem` set on a usage error (an
// unknown or repeated option, a missing value or required option). Sets `help` when --help or
// -h was given (nothing else is then required). `given` (may be null) receives the options
// that were given.
bool ParseOptions(const std::vector<std::string>& args, const OptionTable& table, bool* help,
                  std::string* problem, std::map<std::string, bool>* given = nullptr);

// A path as the server knows its files: absolute. Blank text stays as it is, so that the page's
// own message names what is missing.
std::string AbsolutePath(const std::string& text);

// The absolute path with ".mdf" appended where the page would append it.
std::string CompletedPath(const std::string& text);

// Checks a file option that the command writes (--report, --json): it must name a file in an
// existing folder, and never one of the three databases. False with `problem` set otherwise.
bool CheckOutputOption(const std::string& option, const std::string& path,
                       const std::vector<const std::string*>& databases, std::string* problem);

// Copies `from` to `target` through a temporary file beside it, so that a failed copy leaves a
// file already there as it was. False with `problem` set on failure.
bool ReplaceFile(const std::string& from, const std::string& target, std::string* problem);

// Exit statuses shared by the commands that log in and take the three merge paths.
inline constexpr int kStatusUsage = 2;  // bad command line, unreadable password
inline constexpr int kStatusLogin = 3;  // the login check refused
inline constexpr int kStatusPaths = 4;  // a path rule, or an existing new database kept
inline constexpr int kStatusInUse = 5;  // open connections to a database or working file

// Logs in as the wizard's server page does (the password is wiped once used), then validates
// the three paths as its database page does, writing the refusal to `err`. Returns 0 with
// `paths` set to the trimmed, completed paths, or kStatusLogin, kStatusPaths or kStatusInUse.
int LoginAndValidatePaths(Context& context, const std::string& server, std::string& password,
                          const MergePathBoxes& given, MergePathBoxes* paths, std::ostream& err);

}  // namespace msu::cli
