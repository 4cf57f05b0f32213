#include "split/split_sequence.h"

#include "core/context.h"
#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/attachment.h"
#include "server_routines/database_version.h"
#include "server_routines/run_locks.h"
#include "split/version_rules.h"

namespace msu::split {

std::string NotAttachedMessage(Context& context, const std::string& source) {
  const std::string command = server_routines::AttachCommandFor(context, source);
  return "Error, the database to split is not attached to the server " + context.server.ServerName +
         ": no database there uses the file " + source + ". Attach it first" +
         (command.empty() ? "." : ", for example with: " + command);
}

SourceVerdict AcceptSplitSource(Context& context, const std::string& source, std::string* version,
                                std::string* refusal) {
  if (std::string message = UnfinishedTransactionMessage("The database to split", source);
      !message.empty()) {
    if (refusal != nullptr) *refusal = std::move(message);
    return SourceVerdict::kUnfinished;
  }
  // Its version is read where it is attached; a server that cannot be asked is reported by the
  // version reading.
  if (const std::optional<bool> attached = server_routines::IsAttached(context, source);
      attached && !*attached) {
    if (refusal != nullptr) *refusal = NotAttachedMessage(context, source);
    return SourceVerdict::kNotAttached;
  }
  std::string database_version;
  std::string merge_version;
  if (!server_routines::ReadDatabaseVersion(context, source, &database_version, &merge_version)) {
    return SourceVerdict::kUnreadable;
  }
  if (version != nullptr) *version = database_version;
  if (!IsSplitSupported(database_version)) {
    context.prompt().MessageBox(kSplitTooOldMessage, "Orvane Merge/Split", Buttons::kOk,
                                Icon::kInformation);
    return SourceVerdict::kTooOld;
  }
  return SourceVerdict::kAccepted;
}

StartOutcome StartSplit(Context& context, const std::string& database_box, IncidentList& list,
                        std::unique_ptr<Split>& engine) {
  StartOutcome outcome;
  context.ClearHalt();
  context.progress().Clear(LogPage::kSplit);
  // The working copy is made next: no other run may work beside it.
  if (std::string other_run = server_routines::TakeRunLocks(context); !other_run.empty()) {
    outcome.failure = std::move(other_run);
    outcome.busy = true;
    return outcome;
  }
  try {
    // The old engine's connection to the working copy closes before the copy is made again.
    engine.reset();
    engine = std::make_unique<Split>(context, list);
  } catch (const std::exception& error) {
    outcome.failure = error.what();
    return outcome;
  }
  outcome.started = engine->Initialize(database_box);
  outcome.failure = engine->Failure();
  outcome.incidents = engine->Figures().incidents;
  return outcome;
}

SplitOutcome RunSplitSequence(Context& context, Split& engine, const std::string& source,
                              const std::string& target, const SplitRun& run) {
  SplitOutcome outcome;
  context.ClearHalt();
  engine.SourcePath = source;
  engine.TargetDBPath = target;
  engine.Removal = run.removal;
  engine.DryRun = run.dry_run;
  outcome.executed = engine.Execute();
  // A dry run placed nothing to verify.
  if (outcome.executed && run.verify && !run.dry_run) {
    const SplitFigures& figures = engine.Figures();
    std::vector<int64_t> removed = figures.removed;
    removed.insert(removed.end(), figures.not_removed.begin(), figures.not_removed.end());
    outcome.verification =
        VerifySplit(context, Trim(source), context.merge.NewDatabaseName, figures.kept, removed);
  }
  return outcome;
}

}  // namespace msu::split
