#include "split/split_paths.h"

#include "core/text.h"
#include "server/open_connections.h"
#include "server/working_files.h"

namespace msu {

std::string SplitPathsMessage(const std::string& source, const std::string& target) {
  if (source.size() < 2) return kMsgSplitSourceNotSpecified;
  if (!FileExists(source)) return kMsgSplitSourceMissing;
  if (target.empty()) return kMsgSplitResultNotSpecified;
  if (target == source) return kMsgSplitSameNames;
  return {};
}

SplitPathsCheck ValidateSplitPaths(Context& context, std::string& source, std::string& target) {
  AppendMdfExtension(source);
  AppendMdfExtension(target);
  const std::string target_path = Trim(target);

  std::string message = SplitPathsMessage(Trim(source), target_path);
  if (!message.empty()) return {SplitPathsVerdict::kInvalid, message};

  // The boxes are asked as typed: the server compares the file paths it knows with them.
  message = OpenConnectionsMessage(context, {source, target, context.AppFile(kWorkFileA)});
  if (!message.empty()) return {SplitPathsVerdict::kInUse, message};

  if (FileExists(target_path) &&
      context.prompt().MessageBox(kMsgOverwriteSplitResult, "Warning", Buttons::kYesNo,
                                  Icon::kExclamation) == Answer::kNo) {
    return {SplitPathsVerdict::kNotOverwritten, ""};
  }
  return {SplitPathsVerdict::kAccepted, ""};
}

}  // namespace msu
