#include "merge/merge_paths.h"

#include "core/text.h"

namespace msu {

std::string MergePathsMessage(const std::string& database1, const std::string& database2,
                              const std::string& new_database) {
  if (database1.size() < 2) return kMsgSourceNotSpecified;
  if (database2.size() < 2) return kMsgDatabase2NotSpecified;
  if (!FileExists(database1)) return kMsgDatabase1Missing;
  if (!FileExists(database2)) return kMsgDatabase2Missing;
  if (new_database.empty()) return kMsgResultNotSpecified;
  if (database2 == database1) return kMsgSameDatabases;
  if (database2 == new_database || database1 == new_database) return kMsgSameAsNewDatabase;
  return {};
}

MergePathsCheck ValidateMergePaths(Context& context, MergePathBoxes& boxes) {
  AppendMdfExtension(boxes.database1);
  AppendMdfExtension(boxes.database2);
  AppendMdfExtension(boxes.new_database);
  const std::string new_database = Trim(boxes.new_database);

  std::string message =
      MergePathsMessage(Trim(boxes.database1), Trim(boxes.database2), new_database);
  if (!message.empty()) return {MergePathsVerdict::kInvalid, message};

  // The boxes are asked as typed: the server compares the file paths it knows with them.
  return CheckInUseAndOverwrite(context,
                                {boxes.database1, boxes.database2, boxes.new_database,
                                 context.AppFile(kWorkFileB), context.AppFile(kWorkFileA)},
                                new_database, kMsgOverwriteNewDatabase);
}

}  // namespace msu
