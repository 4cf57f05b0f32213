// The wizard's services in the product: the server routines of the login, the path checks of
// the database pages, the database check and the merge with the merge engine, and the clean-up.
// What is not ready in the wizard yet (the split engine) is refused with a message saying so;
// nothing reports success it did not have.
#pragma once

#include <memory>

#include "app/wizard_services.h"
#include "core/context.h"
#include "merge/merge.h"
#include "reports/problem_report.h"

namespace msu::app {

inline constexpr const char* kSplitUnavailable = "The split is not available in this build.";

class ServerServices : public WizardServices {
 public:
  // `report_viewer` receives every closed problem report (may be null: the report then stays
  // a file in the application folder).
  explicit ServerServices(Context& context, reports::ReportViewer* report_viewer = nullptr)
      : context_(context), report_viewer_(report_viewer) {}
  ~ServerServices() override;

  std::vector<std::string> ListServers() override;
  StepCheck CheckLogin(const std::string& server, const std::string& password,
                       int direction) override;
  // Appends ".mdf" where it is missing, then refuses, in this order, a missing Database 1 or
  // Database 2 name, a Database 1 or 2 file that does not exist, a missing new database name,
  // equal paths, and databases in use; asks before a new database file is overwritten. The
  // connections of an earlier check's engine are closed before the databases in use are
  // looked for, so that they do not count as a use.
  StepCheck ValidateMergePaths(MergePaths& boxes) override;
  // The check sequence of the merge engine (merge/merge_sequence.h), which replaces the merge
  // engine with a new one for `paths` and ends a completed check with its closing line.
  // kStopped when a step before Initialize failed or the error log raised the error flag
  // (which is cleared); kInitializeFailed when Initialize failed.
  CheckOutcome RunCheck(const MergePaths& paths) override;
  // The engine's ProblemsToCorrect; false before the first check.
  bool ProblemsToCorrect() override;
  // The engine's SourceAPath, SourceBPath and TargetDBPath; empty before the first check.
  MergePaths MergeEnginePaths() override;
  // The merge sequence of the merge engine (merge/merge_sequence.h) on the engine of the last
  // check, with the re-merge guard unless `allow_remerge`. Without an engine: kStopped.
  MergeResult RunMerge(bool allow_remerge) override;
  // The engine's IncSplitInit (nothing without an engine).
  void ListMergeIncidents(merge::IncidentChoice& list) override;
  // The engine's FinishCopyTables into `merge_into_incident` (nothing without an engine).
  void FinishCopyTables(long merge_into_incident, merge::IncidentChoice& list) override;
  // The split page's checks (split/split_paths.h) of the database to split and the resulting
  // database.
  StepCheck ValidateSplitPaths(std::string& source, std::string& target) override;
  // Refuses a database with an unfinished transaction beside it (UnfinishedTransactionMessage,
  // in the page's label) before its version is read, and a database older than 4.1 with its
  // message box.
  StepCheck AcceptSplitSource(const std::string& source) override;
  // Refuses: the split engine is not built.
  SplitStart StartSplit(const std::string& source) override;
  bool RunSplit(const std::string& source, const std::string& target,
                const std::vector<long>& keep) override;
  // The report writer's SaveReport.
  void SaveReport(const std::string& target_path) override;
  // Closes the engine's connections first (a database in use cannot be detached), then
  // detaches the working databases and the engine's new database and deletes the working
  // files.
  void CleanUpAtExit() override;
  // The Context's stop request (Context::RequestStop).
  void SetStopRequest(bool stop) override;

  // The engine of the last check, or null.
  merge::Merge* Engine() { return engine_.get(); }

 private:
  Context& context_;
  reports::ReportViewer* report_viewer_;
  std::unique_ptr<merge::Merge> engine_;
};

}  // namespace msu::app
