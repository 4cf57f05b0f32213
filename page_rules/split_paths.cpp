#include "page_rules/split_paths.h"

#include "core/file_identity.h"
#include "core/text.h"
#include "server_routines/working_files.h"

namespace msu {

std::string SplitPathsMessage(const std::string& source, const std::string& target) {
  if (source.size() < 2) return kMsgSplitSourceNotSpecified;
  if (!server_routines::FileExists(source)) return kMsgSplitSourceMissing;
  if (std::string message = NotAFileMessage("the Database to Split", source); !message.empty()) {
    return message;
  }
  if (target.empty()) return kMsgSplitResultNotSpecified;
  if (target == source || SameFilePath(source, target)) return kMsgSplitSameNames;
  return NotAFileMessage("the Resulting Database", target);
}

PathsCheck ValidateSplitPaths(Context& context, std::string& source, std::string& target,
                              const OverwriteNote& note) {
  source = ExpandHome(source);
  target = ExpandHome(target);
  server_routines::AppendMdfExtension(source);
  server_routines::AppendMdfExtension(target);
  const std::string target_path = Trim(target);

  const std::string message = SplitPathsMessage(Trim(source), target_path);
  if (!message.empty()) return {PathsVerdict::kInvalid, message};
  RunStart run;
  // The boxes are asked as typed: the server compares the file paths it knows with them.
  run.in_use_paths = {source, target, context.AppFile(server_routines::kWorkFileA)};
  run.working_names = {
      {server_routines::kWorkDatabaseA, context.AppFile(server_routines::kWorkFileA)}};
  run.result_path = target_path;
  // The working copy, and a new database no larger than it.
  run.working_bytes = FileBytes(Trim(source));
  run.result_bytes = run.working_bytes;
  run.overwrite_question = kMsgOverwriteSplitResult;
  run.overwrite_note = note;
  return CheckRunCanStart(context, run);
}

}  // namespace msu
