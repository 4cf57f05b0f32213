#include "cli/merge_command.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <ostream>

#include "cli/command_support.h"
#include "cli/merge_json.h"
#include "cli/msu_terminal.h"
#include "cli/msu_wording.h"
#include "core/context.h"
#include "core/text.h"
#include "merge/merge_sequence.h"
#include "merge/remerge_guard.h"
#include "server_routines/working_files.h"

namespace msu::cli {

namespace {

// The incidents of the new database, kept as msu lists them.
class IncidentLines : public merge::IncidentChoice {
 public:
  explicit IncidentLines(std::ostream& err) : err_(err) {}
  void Clear() override { items_.clear(); }
  void AddItem(const std::string& text, const std::string& tag) override {
    items_.push_back(Trim(tag) + "  " + text);
  }
  void SetOrigin(const std::string& origin) override {
    if (!items_.empty()) items_.back() += "  (" + origin + ")";
  }
  void ListTo() const {
    err_ << "msu: the incidents of the new database are:\n";
    for (const std::string& item : items_) err_ << "  " << item << "\n";
  }

 private:
  std::ostream& err_;
  std::vector<std::string> items_;
};

int MergeStatus(const merge::MergeOutcome& outcome, bool into, std::ostream& err) {
  switch (outcome.stage) {
    case merge::MergeStage::kRemergeGuard: {
      err << "msu: " << merge::RemergeFinding(*outcome.remerge) << "\n"
          << "msu: nothing was changed; give --allow-remerge to merge all the same\n";
      return kMergeRemergeRefused;
    }
    case merge::MergeStage::kPreConversion:
    case merge::MergeStage::kCopyTables:
    case merge::MergeStage::kStopped:
      return kMergeStopped;
    case merge::MergeStage::kConsolidation:
      return kMergeNoSuchIncident;
    case merge::MergeStage::kCompleted:
      return outcome.verification_passed && (!into || outcome.consolidation_verified)
                 ? kMergeDone
                 : kMergeNotVerified;
  }
  return kMergeStopped;
}

// The last line: what the merge did and where the new database is.
void PrintMergeEnd(Context& context, const MergeCommandOptions& options,
                   const std::string& new_database, const merge::CheckOutcome& check,
                   const merge::MergeOutcome* merged, const merge::Merge* engine, int status,
                   std::ostream& out, std::ostream& err) {
  // A check that stopped ends with the line of the step that stopped it.
  if (check.stage != merge::CheckStage::kCompleted || merged == nullptr || engine == nullptr) {
    return;
  }
  if (merged->stage != merge::MergeStage::kCompleted) {
    err << "msu merge: nothing was placed at " << new_database;
    if (!merged->incomplete_database.empty()) {
      err << "; what the merge made is kept, not attached, as " << merged->incomplete_database;
    }
    err << ".\n";
    return;
  }
  if (options.dry_run) {
    out << "msu merge: dry run; nothing was written (the new database would be " << new_database
        << ").\n";
    return;
  }
  out << "msu merge: merged into " << new_database << ", attached to the server "
      << context.server.ServerName << " as " << server_routines::DatabaseNameOfFile(new_database);
  const merge::Consolidation& folding = engine->Figures().consolidation;
  if (folding.ran) {
    out << "; " << folding.incidents_folded << " incidents folded into incident " << folding.into;
  }
  if (status == kMergeNotVerified) out << "; the verification found problems (see above)";
  out << ".\n";
}

int RunMergeSteps(const MergeCommandOptions& options, std::string& password, std::ostream& out,
                  std::ostream& err, bool live_status) {
  // A dry run never writes --new: an existing file there needs no --overwrite.
  CommandSession session(options.root, out, err, {LogPage::kCheck, LogPage::kMerge},
                         options.details, options.overwrite || options.dry_run, live_status,
                         options.dry_run && !options.overwrite);
  CommandWords words;
  words.command = CommandWords::Command::kMerge;
  words.report = ReportPlaces({options.report, options.report_pdf});
  words.into_incident = options.dry_run ? std::string() : Trim(options.into_incident);
  words.dry_run = options.dry_run;
  session.progress.SetWords(words);
  Context& context = session.context;
  context.locks.owner = "msu merge";
  MergePathBoxes paths;
  if (const int refused = LoginAndValidatePaths(
          context, options.server, password,
          {options.database1, options.database2, options.new_database}, &paths, err)) {
    return refused;
  }

  std::unique_ptr<merge::Merge> engine;
  const merge::CheckOutcome check =
      merge::RunCheckSequence(context, paths, engine, nullptr, {.count_remerge = true});
  int status = CheckStageStatus(check, context, engine.get(), err);
  merge::MergeOutcome merged;
  const bool merge_runs = status == kMergeDone;
  if (merge_runs) {
    merge::MergeRun run;
    run.engine.dry_run = options.dry_run;
    run.allow_remerge = options.allow_remerge;
    if (!options.into_incident.empty()) {
      run.into_incident = static_cast<int32_t>(std::atol(options.into_incident.c_str()));
    }
    IncidentLines incidents(err);
    merged = merge::RunMergeSequence(context, *engine, run, &incidents);
    status = MergeStatus(merged, run.into_incident && !options.dry_run, err);
    if (merged.stage == merge::MergeStage::kConsolidation) {
      const merge::Consolidation& foreseen = engine->Figures().consolidation;
      if (foreseen.unknown_incident) {
        err << "msu: --into-incident " << options.into_incident
            << " is no incident of the merged database; nothing was written. Its incidents "
               "are:\n";
        for (const std::string& incident : foreseen.incidents) err << "  " << incident << "\n";
      } else {
        err << "msu: --into-incident " << options.into_incident
            << " is no incident of the new database; the incidents were left as they are\n";
        incidents.ListTo();
      }
    }
  }
  status = SaveReportAndCleanUp(context, engine.get(), check, {options.report, options.report_pdf},
                                status, err);
  PrintMergeEnd(context, options, paths.new_database, check, merge_runs ? &merged : nullptr,
                engine.get(), status, out, err);

  if (!options.json.empty()) {
    MergeJsonInput input;
    input.context = &context;
    input.engine = engine.get();
    input.check = check;
    input.merge = merge_runs ? &merged : nullptr;
    input.dry_run = options.dry_run;
    input.new_database = paths.new_database;
    input.exit_status = status;
    if (!SaveJsonFigures(AbsolutePath(options.json), MergeJsonText(input), err) &&
        status == kMergeDone) {
      status = kMergeJsonNotSaved;
    }
  }
  return status;
}

}  // namespace

std::string MergeHelp() {
  return "Usage: msu merge --server NAME --db1 PATH --db2 PATH --new PATH [--details]\n"
         "                 [--report FILE] [--report-pdf FILE] [--json FILE] [--dry-run]\n"
         "                 [--into-incident ID] [--allow-remerge] [--overwrite]\n"
         "                 [--password-file FILE] [--root DIR]\n"
         "\n"
         "Merges Database 1 (--db1, the source) into a copy of Database 2 (--db2, the\n"
         "destination) and places the result at --new, attached to the server NAME under its\n"
         "file name. First the database check runs as msu check runs it (differences it finds\n"
         "do not stop the merge; they are in the problem report); then the merge renumbers the\n"
         "keys of Database 1 past those of Database 2, copies its rows and user-added lookup\n"
         "codes, syncs the key counters and verifies the result before it is placed. A\n"
         "Database 1 older than 4.13 is converted: its working copy before the copy, the rows\n"
         "it brought into the new database after it.\n"
         "Your database files are only read; both stay attached under their own names.\n"
         "\n"
         "  --details             also print the detail lines of the logs\n"
         "  --report FILE         save the problem report of the check (RTF) as FILE\n"
         "  --report-pdf FILE     print the problem report of the check to the PDF file FILE,\n"
         "                        page by page as the wizard's Print button prints it\n"
         "  --json FILE           write the merge's figures as JSON: versions, recodes, key\n"
         "                        offsets, rows copied and removed, verification, seconds\n"
         "  --dry-run             merge the working copies only: the new database is not\n"
         "                        written (an existing --new needs no --overwrite); also\n"
         "                        warns about keys past 2,147,483,647 and qualification IDs\n"
         "                        beyond 16 bits, and with --into-incident tells what the\n"
         "                        folding would move\n"
         "  --into-incident ID    afterwards fold every incident of the new database into the\n"
         "                        incident ID (an incidentid of the new database)\n"
         "  --allow-remerge       merge even when Database 1 looks merged into Database 2\n"
         "                        before (90% or more of its persons and resources found there)\n"
         "  --overwrite           accept an existing file at --new and replace it\n"
         "  --password-file FILE  read the Warden password from the first line of FILE;\n"
         "                        otherwise it is asked on the terminal, without echo\n"
         "  --root DIR            folder of the server instances (default: the standard one)\n"
         "\n"
         "Exit status:\n"
         "  0   merged (and consolidated); the verification found nothing\n"
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
         "  9   merged, but the report could not be saved as FILE (or printed to the PDF)\n"
         "  10  merged, but working files could not be deleted from the application folder\n"
         "  11  interrupted (Ctrl-C, SIGTERM): the merge stopped at its next step and\n"
         "      cleaned up; your databases stay attached under their own names\n"
         "  12  merge stopped (see the log: a statement refused, a full disk, ...);\n"
         "      nothing was placed at --new. When a table could not be copied, what the\n"
         "      merge made is kept, not attached, as NAME.incomplete.mdf beside --new\n"
         "  13  merged, but the verification found problems (see the log)\n"
         "  14  refused: Database 1 looks merged into Database 2 before (--allow-remerge)\n"
         "  15  --into-incident names no incident of the merged database; nothing was\n"
         "      written\n"
         "  16  merged, but the JSON figures could not be written\n";
}

bool ParseMergeOptions(const std::vector<std::string>& args, MergeCommandOptions* options,
                       bool* help, std::string* problem) {
  const OptionTable table{{{"--server", &options->server},
                           {"--db1", &options->database1},
                           {"--db2", &options->database2},
                           {"--new", &options->new_database},
                           {"--report", &options->report},
                           {"--report-pdf", &options->report_pdf},
                           {"--json", &options->json},
                           {"--into-incident", &options->into_incident},
                           {"--password-file", &options->password_file},
                           {"--root", &options->root}},
                          {{"--details", &options->details},
                           {"--dry-run", &options->dry_run},
                           {"--allow-remerge", &options->allow_remerge},
                           {"--overwrite", &options->overwrite}},
                          {"--server", "--db1", "--db2", "--new"}};
  std::map<std::string, bool> given;
  if (!ParseOptions(args, table, help, problem, &given)) return false;
  if (*help) return true;
  const std::vector<const std::string*> databases = {&options->database1, &options->database2,
                                                     &options->new_database};
  if (!CheckReportFiles({options->report, options->report_pdf}, given, databases, problem) ||
      (given["--json"] && !CheckOutputOption("--json", options->json, databases, problem))) {
    return false;
  }
  if (given["--into-incident"]) {
    const std::string id = Trim(options->into_incident);
    char* end = nullptr;
    const long value = std::strtol(id.c_str(), &end, 10);
    if (id.empty() || *end != '\0' || value < 1 || value > 2147483647L) {
      *problem = "--into-incident needs an incident ID (a whole number from 1)";
      return false;
    }
  }
  return true;
}

int RunMerge(const MergeCommandOptions& options, std::ostream& out, std::ostream& err,
             bool live_status) {
  return RunWithPassword(options.password_file, "merge", err, [&](std::string& password) {
    return RunMergeSteps(options, password, out, err, live_status);
  });
}

int RunMergeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool live_status) {
  MergeCommandOptions options;
  bool help = false;
  std::string problem;
  if (!ParseMergeOptions(args, &options, &help, &problem)) {
    err << "msu merge: " << problem << "\nTry 'msu merge --help'.\n";
    return kStatusUsage;
  }
  if (help) {
    out << MergeHelp();
    return 0;
  }
  return RunMerge(options, out, err, live_status);
}

}  // namespace msu::cli
