#include "server_routines/pending_attachments.h"

#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/admin_session.h"
#include "server_routines/database_files.h"
#include "server_routines/routine_errors.h"

namespace msu::server_routines {

namespace {

std::string ProgramName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string FailedLine(const data::PendingAttachment& entry, const RoutineError& error) {
  return "Error, the database " + entry.name + " could not be attached again from " +
         entry.data_file + ": " + error.description + " (error " + std::to_string(error.number) +
         "). It is attached again at the next start of the wizard, msu or msu-server.";
}

// A run that is still at work keeps its own entries, even on a server without a run lock.
bool AnotherLiveProcess(long process) {
  if (process <= 0 || process == static_cast<long>(::getpid())) return false;
  return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

// A working database a dead run left attached goes; a database of that name from another
// file is somebody else's.
RepairLine DetachLeftover(data::AdminConnection& connection, const data::PendingAttachment& entry) {
  try {
    for (const std::string& database : connection.ListDatabases()) {
      if (!EqualsNoCase(database, entry.name)) continue;
      const std::string file = PrimaryDataFile(connection, database);
      if (!SameFilePath(file, entry.data_file)) break;
      const data::ResultTable processes = connection.ListProcesses();
      for (long row = 1; row <= processes.Rows(); ++row) {
        if (EqualsNoCase(Trim(processes.GetColumnString(row, 7)), database)) {
          connection.KillProcess(processes.GetColumnLong(row, 1));
        }
      }
      connection.DetachDatabase(database, false);
      ForgetPendingAttachment(connection, entry.name);
      return {false, "Detached the working database " + database + " (" + file + ") that process " +
                         std::to_string(entry.process) + " left attached when it stopped."};
    }
    connection.RemovePendingAttachment(entry.name);
    return {};
  } catch (...) {
    const RoutineError error = CurrentError();
    return {true, "Error, the working database " + entry.name + " could not be detached: " +
                      error.description + " (error " + std::to_string(error.number) +
                      "). It is detached at the next start of the wizard, msu or msu-server."};
  }
}

// The entry's fate on this server, one of the three of AttachPendingAgain.
RepairLine AttachOne(data::AdminConnection& connection, const data::PendingAttachment& entry) {
  if (entry.working) {
    // This run's own working databases are its clean-up's to detach.
    if (entry.process == static_cast<long>(::getpid())) return {};
    return DetachLeftover(connection, entry);
  }
  try {
    if (DatabaseOfFile(connection, entry.data_file)) {
      connection.RemovePendingAttachment(entry.name);
      return {};
    }
    if (std::optional<std::string> file = FileOfDatabase(connection, entry.name)) {
      throw data::AdminError(data::kErrAdminOperation,
                             "its name is used by another database, of the file " + *file + ".");
    }
    connection.AttachDatabase(entry.name, entry.data_file);
    ForgetPendingAttachment(connection, entry.name);
    return {false, "Attached the database " + entry.name + " again under its own name, from " +
                       entry.data_file + " (detached by process " + std::to_string(entry.process) +
                       ", which stopped before attaching it again)."};
  } catch (...) {
    return {true, FailedLine(entry, CurrentError())};
  }
}

}  // namespace

data::PendingAttachment NewPendingAttachment(const std::string& database,
                                             const std::string& data_file, bool working) {
  return {database, data_file, static_cast<long>(::getpid()), ProgramName(), Now(), working};
}

void ForgetPendingAttachment(data::AdminConnection& connection, const std::string& name) {
  try {
    connection.RemovePendingAttachment(name);
  } catch (...) {
    // The database is attached; the next repair finds it so and drops the entry.
  }
}

std::vector<RepairLine> AttachPendingAgain(data::AdminConnection& connection,
                                           const std::vector<data::PendingAttachment>& also) {
  std::vector<data::PendingAttachment> entries = connection.PendingAttachments();
  for (const data::PendingAttachment& extra : also) {
    bool listed = false;
    for (const data::PendingAttachment& entry : entries)
      listed |= EqualsNoCase(entry.name, extra.name);
    if (!listed && !extra.name.empty()) entries.push_back(extra);
  }
  std::vector<RepairLine> lines;
  for (const data::PendingAttachment& entry : entries) {
    if (AnotherLiveProcess(entry.process)) continue;
    RepairLine line = AttachOne(connection, entry);
    if (!line.text.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<RepairLine> AttachPendingAgainLines(Context& context) {
  try {
    AdminSession session(context);
    std::vector<RepairLine> lines = AttachPendingAgain(session.connection());
    session.Disconnect();
    return lines;
  } catch (...) {
    return {};
  }
}

bool RepairPendingAttachments(Context& context, LogPage page,
                              const std::vector<data::PendingAttachment>& also) {
  std::vector<RepairLine> lines;
  bool all_attached = true;
  try {
    AdminSession session(context);
    lines = AttachPendingAgain(session.connection(), also);
    session.Disconnect();
  } catch (...) {
    const RoutineError error = CurrentError();
    lines.clear();
    for (const data::PendingAttachment& entry : also) {
      lines.push_back({true, FailedLine(entry, error)});
    }
    all_attached = false;
  }
  for (const RepairLine& line : lines) {
    context.progress().Add(page, line.text, false);
    all_attached = all_attached && !line.error;
  }
  return all_attached;
}

}  // namespace msu::server_routines
