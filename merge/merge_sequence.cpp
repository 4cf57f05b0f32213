#include "merge/merge_sequence.h"

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "convert/pre_convert.h"
#include "core/context.h"
#include "core/file_identity.h"
#include "core/text.h"
#include "merge/verification.h"
#include "merge/version_rules.h"
#include "reports/problem_report.h"
#include "server_routines/attachment.h"
#include "server_routines/connection_settings.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/run_locks.h"
#include "server_routines/working_attachments.h"
#include "server_routines/working_copies.h"
#include "server_routines/working_files.h"

namespace msu::merge {

namespace {

// Keeps the incidents IncSplitInit lists, and passes them on to the front end's list.
class IncidentCollector : public IncidentChoice {
 public:
  explicit IncidentCollector(IncidentChoice* list) : list_(list) {}
  void Clear() override {
    tags_.clear();
    if (list_ != nullptr) list_->Clear();
  }
  void AddItem(const std::string& text, const std::string& tag) override {
    tags_.push_back(Trim(tag));
    if (list_ != nullptr) list_->AddItem(text, tag);
  }
  void SetOrigin(const std::string& origin) override {
    if (list_ != nullptr) list_->SetOrigin(origin);
  }
  void SetSelectedCaption(const std::string& caption) override {
    if (list_ != nullptr) list_->SetSelectedCaption(caption);
  }
  bool Holds(int32_t id) const {
    for (const std::string& tag : tags_) {
      if (tag == std::to_string(id)) return true;
    }
    return false;
  }

 private:
  IncidentChoice* list_;
  std::vector<std::string> tags_;
};

// What this check detached to copy: the entries a server without a record of pending
// attachments would not list.
std::vector<data::PendingAttachment> DetachedForCopies(Context& context,
                                                       const MergePathBoxes& paths) {
  std::vector<data::PendingAttachment> detached;
  for (const auto& [path, name] : {std::pair{paths.database1, context.merge.SourceName},
                                   std::pair{paths.database2, context.merge.DestinationName}}) {
    if (!name.empty()) detached.push_back(server_routines::NewPendingAttachment(name, path));
  }
  return detached;
}

// The lines of a repair made before the check clears its log: shown once the log is cleared,
// or when the check stops before that.
class RepairLines {
 public:
  RepairLines(Progress& progress, std::vector<server_routines::RepairLine> lines)
      : progress_(progress), lines_(std::move(lines)) {}
  ~RepairLines() { Show(); }
  RepairLines(const RepairLines&) = delete;
  RepairLines& operator=(const RepairLines&) = delete;
  void Show() {
    for (const server_routines::RepairLine& line : lines_) progress_.AddProgress(line.text);
    lines_.clear();
  }

 private:
  Progress& progress_;
  std::vector<server_routines::RepairLine> lines_;
};

// A stop the user asked for, honoured where the user's databases are attached.
bool Stopped(Context& context, CheckOutcome& outcome) {
  if (!context.StopRequested()) return false;
  context.progress().AddProgress(kStoppedByUser);
  outcome.stage = CheckStage::kStopped;
  return true;
}

// The re-merge guard's counting beside the check: Database 1 is read as the user's own file,
// read only, since the check writes its working copy; Database 2 on a second connection to its
// working copy, which the check only reads. Each on a thread of its own.
class RemergeAhead {
 public:
  RemergeAhead(Context& context, Merge& engine, bool legacy) {
    try {
      database1_ = server_routines::OpenServerDatabase(
          context, context.merge.SourceName,
          server_routines::OpenSettings{.never_prompt = true, .read_only = true});
      database2_ = engine.OpenSecondReader(Merge::WorkingCopy::kB);
      if (database1_ == nullptr || database2_ == nullptr) return;
      helper_.emplace(*database1_, [this, legacy] {
        counts_ = CountRemergedRows(*database1_, *database2_, legacy,
                                    {database2_.get(), [this] { return stopping_.load(); }});
      });
    } catch (...) {
      // Not counted now: the merge's guard counts for itself.
    }
  }
  ~RemergeAhead() { stopping_ = true; }
  RemergeAhead(const RemergeAhead&) = delete;
  RemergeAhead& operator=(const RemergeAhead&) = delete;

  // Waits for the counting, calling `beat` meanwhile (a true from it stops the counting); none
  // when the counting failed or was stopped.
  std::optional<RemergeCounts> Take(const std::function<bool()>& beat) {
    if (!helper_) return std::nullopt;
    try {
      helper_->Wait([this, &beat] {
        if (beat && beat()) stopping_ = true;
        return stopping_.load();
      });
      return counts_;
    } catch (...) {
      return std::nullopt;
    }
  }

 private:
  std::unique_ptr<data::Connection> database1_;
  std::unique_ptr<data::Connection> database2_;
  std::optional<RemergeCounts> counts_;
  std::atomic<bool> stopping_{false};
  std::optional<data::HelperThread> helper_;  // last: stopped and joined before the rest goes
};

}  // namespace

CheckOutcome RunCheckSequence(Context& context, const MergePathBoxes& paths,
                              std::unique_ptr<Merge>& engine, reports::ReportViewer* viewer,
                              const CheckRun& run) {
  CheckOutcome outcome;
  Progress& progress = context.progress();
  VersionSettings& versions = context.versions;
  context.ClearHalt();
  if (const std::string other_run = server_routines::TakeRunLocks(context); !other_run.empty()) {
    progress.AddProgress("Error, the check cannot start: " + other_run + ".");
    outcome.stage = CheckStage::kBusy;
    return outcome;
  }
  outcome.stage = CheckStage::kVersions;
  try {
    // A database this program left detached before (the server was stopped when it tried to
    // attach it again) comes back before anything is read.
    RepairLines repaired(progress, server_routines::AttachPendingAgainLines(context));
    // Reading such a file, or copying it alone, would change or damage it.
    for (const auto& [which, path] :
         {std::pair{"Database 1", paths.database1}, std::pair{"Database 2", paths.database2}}) {
      if (const std::string refusal = UnfinishedTransactionMessage(which, path); !refusal.empty()) {
        repaired.Show();
        progress.AddProgress(refusal);
        return outcome;
      }
    }
    if (!server_routines::ReadDatabaseVersion(context, paths.database1, &versions.Database1Version,
                                              &versions.Database1MergeVersion)) {
      return outcome;
    }
    outcome.stage = CheckStage::kInstructionFile;
    if (!ChooseInstructionFile(context)) return outcome;
    outcome.stage = CheckStage::kVersions;
    if (!server_routines::ReadDatabaseVersion(context, paths.database2, &versions.Database2Version,
                                              &versions.Database2MergeVersion)) {
      return outcome;
    }
    if (IsDbVerToOld(versions.Database2MergeVersion)) {
      progress.AddProgress(kDestinationTooOldMessage);
      return outcome;
    }
    if (Stopped(context, outcome)) return outcome;

    // The old engine's connections to the working copies close before the copies are made
    // again.
    engine.reset();
    engine = std::make_unique<Merge>(context, viewer);
    engine->SourceAPath = paths.database1;
    engine->SourceBPath = paths.database2;
    engine->TargetDBPath = paths.new_database;

    outcome.stage = CheckStage::kWorkingCopies;
    progress.Clear(LogPage::kCheck);
    progress.Clear(LogPage::kMerge);
    repaired.Show();
    // Only copies this run makes may be written: a working name held by anything else stops
    // the check before a database is detached.
    if (const std::string refusal = server_routines::WorkingNamesRefusal(
            context,
            {{server_routines::kWorkDatabaseA, context.AppFile(server_routines::kWorkFileA)},
             {server_routines::kWorkDatabaseB, context.AppFile(server_routines::kWorkFileB)}});
        !refusal.empty()) {
      progress.AddProgress("Error, " + refusal);
      outcome.stage = CheckStage::kWorkingNameTaken;
      return outcome;
    }
    if (!server_routines::MakeWorkingCopies(context, paths.database1, paths.database2,
                                            paths.new_database) ||
        !server_routines::ReattachDatabases(context, paths.database1, paths.database2)) {
      // The user's databases go back under their own names (lines say so); what cannot go
      // back now stays on the server's record for the next run.
      server_routines::RepairPendingAttachments(context, LogPage::kCheck,
                                                DetachedForCopies(context, paths));
      return outcome;
    }
    if (Stopped(context, outcome)) return outcome;
    progress.AddProgressMerge(kPressMergeLine);
    progress.AddProgress("Checking databases for consistency and other problems ...");

    // A report left by an earlier run must not pass for this run's.
    try {
      server_routines::DeleteFileIfExists(reports::ReportPath(context));
      outcome.report_is_ours = true;
    } catch (...) {
    }
    outcome.stage = CheckStage::kInitialize;
    std::optional<RemergeAhead> remerge;
    if (run.count_remerge) {
      remerge.emplace(context, *engine, NeedsLegacyConversion(versions.Database1Version));
    }
    const bool initialized = engine->Initialize();
    outcome.initialize = engine->InitializeReached();
    if (initialized && remerge) {
      if (const std::optional<RemergeCounts> counts = remerge->Take(context.Heartbeat())) {
        engine->KeepRemergeCounts(*counts);
      }
    }
    if (context.ErrorFlag) {
      // The error log has told the user; the flag must not stop the next check.
      context.ErrorFlag = false;
      outcome.stage = CheckStage::kErrorLog;
      return outcome;
    }
    if (!initialized) return outcome;
    outcome.stage = CheckStage::kCompleted;
    outcome.problems = engine->ProblemsToCorrect;
    progress.AddProgress(outcome.problems ? kProblemsLine : kNoProblemsLine);
  } catch (const std::exception& error) {
    progress.AddProgress(std::string("Error, check stopped, ") + error.what());
    server_routines::RepairPendingAttachments(context, LogPage::kCheck);
  }
  return outcome;
}

MergeOutcome RunMergeSequence(Context& context, Merge& engine, const MergeRun& run,
                              IncidentChoice* list) {
  MergeOutcome outcome;
  Progress& progress = context.progress();
  context.ClearHalt();
  const bool legacy = NeedsLegacyConversion(context.versions.Database1Version);
  data::Connection* const source = engine.SourceConnection();
  data::Connection* const destination = engine.DestinationConnection();
  if (run.guard && engine.RemergeCountsKept()) {
    outcome.remerge = engine.RemergeCountsKept();
  } else if (run.guard && source != nullptr && destination != nullptr) {
    try {
      // B is read on a second connection while A is read.
      std::unique_ptr<data::Connection> reader = engine.OpenSecondReader();
      outcome.remerge =
          CountRemergedRows(*source, *destination, legacy, {reader.get(), context.Heartbeat()});
    } catch (...) {
      // A database without the tables the guard reads has nothing merged before.
    }
  }
  if (outcome.remerge && outcome.remerge->LooksMergedBefore() && !run.allow_remerge) {
    outcome.stage = MergeStage::kRemergeGuard;
    return outcome;
  }

  if (context.StopRequested()) {
    outcome.stage = MergeStage::kStopped;
    return outcome;
  }
  engine.Options = run.engine;
  // Known before the merge: checked, and foreseen, before anything is placed.
  engine.Options.into_incident = run.into_incident;
  // Without its connections the engine has nothing to convert; CopyTables says so.
  if (legacy && source != nullptr && destination != nullptr) {
    outcome.stage = MergeStage::kPreConversion;
    if (!convert::PreConvert(context, *source, *destination)) return outcome;
  }
  outcome.stage = MergeStage::kCopyTables;
  const bool merged = engine.CopyTables();
  const MergeFigures& figures = engine.Figures();
  outcome.disk_full = context.Halted();
  outcome.incomplete_database = figures.incomplete_database;
  // A verification that passed says nothing about a merge that then stopped.
  if (merged || !figures.verification.Passed()) {
    for (const std::string& line : VerificationLines(figures.verification)) {
      progress.AddProgressMerge(line);
    }
  }
  if (run.engine.dry_run) {
    for (const std::string& warning : figures.warnings) progress.AddProgressMerge(warning);
  }
  outcome.verification_passed = figures.verification.Passed();
  if (!merged) {
    if (figures.consolidation.unknown_incident) outcome.stage = MergeStage::kConsolidation;
    return outcome;
  }
  if (run.engine.dry_run) {
    for (const std::string& line : ConsolidationLines(figures.consolidation)) {
      progress.AddProgressMerge(line);
    }
    progress.AddProgressMerge("Dry run: the new database was not written.");
  }

  if (run.into_incident && !run.engine.dry_run) {
    if (context.StopRequested()) {
      outcome.stage = MergeStage::kStopped;
      return outcome;
    }
    outcome.stage = MergeStage::kConsolidation;
    IncidentCollector incidents(list);
    engine.IncSplitInit(incidents);
    if (!incidents.Holds(*run.into_incident)) return outcome;
    engine.MergeIntoIncident = *run.into_incident;
    engine.FinishCopyTables(&incidents);
    for (const std::string& line : ConsolidationLines(figures.consolidation)) {
      progress.AddProgressMerge(line);
    }
    outcome.consolidation_verified = figures.consolidation.verification.Passed();
  }
  outcome.stage = MergeStage::kCompleted;
  return outcome;
}

}  // namespace msu::merge
