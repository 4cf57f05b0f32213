#include "split/split_paths.h"

#include "core/text.h"
#include "server/file_identity.h"
#include "server/working_files.h"

namespace msu {

std::string SplitPathsMessage(const std::string& source, const std::string& target) {
  if (source.size() < 2) return kMsgSplitSourceNotSpecified;
  if (!FileExists(source)) return kMsgSplitSourceMissing;
  if (std::string message = NotAFileMessage("the Database to Split", source); !message.empty()) {
    return message;
  }
  if (target.empty()) return kMsgSplitResultNotSpecified;
  if (target == source || SameFilePath(source, target)) return kMsgSplitSameNames;
  return NotAFileMessage("the Resulting Database", target);
}

PathsCheck ValidateSplitPaths(Context& context, std::string& source, std::string& target) {
  source = ExpandHome(source);
  target = ExpandHome(target);
  AppendMdfExtension(source);
  AppendMdfExtension(target);
  const std::string target_path = Trim(target);

  const std::string message = SplitPathsMessage(Trim(source), target_path);
  if (!message.empty()) return {PathsVerdict::kInvalid, message};
  // The boxes are asked as typed: the server compares the file paths it knows with them.
  return CheckInUseAndOverwrite(context, {source, target, context.AppFile(kWorkFileA)}, target_path,
                                kMsgOverwriteSplitResult);
}

}  // namespace msu
