#include "cli/msu_help.h"

#include "cli/check_command.h"
#include "cli/merge_command.h"
#include "cli/split_command.h"

namespace msu::cli {

std::string MsuOverviewHelp() {
  return "Usage: msu COMMAND [OPTIONS]\n"
         "       msu --version\n"
         "\n"
         "Commands:\n"
         "  check   checks two databases before a merge (msu check --help)\n"
         "  merge   merges two databases into a new one (msu merge --help)\n"
         "  split   splits incidents out of a database into a new one (msu split --help)\n"
         "\n"
         "Options:\n"
         "  --help     show this text and the help of every command\n"
         "  --version  print the version and exit\n";
}

std::string MsuHelp(const std::string& folder_description) {
  return MsuOverviewHelp() + "\n" + folder_description + "\n" + CheckHelp() + "\n" + MergeHelp() +
         "\n" + SplitHelp();
}

}  // namespace msu::cli
