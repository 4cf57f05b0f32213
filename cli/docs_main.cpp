// msu-docs: writes the manual pages msu.1 and msu-server.1 and the bash completion of both
// programs into a folder, from the help texts the programs print. Run by the build; not
// installed.
//
//   msu-docs OUTPUT_FOLDER
#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/check_command.h"
#include "cli/manual_page.h"
#include "cli/merge_command.h"
#include "cli/msu_help.h"
#include "cli/server_commands.h"
#include "cli/split_command.h"
#include "core/version.h"

namespace {

using msu::cli::RoffEscape;
using msu::cli::RoffFromHelp;

// The pages stand for every machine: where --help names a folder of the running user, they
// name the rule.
constexpr const char* kDefaultRootText =
    "$ORVANE_SERVER_ROOT, else $XDG_DATA_HOME/orvane-server, else ~/.local/share/orvane-server";

constexpr const char* kFolderText =
    "Application folder: the folder of the programs when it holds cvn.ini (a build's stage\n"
    "folder, an unpacked copy); for an installed copy, your own (see FILES).\n";

std::string Header(const std::string& name, const std::string& summary) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ".\\\" Made by msu-docs from the program's help; edit the help texts, not this file.\n"
         ".TH " +
         RoffEscape(upper) + " 1 \"\" \"Orvane Merge/Split Utility " + msu::kVersion +
         "\" \"User Commands\"\n"
         // Left-aligned and unhyphenated: option names and paths are typed as they are shown.
         ".nh\n"
         ".ad l\n"
         ".SH NAME\n" +
         RoffEscape(name) + " \\- " + summary + "\n";
}

// The help without its "Usage:" lines, which the page shows in its SYNOPSIS.
std::string UsageOf(const std::string& help) {
  std::istringstream lines(help);
  std::string usage;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) break;
    usage += line.rfind("Usage: ", 0) == 0 ? line.substr(7)
                                           : line.substr(std::min<size_t>(7, line.size()));
    usage += "\n";
  }
  return usage;
}

constexpr const char* kFilesSection =
    ".SH FILES\n"
    ".TP\n"
    ".I $XDG_DATA_HOME/orvane\\-msu\n"
    "(~/.local/share/orvane\\-msu when XDG_DATA_HOME is not set) The application folder of an\n"
    "installed copy, one for each user, readable by its owner only: the instruction files\n"
    "CVN_4x.txt and CVN_PRE4x.txt, cvn.ini and the help document CVMergeSplitHelp.rtf, which\n"
    "an administrator may edit there; the working files of a run (W_O_R_K_A.tmp,\n"
    "W_O_R_K_B.tmp, their ini files and logs), the temporary problem report tmp_rpt.rtf and\n"
    "the run lock .msu\\-run.lock. It is made on first use and seeded from the kit below; a\n"
    "file you have not changed follows the kit when the package brings a new one, a file you\n"
    "changed is kept.\n"
    ".TP\n"
    ".I /usr/share/orvane\\-msu\n"
    "The suite kit the application folders are seeded from.\n"
    ".TP\n"
    ".I the folder of the programs\n"
    "The application folder of a copy whose programs stand beside cvn.ini, such as a build's\n"
    "stage folder.\n"
    ".TP\n"
    ".I ~/.local/share/orvane\\-server\n"
    "The instances of the embedded server (see msu\\-server(1)).\n";

constexpr const char* kEnvironmentSection =
    ".SH ENVIRONMENT\n"
    ".TP\n"
    ".B XDG_DATA_HOME\n"
    "Where an installed copy keeps your application folder, and the embedded server its\n"
    "instances.\n"
    ".TP\n"
    ".B ORVANE_SERVER_ROOT\n"
    "The folder of the embedded server's instances, when set.\n"
    ".TP\n"
    ".B XDG_STATE_HOME\n"
    "For a SQL Server, the note of the databases a run took off and the server's run lock\n"
    "are kept in $XDG_STATE_HOME/orvane\\-msu (~/.local/state/orvane\\-msu by default).\n";

std::string MsuPage() {
  const std::string check = msu::cli::CheckHelp();
  const std::string merge = msu::cli::MergeHelp();
  const std::string split = msu::cli::SplitHelp();
  std::string page =
      Header("msu", "merge and split databases of the Orvane suite without a window");
  page += ".SH SYNOPSIS\n.nf\n" +
          RoffEscape(UsageOf(check) + UsageOf(merge) + UsageOf(split) + "msu --version\n") +
          ".fi\n";
  page +=
      ".SH DESCRIPTION\n"
      "msu runs the database check, the merge and the split of the wizard orvane\\-msu(1)\n"
      "without a window: it logs in to a server of the suite's databases with the Warden\n"
      "password, prints the logs of the wizard's pages and exits with a status that says how\n"
      "the run ended.\n";
  page += RoffFromHelp(msu::cli::MsuOverviewHelp() + "\n" + kFolderText);
  page += ".SH COMMANDS\n";
  page += ".SS \"msu check\"\n" + RoffFromHelp(check);
  page += ".SS \"msu merge\"\n" + RoffFromHelp(merge);
  page += ".SS \"msu split\"\n" + RoffFromHelp(split);
  page += kFilesSection;
  page += kEnvironmentSection;
  page += ".SH SEE ALSO\n.BR orvane\\-msu (1),\n.BR msu\\-server (1)\n";
  return page;
}

std::string ServerPage() {
  std::string page = Header("msu-server", "administer the embedded server of the Orvane utility");
  std::string synopsis = "msu-server [--root DIR] [--no-repair] COMMAND [ARGUMENTS...]\n";
  for (const msu::cli::ServerCommand& command : msu::cli::ServerCommands()) {
    synopsis += UsageOf(msu::cli::ServerCommandHelp(command));
  }
  synopsis += "msu-server --version\n";
  page += ".SH SYNOPSIS\n.nf\n" + RoffEscape(synopsis) + ".fi\n";
  page += ".SH DESCRIPTION\n" + RoffFromHelp(msu::cli::ServerProgramHelp(kDefaultRootText));
  page += ".SH COMMANDS\n";
  for (const msu::cli::ServerCommand& command : msu::cli::ServerCommands()) {
    page += ".SS \"" + RoffEscape(command.name) + "\"\n" +
            RoffFromHelp(msu::cli::ServerCommandHelp(command));
  }
  page +=
      ".SH FILES\n"
      ".TP\n"
      ".I ~/.local/share/orvane\\-server\n"
      "The default folder of the instances: one folder for each, readable by its owner\n"
      "only, with the catalog of its databases, the hash of its login's password and its\n"
      "sessions.\n";
  page += kEnvironmentSection;
  page += ".SH SEE ALSO\n.BR msu (1),\n.BR orvane\\-msu (1)\n";
  return page;
}

std::string MsuCompletion() {
  std::vector<msu::cli::CompletionCommand> commands;
  for (const auto& [name, help] :
       {std::pair{"check", msu::cli::CheckHelp()}, std::pair{"merge", msu::cli::MergeHelp()},
        std::pair{"split", msu::cli::SplitHelp()}}) {
    commands.push_back({name, msu::cli::OptionsOfHelp(help), false});
  }
  return msu::cli::BashCompletion("msu", msu::cli::OptionsOfHelp(msu::cli::MsuOverviewHelp()),
                                  commands);
}

std::string ServerCompletion() {
  std::vector<msu::cli::CompletionCommand> commands;
  for (const msu::cli::ServerCommand& command : msu::cli::ServerCommands()) {
    // "attach NAME DBNAME FILE", "status [NAME]": the server's name comes first.
    std::istringstream words(command.usage);
    std::string name, first;
    words >> name >> first;
    const bool instance_first = first == "NAME" || first == "[NAME]";
    commands.push_back({command.name, msu::cli::OptionsOfHelp(msu::cli::ServerCommandHelp(command)),
                        instance_first});
  }
  return msu::cli::BashCompletion(
      "msu-server", msu::cli::OptionsOfHelp(msu::cli::ServerProgramHelp("")), commands);
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::cerr << "msu-docs: cannot write " << path << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: msu-docs OUTPUT_FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  const bool written = Write(folder + "/msu.1", MsuPage()) &&
                       Write(folder + "/msu-server.1", ServerPage()) &&
                       Write(folder + "/msu.bash", MsuCompletion()) &&
                       Write(folder + "/msu-server.bash", ServerCompletion());
  return written ? 0 : 1;
}
