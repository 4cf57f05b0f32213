#include "server/database_paths.h"

#include "core/file_checks.h"
#include "server/open_connections.h"
#include "server/working_files.h"

namespace msu {

std::string NotAFileMessage(const std::string& which, const std::string& path) {
  if (!FileExists(path)) return {};
  const std::string problem = NotARegularFile(path);
  return problem.empty() ? std::string() : "Error, " + which + " cannot be used: " + problem;
}

PathsCheck CheckInUseAndOverwrite(Context& context, const std::vector<std::string>& in_use_paths,
                                  const std::string& result_path, const char* overwrite_question) {
  const std::string message = OpenConnectionsMessage(context, in_use_paths);
  if (!message.empty()) return {PathsVerdict::kInUse, message};
  if (FileExists(result_path) &&
      context.prompt().MessageBox(overwrite_question, "Warning", Buttons::kYesNo,
                                  Icon::kExclamation) == Answer::kNo) {
    return {PathsVerdict::kNotOverwritten, ""};
  }
  return {PathsVerdict::kAccepted, ""};
}

}  // namespace msu
