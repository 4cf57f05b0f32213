// The program-wide values of one run, in one place: the server settings of the login, the
// merge settings, the version settings and the error flag, together with the application
// folder and the receivers of progress lines and questions. Every engine and routine takes a
// Context; nothing else is global.
#pragma once

#include <csignal>
#include <functional>
#include <map>
#include <string>

#include "core/file_checks.h"
#include "core/file_copier.h"
#include "core/numbered_error.h"
#include "core/progress.h"
#include "core/prompt.h"
#include "core/run_lock.h"

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
  ErrorValue LastFailure;        // the same failure as a value, with CurrentOperation
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

// What a stop point throws once the user has asked the engine at work to stop: number
// kErrUserInterrupt, description kStoppedByUser.
class StopRequest : public NumberedError {
 public:
  using NumberedError::NumberedError;
};
inline constexpr const char* kStoppedByUser = "Stopped at the user's request.";

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

  // The application folder (core/application_folder.h): working files, instruction files,
  // "cvn.ini", the help document and the problem report live here.
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

  // Stop requests: the hook of every engine the wizard runs. The user may close the window,
  // or press Back or Next, while an engine works; the click arrives inside one of the
  // engine's progress calls, on the engine's own call stack. The wizard then asks for a stop
  // and waits: the engine stops at its next step boundary, unwinds as after a failure of that
  // step, and only then does the wizard clean up, close or move.
  //
  // An engine honours the request at each step boundary, and only where the user's databases
  // are attached under their own names: inside the code that turns a step's failures into its
  // lines it calls StopPoint(), which throws StopRequest (kErrUserInterrupt, kStoppedByUser),
  // so the step ends like a failed one; between steps it tests StopRequested() and returns as
  // after a failure. A front end clears the request before it starts an engine.
  void RequestStop() { stop_requested_ = true; }
  void ClearStopRequest() { stop_requested_ = false; }
  bool StopRequested() const {
    return stop_requested_ || (interrupts_ != nullptr && *interrupts_ != 0);
  }
  void StopPoint() const {
    if (StopRequested()) throw StopRequest(kErrUserInterrupt, kStoppedByUser);
  }
  // The heartbeat an engine gives its data connections (data::Connection::SetHeartbeat): the
  // front end keeps its window alive during a long statement, and a stop request interrupts
  // the statement under way, which then fails like any other step.
  std::function<bool()> Heartbeat() {
    return [this] {
      progress_.KeepAlive();
      return StopRequested();
    };
  }

  // A command-line front end turns its interrupts (Ctrl-C, SIGTERM) into stop requests: its
  // signal handler sets `*flag`, which counts as a request from then on and is never cleared
  // by ClearStopRequest. `flag` must outlive the Context.
  void WatchInterrupts(const volatile std::sig_atomic_t* flag) { interrupts_ = flag; }

  // A failure no later step can get past, a full disk above all. The routine that met it has
  // written its own lines and calls Halt with the reason; the engine at work then ends at its
  // next step without writing more, and nothing is placed or attached. A sequence clears it
  // when it starts.
  void Halt(const std::string& reason) {
    if (halt_reason_.empty()) halt_reason_ = reason.empty() ? "stopped" : reason;
  }
  bool Halted() const { return !halt_reason_.empty(); }
  const std::string& HaltReason() const { return halt_reason_; }
  void ClearHalt() { halt_reason_.clear(); }

  // What this run holds from its login on so that no other run works beside it
  // (server/run_locks.h).
  RunLocks locks;

  // The working files this run made, by path, with the identity each had when it was made:
  // a run writes only to databases whose file it made itself (server/working_attachments.h).
  std::map<std::string, FileIdentity> working_copies;

  // Copies whole files for the routines; tests put in one that runs out of space.
  FileCopier& copier() { return *copier_; }
  void SetCopier(FileCopier& copier) { copier_ = &copier; }

 private:
  std::string application_folder_;
  Progress& progress_;
  Prompt& prompt_;
  data::Backend& backend_;
  bool stop_requested_ = false;
  const volatile std::sig_atomic_t* interrupts_ = nullptr;
  std::string halt_reason_;
  FileCopier* copier_ = &SystemFileCopier();
};

// The folder that holds the running program file.
std::string ProgramFolder();

}  // namespace msu
