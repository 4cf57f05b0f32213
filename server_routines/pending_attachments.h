// The user's databases come back under their own names, whatever stops the run that took them
// off the server to copy their files: a failure, an interrupt, a kill, a power cut. The server
// keeps a record of each such database (data::PendingAttachment) from just before its detach
// (DetachDatabaseFile with AfterDetach::kAttachAgain) until it is attached again. Whatever the
// record still lists when a run starts was left detached by a run that died, and is attached
// again then; one run at a time per server (server/run_locks.h) makes sure that the entries of
// a live run are never taken for a dead one's.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"
#include "data/admin.h"

namespace msu::server_routines {

// The entry for `database`, whose data file the server knows as `data_file`, made by this
// process now; `working` for a working database this process attaches (detached again, not
// attached, once this process is gone).
data::PendingAttachment NewPendingAttachment(const std::string& database,
                                             const std::string& data_file, bool working = false);

// Removes the entry of `name` once its database is attached again. A failure is ignored: an
// entry whose database is attached is removed by the next repair, without a line.
void ForgetPendingAttachment(data::AdminConnection& connection, const std::string& name);

// One line of a repair; `error` lines start with "Error, ".
struct RepairLine {
  bool error = false;
  std::string text;
  bool operator==(const RepairLine&) const = default;
};

// Attaches again, over `connection`, each database its record lists, then each of `also` that
// it does not list (the entries of the running check, for a server that keeps no record). The
// entries of another process that is still alive are that run's own and are left alone.
// A working database's entry (PendingAttachment::working) of a process that is gone:
//   - when a database of that name uses the entry's file, its processes are ended and it is
//     detached, the entry is removed, and the line says "Detached the working database NAME
//     (FILE) that process PID left attached when it stopped.";
//   - otherwise (nothing of that name, or a database of that name from another file, which is
//     not the dead run's) the entry is removed without a line;
//   - a detach that fails leaves the entry, with the line "Error, the working database NAME
//     could not be detached: " + the reason + " It is detached at the next start of the
//     wizard, msu or msu-server.".
// The entries of users' databases:
//   - an entry whose file a database of the server uses already, under any name, is removed
//     without a line;
//   - otherwise its file is attached under its name, the entry is removed, and the line says
//     "Attached the database NAME again under its own name, from FILE (detached by process
//     PID, which stopped before attaching it again).";
//   - an entry that cannot be attached stays in the record, with the line "Error, the database
//     NAME could not be attached again from FILE: " + the reason + " It is attached again at
//     the next start of the wizard, msu or msu-server.".
// Returns the lines in that order. Throws what `connection` throws when the record cannot be
// read.
std::vector<RepairLine> AttachPendingAgain(data::AdminConnection& connection,
                                           const std::vector<data::PendingAttachment>& also = {});

// AttachPendingAgain of the record alone over an administration connection with the login's
// server settings, its lines returned rather than written (for a caller that shows them
// later). No lines when the server cannot be asked. Never throws.
std::vector<RepairLine> AttachPendingAgainLines(Context& context);

// AttachPendingAgain over an administration connection with the login's server settings, each
// line added to `page`'s log. When the server cannot be asked at all (it was stopped, say),
// each entry of `also` gets its error line with the reason; the record's entries wait for the
// next run. Returns true when nothing is left detached. Never throws.
bool RepairPendingAttachments(Context& context, LogPage page,
                              const std::vector<data::PendingAttachment>& also = {});

}  // namespace msu::server_routines
