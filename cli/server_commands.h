// The commands of msu-server, the administration program of the embedded server. Each command
// lives in its own file, server_command_<name>.cpp, and registers itself with one line at file
// level:
//
//   const bool kRegistered = msu::cli::RegisterServerCommand(
//       {"sample", "sample NAME FILE [--rows N]", "Fills a database with ...", 2, 2,
//        {"--rows"}, &RunSample});
//
// and the file is added to msu_server_commands in cli/CMakeLists.txt (an object library, so
// every registration is linked into the program). The runner handles --help, the global --root
// option, the number of arguments and the value options; a command only does its work and throws on
// failure. Before each command the runner attaches again the databases that runs of the utility
// left detached (cli/server_repair.h), unless --no-repair is given before the command.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace msu::embedded {
class Instance;
}  // namespace msu::embedded

namespace msu::cli {

// The exit status of a command an interrupt (Ctrl-C, SIGTERM) stopped; it has cleaned up.
inline constexpr int kInterrupted = 11;

// What a command receives.
struct ServerCommandCall {
  std::string root;                            // folder of the instances
  std::vector<std::string> arguments;          // positional arguments, in order
  std::map<std::string, std::string> options;  // value options given, e.g. "--password-file"
  std::ostream& out;
  std::ostream& err;

  // The option's value, or `fallback` when it was not given.
  std::string Option(const std::string& name, const std::string& fallback = "") const;
};

// A command returns the exit status (0 for success) or throws: data::AdminError,
// data::DataError and std::exception are reported on stderr with exit status 1, and
// UsageError with exit status 2 and a pointer to --help.
using ServerCommandRun = int (*)(ServerCommandCall& call);

struct ServerCommand {
  std::string name;
  std::string usage;        // "attach NAME DBNAME FILE [--option VALUE]"
  std::string description;  // shown by COMMAND --help; its first line also by --help
  int min_arguments = 0;
  int max_arguments = 0;
  std::vector<std::string> value_options;  // options that take a value, e.g. "--password-file"
  ServerCommandRun run = nullptr;
  // The command reads or changes databases or sessions: it takes --password-file and opens
  // its instance with OpenWithWardenPassword.
  bool needs_warden = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Adds a command to the program; returns true so that a file-level constant can call it.
bool RegisterServerCommand(ServerCommand command);

// The registered commands, in name order.
std::vector<ServerCommand> ServerCommands();

// The help of the program (--help), naming `default_root` as the default folder of the
// instances, and of one command (COMMAND --help).
std::string ServerProgramHelp(const std::string& default_root);
std::string ServerCommandHelp(const ServerCommand& command);

// The whole program: parses `args` (without the program name), runs the command and returns
// the exit status. --version prints the program's name and version.
int RunServerProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints rows under headers, each column as wide as its widest cell.
void PrintTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows);

// Reads a password: the first line of `password_file` when it is not empty, otherwise from the
// terminal without echo (asked twice when `confirm`). Throws std::runtime_error when there is
// no terminal, the file cannot be read, the password is empty or the two entries differ.
std::string ReadPassword(const std::string& password_file, const std::string& prompt, bool confirm);

// Opens the instance `name` for a command that reads or changes its databases or sessions. The
// folder's modes keep other accounts out; the Warden password keeps out whoever else uses this
// one (a shared session, a script run by mistake). Reads the password as `create` does
// (--password-file, or the terminal without echo) and checks it as a login would. Throws
// data::AdminError kErrLoginFailed "Login failed for user 'VESTRA'." for a wrong password,
// std::runtime_error when none can be read, and what Instance::Open throws.
std::unique_ptr<embedded::Instance> OpenWithWardenPassword(const ServerCommandCall& call,
                                                           const std::string& name);

}  // namespace msu::cli
