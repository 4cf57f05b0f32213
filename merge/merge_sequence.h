// The sequences behind the wizard's Check Databases and Merge buttons, written once for every
// front end: the wizard and msu call them and read the outcome they return, never the log.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "merge/merge.h"
#include "merge/remerge_guard.h"
#include "page_rules/merge_paths.h"

namespace msu::reports {
class ReportViewer;
}  // namespace msu::reports

namespace msu::merge {

inline constexpr const char* kProblemsLine =
    "Warning, There are differences between databases, press Next to view them";
inline constexpr const char* kNoProblemsLine =
    "Done, no differences found. Press Next to complete the merge";
// The merge page's first line once the working copies are made.
inline constexpr const char* kPressMergeLine = "Press Merge to start the final merging process.";

// The stage a check reached: the one that stopped it, or kCompleted.
enum class CheckStage {
  kBusy,              // another run holds the application folder or the server (the line names
                      // it); nothing was read or changed
  kVersions,          // a version could not be read, or Database 2 is too old
  kInstructionFile,   // no instruction file for the version of Database 1
  kWorkingNameTaken,  // a database this run did not make holds a working name (nothing was
                      // changed; the line names its file)
  kWorkingCopies,     // the working copies or the re-attachment failed
  kInitialize,        // the engine's Initialize failed (see CheckOutcome::initialize)
  kErrorLog,          // the error log raised its flag meanwhile (the flag is cleared)
  kStopped,           // the user asked for a stop (Context::RequestStop) between two steps
  kCompleted,         // the check ran to its end
};

struct CheckOutcome {
  CheckStage stage = CheckStage::kVersions;
  // With kInitialize: the step of Initialize that failed.
  InitializeStage initialize = InitializeStage::kInstructions;
  // With kCompleted: the check found differences or duplicates.
  bool problems = false;
  // A problem report in the application folder is this check's (an earlier one was removed
  // before the check began).
  bool report_is_ours = false;
};

// The Check Databases button for `paths` (already validated and trimmed): reads the versions of
// both databases and chooses the instruction file, refuses a Database 2 that is too old, makes
// a new engine in `engine` (the old one goes first), clears the check and merge logs, makes and
// attaches the working copies, writes kPressMergeLine to the merge log and "Checking databases for
// consistency and other problems ..." to the check log, and runs Initialize. A completed check ends
// with kProblemsLine or kNoProblemsLine on the check log. Every step writes its own lines; never
// throws.
//
// Beyond those steps: the run's locks are taken first (TakeRunLocks, server/run_locks.h; a run
// that holds them already keeps them), so that no other run works beside the working copies
// this one makes; when another run holds them the check ends at once with "Error, the check
// cannot start: " and that run's words (kBusy). Databases the server's record lists as left
// detached are attached again next (server/pending_attachments.h; their lines follow the clearing
// of the logs); a Database 1 or 2 with an unfinished transaction beside it is refused before
// anything reads it (UnfinishedTransactionMessage; stage kVersions); when the working copies or
// their re-attachment fail, the user's databases are attached again under their own names, with a
// line each; a stop the user asked for ends the check with kStoppedByUser after the versions,
// after the re-attachment, or inside Initialize (see Context::StopPoint). Before the working
// copies are made the working names must be free (WorkingNameRefusal): a database this run did
// not make under one of them ends the check with its line (kWorkingNameTaken), before anything
// changed.
//
// With `count_remerge`, for a merge that follows with its guard: the re-merge guard counts while
// Initialize runs, on a thread of its own, reading Database 1 itself (read only; its working
// copy is the check's to recode) and a second connection to working copy B; the engine keeps
// the counts (Merge::KeepRemergeCounts) and the merge's guard uses them. Counts that could not
// be taken are simply not kept.
struct CheckRun {
  bool count_remerge = false;
};
CheckOutcome RunCheckSequence(Context& context, const MergePathBoxes& paths,
                              std::unique_ptr<Merge>& engine,
                              reports::ReportViewer* viewer = nullptr, const CheckRun& run = {});

// What the merge sequence does beyond CopyTables.
struct MergeRun {
  MergeOptions engine;
  // Counts the rows of Database 1 found again in Database 2 before the copy, and refuses when
  // nearly all are (see remerge_guard.h) unless `allow_remerge`.
  bool guard = true;
  bool allow_remerge = false;
  // Folds every incident of the new database into this one after the merge.
  std::optional<int32_t> into_incident;
};

enum class MergeStage {
  kRemergeGuard,   // refused: Database 1 looks merged into Database 2 before
  kPreConversion,  // the pre-merge conversion of a Database 1 older than 4.13 failed (it wrote
                   // its own lines; nothing was copied)
  kCopyTables,     // CopyTables failed (it wrote its own lines)
  kConsolidation,  // the incident to keep is not one of the merged database (nothing placed)
  kStopped,        // the user asked for a stop (Context::RequestStop) before a step
  kCompleted,
};

struct MergeOutcome {
  MergeStage stage = MergeStage::kCopyTables;
  std::optional<RemergeCounts> remerge;  // when the guard counted
  bool verification_passed = false;      // the verification ran and found nothing
  // With kCopyTables: the disk was full (Context::Halt), or a step failed and what the merge
  // made is kept at `incomplete_database` (not attached).
  bool disk_full = false;
  std::string incomplete_database;
  // With `into_incident`: the folding ran and its verification found nothing.
  bool consolidation_verified = false;
};

// The Merge button and what may follow it, on the engine of a completed check: the re-merge
// guard (on the counts the check kept, when it kept them), for a Database 1 older than 4.13 the
// pre-merge conversion of working copy A (convert/pre_convert.h; when it fails nothing is copied),
// CopyTables, then on the merge log the verification's lines and a dry run's warnings (after
// CopyTables' own lines), and with `into_incident` the consolidation (IncSplitInit into `list`,
// then FinishCopyTables). The verification's lines are left out when CopyTables failed after a
// verification that found nothing: nothing was placed that passed it. Never throws.
MergeOutcome RunMergeSequence(Context& context, Merge& engine, const MergeRun& run,
                              IncidentChoice* list = nullptr);

}  // namespace msu::merge
