// The wizard's services in the product: the server routines of the login, the path checks of
// the database pages, the database check and the merge with the merge engine, the split with
// the split engine, and the clean-up. Nothing reports success it did not have.
#pragma once

#include <memory>

#include "app/wizard_services.h"
#include "core/context.h"
#include "merge/merge.h"
#include "reports/problem_report.h"
#include "split/split.h"

namespace msu::app {

class ServerServices : public WizardServices {
 public:
  // `report_viewer` receives every closed problem report (may be null: the report then stays
  // a file in the application folder).
  explicit ServerServices(Context& context, reports::ReportViewer* report_viewer = nullptr)
      : context_(context), report_viewer_(report_viewer) {}
  ~ServerServices() override;

  std::vector<std::string> ListServers() override;
  void SetOverwriteNote(OverwriteNote note) override { overwrite_note_ = std::move(note); }
  // The login check without the run's locks: the window takes them only with its working
  // copies (the check and split sequences do). With Back, closes the engines' connections to
  // the working copies first: the login check then takes those copies off the server.
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
  // kBusy when another run holds the application folder or the server; kStopped when a step
  // before Initialize failed or the error log raised the error flag (which is cleared);
  // kInitializeFailed when Initialize failed. A check that did not complete removes its working
  // copies and gives back the run's locks (RemoveWorkingCopies).
  CheckOutcome RunCheck(const MergePaths& paths) override;
  // The engine's ProblemsToCorrect; false before the first check.
  bool ProblemsToCorrect() override;
  // The engine's SourceAPath, SourceBPath and TargetDBPath; empty before the first check.
  MergePaths MergeEnginePaths() override;
  // The merge sequence of the merge engine (merge/merge_sequence.h) on the engine of the last
  // check, with the re-merge guard unless `allow_remerge`. Without an engine: kStopped. Unless
  // the guard refused, the working copies are removed afterwards and the run's locks given
  // back: the new database needs neither, and another merge needs a new check.
  MergeResult RunMerge(bool allow_remerge) override;
  // The engine's IncSplitInit (nothing without an engine).
  void ListMergeIncidents(merge::IncidentChoice& list) override;
  // The engine's FinishCopyTables into `merge_into_incident`, with its figures (nothing
  // without an engine).
  ConsolidationResult FinishCopyTables(long merge_into_incident,
                                       merge::IncidentChoice& list) override;
  // The split page's checks (split/split_paths.h) of the database to split and the resulting
  // database, after the split engine's connection to the working copy is closed (it is this
  // program's own, not a use of the database).
  StepCheck ValidateSplitPaths(std::string& source, std::string& target) override;
  // Refuses a database with an unfinished transaction beside it (UnfinishedTransactionMessage,
  // in the page's label) before its version is read, and a database older than 4.1 with its
  // message box (split/split_sequence.h).
  StepCheck AcceptSplitSource(const std::string& source) override;
  // StartSplit of split/split_sequence.h: a new split engine and its Initialize. Refused with
  // "Error, " and the reason when Initialize failed (its working copy is then removed) or
  // another run holds the application folder or the server.
  SplitStart StartSplit(const std::string& source, split::IncidentList& list) override;
  // RunSplitSequence of split/split_sequence.h on the engine of StartSplit, verification
  // included; once the new database is placed the working copy is removed and the run's locks
  // given back (a split that stopped keeps them: Split may run again).
  SplitResult RunSplit(const std::string& source, const std::string& target) override;
  // AttachCommandFor (server/attachment.h).
  std::string AttachCommand(const std::string& path) override;
  // The report writer's SaveReport.
  void SaveReport(const std::string& target_path) override;
  // Closes the engines' connections first (a database in use cannot be detached), then
  // detaches the working databases and the merge engine's new database and deletes the working
  // files, without a box (FailureBox::kSilent), and without asking the server when the last
  // login did not work. A split's new database stays attached.
  void CleanUpAtExit() override;
  // The Context's stop request (Context::RequestStop).
  void SetStopRequest(bool stop) override;

  // The engine of the last check, or null.
  merge::Merge* Engine() { return engine_.get(); }

 private:
  void CloseEngineConnections();
  // The working copies have served: removed, and the run's locks given back.
  void EndWorkingCopies();

  Context& context_;
  reports::ReportViewer* report_viewer_;
  std::unique_ptr<merge::Merge> engine_;
  std::unique_ptr<split::Split> split_engine_;
  // The last login check worked.
  bool logged_in_ = false;
  OverwriteNote overwrite_note_;
};

}  // namespace msu::app
