#include "merge/merge.h"

#include <chrono>

#include "core/context.h"
#include "core/text.h"
#include "data/backend.h"
#include "merge/lookup_check.h"
#include "reports/problem_report.h"
#include "server_routines/connection_settings.h"
#include "server_routines/routine_errors.h"
#include "server_routines/working_attachments.h"
#include "server_routines/working_files.h"

namespace msu::merge {

namespace {

// The ini file beside a database file: the path with its extension replaced by "ini". A file
// name without an extension has none (a "." in a folder name does not count).
std::string IniFileOf(const std::string& database_path) {
  const size_t dot = database_path.rfind('.');
  const size_t separator = database_path.find_last_of("/\\");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
    return "";
  }
  return database_path.substr(0, dot + 1) + "ini";
}

}  // namespace

Merge::Merge(Context& context, reports::ReportViewer* viewer)
    : context_(context), viewer_(viewer) {}

Merge::~Merge() { CloseConnections(); }

void Merge::AddPhase(const char* phase, double seconds) {
  for (PhaseSeconds& known : figures_.phases) {
    if (known.phase == phase) {
      known.seconds += seconds;
      return;
    }
  }
  figures_.phases.push_back({phase, seconds});
}

void Merge::CloseConnections() {
  for (std::unique_ptr<data::Connection>* connection : {&source_, &destination_}) {
    try {
      if (*connection != nullptr && (*connection)->IsOpen()) (*connection)->Close();
    } catch (...) {
      // Closing is the last thing done with a connection; a failure leaves nothing to undo.
    }
    connection->reset();
  }
}

void Merge::FinishOpenReport() {
  if (report_ == nullptr || !report_->IsOpen()) return;
  try {
    report_->CloseReport();
  } catch (...) {
    // A report that cannot be finished stays as it is; its copy shows what reached the disk.
  }
}

bool Merge::Initialize() {
  Progress& progress = context_.progress();
  BusyPointer busy(context_.prompt());
  context_.merge.CurrentOperation = " Init databases ";
  initialize_stage_ = InitializeStage::kInstructions;
  if (!instructions::LoadInstructions(context_, instructions_)) return false;
  initialize_stage_ = InitializeStage::kIniFiles;
  if (!CopyIniFiles()) return false;
  initialize_stage_ = InitializeStage::kConnections;

  progress.AddProgress("Checking for correct database structure...");
  progress.AddProgress("Current merge compatibility is merge version: " +
                       instructions_.mergeVersion);
  progress.AddProgress("Source Database version: " + context_.versions.Database1Version);
  progress.AddProgress("Destination Database version: " + context_.versions.Database2Version);

  const auto report_failure = [this, &progress] {
    const server_routines::RoutineError error = server_routines::CurrentError();
    server_routines::KeepLastError(context_, error);
    progress.AddProgress("Error, check stopped, " + context_.merge.CurrentOperation);
    progress.AddProgress("Error, " + context_.merge.LastError);
  };

  try {
    context_.StopPoint();
    context_.merge.CurrentOperation = "Opening Source Database";
    OpenConnections();
  } catch (...) {
    report_failure();
    return false;
  }

  progress.AddProgress("Consistency Check... ");
  initialize_stage_ = InitializeStage::kConsistencyCheck;
  try {
    const auto start = std::chrono::steady_clock::now();
    ProblemsToCorrect = CheckLookUps();
    AddPhase("consistency check",
             std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  } catch (...) {
    report_failure();
    // What the check found before it failed is still worth reading.
    if (report_ != nullptr) {
      try {
        report_->CloseReport();
      } catch (...) {
        // The failure is already reported; a report that cannot be finished stays as it is.
      }
    }
    return false;
  }
  initialize_stage_ = InitializeStage::kCompleted;
  return true;
}

bool Merge::CopyIniFiles() {
  Progress& progress = context_.progress();
  struct Side {
    const std::string& database;
    const char* working_ini;
    const char* name;
  };
  for (const Side& side : {Side{SourceAPath, server_routines::kWorkIniA, "source"},
                           Side{SourceBPath, server_routines::kWorkIniB, "destination"}}) {
    try {
      server_routines::DeleteFileIfExists(context_.AppFile(side.working_ini));
    } catch (...) {
      // A stale copy would pass for the ini file of this merge.
      progress.AddProgress(std::string("Error, Creating working copy of ini for ") + side.name +
                           " database: " + server_routines::CurrentError().description);
      return false;
    }
  }
  for (const Side& side : {Side{SourceAPath, server_routines::kWorkIniA, "source"},
                           Side{SourceBPath, server_routines::kWorkIniB, "destination"}}) {
    const std::string ini = IniFileOf(side.database);
    if (ini.empty() || !server_routines::FileExists(ini)) continue;
    try {
      server_routines::CopyWholeFile(ini, context_.AppFile(side.working_ini));
    } catch (...) {
      progress.AddProgress(std::string("Error, Creating working copy of ini for ") + side.name +
                           " database: " + server_routines::CurrentError().description);
      return false;
    }
    progress.AddProgress(std::string("Created a working copy of ini for ") + side.name +
                         " database: " + side.database);
  }
  return true;
}

void Merge::OpenConnections() {
  CloseConnections();
  // The check recodes A and the merge writes both: they must be the copies this run made, not
  // whatever else a server may have attached under a working name.
  server_routines::ConfirmWorkingDatabase(context_, server_routines::kWorkDatabaseA,
                                          context_.AppFile(server_routines::kWorkFileA));
  server_routines::ConfirmWorkingDatabase(context_, server_routines::kWorkDatabaseB,
                                          context_.AppFile(server_routines::kWorkFileB));
  // Both databases are working copies made for this merge alone.
  const server_routines::OpenSettings working{
      .never_prompt = true, .unsynced = true, .heartbeat = true};
  source_ = server_routines::OpenServerDatabase(context_, server_routines::kWorkDatabaseA, working);
  destination_ =
      server_routines::OpenServerDatabase(context_, server_routines::kWorkDatabaseB, working);
}

void Merge::KeepRemergeCounts(const RemergeCounts& counts) {
  remerge_kept_.reset();
  for (const Recode& recode : figures_.recodes) {
    if (RemergeReads(recode.table, recode.field)) return;
    for (const RecodedReference& referring : recode.referring) {
      if (RemergeReads(referring.table, referring.field)) return;
    }
  }
  remerge_kept_ = counts;
}

std::unique_ptr<data::Connection> Merge::OpenSecondReader(WorkingCopy copy) {
  try {
    return server_routines::OpenServerDatabase(
        context_,
        copy == WorkingCopy::kA ? server_routines::kWorkDatabaseA : server_routines::kWorkDatabaseB,
        server_routines::OpenSettings{.never_prompt = true, .read_only = true});
  } catch (...) {
    return nullptr;
  }
}

bool Merge::CheckLookUps() {
  report_ = std::make_unique<reports::ProblemReport>(
      context_,
      reports::ReportMerge{SourceAPath, SourceBPath, TargetDBPath, instructions_.mergeVersion},
      viewer_);
  LookupCheck check(context_, instructions_.LookUps, *source_, *destination_, *report_);
  figures_.recodes.clear();
  check.SetRecodes(&figures_.recodes);
  return check.Run();
}

}  // namespace msu::merge
