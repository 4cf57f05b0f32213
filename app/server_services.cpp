#include "app/server_services.h"

#include "core/file_identity.h"
#include "core/text.h"
#include "merge/merge_sequence.h"
#include "merge/verification.h"
#include "merge/version_rules.h"
#include "page_rules/login_check.h"
#include "page_rules/merge_paths.h"
#include "page_rules/split_paths.h"
#include "server_routines/attachment.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/working_copies.h"
#include "split/split_sequence.h"

namespace msu::app {

std::vector<std::string> ServerServices::ListServers() { return FillServerList(context_); }

StepCheck ServerServices::CheckLogin(const std::string& server, const std::string& password,
                                     int direction) {
  // Going back removes the working copies, which must not be in use by this program.
  if (direction == kMoveBack) CloseEngineConnections();
  // The window may stay on a page for as long as the user likes: it holds the run's locks only
  // while it has working copies (the check and split sequences take them).
  const LoginResult result =
      msu::CheckLogin(context_, server, password, direction, LocksAtLogin::kLeave);
  logged_in_ = result.ok;
  return {result.ok, result.ok ? result.note : result.message, result.detail};
}

void ServerServices::CloseEngineConnections() {
  if (engine_ != nullptr) engine_->CloseConnections();
  if (split_engine_ != nullptr) split_engine_->CloseConnections();
}

void ServerServices::EndWorkingCopies() {
  CloseEngineConnections();
  server_routines::RemoveWorkingCopies(context_);
}

StepCheck ServerServices::ValidateMergePaths(MergePaths& boxes) {
  // The connections of an earlier check are this program's own, not a use of the databases
  // by anyone else; the check that must follow an edited path replaces that engine anyway.
  if (engine_ != nullptr) engine_->CloseConnections();
  // The page's note promises a folder for a new database typed without one; msu, run from a
  // shell, takes such a name in the current folder instead.
  boxes.new_database = InDefaultDatabaseFolder(boxes.new_database);
  const MergePathsCheck check = msu::ValidateMergePaths(context_, boxes, overwrite_note_);
  return {check.verdict == MergePathsVerdict::kAccepted, check.message};
}

CheckOutcome ServerServices::RunCheck(const MergePaths& paths) {
  const merge::CheckStage stage =
      merge::RunCheckSequence(context_, paths, engine_, report_viewer_, {.count_remerge = true})
          .stage;
  switch (stage) {
    case merge::CheckStage::kCompleted:
      return CheckOutcome::kCompleted;
    case merge::CheckStage::kBusy:
      return CheckOutcome::kBusy;
    default:
      break;
  }
  // A check that did not complete leaves nothing to merge: the next check makes the copies
  // again, and until then another run may use the folder.
  EndWorkingCopies();
  return stage == merge::CheckStage::kInitialize ? CheckOutcome::kInitializeFailed
                                                 : CheckOutcome::kStopped;
}

bool ServerServices::ProblemsToCorrect() {
  return engine_ != nullptr && engine_->ProblemsToCorrect;
}

MergePaths ServerServices::MergeEnginePaths() {
  if (engine_ == nullptr) return {};
  return {engine_->SourceAPath, engine_->SourceBPath, engine_->TargetDBPath};
}

ServerServices::~ServerServices() = default;

MergeResult ServerServices::RunMerge(bool allow_remerge) {
  MergeResult result;
  if (engine_ == nullptr) return result;
  merge::MergeRun run;
  // Asked once: the user has seen the figures and said yes.
  run.guard = !allow_remerge;
  const merge::MergeOutcome outcome = merge::RunMergeSequence(context_, *engine_, run);
  if (outcome.stage == merge::MergeStage::kRemergeGuard) {
    // Nothing was changed: the user may still merge these copies after a second look.
    result.end = MergeEnd::kMergedBefore;
    result.remerge = *outcome.remerge;
    return result;
  }
  // Merged or stopped, the working copies have served: a merge that stopped half-way left them
  // half-merged, and the next merge needs a new check anyway.
  EndWorkingCopies();
  if (outcome.stage != merge::MergeStage::kCompleted) return result;
  result.end = MergeEnd::kCompleted;
  const merge::Verification& verification = engine_->Figures().verification;
  const std::vector<std::string> lines = merge::VerificationLines(verification);
  if (!lines.empty()) result.verification = lines.back();
  for (const merge::VerificationFinding& finding : verification.findings) {
    result.verification_findings.push_back(finding.what);
  }
  return result;
}

void ServerServices::ListMergeIncidents(merge::IncidentChoice& list) {
  if (engine_ != nullptr) engine_->IncSplitInit(list);
}

ConsolidationResult ServerServices::FinishCopyTables(long merge_into_incident,
                                                     merge::IncidentChoice& list) {
  ConsolidationResult result;
  if (engine_ == nullptr) return result;
  engine_->MergeIntoIncident = static_cast<int32_t>(merge_into_incident);
  engine_->FinishCopyTables(&list);
  const merge::Consolidation& figures = engine_->Figures().consolidation;
  result.ran = figures.ran;
  result.folded = figures.incidents_folded;
  for (const merge::TableRows& rows : figures.rows_moved) result.rows_moved += rows.rows;
  const std::vector<std::string> lines =
      merge::VerificationLines(figures.verification, "Verification of the folding");
  if (!lines.empty()) result.verification = lines.back();
  result.verified = figures.verification.Passed();
  return result;
}

StepCheck ServerServices::ValidateSplitPaths(std::string& source, std::string& target) {
  if (split_engine_ != nullptr) split_engine_->CloseConnections();
  target = InDefaultDatabaseFolder(target);
  const PathsCheck check = msu::ValidateSplitPaths(context_, source, target, overwrite_note_);
  return {check.verdict == PathsVerdict::kAccepted, check.message};
}

StepCheck ServerServices::AcceptSplitSource(const std::string& source) {
  std::string refusal;
  switch (split::AcceptSplitSource(context_, source, nullptr, &refusal)) {
    case split::SourceVerdict::kAccepted:
      return {true, ""};
    case split::SourceVerdict::kUnfinished:
    case split::SourceVerdict::kNotAttached:
      return {false, refusal};
    case split::SourceVerdict::kUnreadable:
      return {false, split::kVersionUnreadableMessage};
    case split::SourceVerdict::kTooOld:
      break;
  }
  return {false, ""};
}

SplitStart ServerServices::StartSplit(const std::string& source, split::IncidentList& list) {
  const split::StartOutcome start = split::StartSplit(context_, source, list, split_engine_);
  if (!start.started) {
    if (!start.busy) EndWorkingCopies();
    return {false, "Error, " + start.failure};
  }
  return {true, ""};
}

SplitResult ServerServices::RunSplit(const std::string& source, const std::string& target) {
  if (split_engine_ == nullptr) return {};
  const split::SplitOutcome outcome =
      split::RunSplitSequence(context_, *split_engine_, source, target);
  // A placed split switched its list off: another one needs a new working copy (Back, Next).
  // A split that stopped keeps its copy: the user may tick again and split once more.
  if (outcome.executed) EndWorkingCopies();
  const std::vector<std::string> lines = split::SplitVerificationLines(outcome.verification);
  return {outcome.executed, lines.empty() ? std::string() : lines.back()};
}

std::string ServerServices::AttachCommand(const std::string& path) {
  return server_routines::AttachCommandFor(context_, path);
}

void ServerServices::SaveReport(const std::string& target_path) {
  reports::SaveReport(context_, target_path);
}

void ServerServices::SetStopRequest(bool stop) {
  stop ? context_.RequestStop() : context_.ClearStopRequest();
}

void ServerServices::CleanUpAtExit() {
  // A working copy with an open connection cannot be detached.
  CloseEngineConnections();
  // Without a login that worked there is nothing of ours on the server: a server that does not
  // answer is not asked again while the window closes.
  if (!logged_in_) context_.server.ServerPassword.clear();
  const std::string target_db_path = engine_ != nullptr ? engine_->TargetDBPath : std::string();
  // The window is going: a box now would stand alone on the screen. What cannot be taken off
  // the server is recorded, and the next run removes it.
  server_routines::CleanUpWorkingFiles(context_, target_db_path,
                                       server_routines::FailureBox::kSilent);
}

}  // namespace msu::app
