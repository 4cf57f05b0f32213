#include "cli/server_commands.h"

#include "cli/interrupt_requests.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/password_input.h"
#include "cli/server_repair.h"
#include "core/context.h"
#include "core/server_password.h"
#include "core/version.h"
#include "data/admin.h"
#include "data/data_access.h"
#include "data/embedded/instance.h"

namespace msu::cli {

namespace {

constexpr const char* kProgram = "msu-server";

std::vector<ServerCommand>& Registry() {
  static std::vector<ServerCommand> commands;
  return commands;
}

}  // namespace

std::string ServerProgramHelp(const std::string& default_root) {
  std::ostringstream out;
  out << "Usage: " << kProgram << " [--root DIR] COMMAND [ARGUMENTS...]\n"
      << "       " << kProgram << " --version\n\n"
      << "Administers the instances of the Orvane embedded server on this machine.\n\n"
      << "Options:\n"
      << "  --root DIR   folder of the instances (default: " << default_root << ")\n"
      << "  --no-repair  leave detached what runs of the utility left detached (by default\n"
      << "               every command first attaches those databases again)\n"
      << "  --help       show this text; COMMAND --help shows the help of a command\n"
      << "  --version    print the version and exit\n\n"
      << "Commands:\n";
  for (const ServerCommand& command : ServerCommands()) {
    out << "  " << command.usage << "\n      "
        << command.description.substr(0, command.description.find('\n')) << "\n";
  }
  out << "\nExit status:\n"
      << "  0   the command did its work\n"
      << "  1   the command failed; the message on the error output says why\n"
      << "  2   usage: an unknown command or option, a missing value, a wrong number of\n"
      << "      arguments\n"
      << "  " << kInterrupted
      << "  interrupted (Ctrl-C, SIGTERM): the command stopped and cleaned up\n";
  return out.str();
}

std::string ServerCommandHelp(const ServerCommand& command) {
  std::ostringstream out;
  out << "Usage: " << kProgram << " [--root DIR] " << command.usage << "\n\n"
      << command.description << "\n";
  if (command.needs_warden) {
    out << "\nAsks for the Warden password (read from the terminal without echo, or from the\n"
           "first line of the file given with --password-file FILE).\n";
  }
  return out.str();
}

std::string ServerCommandCall::Option(const std::string& name, const std::string& fallback) const {
  const auto found = options.find(name);
  return found == options.end() ? fallback : found->second;
}

bool RegisterServerCommand(ServerCommand command) {
  Registry().push_back(std::move(command));
  return true;
}

std::vector<ServerCommand> ServerCommands() {
  std::vector<ServerCommand> commands = Registry();
  std::sort(commands.begin(), commands.end(),
            [](const ServerCommand& a, const ServerCommand& b) { return a.name < b.name; });
  return commands;
}

int RunServerProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string root;
  bool repair = true;
  size_t next = 0;
  const ServerCommand* command = nullptr;
  const std::vector<ServerCommand> commands = ServerCommands();
  try {
    // Options before the command.
    for (; next < args.size() && args[next].starts_with("-"); ++next) {
      const std::string& arg = args[next];
      if (arg == "--help" || arg == "-h") {
        out << ServerProgramHelp(embedded::DefaultInstanceRoot());
        return 0;
      } else if (arg == "--version") {
        out << kProgram << " " << kVersion << "\n";
        return 0;
      } else if (arg == "--root" && next + 1 < args.size()) {
        root = args[++next];
      } else if (arg.starts_with("--root=")) {
        root = arg.substr(7);
      } else if (arg == "--no-repair") {
        repair = false;
      } else {
        throw UsageError("unknown option " + arg);
      }
    }
    if (next == args.size()) throw UsageError("no command given");
    const std::string& name = args[next++];
    for (const ServerCommand& candidate : commands) {
      if (candidate.name == name) command = &candidate;
    }
    if (command == nullptr) throw UsageError("unknown command " + name);

    ServerCommandCall call{root, {}, {}, out, err};
    bool options_end = false;
    for (; next < args.size(); ++next) {
      const std::string& arg = args[next];
      if (options_end || !arg.starts_with("--")) {
        call.arguments.push_back(arg);
        continue;
      }
      if (arg == "--") {
        options_end = true;
        continue;
      }
      if (arg == "--help") {
        out << ServerCommandHelp(*command);
        return 0;
      }
      const size_t equals = arg.find('=');
      const std::string option = arg.substr(0, equals);
      const bool known = option == "--root" ||
                         (command->needs_warden && option == "--password-file") ||
                         std::find(command->value_options.begin(), command->value_options.end(),
                                   option) != command->value_options.end();
      if (!known) throw UsageError("unknown option " + option + " for " + command->name);
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (next + 1 < args.size()) {
        value = args[++next];
      } else {
        throw UsageError("the option " + option + " needs a value");
      }
      if (option == "--root") {
        root = value;
      } else {
        call.options[option] = value;
      }
    }
    const int count = static_cast<int>(call.arguments.size());
    if (count < command->min_arguments || count > command->max_arguments) {
      throw UsageError("wrong number of arguments; usage: " + std::string(kProgram) + " " +
                       command->usage);
    }
    call.root = root.empty() ? embedded::DefaultInstanceRoot() : root;
    // Connection strings carry the root to other code, which may run in another folder.
    std::error_code ignored;
    call.root = std::filesystem::absolute(call.root, ignored).string();
    // Databases that runs of the utility left detached come back first; a server that has
    // just been started brings back its own.
    if (repair) RepairInstances(call.root, err);
    // Ctrl-C asks a long command (sample) to stop at its next step and clean up; hold ends on
    // it by design and answers it itself.
    std::optional<InterruptRequests> interrupts;
    if (command->name != "hold") interrupts.emplace();
    int status = 1;
    try {
      status = command->run(call);
    } catch (const std::exception&) {
      if (!interrupts || interrupts->Received() == 0) throw;
    }
    if (interrupts && interrupts->Received() != 0) {
      err << kProgram << ": interrupted; the command stopped and cleaned up\n";
      return kInterrupted;
    }
    if (repair && status == 0 && command->name == "start") RepairInstances(call.root, err);
    return status;
  } catch (const UsageError& error) {
    err << kProgram << ": " << error.what() << "\n"
        << "Try '" << kProgram << (command ? " " + command->name : std::string()) << " --help'.\n";
    return 2;
  } catch (const NumberedError& error) {
    err << kProgram << ": " << error.description() << " (error " << error.number() << ")\n";
  } catch (const std::exception& error) {
    err << kProgram << ": " << error.what() << "\n";
  }
  return 1;
}

std::unique_ptr<embedded::Instance> OpenWithWardenPassword(const ServerCommandCall& call,
                                                           const std::string& name) {
  auto instance = embedded::Instance::Open(call.root, name);
  const std::string password =
      ReadPassword(call.Option("--password-file"), "Warden password: ", false);
  if (!instance->CheckLogin(kLoginName, DeriveServerPassword(password))) {
    throw data::AdminError(data::kErrLoginFailed,
                           "Login failed for user '" + std::string(kLoginName) + "'.");
  }
  return instance;
}

void PrintTable(std::ostream& out, const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths(headers.size());
  for (size_t i = 0; i < headers.size(); ++i) widths[i] = headers[i].size();
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  auto print_row = [&](const std::vector<std::string>& row) {
    std::string line;
    for (size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < row.size() ? row[i] : std::string();
      line += cell;
      if (i + 1 < widths.size()) line += std::string(widths[i] - cell.size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  };
  print_row(headers);
  std::vector<std::string> rule;
  for (size_t width : widths) rule.push_back(std::string(width, '-'));
  print_row(rule);
  for (const auto& row : rows) print_row(row);
}

std::string ReadPassword(const std::string& password_file, const std::string& prompt,
                         bool confirm) {
  std::string password;
  const PasswordRead read = ReadPasswordLine(password_file, prompt, &password);
  if (read == PasswordRead::kNothingTyped) throw std::runtime_error("No password was entered.");
  if (read != PasswordRead::kRead) {
    std::string problem = PasswordProblem(read, password_file);
    problem[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(problem[0])));
    throw std::runtime_error(problem + ".");
  }
  if (confirm && password_file.empty() && !password.empty()) {
    std::string repeated;
    if (ReadHiddenLine("Repeat it: ", &repeated) != PasswordRead::kRead) {
      throw std::runtime_error("No password was entered.");
    }
    if (repeated != password) {
      throw std::runtime_error("The two passwords differ; nothing was changed.");
    }
  }
  if (password.empty()) throw std::runtime_error("Password not specified.");
  return password;
}

}  // namespace msu::cli
