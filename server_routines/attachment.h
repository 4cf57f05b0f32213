// Detaching and attaching databases by their data files, and placing a finished working copy
// at its final path. Each routine opens its own administration connection with the login's
// server settings and ends it before returning, on every path.
#pragma once

#include <atomic>
#include <future>
#include <optional>
#include <string>

#include "core/context.h"
#include "data/admin.h"

namespace msu::server_routines {

// What becomes of a database DetachDatabaseFile takes off the server.
enum class AfterDetach {
  kGone,         // a working database, or one whose file is about to be replaced
  kAttachAgain,  // a user's database: it must come back under its own name
};

// How a routine that fails tells the user: its plain box (description, a blank, the number),
// or not at all, for a clean-up while the window closes, which has nobody to tell: what it
// leaves is recorded and removed by the next run.
enum class FailureBox { kShow, kSilent };

// Ends every process using each database whose data file is the file `path` names
// (DatabasesOfFile, server/database_files.h), detaches that database, and returns its name;
// when several match, all are detached and the name of the last one in server order is
// returned. Returns empty text when
// no database uses the file. With kAttachAgain each database is first entered in the server's
// record of pending attachments (server/pending_attachments.h), so that it is attached again
// even when the run dies before it does so; a database whose entry cannot be written is not
// detached. On any failure shows a plain box (description, a blank, the number; none with
// FailureBox::kSilent) and returns empty text; databases detached before the failure stay
// detached.
std::string DetachDatabaseFile(Context& context, const std::string& path,
                               AfterDetach after = AfterDetach::kGone,
                               FailureBox box = FailureBox::kShow);

// The command line that attaches the data file at `path` to ServerName by hand, under the
// name of its file (DatabaseNameOfFile), as the server's product writes it
// (Backend::AttachCommand); empty when the product knows none. Never throws.
std::string AttachCommandFor(Context& context, const std::string& path);

// True when a database of ServerName uses the data file at `path` (DatabaseOfFile); false when
// none does. Nothing when the server cannot be asked. Never throws.
std::optional<bool> IsAttached(Context& context, const std::string& path);

// Attaches the data file at `path` as `name`, unless some database uses that file already
// (DatabaseOfFile), in which case nothing changes. An
// empty `name` becomes the file name of `path` without its last four characters. A log file of
// that name left in the file's folder is deleted first, so the server starts a fresh one; an
// entry of that name in the record of pending attachments is removed once it is attached.
// Returns true when the file is attached (or already was); on any failure shows a plain box
// (description, a blank, the number) and returns false.
bool AttachDatabaseFile(Context& context, const std::string& path, std::string& name);

// Detaches whatever uses `source` and `target`, deletes the log files of both paths when they
// exist, places a copy of `source` at `target` (PlaceDatabaseFile: a file already at `target` is
// replaced by the finished copy, never deleted first) and attaches it as NewDatabaseName.
// Returns true on success. On any failure sets LastError (number, " - ", description), adds
// "Error, merge stopped, " with CurrentOperation and then "Error, copying database: " with
// LastError to the merge page's log, and returns false; a full disk also halts the run
// (Context::Halt). `target` must not be the same file as `source`: that is refused before
// anything changes.
bool CopyDatabaseFile(Context& context, const std::string& source, const std::string& target);

// The hidden file a new database is written to before it takes its name `target`:
// ".NAME.msu-PID.part" in the folder of `target`.
std::string PartFileOf(const std::string& target, long process);

// The name under which a database that a failed step left incomplete is placed, so that it
// cannot be taken for a finished one: "NAME.incomplete.mdf" beside `target` for "NAME.mdf"
// (".incomplete" goes before the file name's extension, or at its end when it has none).
std::string IncompleteNameOf(const std::string& target);

// Places a copy of the data file `source` at `target` so that `target` never holds a partial
// file: part files of `target` left by dead processes are removed, the copy is written to
// PartFileOf(target) (a new file, as any program makes one), synced to the disk and checked
// (as long as the source), then renamed over `target`, and the folder synced. With a non-empty
// `attach_as` it is then attached under that name over `connection`. A disk without room for
// the copy is refused before it starts. Throws FileError (kErrDiskFull with DiskFullMessage
// for a full disk) or what the server throws; the part file is removed on every failure, and
// the description says where it lies when it cannot be.
void PlaceDatabaseFile(data::AdminConnection& connection, Context& context,
                       const std::string& source, const std::string& target,
                       const std::string& attach_as);

// CopyDatabaseFile in two steps, for a `source` that nothing writes any more while its owner
// goes on reading it: the constructor starts the copy to PartFileOf(target), synced and checked
// as PlaceDatabaseFile writes it, on a thread of its own; Place then does what CopyDatabaseFile
// does, with that copy, and returns and reports as it does (a copy that failed fails there, as
// it would have). Without a thread, Place is CopyDatabaseFile. A part file not placed is removed
// when the object goes, whatever way; a copy under way then stops after the piece it writes.
class DatabaseCopyAhead {
 public:
  DatabaseCopyAhead(Context& context, std::string source, std::string target);
  ~DatabaseCopyAhead();
  DatabaseCopyAhead(const DatabaseCopyAhead&) = delete;
  DatabaseCopyAhead& operator=(const DatabaseCopyAhead&) = delete;

  bool Place();

 private:
  struct Abandoned {};

  Context& context_;
  const std::string source_;
  const std::string target_;
  const std::string part_;
  std::atomic<bool> abandoned_{false};
  std::future<void> written_;
};

}  // namespace msu::server_routines
