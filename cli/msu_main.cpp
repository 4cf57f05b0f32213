// msu: the utility's work without a window, for scripts and for the administrators' shells.
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/check_command.h"
#include "cli/merge_command.h"
#include "cli/split_command.h"

namespace {

constexpr const char* kHelp =
    "Usage: msu COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  check   checks two databases before a merge (msu check --help)\n"
    "  merge   merges two databases into a new one (msu merge --help)\n"
    "  split   splits incidents out of a database into a new one (msu split --help)\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kHelp;
    return msu::cli::kCheckUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kHelp << "\n"
              << msu::cli::CheckHelp() << "\n"
              << msu::cli::MergeHelp() << "\n"
              << msu::cli::SplitHelp();
    return 0;
  }
  if (args[0] == "merge") {
    return msu::cli::RunMergeCommand({args.begin() + 1, args.end()}, std::cout, std::cerr,
                                     ::isatty(STDOUT_FILENO) != 0);
  }
  if (args[0] == "split") {
    return msu::cli::RunSplitCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  if (args[0] == "check") {
    return msu::cli::RunCheckCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  }
  std::cerr << "msu: unknown command " << args[0] << "\nTry 'msu --help'.\n";
  return msu::cli::kCheckUsage;
}
