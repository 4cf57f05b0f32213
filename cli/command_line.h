// What every msu command reads from its command line: the options, the paths made absolute as
// the server knows its files, the files it is asked to write (checked before anything runs) and
// their safe replacement.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/application_folder.h"

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

}  // namespace msu::cli
