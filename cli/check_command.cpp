#include "cli/check_command.h"

#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include "cli/msu_terminal.h"
#include "core/context.h"
#include "core/text.h"
#include "data/embedded/backend.h"
#include "merge/merge.h"
#include "merge/merge_paths.h"
#include "merge/version_rules.h"
#include "reports/problem_report.h"
#include "server/exit_cleanup.h"
#include "server/login_check.h"
#include "server/working_copies.h"
#include "server/working_files.h"

namespace msu::cli {

namespace {

constexpr const char* kProblemsLine =
    "Warning, There are differences between databases, press Next to view them";
constexpr const char* kNoProblemsLine =
    "Done, no differences found. Press Next to complete the merge";

const std::map<std::string, std::string CheckOptions::*> kValueOptions = {
    {"--server", &CheckOptions::server}, {"--db1", &CheckOptions::database1},
    {"--db2", &CheckOptions::database2}, {"--new", &CheckOptions::new_database},
    {"--report", &CheckOptions::report}, {"--password-file", &CheckOptions::password_file},
    {"--root", &CheckOptions::root},
};

// A path as the server knows its files: absolute. Blank text stays as it is, so that the page's
// own message names what is missing.
std::string AbsolutePath(const std::string& text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return text;
  std::error_code ignored;
  return std::filesystem::absolute(trimmed, ignored).lexically_normal().string();
}

std::string CompletedPath(const std::string& text) {
  std::string path = AbsolutePath(text);
  AppendMdfExtension(path);
  return Trim(path);
}

// The lines a failing Initialize writes once its instructions are loaded; without any of them
// the failure was the loader's.
bool InitializeGotPastLoader(const std::vector<std::string>& lines) {
  static const char* const kLaterStages[] = {
      "Created a working copy of ini", "Error, Creating working copy of ini",
      "Checking for correct database structure...", "Error, check stopped, "};
  for (const std::string& line : lines) {
    for (const char* stage : kLaterStages) {
      if (line.rfind(stage, 0) == 0) return true;
    }
  }
  return false;
}

// The work of the Check Databases button, in the wizard's order. `engine` receives the merge
// engine, so that the caller can close its connections before cleaning up.
// `report_is_ours` is set once a report in the application folder can only be this run's.
int CheckDatabases(Context& context, TerminalProgress& progress, const MergePathBoxes& paths,
                   std::unique_ptr<merge::Merge>& engine, bool* report_is_ours) {
  VersionSettings& versions = context.versions;
  if (!ReadDatabaseVersion(context, paths.database1, &versions.Database1Version,
                           &versions.Database1MergeVersion)) {
    return kCheckVersions;
  }
  if (!ChooseInstructionFile(context)) return kCheckInstructions;
  if (!ReadDatabaseVersion(context, paths.database2, &versions.Database2Version,
                           &versions.Database2MergeVersion)) {
    return kCheckVersions;
  }
  if (IsDbVerToOld(versions.Database2MergeVersion)) {
    progress.AddProgress(kDestinationTooOldMessage);
    return kCheckVersions;
  }

  engine = std::make_unique<merge::Merge>(context);
  engine->SourceAPath = paths.database1;
  engine->SourceBPath = paths.database2;
  engine->TargetDBPath = paths.new_database;

  progress.Clear(LogPage::kCheck);
  progress.Clear(LogPage::kMerge);
  if (!MakeWorkingCopies(context, paths.database1, paths.database2, paths.new_database)) {
    return kCheckFailed;
  }
  if (!ReattachDatabases(context, paths.database1, paths.database2)) return kCheckFailed;
  progress.AddProgressMerge("Press Merge to start the final merging process.");
  progress.AddProgress("Checking databases for consistency and other problems ...");

  // A report left by an earlier run must not pass for this run's.
  try {
    DeleteFileIfExists(reports::ReportPath(context));
    *report_is_ours = true;
  } catch (...) {
  }
  const size_t first_line = progress.Texts(LogPage::kCheck).size();
  const bool initialized = engine->Initialize();
  if (context.ErrorFlag) {
    context.ErrorFlag = false;
    return kCheckFailed;
  }
  if (!initialized) {
    const std::vector<std::string> texts = progress.Texts(LogPage::kCheck);
    const std::vector<std::string> written(texts.begin() + static_cast<long>(first_line),
                                           texts.end());
    return InitializeGotPastLoader(written) ? kCheckFailed : kCheckInstructions;
  }
  if (engine->ProblemsToCorrect) {
    progress.AddProgress(kProblemsLine);
    return kCheckFoundProblems;
  }
  progress.AddProgress(kNoProblemsLine);
  return kCheckNoProblems;
}

// Copies the report to `target` through a temporary file beside it, so that a failed copy
// leaves a file already there as it was.
bool CopyReport(const std::string& report, const std::string& target, std::string* problem) {
  const std::string part = target + ".part";
  try {
    CopyWholeFile(report, part);
    std::filesystem::rename(part, target);
    return true;
  } catch (const std::exception& error) {
    *problem = error.what();
  }
  std::error_code ignored;
  std::filesystem::remove(part, ignored);
  return false;
}

// The login, the page's path checks and the check itself; then the report is saved and the
// working files are cleaned up. `password` is wiped once used.
int RunCheckSteps(const CheckOptions& options, std::string& password, std::ostream& out,
                  std::ostream& err) {
  std::string problem;
  embedded::EmbeddedBackend backend(options.root);
  TerminalProgress progress(out, LogPage::kCheck);
  progress.SetShowDetails(LogPage::kCheck, options.details);
  TerminalPrompt prompt(err, options.overwrite ? Answer::kYes : Answer::kNo);
  Context context(ProgramFolder(), progress, prompt, backend);

  const LoginResult login = CheckLogin(context, options.server, password, kMoveNext);
  password.assign(password.size(), '\0');
  if (!login.ok) {
    err << login.message << "\n";
    return kCheckLogin;
  }

  MergePathBoxes boxes{AbsolutePath(options.database1), AbsolutePath(options.database2),
                       AbsolutePath(options.new_database)};
  const MergePathsCheck paths = ValidateMergePaths(context, boxes);
  switch (paths.verdict) {
    case MergePathsVerdict::kAccepted:
      break;
    case MergePathsVerdict::kInvalid:
      err << paths.message << "\n";
      return kCheckPaths;
    case MergePathsVerdict::kInUse:
      err << paths.message << "\n";
      return kCheckInUse;
    case MergePathsVerdict::kNotOverwritten:
      err << "msu: " << Trim(boxes.new_database) << " exists; give --overwrite to accept it\n";
      return kCheckPaths;
  }
  const MergePathBoxes trimmed{Trim(boxes.database1), Trim(boxes.database2),
                               Trim(boxes.new_database)};

  // From here on the working files are ours: nobody had them open.
  std::unique_ptr<merge::Merge> engine;
  int status = kCheckFailed;
  bool report_is_ours = false;
  try {
    status = CheckDatabases(context, progress, trimmed, engine, &report_is_ours);
  } catch (const std::exception& error) {
    err << "msu: the check stopped: " << error.what() << "\n";
  }

  const std::string report = reports::ReportPath(context);
  const bool report_written = report_is_ours && FileExists(report);
  if (!options.report.empty() && report_written) {
    if (!CopyReport(report, AbsolutePath(options.report), &problem)) {
      err << "msu: the report could not be saved: " << problem << "\n";
      if (status < kCheckUsage) status = kCheckReportNotSaved;
    }
  } else if (!options.report.empty()) {
    err << "msu: the check wrote no problem report; " << options.report << " was not written\n";
  } else if (status == kCheckFoundProblems) {
    err << "msu: give --report FILE to keep the problem report\n";
  }

  if (engine != nullptr) engine->CloseConnections();
  engine.reset();
  // The check never attaches the new database, so nothing at its path is ours to detach.
  bool cleaned = CleanUpWorkingFiles(context, std::string());
  try {
    // The saved copy is the report of the command line; the application folder keeps none.
    if (report_written) DeleteFileIfExists(report);
  } catch (...) {
    cleaned = false;
  }
  if (!cleaned) {
    err << "msu: some working files could not be deleted from " << context.ApplicationFolder()
        << "\n";
    if (status < kCheckUsage) status = kCheckNotCleanedUp;
  }
  return status;
}

}  // namespace

std::string CheckHelp() {
  return "Usage: msu check --server NAME --db1 PATH --db2 PATH --new PATH [--details]\n"
         "                 [--report FILE] [--password-file FILE] [--root DIR] [--overwrite]\n"
         "\n"
         "Checks two databases before a merge, as the wizard's Check Databases button does:\n"
         "logs in to the server NAME with the Warden password, validates the paths of\n"
         "Database 1 (--db1, the source), Database 2 (--db2, the destination) and the new\n"
         "database (--new), reads their versions, chooses the instruction file, makes working\n"
         "copies of both databases in the program's folder and runs the lookup consistency\n"
         "check, printing the check's log. Paths without \".mdf\" get it appended.\n"
         "Your database files are only read; the new database is not written by the check.\n"
         "When it ends, the working databases are detached and the working files deleted.\n"
         "\n"
         "  --details             also print the detail lines of the log\n"
         "  --report FILE         save the problem report (RTF) as FILE, replacing it; without\n"
         "                        it the report is not kept\n"
         "  --password-file FILE  read the Warden password from the first line of FILE;\n"
         "                        otherwise it is asked on the terminal, without echo\n"
         "  --root DIR            folder of the server instances (default: the standard one)\n"
         "  --overwrite           accept an existing file at --new; without it the check\n"
         "                        refuses, as answering No to the wizard's question does\n"
         "\n"
         "Exit status:\n"
         "  0   the check ran to its end and found no differences\n"
         "  1   the check ran to its end and found differences (see the report)\n"
         "  2   usage: bad options, or the password could not be read\n"
         "  3   login refused (server stopped, password incorrect, ...)\n"
         "  4   paths refused (missing or equal databases, existing new database)\n"
         "  5   open connections to a database or a working file\n"
         "  6   versions: unreadable, or Database 2 too old\n"
         "  7   instructions: no instruction file for Database 1, or it did not load\n"
         "  8   check stopped: working copies, re-attach or initialisation failed\n"
         "  9   the report could not be saved as FILE\n"
         "  10  working files could not be deleted from the program's folder\n"
         "  11  interrupted: once logged in, an interrupt is taken only after the check has\n"
         "      ended and cleaned up, so that your databases are never left detached\n";
}

bool ParseCheckOptions(const std::vector<std::string>& args, CheckOptions* options, bool* help,
                       std::string* problem) {
  *help = false;
  std::map<std::string, bool> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      *help = true;
      return true;
    }
    if (seen[name]) {
      *problem = name + " is given twice";
      return false;
    }
    seen[name] = true;
    if (name == "--details" || name == "--overwrite") {
      if (has_value) {
        *problem = name + " takes no value";
        return false;
      }
      (name == "--details" ? options->details : options->overwrite) = true;
      continue;
    }
    const auto option = kValueOptions.find(name);
    if (option == kValueOptions.end()) {
      *problem = (name.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + name;
      return false;
    }
    if (!has_value) {
      if (i + 1 == args.size()) {
        *problem = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    options->*(option->second) = value;
  }
  for (const char* required : {"--server", "--db1", "--db2", "--new"}) {
    if (!seen[required]) {
      *problem = std::string("missing ") + required;
      return false;
    }
  }
  if (seen["--report"]) {
    const std::string report = AbsolutePath(options->report);
    if (Trim(report).empty()) {
      *problem = "--report needs a file name";
      return false;
    }
    // The report replaces whatever is there: it must never be one of the databases.
    for (const std::string* path :
         {&options->database1, &options->database2, &options->new_database}) {
      const std::string database = CompletedPath(*path);
      if (report == database || SameFile(report, database)) {
        *problem = "--report must not name one of the databases";
        return false;
      }
    }
    const std::string folder = FolderOf(report);
    if (!folder.empty() && !std::filesystem::is_directory(folder)) {
      *problem = "the folder of --report does not exist: " + folder;
      return false;
    }
  }
  return true;
}

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
  std::string password;
  std::string problem;
  if (!ReadWardenPassword(options.password_file, "Warden password: ", &password, &problem)) {
    err << "msu: " << problem << "\n";
    return kCheckUsage;
  }

  // From the login on the check runs to its end and cleans up, whatever arrives meanwhile.
  DeferredInterrupts interrupts;
  int status = RunCheckSteps(options, password, out, err);
  if (interrupts.Received() != 0) {
    err << "msu: interrupted; the check was finished and cleaned up first\n";
    status = kCheckInterrupted;
  }
  return status;
}

int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CheckOptions options;
  bool help = false;
  std::string problem;
  if (!ParseCheckOptions(args, &options, &help, &problem)) {
    err << "msu check: " << problem << "\nTry 'msu check --help'.\n";
    return kCheckUsage;
  }
  if (help) {
    out << CheckHelp();
    return 0;
  }
  return RunCheck(options, out, err);
}

}  // namespace msu::cli
