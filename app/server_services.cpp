#include "app/server_services.h"

#include "merge/merge_paths.h"
#include "merge/version_rules.h"
#include "server/exit_cleanup.h"
#include "server/login_check.h"
#include "server/working_copies.h"
#include "split/split_paths.h"
#include "split/version_rules.h"

namespace msu::app {

std::vector<std::string> ServerServices::ListServers() { return FillServerList(context_); }

StepCheck ServerServices::CheckLogin(const std::string& server, const std::string& password,
                                     int direction) {
  const LoginResult result = msu::CheckLogin(context_, server, password, direction);
  return {result.ok, result.message};
}

StepCheck ServerServices::ValidateMergePaths(MergePaths& boxes) {
  // The connections of an earlier check are this program's own, not a use of the databases
  // by anyone else; the check that must follow an edited path replaces that engine anyway.
  if (engine_ != nullptr) engine_->CloseConnections();
  const MergePathsCheck check = msu::ValidateMergePaths(context_, boxes);
  return {check.verdict == MergePathsVerdict::kAccepted, check.message};
}

CheckOutcome ServerServices::RunCheck(const MergePaths& paths) {
  VersionSettings& versions = context_.versions;
  if (!ReadDatabaseVersion(context_, paths.database1, &versions.Database1Version,
                           &versions.Database1MergeVersion)) {
    return CheckOutcome::kStopped;
  }
  if (!ChooseInstructionFile(context_)) return CheckOutcome::kStopped;
  if (!ReadDatabaseVersion(context_, paths.database2, &versions.Database2Version,
                           &versions.Database2MergeVersion)) {
    return CheckOutcome::kStopped;
  }
  if (IsDbVerToOld(versions.Database2MergeVersion)) {
    context_.progress().AddProgress(kDestinationTooOldMessage);
    return CheckOutcome::kStopped;
  }
  // A new engine for every check; the old one's connections to the working copies close with
  // it, before the copies are made again.
  engine_.reset();
  engine_ = std::make_unique<merge::Merge>(context_, report_viewer_);
  engine_->SourceAPath = paths.database1;
  engine_->SourceBPath = paths.database2;
  engine_->TargetDBPath = paths.new_database;

  Progress& progress = context_.progress();
  progress.Clear(LogPage::kCheck);
  progress.Clear(LogPage::kMerge);
  if (!MakeWorkingCopies(context_, paths.database1, paths.database2, paths.new_database)) {
    return CheckOutcome::kStopped;
  }
  if (!ReattachDatabases(context_, paths.database1, paths.database2)) {
    return CheckOutcome::kStopped;
  }
  progress.AddProgressMerge("Press Merge to start the final merging process.");
  progress.AddProgress("Checking databases for consistency and other problems ...");
  const bool initialized = engine_->Initialize();
  if (context_.ErrorFlag) {
    // The error log has told the user; the flag must not stop the next check.
    context_.ErrorFlag = false;
    return CheckOutcome::kStopped;
  }
  if (!initialized) return CheckOutcome::kInitializeFailed;
  return CheckOutcome::kCompleted;
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
  // The table copy is not built: the working copies stay as the check left them.
  context_.progress().AddProgressMerge(kMergeUnavailable);
  return false;
}

StepCheck ServerServices::ValidateSplitPaths(std::string& source, std::string& target) {
  const PathsCheck check = msu::ValidateSplitPaths(context_, source, target);
  return {check.verdict == PathsVerdict::kAccepted, check.message};
}

StepCheck ServerServices::AcceptSplitSource(const std::string& source) {
  std::string database_version;
  std::string merge_version;
  if (!ReadDatabaseVersion(context_, source, &database_version, &merge_version)) {
    // The routine's own error line went to the check page's log, which is not on screen.
    return {false, "Error, the version of the database to split could not be read."};
  }
  if (!IsSplitSupported(database_version)) {
    context_.prompt().MessageBox(kSplitTooOldMessage, "Orvane Merge/Split", Buttons::kOk,
                                 Icon::kInformation);
    return {false, ""};
  }
  return {true, ""};
}

SplitStart ServerServices::StartSplit(const std::string& /*source*/) {
  SplitStart start;
  start.ok = false;
  start.message = kSplitUnavailable;
  return start;
}

bool ServerServices::RunSplit(const std::string& /*source*/, const std::string& /*target*/,
                              const std::vector<long>& /*keep*/) {
  context_.progress().AddProgressSplit(kSplitUnavailable);
  return false;
}

void ServerServices::SaveReport(const std::string& target_path) {
  reports::SaveReport(context_, target_path);
}

void ServerServices::CleanUpAtExit() {
  // A working copy with an open connection cannot be detached.
  std::string target_db_path;
  if (engine_ != nullptr) {
    engine_->CloseConnections();
    target_db_path = engine_->TargetDBPath;
  }
  CleanUpWorkingFiles(context_, target_db_path);
}

}  // namespace msu::app
