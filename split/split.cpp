#include "split/split.h"

#include <chrono>
#include <limits>

#include "core/context.h"
#include "core/numbered_error.h"
#include "core/text.h"
#include "data/backend.h"
#include "incident_delete/incident_deletion.h"
#include "server_routines/admin_session.h"
#include "server_routines/attachment.h"
#include "server_routines/connection_settings.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/routine_errors.h"
#include "server_routines/working_attachments.h"
#include "server_routines/working_files.h"

namespace msu::split {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The ini file of a database: its path up to its last "." followed by "ini", or the whole path
// followed by "ini" when the file name has no "." (such a file normally does not exist).
std::string IniFileOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  if (name.find('.') == std::string::npos) return path + "ini";
  return path.substr(0, path.rfind('.') + 1) + "ini";
}

}  // namespace

int32_t IncidentKeyOfTag(const std::string& tag) {
  const int64_t key = IncidentIdOfTag(tag) + incident_delete::kIncidentKeyBase;
  if (key > std::numeric_limits<int32_t>::max() || key < std::numeric_limits<int32_t>::min()) {
    throw NumberedError(kErrOverflow, "Overflow");
  }
  return static_cast<int32_t>(key);
}

Split::Split(Context& context, IncidentList& list) : context_(context), list_(list) {}

Split::~Split() { CloseConnections(); }

void Split::CloseConnections() {
  try {
    if (environment_ != nullptr && environment_->IsOpen()) environment_->Close();
  } catch (...) {
    // Closing is the last thing done with the connection; a failure leaves nothing to undo.
  }
  environment_.reset();
}

void Split::AttachSourceAgain() {
  if (!source_detached_) return;
  source_detached_ = false;
  std::string name = source_name_;
  if (server_routines::AttachDatabaseFile(context_, SourcePath, name)) return;
  // What cannot go back now stays on the server's record for the next run; a server that
  // keeps no record is told of this database here.
  if (!source_name_.empty()) {
    server_routines::RepairPendingAttachments(
        context_, LogPage::kSplit,
        {server_routines::NewPendingAttachment(source_name_, SourcePath)});
  }
}

bool Split::Initialize(const std::string& database_box) {
  Progress& progress = context_.progress();
  failure_.clear();
  figures_ = {};
  CloseConnections();
  const auto start = Clock::now();
  try {
    const std::string work_file = context_.AppFile(server_routines::kWorkFileA);
    server_routines::DetachDatabaseFile(context_, work_file);
    // Only a copy this split makes may be written: a working name held by anything else stops
    // it before the database to split is touched.
    if (std::string refusal = server_routines::WorkingNamesRefusal(
            context_, {{server_routines::kWorkDatabaseA, work_file}});
        !refusal.empty()) {
      failure_ = refusal;
      progress.AddProgressSplit("Error, " + refusal);
      return false;
    }
    // Whatever uses the database is ended; its name is kept so that it goes back under it.
    source_name_ = server_routines::DetachDatabaseFile(context_, database_box,
                                                       server_routines::AfterDetach::kAttachAgain);
    source_detached_ = true;
    SourcePath = database_box;
    // A journal a killed run left beside the old working file goes with it.
    server_routines::DeleteWorkingFile(work_file);
    server_routines::DeleteFileIfExists(context_.AppFile(server_routines::kWorkIniA));

    try {
      server_routines::CopyWholeFile(SourcePath, work_file, context_.copier(),
                                     {.keep_alive = [this] { context_.progress().KeepAlive(); }});
      server_routines::RememberWorkingCopy(context_, work_file);
    } catch (...) {
      failure_ = server_routines::CurrentError().description;
      progress.AddProgressSplit("Error, Creating working copy of database: " + failure_);
      AttachSourceAgain();
      return false;
    }
    progress.AddProgressSplit("Created a working copy of database: " + SourcePath);
    AttachSourceAgain();
    {
      server_routines::AdminSession session(context_);
      server_routines::AttachWorkingCopy(session.connection(), server_routines::kWorkDatabaseA,
                                         work_file);
      session.Disconnect();
    }
    server_routines::ConfirmWorkingDatabase(context_, server_routines::kWorkDatabaseA, work_file);

    const std::string ini = IniFileOf(SourcePath);
    if (server_routines::FileExists(ini)) {
      try {
        server_routines::CopyWholeFile(ini, context_.AppFile(server_routines::kWorkIniA),
                                       context_.copier());
      } catch (...) {
        failure_ = server_routines::CurrentError().description;
        progress.AddProgressSplit("Error, Creating working copy of ini for database: " + failure_);
        return false;
      }
      progress.AddProgressSplit("Created a working copy of ini for database: " + SourcePath);
    }
    figures_.phases.push_back({"working copy", Since(start)});

    environment_ = server_routines::OpenServerDatabase(context_, server_routines::kWorkDatabaseA,
                                                       {.never_prompt = true, .heartbeat = true});
    ListIncidents();
    return true;
  } catch (...) {
    failure_ = server_routines::CurrentError().description;
    // The database to split is the user's: it goes back under its name whatever failed.
    AttachSourceAgain();
    CloseConnections();
    return false;
  }
}

int ReadIncidents(data::Connection& connection, IncidentList& list) {
  std::unique_ptr<data::Recordset> rows = connection.Execute("SELECT * FROM Incidents");
  list.Clear();
  int count = 0;
  while (!rows->IsEOF()) {
    list.AddItem(rows->Get("incidentnumber").AsText() + ", " + rows->Get("incidentname").AsText(),
                 IncidentTag(rows->Get("incidentid").AsInteger()));
    ++count;
    rows->MoveNext();
  }
  rows->Close();
  return count;
}

void Split::ListIncidents() {
  const int count = ReadIncidents(*environment_, list_);
  figures_.incidents = count;
  if (count < 2) {
    list_.SetEnabled(false);
    list_.SetSelectedCaption(kFewIncidentsCaption);
  } else {
    list_.SetSelectedCaption(kNoneCheckedCaption);
    list_.SetEnabled(true);
  }
}

bool Split::Execute() {
  Progress& progress = context_.progress();
  failure_.clear();
  figures_.kept.clear();
  figures_.removed.clear();
  figures_.not_removed.clear();
  figures_.removal_errors.clear();
  figures_.set_based = false;
  figures_.table_rows.clear();
  progress.Clear(LogPage::kSplit);
  progress.AddProgressSplit("Spliting process initiated ...");
  try {
    const auto removal_start = Clock::now();
    // The working database may have changed hands since Initialize: its deletions go only to
    // the copy this split made.
    server_routines::ConfirmWorkingDatabase(context_, server_routines::kWorkDatabaseA,
                                            context_.AppFile(server_routines::kWorkFileA));
    {
      // The working copy is this split's alone.
      std::unique_ptr<data::Connection> connection = server_routines::OpenServerDatabase(
          context_, server_routines::kWorkDatabaseA, {.unsynced = true, .heartbeat = true});
      std::vector<std::string> tables;
      if (DryRun) {
        tables = SplitTables(context_, *connection);
        figures_.table_rows = CountTableRows(*connection, tables);
      }
      RemoveIncidents(*connection);
      if (DryRun) {
        for (const TableRowCount& after : CountTableRows(*connection, tables)) {
          for (TableRowCount& count : figures_.table_rows) {
            if (count.table == after.table) count.after = after.before;
          }
        }
      }
      list_.SetEnabled(false);
      progress.AddProgressSplit("Completed the split process.");
      connection->Close();
    }
    CloseConnections();
    figures_.phases.push_back({"removal", Since(removal_start)});
    if (DryRun) {
      progress.AddProgressSplit(kSplitDryRunLine);
      return true;
    }
    context_.StopPoint();

    const auto copy_start = Clock::now();
    server_routines::DetachDatabaseFile(context_, TargetDBPath);
    // A file at TargetDBPath is replaced by the finished copy, never deleted before it: a
    // failed copy then leaves it as it was.
    context_.merge.NewDatabaseName = DropLast(FileNameOf(TargetDBPath), 4);
    if (!figures_.not_removed.empty()) return PlaceIncomplete();
    if (!server_routines::CopyDatabaseFile(context_, context_.AppFile(server_routines::kWorkFileA),
                                           TargetDBPath)) {
      failure_ = context_.merge.LastFailure.description;
      progress.AddProgressSplit("Error, copying and compacting database: " + failure_);
      return false;
    }
    figures_.phases.push_back({"final copy", Since(copy_start)});
    progress.AddProgressSplit(kSplitDoneLine);
    return true;
  } catch (...) {
    const server_routines::RoutineError error = server_routines::CurrentError();
    if (error.number == kErrDiskFull) context_.Halt(error.description);
    failure_ = error.description;
    progress.AddProgressSplit("Error, copying and compacting database: " + failure_);
    CloseConnections();
    return false;
  }
}

bool Split::PlaceIncomplete() {
  Progress& progress = context_.progress();
  // The split went on after a failed removal, as it must, but the copy still holds incidents
  // the user did not keep: it is kept for the administrator under a name no one can take for
  // a finished database, and not attached.
  const std::string incomplete = server_routines::IncompleteNameOf(TargetDBPath);
  progress.AddProgressSplit(
      "The split is incomplete: " + std::to_string(figures_.not_removed.size()) +
      " of the incidents not kept could not be removed.");
  try {
    server_routines::AdminSession session(context_);
    server_routines::DetachDatabaseFile(context_, context_.AppFile(server_routines::kWorkFileA));
    server_routines::DetachDatabaseFile(context_, incomplete);
    server_routines::PlaceDatabaseFile(session.connection(), context_,
                                       context_.AppFile(server_routines::kWorkFileA), incomplete,
                                       "");
    session.Disconnect();
  } catch (...) {
    const server_routines::RoutineError error = server_routines::CurrentError();
    if (error.number == kErrDiskFull) context_.Halt(error.description);
    failure_ = error.description;
    progress.AddProgressSplit("Error, copying and compacting database: " + failure_);
    return false;
  }
  figures_.incomplete_database = incomplete;
  failure_ = "incomplete: " + std::to_string(figures_.not_removed.size()) +
             " incidents could not be removed";
  progress.AddProgressSplit("Nothing was placed at " + TargetDBPath +
                            "; what the split made is at " + incomplete +
                            ", not attached to the server.");
  return false;
}

void Split::RemoveIncidents(data::Connection& connection) {
  Progress& progress = context_.progress();
  incident_delete::IncidentDeletion deletion(context_.ApplicationFolder());

  // The set-based path removes every unticked incident first, in one transaction; the loop
  // below then only writes its lines. A key the loop would stop at keeps it out of the way.
  bool removed_already = false;
  if (Removal == RemovalPath::kSetBased) {
    std::vector<int32_t> keys;
    bool keys_fit = true;
    for (int i = 0; i < list_.Count(); ++i) {
      if (list_.Checked(i)) continue;
      try {
        keys.push_back(IncidentKeyOfTag(list_.Tag(i)));
      } catch (...) {
        keys_fit = false;
      }
    }
    if (keys_fit && keys.size() > 1 && deletion.DeleteIncidents(connection, keys)) {
      removed_already = true;
      figures_.set_based = true;
    } else if (deletion.LastErrorNumber() == kErrDiskFull) {
      // One by one would fail the same way.
      throw NumberedError(kErrDiskFull, deletion.LastError());
    }
  }

  for (int i = 0; i < list_.Count(); ++i) {
    const std::string tag = list_.Tag(i);
    if (list_.Checked(i)) {
      list_.SetStatus(i, "Split", true);
      figures_.kept.push_back(IncidentIdOfTag(tag));
      continue;
    }
    // A stop the user asked for ends the split here like a failure: the database to split is
    // attached, and only the working copy has changed.
    context_.StopPoint();
    const std::string text = list_.Text(i);
    progress.AddProgressSplit("Deleting unchecked incident: " + text);
    const int32_t key = IncidentKeyOfTag(tag);
    if (removed_already || deletion.DeleteIncident(connection, key)) {
      figures_.removed.push_back(IncidentIdOfTag(tag));
    } else {
      progress.AddProgressSplit("Error deleting incident: " + text);
      progress.AddProgressSplit("- because: " + deletion.LastError());
      figures_.not_removed.push_back(IncidentIdOfTag(tag));
      figures_.removal_errors.push_back(deletion.LastError());
      // No later incident can be removed either: the split stops here, and nothing is placed.
      if (deletion.LastErrorNumber() == kErrDiskFull) {
        throw NumberedError(kErrDiskFull, deletion.LastError());
      }
    }
  }
}

}  // namespace msu::split
