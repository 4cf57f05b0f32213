#include "app/server_services.h"

#include "core/text.h"
#include "merge/merge_paths.h"
#include "merge/merge_sequence.h"
#include "merge/verification.h"
#include "merge/version_rules.h"
#include "server/exit_cleanup.h"
#include "server/file_identity.h"
#include "server/login_check.h"
#include "server/working_copies.h"
#include "split/split_paths.h"
#include "split/split_sequence.h"

namespace msu::app {

std::vector<std::string> ServerServices::ListServers() { return FillServerList(context_); }

StepCheck ServerServices::CheckLogin(const std::string& server, const std::string& password,
                                     int direction) {
  if (direction == kMoveBack && split_engine_ != nullptr) split_engine_->CloseConnections();
  const LoginResult result = msu::CheckLogin(context_, server, password, direction);
  return {result.ok, result.ok ? result.note : result.message};
}

StepCheck ServerServices::ValidateMergePaths(MergePaths& boxes) {
  // The connections of an earlier check are this program's own, not a use of the databases
  // by anyone else; the check that must follow an edited path replaces that engine anyway.
  if (engine_ != nullptr) engine_->CloseConnections();
  // The page's note promises a folder for a new database typed without one; msu, run from a
  // shell, takes such a name in the current folder instead.
  boxes.new_database = InDefaultDatabaseFolder(boxes.new_database);
  const MergePathsCheck check = msu::ValidateMergePaths(context_, boxes);
  return {check.verdict == MergePathsVerdict::kAccepted, check.message};
}

CheckOutcome ServerServices::RunCheck(const MergePaths& paths) {
  switch (merge::RunCheckSequence(context_, paths, engine_, report_viewer_).stage) {
    case merge::CheckStage::kCompleted:
      return CheckOutcome::kCompleted;
    case merge::CheckStage::kInitialize:
      return CheckOutcome::kInitializeFailed;
    default:
      return CheckOutcome::kStopped;
  }
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
  switch (outcome.stage) {
    case merge::MergeStage::kRemergeGuard:
      result.end = MergeEnd::kMergedBefore;
      result.remerge = *outcome.remerge;
      return result;
    case merge::MergeStage::kCompleted:
      result.end = MergeEnd::kCompleted;
      break;
    default:
      return result;
  }
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

void ServerServices::FinishCopyTables(long merge_into_incident, merge::IncidentChoice& list) {
  if (engine_ == nullptr) return;
  engine_->MergeIntoIncident = static_cast<int32_t>(merge_into_incident);
  engine_->FinishCopyTables(&list);
}

StepCheck ServerServices::ValidateSplitPaths(std::string& source, std::string& target) {
  if (split_engine_ != nullptr) split_engine_->CloseConnections();
  target = InDefaultDatabaseFolder(target);
  const PathsCheck check = msu::ValidateSplitPaths(context_, source, target);
  return {check.verdict == PathsVerdict::kAccepted, check.message};
}

StepCheck ServerServices::AcceptSplitSource(const std::string& source) {
  std::string refusal;
  switch (split::AcceptSplitSource(context_, source, nullptr, &refusal)) {
    case split::SourceVerdict::kAccepted:
      return {true, ""};
    case split::SourceVerdict::kUnfinished:
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
  if (!start.started) return {false, "Error, " + start.failure};
  return {true, ""};
}

SplitResult ServerServices::RunSplit(const std::string& source, const std::string& target) {
  if (split_engine_ == nullptr) return {};
  const split::SplitOutcome outcome =
      split::RunSplitSequence(context_, *split_engine_, source, target);
  const std::vector<std::string> lines = split::SplitVerificationLines(outcome.verification);
  return {outcome.executed, lines.empty() ? std::string() : lines.back()};
}

void ServerServices::SaveReport(const std::string& target_path) {
  reports::SaveReport(context_, target_path);
}

void ServerServices::SetStopRequest(bool stop) {
  stop ? context_.RequestStop() : context_.ClearStopRequest();
}

void ServerServices::CleanUpAtExit() {
  // A working copy with an open connection cannot be detached.
  std::string target_db_path;
  if (engine_ != nullptr) {
    engine_->CloseConnections();
    target_db_path = engine_->TargetDBPath;
  }
  if (split_engine_ != nullptr) split_engine_->CloseConnections();
  CleanUpWorkingFiles(context_, target_db_path);
}

}  // namespace msu::app
