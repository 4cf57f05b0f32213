// The program-wide values of one run, in one place: the server settings of the login, the
// merge settings, the version settings and the error flag, together with the application
// folder and the receivers of progress lines and questions. Every engine and routine takes a
// Context; nothing else is global.
#pragma once

#include <string>

#include "core/progress.h"
#include "core/prompt.h"

namespace msu {

namespace data {
class Backend;
}  // namespace data

// Set by the login check; used by every administration routine. The login name is always
// "VESTRA". The typed password is never kept, only the derived server password.
struct ServerSettings {
  std::string ServerName;
  std::string ServerPassword;
};

// Names and texts shared by the merge routines.
struct MergeSettings {
  std::string SourceName;        // name Database 1 had before the merge started
  std::string DestinationName;   // name Database 2 had before the merge started
  std::string NewDatabaseName;   // file name of the new database without its last 4 characters
  std::string CurrentOperation;  // step under way, quoted by error lines
  std::string LastError;         // number, " - ", description
};

// The versions read from the two databases of a merge and the instruction file chosen.
struct VersionSettings {
  std::string Database1Version;
  std::string Database1MergeVersion;
  std::string Database2Version;
  std::string Database2MergeVersion;
  std::string InstructionFileName;
};

inline constexpr const char* kLoginName = "VESTRA";

class Context {
 public:
  Context(std::string application_folder, Progress& progress, Prompt& prompt,
          data::Backend& backend)
      : application_folder_(std::move(application_folder)),
        progress_(progress),
        prompt_(prompt),
        backend_(backend) {}

  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // The folder of the program file: working files, instruction files, "cvn.ini", the help
  // document and the problem report live here.
  const std::string& ApplicationFolder() const { return application_folder_; }
  // A file of the application folder.
  std::string AppFile(const std::string& name) const;

  Progress& progress() { return progress_; }
  Prompt& prompt() { return prompt_; }
  data::Backend& backend() { return backend_; }

  ServerSettings server;
  MergeSettings merge;
  VersionSettings versions;
  // Raised by the error log; stops the instruction loader; cleared by the wizard.
  bool ErrorFlag = false;

 private:
  std::string application_folder_;
  Progress& progress_;
  Prompt& prompt_;
  data::Backend& backend_;
};

// The folder that holds the running program file.
std::string ProgramFolder();

}  // namespace msu
