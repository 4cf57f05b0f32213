// msu: the utility's work without a window, for scripts and for the administrators' shells.
#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/check_command.h"
#include "cli/command_support.h"
#include "cli/merge_command.h"
#include "cli/msu_help.h"
#include "cli/split_command.h"
#include "core/application_folder.h"
#include "core/version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << msu::cli::MsuOverviewHelp();
    return msu::cli::kCheckUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << msu::cli::MsuHelp(
        msu::DescribeApplicationFolder(msu::cli::MsuApplicationFolder()));
    return 0;
  }
  if (args[0] == "--version") {
    std::cout << "msu " << msu::kVersion << "\n";
    return 0;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const bool asks_help = std::any_of(rest.begin(), rest.end(), [](const std::string& arg) {
    return arg == "--help" || arg == "-h";
  });
  if (!asks_help && (args[0] == "merge" || args[0] == "split" || args[0] == "check")) {
    // An installed copy's own folder is made, or brought up to date with the kit, before a run.
    try {
      msu::PrepareApplicationFolder(msu::cli::MsuApplicationFolder());
    } catch (const std::exception& error) {
      std::cerr << "msu: the application folder " << msu::cli::MsuApplicationFolder().path
                << " could not be prepared: " << error.what() << "\n";
      return msu::cli::kStatusCheckFailed;
    }
  }
  if (args[0] == "merge") {
    return msu::cli::RunMergeCommand(rest, std::cout, std::cerr, ::isatty(STDOUT_FILENO) != 0);
  }
  if (args[0] == "split") {
    return msu::cli::RunSplitCommand(rest, std::cout, std::cerr);
  }
  if (args[0] == "check") {
    return msu::cli::RunCheckCommand(rest, std::cout, std::cerr);
  }
  std::cerr << "msu: unknown command " << args[0] << "\nTry 'msu --help'.\n";
  return msu::cli::kCheckUsage;
}
