#include "page_rules/merge_paths.h"

#include "core/file_identity.h"
#include "core/text.h"

namespace msu {

std::string MergePathsMessage(const std::string& database1, const std::string& database2,
                              const std::string& new_database) {
  if (database1.size() < 2) return kMsgSourceNotSpecified;
  if (database2.size() < 2) return kMsgDatabase2NotSpecified;
  if (!server_routines::FileExists(database1)) return kMsgDatabase1Missing;
  if (!server_routines::FileExists(database2)) return kMsgDatabase2Missing;
  if (std::string message = NotAFileMessage("Database 1", database1); !message.empty()) {
    return message;
  }
  if (std::string message = NotAFileMessage("Database 2", database2); !message.empty()) {
    return message;
  }
  if (new_database.empty()) return kMsgResultNotSpecified;
  // Two names of one file (a link, a relative path, "..") are the same database too.
  if (database2 == database1 || SameFilePath(database1, database2)) return kMsgSameDatabases;
  if (database2 == new_database || database1 == new_database ||
      SameFilePath(database2, new_database) || SameFilePath(database1, new_database)) {
    return kMsgSameAsNewDatabase;
  }
  return NotAFileMessage("the Resulting Database", new_database);
}

MergePathsCheck ValidateMergePaths(Context& context, MergePathBoxes& boxes,
                                   const OverwriteNote& note) {
  for (std::string* box : {&boxes.database1, &boxes.database2, &boxes.new_database}) {
    *box = ExpandHome(*box);
  }
  server_routines::AppendMdfExtension(boxes.database1);
  server_routines::AppendMdfExtension(boxes.database2);
  server_routines::AppendMdfExtension(boxes.new_database);
  const std::string new_database = Trim(boxes.new_database);

  std::string message =
      MergePathsMessage(Trim(boxes.database1), Trim(boxes.database2), new_database);
  if (!message.empty()) return {MergePathsVerdict::kInvalid, message};

  RunStart run;
  // The boxes are asked as typed: the server compares the file paths it knows with them.
  run.in_use_paths = {boxes.database1, boxes.database2, boxes.new_database,
                      context.AppFile(server_routines::kWorkFileB),
                      context.AppFile(server_routines::kWorkFileA)};
  run.working_names = {
      {server_routines::kWorkDatabaseA, context.AppFile(server_routines::kWorkFileA)},
      {server_routines::kWorkDatabaseB, context.AppFile(server_routines::kWorkFileB)}};
  run.result_path = new_database;
  // The working copies of both, and a new database about as large as both together.
  run.working_bytes = FileBytes(Trim(boxes.database1)) + FileBytes(Trim(boxes.database2));
  run.result_bytes = run.working_bytes;
  run.overwrite_question = kMsgOverwriteNewDatabase;
  run.overwrite_note = note;
  return CheckRunCanStart(context, run);
}

}  // namespace msu
