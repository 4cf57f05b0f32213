// The merge engine: one object per merge, created anew by each database check. Initialize
// loads the processing instructions, copies the ini files of the two databases, opens the data
// connections A (source working copy "W_O_R_K_A") and B (destination working copy "W_O_R_K_B")
// and runs the lookup consistency check, which writes the problem report and recodes colliding
// user-added codes of A. The table copy and the incident consolidation come later.
#pragma once

#include <memory>
#include <string>

#include "data/data_access.h"
#include "instructions/instruction_loader.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::reports {
class ProblemReport;
class ReportViewer;
}  // namespace msu::reports

namespace msu::merge {

class Merge {
 public:
  // `viewer` receives the finished problem report (may be null: the report stays a file).
  explicit Merge(Context& context, reports::ReportViewer* viewer = nullptr);
  ~Merge();  // closes connections A and B when they are open
  Merge(const Merge&) = delete;
  Merge& operator=(const Merge&) = delete;

  // True when the consistency check found differences or duplicates.
  bool ProblemsToCorrect = false;

  std::string SourceAPath;   // Database 1, the source
  std::string SourceBPath;   // Database 2, the destination
  std::string TargetDBPath;  // the new database
  std::string MasterPath;    // kept for the suite's sake; no operation uses it

  instructions::Tables& Tables() { return instructions_.Tables; }
  instructions::LookUps& LookUps() { return instructions_.LookUps; }
  const std::string& mergeVersion() const { return instructions_.mergeVersion; }

  // Loads the instructions, copies the ini files, reports the versions, opens connections A
  // and B and runs the consistency check. True when all of it ran to its end, whatever the
  // check found (see ProblemsToCorrect); false after a failure, which it has reported on the
  // check page's log ("Error, check stopped, " + CurrentOperation, "Error, " + LastError, or
  // the lines of the step that failed). Never throws.
  bool Initialize();

  // Connections A and B while they are open (null otherwise).
  data::Connection* SourceConnection() { return source_.get(); }
  data::Connection* DestinationConnection() { return destination_.get(); }

  // Closes connections A and B (the wizard does this before it detaches the working copies).
  void CloseConnections();

 private:
  bool CopyIniFiles();
  void OpenConnections();
  // The lookup consistency check (lookup_check.h); throws data::DataError,
  // reports::ReportError or instructions::CollectionError, with CurrentOperation naming the
  // table under examination, when it cannot go on.
  bool CheckLookUps();

  Context& context_;
  reports::ReportViewer* viewer_;
  instructions::InstructionSet instructions_;
  std::unique_ptr<data::Connection> source_;
  std::unique_ptr<data::Connection> destination_;
  // The problem report of the check; open from the check's start until it ends (and after a
  // failed check until Initialize has closed it).
  std::unique_ptr<reports::ProblemReport> report_;
};

}  // namespace msu::merge
