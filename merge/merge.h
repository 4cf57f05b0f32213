// The merge engine: one object per merge, created anew by each database check. Initialize
// loads the processing instructions, copies the ini files of the two databases, opens the data
// connections A (source working copy "W_O_R_K_A") and B (destination working copy "W_O_R_K_B")
// and runs the lookup consistency check, which writes the problem report and recodes colliding
// user-added codes of A. CopyTables then renumbers the keys of A past those of B, copies A's
// core tables and user-added lookup rows into B, synchronises B's key counters and places B at
// the new database's path; IncSplitInit and FinishCopyTables fold the incidents of the new
// database into one when the user asks for it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/post_convert.h"
#include "data/data_access.h"
#include "instructions/instruction_loader.h"
#include "merge/merge_figures.h"
#include "merge/remerge_guard.h"
#include "merge/row_copy.h"
#include "merge/verification.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::reports {
class ProblemReport;
class ReportViewer;
}  // namespace msu::reports

namespace msu::merge {

// The incident-choice page as the consolidation sees it: a list whose items carry a text and a
// tag (the incident's identifier, right-aligned in six positions), and the label that tells
// what is under way. The wizard shows them; msu keeps them.
class IncidentChoice {
 public:
  virtual ~IncidentChoice() = default;
  virtual void Clear() = 0;
  virtual void AddItem(const std::string& text, const std::string& tag) = 0;
  // Where the item added last came from: "Database 1, key 3" or "Database 2, key 7" (the same
  // incident may stand in both databases under one number and name). The wizard shows it in
  // the list's Status column.
  virtual void SetOrigin(const std::string& /*origin*/) {}
  virtual void SetSelectedCaption(const std::string& /*caption*/) {}
};

// The last line of a CopyTables that placed the new database.
inline constexpr const char* kMergePlacedLine = "Press Next to merge incidents or finish.";

// What CopyTables does beyond its own steps. None of it changes a line it writes.
struct MergeOptions {
  // Checks the finished destination copy before it is placed (see Figures().verification).
  bool verify = true;
  // Stops before the final file copy: the working copies are merged, the new database is not
  // written and CopyTables writes none of the lines of the final copy.
  bool dry_run = false;
  RowCopyPath row_copy = RowCopyPath::kSetBased;
  // How the keys of A reach their new values. With kInCopy the copies get them on the way and A
  // keeps its own (one INSERT ... SELECT per table computes them), where the backend can copy
  // between the two connections (data::Connection::CanCopyRowsFrom); otherwise, and with
  // kInPlace, A's keys are updated in place before the copy, as the suite's routines did. Both
  // write the same lines and leave the same database.
  enum class KeyPath { kInCopy, kInPlace };
  KeyPath keys = KeyPath::kInCopy;
  // How the legacy conversions send their statements (convert/post_convert.h).
  convert::StatementPath conversions = convert::StatementPath::kSetBased;
  // The incident a consolidation after the merge will keep, when it is known beforehand: once
  // B is merged and before anything is placed, CopyTables counts the folding as it would be
  // (Figures().consolidation, foreseen), and stops when it is no incident of B, with a line
  // saying so and nothing placed.
  std::optional<int32_t> into_incident;
};

// How far Initialize got; the step named is the one that failed when it returned false.
enum class InitializeStage {
  kInstructions,      // the instruction file did not load
  kIniFiles,          // the ini files could not be copied
  kConnections,       // connection A or B could not be opened
  kConsistencyCheck,  // the lookup check stopped
  kCompleted,
};

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
  const instructions::Tables& Tables() const { return instructions_.Tables; }
  const instructions::LookUps& LookUps() const { return instructions_.LookUps; }
  const std::string& mergeVersion() const { return instructions_.mergeVersion; }

  // Loads the instructions, copies the ini files, reports the versions, opens connections A
  // and B and runs the consistency check. True when all of it ran to its end, whatever the
  // check found (see ProblemsToCorrect); false after a failure, which it has reported on the
  // check page's log ("Error, check stopped, " + CurrentOperation, "Error, " + LastError, or
  // the lines of the step that failed). A stop the user asked for (Context::StopPoint) ends it
  // the same way before the connections are opened and before each table of the consistency
  // check. Never throws.
  bool Initialize();

  // How far the last Initialize got.
  InitializeStage InitializeReached() const { return initialize_stage_; }

  // The merge proper, on the connections Initialize opened: renumbers the keys of A, copies its
  // core tables and user-added lookup rows into B, runs "usp_syncNextNumber" on B, closes both
  // connections and copies "W_O_R_K_B.tmp" to TargetDBPath, attached as NewDatabaseName.
  // Writes its lines to the merge page's log and sets the merge percentage. True when every
  // step through the final copy succeeded (with options.dry_run: through the closing of the
  // connections). On failure writes "Error, merge stopped, " + CurrentOperation and "Error is "
  // + LastError (or the lines of the routine that failed) and returns false; nothing is rolled
  // back. For a Database 1 older than 4.13, whose copy A the merge sequence has converted
  // first (convert/pre_convert.h), the post-merge conversion (convert/post_convert.h) runs on B
  // right after "Lookup table copying completed."; its failure lines stand in the log and the
  // merge goes on. A stop the user asked for (Context::StopPoint) ends it like a failure before
  // each table it renumbers or copies; the new database is then not written.
  //
  // Beyond the steps: a step the merge goes on after when it fails (a table copy, the
  // post-merge conversion) leaves B incomplete, so B is then not copied to TargetDBPath but
  // kept at IncompleteNameOf(TargetDBPath), not attached, with two lines saying so, and
  // CopyTables returns false (Figures().failed_steps, incomplete_database). A full disk
  // (Context::Halt) ends it at once, after the lines of the routine that met it; nothing is
  // placed. Never throws.
  bool CopyTables();

  // Lists the incidents of the new database in `list`: text incidentnumber + ", " +
  // incidentname, tag incidentid right-aligned in six positions; after a CopyTables of this
  // engine each item's origin too (IncidentChoice::SetOrigin), from the keys the copy gave the
  // incidents of Database 1. Any failure, or a stop the user asked for (Context::StopPoint,
  // before each item), ends it without a message, keeping the items listed so far. Never
  // throws.
  void IncSplitInit(IncidentChoice& list);

  // Points every child row named under the Incidents table of the instructions at
  // MergeIntoIncident and deletes the other incidents of the new database. A failing statement
  // is skipped without a message. Beyond that it counts what it folds and checks the result
  // (Figures().consolidation: one incident left, every child row on it, no row lost), writing
  // no line. `list` (may be null) shows "Merging Incidents...". A stop
  // the user asked for is not honoured: the few statements run to their end, since a database
  // folded half-way would be neither the merge nor its consolidation. Never throws.
  void FinishCopyTables(IncidentChoice* list = nullptr);

  // The incident the consolidation keeps.
  int32_t MergeIntoIncident = 0;

  // What CopyTables does beyond its own steps; set before it runs.
  MergeOptions Options;

  // What the check and the merge did, in figures.
  const MergeFigures& Figures() const { return figures_; }

  // Connections A and B while they are open (null otherwise).
  data::Connection* SourceConnection() { return source_.get(); }
  data::Connection* DestinationConnection() { return destination_.get(); }

  // A second connection to working copy B (or A) for reading alone, or null when none opens
  // (the work it was for then runs on the copy's own connection).
  enum class WorkingCopy { kA, kB };
  std::unique_ptr<data::Connection> OpenSecondReader(WorkingCopy copy = WorkingCopy::kB);

  // Closes connections A and B (the wizard does this before it detaches the working copies).
  void CloseConnections();

  // The re-merge guard's counts, taken while the check ran (merge_sequence.h). They are kept
  // only while they hold for the working copies: a check that recoded a field the guard reads
  // drops them, and the guard counts again before the copy.
  void KeepRemergeCounts(const RemergeCounts& counts);
  const std::optional<RemergeCounts>& RemergeCountsKept() const { return remerge_kept_; }

  // Finishes a problem report that the check left open when it stopped (a code type it could
  // not recode, no free code), so that the file holds what was written: msu copies it. The
  // wizard keeps the check's own behaviour and does not call it. Never throws.
  void FinishOpenReport();

 private:
  bool CopyIniFiles();
  void OpenConnections();
  // The lookup consistency check (lookup_check.h); throws data::DataError,
  // reports::ReportError or instructions::CollectionError, with CurrentOperation naming the
  // table under examination, when it cannot go on.
  bool CheckLookUps();

  // Steps of CopyTables (copy_tables.cpp); they throw what they cannot do.
  void RenumberKeys();
  void RenumberTable(instructions::PTable& table, int parent_percent);
  void CopyAutoIncrement(instructions::PTable& table);
  // Adds `amount` to the key of every child of `table` in A where the condition holds: where +
  // column + condition [+ column + second_condition].
  void MoveChildKeys(const instructions::PTable& table, int64_t amount, const std::string& where,
                     const std::string& condition, const std::string& second_condition);
  // Indexes the children's keys of an auto-increment table in A when it has many rows.
  void IndexChildKeys(const instructions::PTable& table);
  // The largest key of an auto-increment table and of its children's keys, in A.
  int64_t MaxKeyOfFamily(const instructions::PTable& table);
  void CopyCoreTables();
  void CopyLookUpTables();
  // The post-merge conversion of B for a Database 1 older than 4.13; it writes its own lines.
  void PostConvertDestination();
  // Keeps B, which a failed step left incomplete, at IncompleteNameOf(TargetDBPath) without
  // attaching it, and says so; returns false (CopyTables' result).
  bool PlaceIncomplete();
  // Counts on B the folding into `into` as FinishCopyTables would do it (see
  // MergeOptions::into_incident); false when `into` is no incident of B. Throws what B throws.
  bool ForeseeConsolidation(int32_t into);
  // Where the incident `id` of the new database came from, for IncSplitInit: "Database 1, key
  // K" or "Database 2, key K"; empty when this engine has not copied the incidents.
  std::string IncidentOrigin(int64_t id) const;
  // Adds `offset` to `field` of `table` in A, except where it is 0 or -1; when the keys move in
  // the copy, notes the change for the copy of `table` instead (and refuses now a parent key
  // that would leave the int range, as the UPDATE would).
  void OffsetKeys(const std::string& table, const std::string& field, int32_t offset,
                  bool parent_key);
  // The key changes the copy of `table` makes (keys moved in the copy).
  const std::vector<data::KeyChange>& ChangesOf(const std::string& table);
  // Whether this CopyTables moves the keys in the copy.
  bool keys_in_copy_ = false;
  std::map<std::string, std::vector<data::KeyChange>> changes_;  // by upper-case table name
  // Collapses repeated qualification rows of A (dedup_quals.cpp).
  void DedupQuals();
  // The figures and warnings taken before anything is copied.
  void MeasureBeforeCopy();
  int64_t CountRows(data::Connection& connection, const std::string& table,
                    const std::string& where = "");
  void AddPhase(const char* phase, double seconds);

  InitializeStage initialize_stage_ = InitializeStage::kInstructions;
  MergeFigures figures_;
  std::optional<RemergeCounts> remerge_kept_;
  // Rows each table must hold after the copy, for the verification, and the qualification rows
  // of A before the de-duplication.
  std::vector<ExpectedRows> expected_rows_;
  int64_t quals_before_dedup_ = -1;
  // Where the child rows must be after the copy, per parent key (verification.h): B's counts
  // from before the copy, A's added as each parent's keys get their new values.
  std::vector<ChildMembership> memberships_;
  // What each table of B held before the copy (data::Connection::RowMark), where B can say.
  RowMarks added_rows_;
  // A's rows of each child of `table` per parent key, measured just before the parent's keys
  // move (index of the membership, rows per key).
  using MeasuredChildren = std::vector<std::pair<size_t, RowsPerKey>>;
  MeasuredChildren MeasureChildren(const instructions::PTable& table);
  // Adds them to their memberships under the keys `new_key` gives their parents.
  void ExpectChildren(const MeasuredChildren& measured,
                      const std::function<int64_t(int64_t)>& new_key);
  // When A is read again unchanged later (its keys move in the copy, and the de-duplication of
  // Quals is behind), MeasureChildren only notes the memberships and ExpectChildren keeps them
  // with their `new_key` here: they are measured while B receives its rows (MeasureLater).
  struct LaterMeasure {
    size_t membership;
    std::function<int64_t(int64_t)> new_key;
  };
  bool measure_later_ = false;
  std::vector<LaterMeasure> later_measures_;
  // Measures the memberships noted for later on `reader` (a second connection to A) on a
  // thread of its own while `meanwhile` runs here, or on A's own connection after it without
  // a reader, and adds them to their memberships.
  void MeasureLater(data::Connection* reader, const std::function<void()>& meanwhile);

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
