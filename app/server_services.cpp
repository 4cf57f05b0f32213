#include "app/server_services.h"

#include <cstdlib>

#include "core/text.h"
#include "merge/merge_paths.h"
#include "merge/merge_sequence.h"
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

bool ServerServices::RunMerge() {
  // The merge pages are not built: the working copies stay as the check left them.
  context_.progress().AddProgressMerge(kMergeUnavailable);
  return false;
}

namespace {

// The consolidation page's list, as the engine fills it.
class IncidentItems : public merge::IncidentChoice {
 public:
  void Clear() override { items.clear(); }
  void AddItem(const std::string& text, const std::string& tag) override {
    items.push_back({text, "", std::atol(tag.c_str())});
  }
  std::vector<IncidentItem> items;
};

}  // namespace

std::vector<IncidentItem> ServerServices::ListMergeIncidents() {
  if (engine_ == nullptr) return {};
  IncidentItems list;
  engine_->IncSplitInit(list);
  return list.items;
}

void ServerServices::FinishCopyTables(long merge_into_incident) {
  if (engine_ == nullptr) return;
  engine_->MergeIntoIncident = static_cast<int32_t>(merge_into_incident);
  engine_->FinishCopyTables();
}

StepCheck ServerServices::ValidateSplitPaths(std::string& source, std::string& target) {
  if (split_engine_ != nullptr) split_engine_->CloseConnections();
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
