// The sequences behind the split pages, written once for every front end: the wizard and msu
// call them and read the outcome they return, never the log.
#pragma once

#include <memory>
#include <string>

#include "split/split.h"
#include "split/split_verification.h"

namespace msu::split {

// For the split database page's label when the version could not be read: the routine's own
// error line goes to the check page's log, which is not on screen.
inline constexpr const char* kVersionUnreadableMessage =
    "Error, the version of the database to split could not be read.";

// "Error, the database to split is not attached to the server NAME: no database there uses the
// file PATH. Attach it first, for example with: " + the server's attach command for it
// (AttachCommandFor; the sentence ends after "first." when there is none).
std::string NotAttachedMessage(Context& context, const std::string& source);

enum class SourceVerdict {
  kAccepted,
  kUnfinished,   // an unfinished transaction beside it (`refusal` says so)
  kNotAttached,  // no database of the server uses the file (`refusal` says how to attach it)
  kUnreadable,  // server_routines::ReadDatabaseVersion failed (its line is on the check page's log)
  kTooOld,      // below 4.1: the message box has told the user
};

// Refuses a database with an unfinished transaction beside it (UnfinishedTransactionMessage
// into `refusal`, may be null) before anything reads it, and a file no database of the server
// uses (NotAttachedMessage into `refusal`); then reads the DATABASE version of the database
// whose data file is `source` and applies the 4.1 rule: an older database is refused
// with an information box titled "Orvane Merge/Split" showing kSplitTooOldMessage. `version`
// (may be null) receives the version read. Never throws.
SourceVerdict AcceptSplitSource(Context& context, const std::string& source,
                                std::string* version = nullptr, std::string* refusal = nullptr);

struct StartOutcome {
  bool started = false;  // Initialize returned true (also with fewer than two incidents)
  std::string failure;   // why it did not
  bool busy = false;     // another run holds the application folder or the server
  int incidents = 0;     // entries listed
};

// Entering the selection page with Next: the split log is cleared, the run's locks are taken
// (TakeRunLocks, server/run_locks.h; when another run holds them `failure` has its words and
// nothing else happens), a new engine over `list` replaces the one in `engine` (whose
// connection closes first), and its Initialize runs on `database_box`. Never throws.
StartOutcome StartSplit(Context& context, const std::string& database_box, IncidentList& list,
                        std::unique_ptr<Split>& engine);

// What the split sequence does beyond Execute.
struct SplitRun {
  RemovalPath removal = RemovalPath::kSetBased;
  bool verify = true;
  // The removal on the working copy only, with the rows of each table counted (Split::DryRun);
  // nothing is placed or verified.
  bool dry_run = false;
};

struct SplitOutcome {
  bool executed = false;  // Execute placed and attached the new database (a dry run: removed)
  SplitVerification verification;
};

// The Split button: the engine's SourcePath and TargetDBPath are set to `source` and `target`,
// Execute runs, and when it placed the new database the verification checks it against the
// database to split (see split_verification.h; its lines are the front end's to show).
// Never throws.
SplitOutcome RunSplitSequence(Context& context, Split& engine, const std::string& source,
                              const std::string& target, const SplitRun& run = {});

}  // namespace msu::split
