// What the wizard asks of the rest of the system when it enters a page or a page's button is
// pressed. The window itself only moves between pages, keeps its flags and shows results; the
// login, the path checks and the engines live behind this interface so that the window can be
// driven by tests without a server.
#pragma once

#include <string>
#include <vector>

#include "merge/merge.h"
#include "merge/remerge_guard.h"
#include "page_rules/database_paths.h"
#include "page_rules/merge_paths.h"
#include "split/incident_list.h"

namespace msu::app {

// Result of an entry procedure that may refuse its step. `message` is what the page's message
// label shows when the step is refused (empty when the refusal was already explained, for
// example by a message box). When a login is accepted it is a note for the label of the page
// that follows (databases an earlier run left detached were attached again); other accepted
// steps ignore it.
struct StepCheck {
  StepCheck() = default;
  StepCheck(bool ok_, std::string message_, std::string detail_ = {})
      : ok(ok_), message(std::move(message_)), detail(std::move(detail_)) {}

  bool ok = false;
  std::string message;
  // A refused login: what `message` means for this server, for the line under it ("No server
  // named X on this machine. Known servers: ..."); empty when the message says it all.
  std::string detail;
};

// The three boxes of the merge database page: Database 1, Database 2, New Database.
using MergePaths = MergePathBoxes;

// One incident of a list with check boxes. `id` is the item's tag.
struct IncidentItem {
  std::string text;
  std::string status;
  long id = 0;
};

// How a database check ended. A stopped check leaves Check Databases disabled until a path is
// edited; a failed initialisation enables it again at once, and so does a check that could not
// start because another run holds the application folder or the server (kBusy; its line says
// which).
enum class CheckOutcome { kBusy, kStopped, kInitializeFailed, kCompleted };

// How the work of the Merge button ended.
enum class MergeEnd {
  // Nothing was done: Database 1 looks merged into Database 2 already (see `remerge`).
  kMergedBefore,
  // The merge, or the conversion before it, stopped; its own lines on the merge log say why.
  kStopped,
  kCompleted,
};

struct MergeResult {
  MergeEnd end = MergeEnd::kStopped;
  // With kMergedBefore: the rows of Database 1 found in Database 2.
  merge::RemergeCounts remerge;
  // With kCompleted: the verification of the new database in one line (empty when it did not
  // run) and, when it found problems, one line for each, naming the table.
  std::string verification;
  std::vector<std::string> verification_findings;
};

// What the folding of the incidents into one did, for the merge's last page.
struct ConsolidationResult {
  bool ran = false;
  long long folded = 0;      // incidents folded into the one kept (and deleted)
  long long rows_moved = 0;  // their rows pointed at the one kept
  // The verification of the folding in one line; empty when it did not run.
  std::string verification;
  bool verified = false;  // and it found nothing
};

// What the split engine's initialisation tells the selection page; the incidents themselves
// go straight into the page's list.
struct SplitStart {
  // False when no engine could be started; `message` then goes to the split database page's
  // label and the selection page is refused.
  bool ok = true;
  std::string message;
};

// What the Split button's work tells the split page and the final page.
struct SplitResult {
  // The new database was placed and attached; Next follows it.
  bool ok = false;
  // The verification's closing line for the final page; empty when it did not run.
  std::string verification;
};

class WizardServices {
 public:
  virtual ~WizardServices() = default;

  // Names of the servers for the server page, in the order the server component gives them.
  virtual std::vector<std::string> ListServers() = 0;

  // The login check run on entering the merge database page. `direction` is 1 for Back and 2
  // for Next; with Back a successful login also removes the working copies. On failure
  // `message` is one of "Password not specified.", "The server is stopped.", "Password
  // incorrect." or "Error, number " and the number, and `detail` may say more.
  virtual StepCheck CheckLogin(const std::string& server, const std::string& password,
                               int direction) = 0;

  // Where the path checks name an existing resulting database while they ask whether to
  // overwrite it (see OverwriteNote, server/database_paths.h): the window's page label.
  virtual void SetOverwriteNote(OverwriteNote /*note*/) {}

  // Validates the three merge paths before the check page is shown. May rewrite `boxes` (a
  // missing ".mdf" is appended); the window copies changed texts back into its boxes. On
  // refusal `message` goes to the page's label.
  virtual StepCheck ValidateMergePaths(MergePaths& boxes) = 0;

  // The work of the Check Databases button, from reading the versions to the engine's
  // initialisation. Writes its own lines to the check log.
  virtual CheckOutcome RunCheck(const MergePaths& paths) = 0;

  // The merge engine's ProblemsToCorrect; false when there is no engine.
  virtual bool ProblemsToCorrect() = 0;

  // The merge engine's SourceAPath, SourceBPath and TargetDBPath; empty without an engine.
  virtual MergePaths MergeEnginePaths() = 0;

  // The work of the Merge button on the engine of the last check: the re-merge guard (unless
  // `allow_remerge`), the conversion of a Database 1 older than 4.13, CopyTables and the
  // verification. The engine writes its own lines to the merge log.
  virtual MergeResult RunMerge(bool allow_remerge) = 0;

  // The engine's IncSplitInit: fills `list` with the incidents of the new database.
  virtual void ListMergeIncidents(merge::IncidentChoice& list) = 0;

  // The engine's FinishCopyTables: folds every incident of the new database into
  // `merge_into_incident`; `list` shows what is under way.
  virtual ConsolidationResult FinishCopyTables(long merge_into_incident,
                                               merge::IncidentChoice& list) = 0;

  // Validates the split paths when the selection page is entered with Next. May rewrite both
  // texts (".mdf" appended). On refusal `message` goes to the split database page's label.
  virtual StepCheck ValidateSplitPaths(std::string& source, std::string& target) = 0;

  // Reads the version of the database to split and accepts it when it is recent enough. A
  // refusal of an old database has already told the user why (empty `message`); a version that
  // could not be read gives a `message` for the split database page's label.
  virtual StepCheck AcceptSplitSource(const std::string& source) = 0;

  // Creates a new split engine over `list` (the selection page's list, which the engine fills
  // and later reads the ticks of and marks) and runs its initialisation on `source`, the text
  // of the "Database to Split" box.
  virtual SplitStart StartSplit(const std::string& source, split::IncidentList& list) = 0;

  // Runs the split of the engine StartSplit made: keeps the ticked incidents of its list,
  // removes the others and places the result at `target`. The engine writes its own lines to
  // the split log.
  virtual SplitResult RunSplit(const std::string& source, const std::string& target) = 0;

  // The command line that attaches the database file `path` to the server by hand, for the
  // words of the last pages; empty when there is none to give.
  virtual std::string AttachCommand(const std::string& /*path*/) { return {}; }

  // Copies the closed problem report to `target_path` (the viewer's Save), asking first when a
  // file is there already. Shows its own message on failure; never throws.
  virtual void SaveReport(const std::string& target_path) = 0;

  // The clean-up when the window closes: connections closed, working databases detached,
  // working files deleted. Never throws.
  virtual void CleanUpAtExit() = 0;

  // Asks the engine at work to stop at its next step (true), or withdraws the request (false):
  // see Context::RequestStop. The wizard asks when the user closes the window, or presses
  // Back or Next, while an engine runs, and withdraws it before it starts one and once the
  // engine has returned. Services without engines ignore it.
  virtual void SetStopRequest(bool /*stop*/) {}
};

}  // namespace msu::app
