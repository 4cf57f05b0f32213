#include "page_rules/database_paths.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>

#include "core/file_checks.h"
#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/admin_session.h"
#include "server_routines/database_files.h"
#include "server_routines/open_connections.h"
#include "server_routines/working_attachments.h"
#include "server_routines/working_files.h"

namespace msu {

std::string NotAFileMessage(const std::string& which, const std::string& path) {
  if (!server_routines::FileExists(path)) return {};
  const std::string problem = NotARegularFile(path);
  return problem.empty() ? std::string() : "Error, " + which + " cannot be used: " + problem;
}

namespace {

std::string FolderOrCurrent(const std::string& path) {
  const std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string ResultPlacementMessage(Context& context, const std::string& result_path) {
  const std::string folder = FolderOrCurrent(result_path);
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return "Error, the folder of the Resulting Database does not exist: " + folder;
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "Error, the folder of the Resulting Database cannot be written: " + folder + " (" +
           std::strerror(errno) + ")";
  }
  const std::string name = server_routines::DatabaseNameOfFile(result_path);
  try {
    server_routines::AdminSession session(context);
    if (const std::string problem = session->DatabaseNameProblem(name); !problem.empty()) {
      return "Error, the server cannot take " + name + " as a database name: " + problem;
    }
    // The database of the file to be replaced goes when it is replaced.
    if (std::optional<std::string> file =
            server_routines::FileOfDatabase(session.connection(), name);
        file && !SameFilePath(*file, result_path)) {
      return "Error, the server has a database named " + name + " already, from the file " + *file +
             "; give the Resulting Database another file name";
    }
    session.Disconnect();
  } catch (...) {
    // A server that cannot be asked now refuses the run at its login or its first step.
  }
  return {};
}

uint64_t FileBytes(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return 0;
  return static_cast<uint64_t>(status.st_size);
}

std::string RoomMessage(Context& context, uint64_t working_bytes, const std::string& result_path,
                        uint64_t result_bytes) {
  struct Need {
    std::string folder;
    uint64_t bytes;
  };
  std::vector<Need> needs = {{context.ApplicationFolder(), working_bytes},
                             {FolderOrCurrent(result_path), result_bytes}};
  struct stat first {
  }, second{};
  if (::stat(needs[0].folder.c_str(), &first) == 0 &&
      ::stat(needs[1].folder.c_str(), &second) == 0 && first.st_dev == second.st_dev) {
    needs[0].bytes += needs[1].bytes;
    needs.pop_back();
  }
  constexpr uint64_t kMegabyte = 1024 * 1024;
  for (const Need& need : needs) {
    struct statvfs disk {};
    if (::statvfs(need.folder.c_str(), &disk) != 0) continue;
    const uint64_t room = static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
    if (room >= need.bytes) continue;
    return "Not enough room on the disk of the folder " + need.folder + ": " +
           std::to_string(room / kMegabyte) + " MB are free, about " +
           std::to_string((need.bytes + kMegabyte - 1) / kMegabyte) +
           " MB are needed for the working copies and the new database; nothing was changed.";
  }
  return {};
}

PathsCheck CheckRunCanStart(Context& context, const RunStart& run) {
  const std::string message = server_routines::OpenConnectionsMessage(context, run.in_use_paths);
  if (!message.empty()) return {PathsVerdict::kInUse, message};
  if (!run.working_names.empty()) {
    if (std::string refusal = server_routines::WorkingNamesRefusal(context, run.working_names);
        !refusal.empty()) {
      return {PathsVerdict::kInUse, refusal};
    }
  }
  for (std::string refusal :
       {ResultPlacementMessage(context, run.result_path),
        RoomMessage(context, run.working_bytes, run.result_path, run.result_bytes)}) {
    if (!refusal.empty()) return {PathsVerdict::kInvalid, refusal};
  }
  if (server_routines::FileExists(run.result_path)) {
    if (run.overwrite_note) run.overwrite_note(run.result_path);
    const Answer answer = context.prompt().MessageBoxWithDefault(
        run.overwrite_question, "Warning", Buttons::kYesNo, Icon::kExclamation, Answer::kNo);
    if (run.overwrite_note) run.overwrite_note("");
    if (answer == Answer::kNo) return {PathsVerdict::kNotOverwritten, ""};
  }
  return {PathsVerdict::kAccepted, ""};
}

}  // namespace msu
