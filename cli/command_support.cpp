#include "cli/command_support.h"

#include <filesystem>
#include <ostream>

#include "cli/report_pdf.h"
#include "core/text.h"
#include "reports/problem_report.h"
#include "server/exit_cleanup.h"
#include "server/file_identity.h"
#include "server/login_check.h"
#include "server/run_locks.h"
#include "server/working_files.h"

namespace msu::cli {

const ApplicationFolder& MsuApplicationFolder() {
  static const ApplicationFolder folder = RunningProgramsApplicationFolder();
  return folder;
}

bool ParseOptions(const std::vector<std::string>& args, const OptionTable& table, bool* help,
                  std::string* problem, std::map<std::string, bool>* given) {
  *help = false;
  std::map<std::string, bool> own;
  std::map<std::string, bool>& seen = given != nullptr ? *given : own;
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
    if (const auto flag = table.flags.find(name); flag != table.flags.end()) {
      if (has_value) {
        *problem = name + " takes no value";
        return false;
      }
      *flag->second = true;
      continue;
    }
    const auto option = table.values.find(name);
    if (option == table.values.end()) {
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
    *option->second = value;
  }
  for (const std::string& required : table.required) {
    if (!seen[required]) {
      *problem = "missing " + required;
      return false;
    }
  }
  return true;
}

std::string AbsolutePath(const std::string& text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return text;
  std::error_code ignored;
  return std::filesystem::absolute(ExpandHome(trimmed), ignored).lexically_normal().string();
}

std::string CompletedPath(const std::string& text) {
  std::string path = AbsolutePath(text);
  AppendMdfExtension(path);
  return Trim(path);
}

namespace {

// The files the utility keeps or makes in its application folder (and, in a program folder,
// the programs): a report or JSON file written over one of them would break the program, or be
// deleted by the clean-up.
bool IsApplicationFile(const std::string& folder, const std::string& name) {
  std::error_code error;
  if (folder.empty() || !std::filesystem::equivalent(folder, MsuApplicationFolder().path, error) ||
      error) {
    return false;
  }
  const std::string upper = UpperCase(name);
  for (const char* own : kFilesDeletedAtExit) {
    if (upper == UpperCase(own)) return true;
  }
  for (const char* own : {reports::kReportFileName, "cvn.ini", "CVMergeSplitHelp.rtf", "msu",
                          "msu-server", "orvane-msu", kFolderLockFile, kSeedNoteFile}) {
    if (upper == UpperCase(own)) return true;
  }
  // Instruction files, and the working files of any side.
  return (upper.starts_with("CVN") && upper.ends_with(".TXT")) || upper.starts_with("W_O_R_K_");
}

}  // namespace

bool CheckOutputOption(const std::string& option, const std::string& path,
                       const std::vector<const std::string*>& databases, std::string* problem) {
  const std::string target = AbsolutePath(path);
  if (Trim(target).empty()) {
    *problem = option + " needs a file name";
    return false;
  }
  // The file is replaced: it must never be one of the databases.
  for (const std::string* database_path : databases) {
    const std::string database = CompletedPath(*database_path);
    if (target == database || SameFile(target, database)) {
      *problem = option + " must not name one of the databases";
      return false;
    }
  }
  const std::string folder = FolderOf(target);
  if (IsApplicationFile(folder, FileNameOf(target))) {
    *problem =
        option + " must not name a file of the application folder (" + FileNameOf(target) + ")";
    return false;
  }
  if (!folder.empty() && !std::filesystem::is_directory(folder)) {
    *problem = "the folder of " + option + " does not exist: " + folder;
    return false;
  }
  return true;
}

std::string ReportPlaces(const ReportFiles& files) {
  std::string places;
  for (const std::string* file : {&files.rtf, &files.pdf}) {
    if (!file->empty()) places += (places.empty() ? "" : " and ") + AbsolutePath(*file);
  }
  return places;
}

bool CheckReportFiles(const ReportFiles& files, const std::map<std::string, bool>& given,
                      const std::vector<const std::string*>& databases, std::string* problem) {
  for (const auto& [option, path] :
       {std::pair{"--report", &files.rtf}, std::pair{"--report-pdf", &files.pdf}}) {
    const auto seen = given.find(option);
    if (seen != given.end() && seen->second &&
        !CheckOutputOption(option, *path, databases, problem)) {
      return false;
    }
  }
  if (!files.rtf.empty() && !files.pdf.empty() &&
      AbsolutePath(files.rtf) == AbsolutePath(files.pdf)) {
    *problem = "--report and --report-pdf must name different files";
    return false;
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& target, std::string* problem) {
  const std::string part = target + ".part";
  try {
    CopyWholeFile(from, part);
    std::filesystem::rename(part, target);
    return true;
  } catch (const std::exception& error) {
    *problem = error.what();
  }
  std::error_code ignored;
  std::filesystem::remove(part, ignored);
  return false;
}

int LogIn(Context& context, const std::string& server, std::string& password, std::ostream& err) {
  const LoginResult login = CheckLogin(context, server, password, kMoveNext);
  password.assign(password.size(), '\0');
  if (!login.ok) {
    err << login.message << "\n";
    if (!login.detail.empty()) err << login.detail << "\n";
    return login.busy ? kStatusInUse : kStatusLogin;
  }
  return 0;
}

int LoginAndValidatePaths(Context& context, const std::string& server, std::string& password,
                          const MergePathBoxes& given, MergePathBoxes* paths, std::ostream& err) {
  if (const int refused = LogIn(context, server, password, err)) return refused;
  MergePathBoxes boxes{AbsolutePath(given.database1), AbsolutePath(given.database2),
                       AbsolutePath(given.new_database)};
  const MergePathsCheck check = ValidateMergePaths(context, boxes);
  switch (check.verdict) {
    case MergePathsVerdict::kAccepted:
      break;
    case MergePathsVerdict::kInvalid:
      err << check.message << "\n";
      return kStatusPaths;
    case MergePathsVerdict::kInUse:
      err << check.message << "\n";
      return kStatusInUse;
    case MergePathsVerdict::kNotOverwritten:
      err << "msu: " << Trim(boxes.new_database) << " exists; give --overwrite to accept it\n";
      return kStatusPaths;
  }
  *paths = {Trim(boxes.database1), Trim(boxes.database2), Trim(boxes.new_database)};
  return 0;
}

CommandSession::CommandSession(const std::string& root, std::ostream& out, std::ostream& err,
                               std::initializer_list<LogPage> pages, bool details, bool overwrite,
                               bool live_status, bool quiet_yes)
    : embedded(root),
      backend({&embedded, &sql_server}),
      progress(out, pages, live_status),
      prompt(err, overwrite ? Answer::kYes : Answer::kNo, quiet_yes),
      context(MsuApplicationFolder().path, progress, prompt, backend) {
  for (LogPage page : pages) progress.SetShowDetails(page, details);
  // Ctrl-C is the command line's Cancel.
  context.WatchInterrupts(InterruptRequests::Flag());
}

int CheckStageStatus(const merge::CheckOutcome& outcome, const Context& context,
                     const merge::Merge* engine, std::ostream& err) {
  switch (outcome.stage) {
    case merge::CheckStage::kCompleted:
      if (engine != nullptr && engine->Tables().Count() == 0 && engine->LookUps().Count() == 0) {
        err << "msu: the instruction file " << context.versions.InstructionFileName
            << " gave no table (is it empty, or not a text file?); nothing was checked\n";
        return kStatusInstructions;
      }
      return 0;
    case merge::CheckStage::kVersions:
      return kStatusVersions;
    case merge::CheckStage::kInstructionFile:
      return kStatusInstructions;
    case merge::CheckStage::kBusy:
    case merge::CheckStage::kWorkingNameTaken:
      return kStatusInUse;
    case merge::CheckStage::kInitialize:
      return outcome.initialize == merge::InitializeStage::kInstructions ? kStatusInstructions
                                                                         : kStatusCheckFailed;
    default:
      return kStatusCheckFailed;
  }
}

int RunWithPassword(const std::string& password_file, const std::string& what, std::ostream& err,
                    const std::function<int(std::string& password)>& steps) {
  std::string password;
  std::string problem;
  if (!ReadWardenPassword(password_file, "Warden password: ", &password, &problem)) {
    err << "msu: " << problem << "\n";
    return kStatusUsage;
  }
  // From the login on an interrupt asks the run to stop, as Cancel does in the wizard: it stops
  // at its next step and cleans up before the program ends.
  InterruptRequests interrupts;
  int status = steps(password);
  if (interrupts.Received() != 0) {
    err << "msu: interrupted; the " << what << " stopped at its next step and was cleaned up\n";
    status = kStatusInterrupted;
  }
  return status;
}

int SaveReportAndCleanUp(Context& context, merge::Merge* engine, const merge::CheckOutcome& outcome,
                         const ReportFiles& report_files, int status, std::ostream& err) {
  std::string problem;
  const std::string report = reports::ReportPath(context);
  // A check that stopped half-way left its report open: what it wrote is still buffered.
  if (engine != nullptr) engine->FinishOpenReport();
  const bool report_written = outcome.report_is_ours && FileExists(report);
  auto not_saved = [&](const char* what) {
    err << "msu: the report could not be " << what << ": " << problem << "\n";
    if (status < kStatusUsage) status = kStatusReportNotSaved;
  };
  ReportPdf pdf;
  bool pdf_kept = false;
  if (report_written) {
    if (!report_files.rtf.empty() &&
        !ReplaceFile(report, AbsolutePath(report_files.rtf), &problem)) {
      not_saved("saved");
    }
    if (!report_files.pdf.empty()) {
      pdf_kept = pdf.Keep(report, &problem);
      if (!pdf_kept) not_saved("printed to PDF");
    }
  } else {
    for (const std::string* option : {&report_files.rtf, &report_files.pdf}) {
      if (option->empty()) continue;
      err << "msu: the check wrote no problem report; " << *option << " was not written\n";
    }
  }

  if (engine != nullptr) engine->CloseConnections();
  // A new database the run made is its result: it stays attached.
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
    if (status < kStatusUsage) status = kStatusNotCleanedUp;
  }
  if (pdf_kept && !pdf.Print(AbsolutePath(report_files.pdf), &problem)) not_saved("printed to PDF");
  return status;
}

}  // namespace msu::cli
