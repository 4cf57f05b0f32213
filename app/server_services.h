// The wizard's services in the product: the server routines of the login, the path checks of
// the database pages, the version checks, and the clean-up. The merge and split engines are
// not part of this build: where the road needs one, the step is refused with a message saying
// so; nothing reports success it did not have.
#pragma once

#include "app/wizard_services.h"
#include "core/context.h"

namespace msu::app {

inline constexpr const char* kMergeUnavailable = "The merge is not available in this build.";
inline constexpr const char* kSplitUnavailable = "The split is not available in this build.";

class ServerServices : public WizardServices {
 public:
  explicit ServerServices(Context& context) : context_(context) {}

  std::vector<std::string> ListServers() override;
  StepCheck CheckLogin(const std::string& server, const std::string& password,
                       int direction) override;
  // Appends ".mdf" where it is missing, then refuses, in this order, a missing Database 1 or
  // Database 2 name, a Database 1 or 2 file that does not exist, a missing new database name,
  // equal paths, and databases in use; asks before a new database file is overwritten.
  StepCheck ValidateMergePaths(MergePaths& boxes) override;
  // Reads the versions of both databases, chooses the instruction file, refuses a Database 2
  // that is too old, makes the working copies and re-attaches the databases; then stops, as
  // the merge engine is not built.
  CheckOutcome RunCheck(const MergePaths& paths) override;
  bool ProblemsToCorrect() override { return false; }
  MergePaths MergeEnginePaths() override { return {}; }
  bool RunMerge() override;
  std::vector<IncidentItem> ListMergeIncidents() override { return {}; }
  void FinishCopyTables(long /*merge_into_incident*/) override {}
  // The same checks for the database to split and the resulting database.
  StepCheck ValidateSplitPaths(std::string& source, std::string& target) override;
  // Refuses a database older than 4.1 with its message box.
  StepCheck AcceptSplitSource(const std::string& source) override;
  // Refuses: the split engine is not built.
  SplitStart StartSplit(const std::string& source) override;
  bool RunSplit(const std::string& source, const std::string& target,
                const std::vector<long>& keep) override;
  void CleanUpAtExit() override;

 private:
  // The names of the databases in use among `paths`, each after one blank, and the message
  // that names them; empty when none is in use.
  std::string OpenConnectionsMessage(const std::vector<std::string>& paths);

  Context& context_;
};

}  // namespace msu::app
