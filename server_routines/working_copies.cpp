#include "server_routines/working_copies.h"

#include "server_routines/admin_session.h"
#include "server_routines/attachment.h"
#include "server_routines/pending_attachments.h"
#include "server_routines/routine_errors.h"
#include "server_routines/working_attachments.h"
#include "server_routines/working_files.h"

namespace msu::server_routines {

namespace {

// Replaces the working file with a fresh copy of the user's data file. Returns false after
// the error line when the copy cannot be made.
bool MakeWorkingCopy(Context& context, const std::string& user_file, const char* work_file,
                     const std::string& which) {
  try {
    // A journal left beside the old working file by a killed run would be rolled into the
    // new copy; it goes with the file.
    DeleteWorkingFile(context.AppFile(work_file));
    CopyWholeFile(user_file, context.AppFile(work_file), context.copier(),
                  {.keep_alive = [&context] { context.progress().KeepAlive(); }});
    RememberWorkingCopy(context, context.AppFile(work_file));
  } catch (...) {
    context.progress().AddProgress("Error, Creating working copy of " + which + ": " +
                                   CurrentError().description);
    return false;
  }
  context.progress().AddProgress("Created a working copy of " + which + ": " + user_file);
  return true;
}

}  // namespace

bool MakeWorkingCopies(Context& context, const std::string& source_a_path,
                       const std::string& source_b_path, const std::string& new_database_path) {
  context.merge.NewDatabaseName = DatabaseNameOfFile(new_database_path);
  context.merge.SourceName = DetachDatabaseFile(context, source_a_path, AfterDetach::kAttachAgain);
  context.merge.DestinationName =
      DetachDatabaseFile(context, source_b_path, AfterDetach::kAttachAgain);
  DetachDatabaseFile(context, context.AppFile(kWorkFileA));
  DetachDatabaseFile(context, context.AppFile(kWorkFileB));
  return MakeWorkingCopy(context, source_a_path, kWorkFileA, "Database 1") &&
         MakeWorkingCopy(context, source_b_path, kWorkFileB, "Database 2");
}

bool ReattachDatabases(Context& context, const std::string& source_a_path,
                       const std::string& source_b_path) {
  Progress& progress = context.progress();
  try {
    AdminSession session(context);
    progress.AddProgress("Reattaching Source Database");
    session->AttachDatabase(context.merge.SourceName, source_a_path);
    ForgetPendingAttachment(session.connection(), context.merge.SourceName);

    DeleteFileIfExists(context.AppFile(kWorkLogA));
    progress.AddProgress("Attaching Work Database A");
    AttachWorkingCopy(session.connection(), kWorkDatabaseA, context.AppFile(kWorkFileA));

    progress.AddProgress("Attaching Destination Database");
    session->AttachDatabase(context.merge.DestinationName, source_b_path);
    ForgetPendingAttachment(session.connection(), context.merge.DestinationName);

    DeleteFileIfExists(context.AppFile(kWorkLogB));
    progress.AddProgress("Attaching Work Database B");
    AttachWorkingCopy(session.connection(), kWorkDatabaseB, context.AppFile(kWorkFileB));

    session.Disconnect();
    return true;
  } catch (...) {
    progress.AddProgress("Error Occured: " + CurrentError().description);
    return false;
  }
}

}  // namespace msu::server_routines
