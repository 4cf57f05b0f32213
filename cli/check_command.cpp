#include "cli/check_command.h"

#include <map>
#include <memory>
#include <ostream>

#include "cli/command_support.h"
#include "cli/msu_terminal.h"
#include "cli/msu_wording.h"
#include "core/context.h"
#include "merge/merge_sequence.h"

namespace msu::cli {

namespace {

// The last line: what the check found, and where its report is.
void PrintCheckEnd(const merge::CheckOutcome& outcome, const CheckOptions& options, int status,
                   std::ostream& out) {
  // A check that stopped ends with the line of the step that stopped it.
  if (outcome.stage != merge::CheckStage::kCompleted) return;
  if (!outcome.problems) {
    out << "msu check: no differences found; nothing was written.\n";
    return;
  }
  const std::string kept = ReportPlaces({options.report, options.report_pdf});
  out << "msu check: differences found; "
      << (kept.empty()                      ? std::string("the problem report was not kept")
          : status == kStatusReportNotSaved ? "the problem report could not be kept (see above)"
                                            : "the problem report is in " + kept)
      << ".\n";
}

// The login, the page's path checks and the check itself; then the report is saved and the
// working files are cleaned up. `password` is wiped once used.
int RunCheckSteps(const CheckOptions& options, std::string& password, std::ostream& out,
                  std::ostream& err) {
  CommandSession session(options.root, out, err, {LogPage::kCheck}, options.details,
                         options.overwrite);
  CommandWords words;
  words.command = CommandWords::Command::kCheck;
  words.report = ReportPlaces({options.report, options.report_pdf});
  session.progress.SetWords(words);
  session.context.locks.owner = "msu check";
  MergePathBoxes paths;
  if (const int refused = LoginAndValidatePaths(
          session.context, options.server, password,
          {options.database1, options.database2, options.new_database}, &paths, err)) {
    return refused;
  }
  // From here on the working files are ours: nobody had them open.
  std::unique_ptr<merge::Merge> engine;
  const merge::CheckOutcome outcome = merge::RunCheckSequence(session.context, paths, engine);
  int status = CheckStageStatus(outcome, session.context, engine.get(), err);
  if (status == 0 && outcome.problems) status = kCheckFoundProblems;
  status = SaveReportAndCleanUp(session.context, engine.get(), outcome,
                                {options.report, options.report_pdf}, status, err);
  PrintCheckEnd(outcome, options, status, out);
  return status;
}

}  // namespace

std::string CheckHelp() {
  return "Usage: msu check --server NAME --db1 PATH --db2 PATH --new PATH [--details]\n"
         "                 [--report FILE] [--report-pdf FILE] [--password-file FILE]\n"
         "                 [--root DIR] [--overwrite]\n"
         "\n"
         "Checks two databases before a merge, as the wizard's Check Databases button does:\n"
         "logs in to the server NAME with the Warden password, validates the paths of\n"
         "Database 1 (--db1, the source), Database 2 (--db2, the destination) and the new\n"
         "database (--new), reads their versions, chooses the instruction file, makes working\n"
         "copies of both databases in the application folder (msu --help names it) and runs\n"
         "the lookup consistency check, printing the check's log. Paths without \".mdf\" get\n"
         "it appended.\n"
         "Your database files are only read; the new database is not written by the check.\n"
         "When it ends, the working databases are detached and the working files deleted.\n"
         "\n"
         "  --details             also print the detail lines of the log\n"
         "  --report FILE         save the problem report (RTF) as FILE, replacing it; without\n"
         "                        it the report is not kept\n"
         "  --report-pdf FILE     print the problem report to the PDF file FILE, replacing\n"
         "                        it, page by page as the wizard's Print button prints it\n"
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
         "  4   paths refused (missing or equal databases, existing new database, its\n"
         "      folder missing or not writable, its name taken on the server, not enough\n"
         "      room on a disk for the run)\n"
         "  5   open connections to a database or a working file, or another merge or\n"
         "      split running in the application folder or on the server (nothing changed)\n"
         "  6   versions: unreadable, or Database 2 too old\n"
         "  7   instructions: no instruction file for Database 1, or it did not load\n"
         "  8   check stopped: the application folder, working copies, re-attach or\n"
         "      initialisation failed\n"
         "  9   the report could not be saved as FILE (or printed to the PDF FILE)\n"
         "  10  working files could not be deleted from the application folder\n"
         "  11  interrupted (Ctrl-C, SIGTERM): the check stopped at its next step and\n"
         "      cleaned up; your databases stay attached under their own names\n";
}

bool ParseCheckOptions(const std::vector<std::string>& args, CheckOptions* options, bool* help,
                       std::string* problem) {
  const OptionTable table{{{"--server", &options->server},
                           {"--db1", &options->database1},
                           {"--db2", &options->database2},
                           {"--new", &options->new_database},
                           {"--report", &options->report},
                           {"--report-pdf", &options->report_pdf},
                           {"--password-file", &options->password_file},
                           {"--root", &options->root}},
                          {{"--details", &options->details}, {"--overwrite", &options->overwrite}},
                          {"--server", "--db1", "--db2", "--new"}};
  std::map<std::string, bool> given;
  if (!ParseOptions(args, table, help, problem, &given)) return false;
  if (*help) return true;
  return CheckReportFiles({options->report, options->report_pdf}, given,
                          {&options->database1, &options->database2, &options->new_database},
                          problem);
}

int RunCheck(const CheckOptions& options, std::ostream& out, std::ostream& err) {
  return RunWithPassword(options.password_file, "check", err, [&](std::string& password) {
    return RunCheckSteps(options, password, out, err);
  });
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
