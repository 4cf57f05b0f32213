#include "cli/command_line.h"

#include <filesystem>

#include "core/file_identity.h"
#include "core/text.h"
#include "reports/problem_report.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/run_locks.h"
#include "server_routines/working_files.h"

namespace msu::cli {

const ApplicationFolder& MsuApplicationFolder() {
  static const ApplicationFolder folder = RunningProgramsApplicationFolder();
  return folder;
}

bool ParseOptions(const std::vector<std::string>& args, const OptionTable& table, bool* help,
                  std::string* problem, std::map<std::string, bool>* given) {
  *help = false;
  std::map<std::string, bool> own;
  std::map<std::string, bool>& seen = given != nullptr ? *given : own;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      *help = true;
      return true;
    }
    if (seen[name]) {
      *problem = name + " is given twice";
      return false;
    }
    seen[name] = true;
    if (const auto flag = table.flags.find(name); flag != table.flags.end()) {
      if (has_value) {
        *problem = name + " takes no value";
        return false;
      }
      *flag->second = true;
      continue;
    }
    const auto option = table.values.find(name);
    if (option == table.values.end()) {
      *problem = (name.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + name;
      return false;
    }
    if (!has_value) {
      if (i + 1 == args.size()) {
        *problem = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    *option->second = value;
  }
  for (const std::string& required : table.required) {
    if (!seen[required]) {
      *problem = "missing " + required;
      return false;
    }
  }
  return true;
}

std::string AbsolutePath(const std::string& text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return text;
  std::error_code ignored;
  return std::filesystem::absolute(ExpandHome(trimmed), ignored).lexically_normal().string();
}

std::string CompletedPath(const std::string& text) {
  std::string path = AbsolutePath(text);
  server_routines::AppendMdfExtension(path);
  return Trim(path);
}

namespace {

// The files the utility keeps or makes in its application folder (and, in a program folder,
// the programs): a report or JSON file written over one of them would break the program, or be
// deleted by the clean-up.
bool IsApplicationFile(const std::string& folder, const std::string& name) {
  std::error_code error;
  if (folder.empty() || !std::filesystem::equivalent(folder, MsuApplicationFolder().path, error) ||
      error) {
    return false;
  }
  const std::string upper = UpperCase(name);
  for (const char* own : server_routines::kFilesDeletedAtExit) {
    if (upper == UpperCase(own)) return true;
  }
  for (const char* own :
       {reports::kReportFileName, "cvn.ini", "CVMergeSplitHelp.rtf", "msu", "msu-server",
        "orvane-msu", server_routines::kFolderLockFile, kSeedNoteFile}) {
    if (upper == UpperCase(own)) return true;
  }
  // Instruction files, and the working files of any side.
  return (upper.starts_with("CVN") && upper.ends_with(".TXT")) || upper.starts_with("W_O_R_K_");
}

}  // namespace

bool CheckOutputOption(const std::string& option, const std::string& path,
                       const std::vector<const std::string*>& databases, std::string* problem) {
  const std::string target = AbsolutePath(path);
  if (Trim(target).empty()) {
    *problem = option + " needs a file name";
    return false;
  }
  // The file is replaced: it must never be one of the databases.
  for (const std::string* database_path : databases) {
    const std::string database = CompletedPath(*database_path);
    if (target == database || server_routines::SameFile(target, database)) {
      *problem = option + " must not name one of the databases";
      return false;
    }
  }
  const std::string folder = FolderOf(target);
  if (IsApplicationFile(folder, FileNameOf(target))) {
    *problem =
        option + " must not name a file of the application folder (" + FileNameOf(target) + ")";
    return false;
  }
  if (!folder.empty() && !std::filesystem::is_directory(folder)) {
    *problem = "the folder of " + option + " does not exist: " + folder;
    return false;
  }
  return true;
}

std::string ReportPlaces(const ReportFiles& files) {
  std::string places;
  for (const std::string* file : {&files.rtf, &files.pdf}) {
    if (!file->empty()) places += (places.empty() ? "" : " and ") + AbsolutePath(*file);
  }
  return places;
}

bool CheckReportFiles(const ReportFiles& files, const std::map<std::string, bool>& given,
                      const std::vector<const std::string*>& databases, std::string* problem) {
  for (const auto& [option, path] :
       {std::pair{"--report", &files.rtf}, std::pair{"--report-pdf", &files.pdf}}) {
    const auto seen = given.find(option);
    if (seen != given.end() && seen->second &&
        !CheckOutputOption(option, *path, databases, problem)) {
      return false;
    }
  }
  if (!files.rtf.empty() && !files.pdf.empty() &&
      AbsolutePath(files.rtf) == AbsolutePath(files.pdf)) {
    *problem = "--report and --report-pdf must name different files";
    return false;
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& target, std::string* problem) {
  const std::string part = target + ".part";
  try {
    server_routines::CopyWholeFile(from, part);
    std::filesystem::rename(part, target);
    return true;
  } catch (const std::exception& error) {
    *problem = error.what();
  }
  std::error_code ignored;
  std::filesystem::remove(part, ignored);
  return false;
}
}  // namespace msu::cli
