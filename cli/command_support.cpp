#include "cli/command_support.h"

#include <filesystem>
#include <ostream>

#include "cli/report_pdf.h"
#include "core/file_identity.h"
#include "core/text.h"
#include "page_rules/login_check.h"
#include "reports/problem_report.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/run_locks.h"
#include "server_routines/working_files.h"

namespace msu::cli {

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
    : servers(root),
      progress(out, pages, live_status),
      prompt(err, overwrite ? Answer::kYes : Answer::kNo, quiet_yes),
      context(MsuApplicationFolder().path, progress, prompt, servers.backend()) {
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
  const bool report_written = outcome.report_is_ours && server_routines::FileExists(report);
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
  // The saved copy is the report of the command line; the application folder keeps none.
  if (!CleanUpAfterRun(context, err, report_written ? report : std::string()) &&
      status < kStatusUsage) {
    status = kStatusNotCleanedUp;
  }
  if (pdf_kept && !pdf.Print(AbsolutePath(report_files.pdf), &problem)) not_saved("printed to PDF");
  return status;
}

bool CleanUpAfterRun(Context& context, std::ostream& err, const std::string& also_delete) {
  bool cleaned = server_routines::CleanUpWorkingFiles(context, std::string());
  try {
    if (!also_delete.empty()) server_routines::DeleteFileIfExists(also_delete);
  } catch (...) {
    cleaned = false;
  }
  if (!cleaned) {
    err << "msu: some working files could not be deleted from " << context.ApplicationFolder()
        << "\n";
  }
  return cleaned;
}

}  // namespace msu::cli
