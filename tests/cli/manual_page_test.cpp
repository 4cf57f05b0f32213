// The manual pages and the bash completion the build made, held against what the programs print
// for --help: every option and every exit status the help names is in the page, with its text;
// every command of msu-server has its part; the pages are clean roff; and bash completes the
// commands, options, files and server names the help lists.
#include "cli/manual_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "tests/cli/msu_world.h"

namespace msu::cli::testing {
namespace {

const std::string kDocs = DOCS_FOLDER;

// Runs a program to its end and returns what it wrote to stdout.
std::string Output(const std::string& program, const std::vector<std::string>& args) {
  ScratchFolder logs;
  const int status = RunToEnd(program, args, logs / "out", logs / "err", "");
  EXPECT_EQ(status, 0) << program << " " << ReadFile(logs / "err");
  return ReadFile(logs / "out");
}

// Runs a shell command and returns its stdout.
std::string Shell(const std::string& command) {
  ScratchFolder logs;
  const int status = RunToEnd("/bin/bash", {"-c", command}, logs / "out", logs / "err", "");
  EXPECT_EQ(status, 0) << command << "\n" << ReadFile(logs / "err");
  return ReadFile(logs / "out");
}

// Words separated by single spaces: the page's lines are filled by the reader.
std::string Collapsed(const std::string& text) {
  std::istringstream words(text);
  std::string collapsed;
  for (std::string word; words >> word;) collapsed += (collapsed.empty() ? "" : " ") + word;
  return collapsed;
}

std::set<std::string> OptionsNamedIn(const std::string& help) {
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z0-9-]*");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it) {
    options.insert(it->str());
  }
  return options;
}

// The items of the help's "Exit status:" list, each with its whole text: "4 paths refused ...".
std::vector<std::string> ExitStatuses(const std::string& help) {
  std::vector<std::string> statuses;
  const size_t start = help.find("Exit status:\n");
  if (start == std::string::npos) return statuses;
  std::istringstream lines(help.substr(start + 13));
  for (std::string line; std::getline(lines, line) && !line.empty();) {
    if (line.size() > 2 && line[2] != ' ') {
      statuses.push_back(line);
    } else if (!statuses.empty()) {
      statuses.back() += " " + line;
    }
  }
  for (std::string& status : statuses) status = Collapsed(status);
  return statuses;
}

// The help is in the page: its options, and its exit statuses with their text.
void ExpectPageHolds(const std::string& page_text, const std::string& help,
                     const std::string& what) {
  const std::string page = Collapsed(page_text);
  const std::set<std::string> in_page = OptionsNamedIn(page);
  for (const std::string& option : OptionsNamedIn(help)) {
    EXPECT_TRUE(in_page.contains(option)) << what << ": " << option;
  }
  for (const std::string& status : ExitStatuses(help)) {
    EXPECT_NE(page.find(status), std::string::npos) << what << ": " << status;
  }
}

TEST(ManualPageTest, ThePagesSayWhatHelpSays) {
  const std::string msu_page = TextOfRoff(ReadFile(kDocs + "/msu.1"));
  ASSERT_FALSE(msu_page.empty());
  const std::string overview = Output(MSU_PROGRAM, {"--help"});
  ExpectPageHolds(msu_page, overview, "msu --help");
  for (const char* command : {"check", "merge", "split"}) {
    const std::string help = Output(MSU_PROGRAM, {command, "--help"});
    ASSERT_FALSE(ExitStatuses(help).empty()) << command;
    ExpectPageHolds(msu_page, help, std::string("msu ") + command);
    // The description, as a reader sees it: the paragraph after the usage.
    const size_t text = help.find("\n\n") + 2;
    const std::string paragraph = help.substr(text, help.find("\n\n", text) - text);
    EXPECT_NE(Collapsed(msu_page).find(Collapsed(paragraph)), std::string::npos) << paragraph;
  }

  const std::string server_page = TextOfRoff(ReadFile(kDocs + "/msu-server.1"));
  const std::string server_help = Output(MSU_SERVER_PROGRAM, {"--help"});
  ASSERT_FALSE(ExitStatuses(server_help).empty());
  ExpectPageHolds(server_page, server_help, "msu-server --help");
  std::istringstream lines(server_help.substr(server_help.find("Commands:\n")));
  int commands = 0;
  for (std::string line; std::getline(lines, line) && !line.empty();) {
    if (line.size() < 3 || line[2] == ' ' || line == "Commands:") continue;
    const std::string command = line.substr(2, line.find(' ', 2) - 2);
    const std::string help = Output(MSU_SERVER_PROGRAM, {command, "--help"});
    ExpectPageHolds(server_page, help, "msu-server " + command);
    // The command's part begins with its heading, and holds its whole description.
    EXPECT_NE(server_page.find("\n" + command + "\n"), std::string::npos) << command;
    const std::string description = help.substr(help.find("\n\n") + 2);
    EXPECT_NE(Collapsed(server_page).find(Collapsed(description)), std::string::npos)
        << description;
    ++commands;
  }
  EXPECT_GE(commands, 11);

#ifdef WIZARD_PROGRAM
  ExpectPageHolds(TextOfRoff(ReadFile(kDocs + "/orvane-msu.1")), Output(WIZARD_PROGRAM, {"--help"}),
                  "orvane-msu --help");
#endif
}

TEST(ManualPageTest, ThePagesAreCleanRoff) {
  if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "no groff";
  for (const char* page : {"msu.1", "msu-server.1", "orvane-msu.1"}) {
    if (!fs::exists(kDocs + "/" + page)) continue;
    // Every warning groff knows, on the page as man formats it.
    EXPECT_EQ(Shell("groff -man -Tutf8 -ww -z '" + kDocs + "/" + page + "' 2>&1"), "") << page;
    const std::string text = Shell("groff -man -Tascii -P-cbou '" + kDocs + "/" + page + "'");
    EXPECT_NE(text.find("NAME"), std::string::npos) << page;
    // An escape that slipped through shows as its backslash.
    EXPECT_EQ(text.find("\\f"), std::string::npos) << page;
  }
}

TEST(ManualPageTest, HelpTextBecomesParagraphsListsAndUsage) {
  const std::string help =
      "Usage: tool run --in FILE [--fast]\n"
      "                [--root DIR]\n"
      "\n"
      "Runs the tool.\n"
      "It reads FILE.\n"
      "\n"
      "  --in FILE   the input; with\n"
      "              a second line\n"
      "  --fast      quicker\n"
      ".dots and \\backslashes stay text\n"
      "\n"
      "Exit status:\n"
      "  0   done\n"
      "  12  stopped (see\n"
      "      the log)\n";
  EXPECT_EQ(RoffFromHelp(help),
            ".PP\n.nf\ntool run \\-\\-in FILE [\\-\\-fast]\n         [\\-\\-root DIR]\n.fi\n"
            ".PP\nRuns the tool.\nIt reads FILE.\n"
            ".TP\n\\fB\\-\\-in FILE\\fR\nthe input; with\na second line\n"
            ".TP\n\\fB\\-\\-fast\\fR\nquicker\n"
            ".PP\n\\&.dots and \\ebackslashes stay text\n"
            ".PP\n.B Exit status:\n"
            ".TP\n\\fB0\\fR\ndone\n.TP\n\\fB12\\fR\nstopped (see\nthe log)\n");
  EXPECT_EQ(Collapsed(TextOfRoff(RoffFromHelp(help))),
            Collapsed("tool run --in FILE [--fast] [--root DIR] Runs the tool. It reads FILE. "
                      "--in FILE the input; with a second line --fast quicker .dots and "
                      "\\backslashes stay text Exit status: 0 done 12 stopped (see the log)"));
  EXPECT_EQ(OptionsOfHelp(help),
            (std::vector<UsageOption>{{"--in", "FILE"}, {"--fast", ""}, {"--root", "DIR"}}));
  // Hyphens inside words are hyphens; only the minus signs of options are escaped.
  EXPECT_EQ(RoffEscape("re-attach --into-incident -h (-x) a-b --a=b-c"),
            "re-attach \\-\\-into\\-incident \\-h (\\-x) a-b \\-\\-a=b-c");
}

// Completion, as bash asks for it: the words typed so far, the place of the cursor.
class CompletionTest : public ::testing::Test {
 protected:
  std::string Complete(const std::string& program, const std::string& typed,
                       const std::string& environment = "") {
    const std::string script = kDocs + "/" + program + ".bash";
    const std::string function = program == "msu" ? "_msu" : "_msu_server";
    return Shell(environment + "source '" + script + "'; cd '" + cwd.path() + "'; COMP_WORDS=(" +
                 typed + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); " + function +
                 "; for word in \"${COMPREPLY[@]}\"; do echo \"$word\"; done | LC_ALL=C sort");
  }
  ScratchFolder cwd, root;
};

TEST_F(CompletionTest, CommandsOptionsFilesAndServers) {
  EXPECT_EQ(Complete("msu", "msu ''"), "--help\n--version\ncheck\nmerge\nsplit\n");
  EXPECT_EQ(Complete("msu", "msu merge --d"), "--db1\n--db2\n--details\n--dry-run\n");
  EXPECT_EQ(Complete("msu", "msu split --k"), "--keep\n");
  // An option's value: no option names in its place.
  EXPECT_EQ(Complete("msu", "msu split --keep ''"), "");
  WriteFile(cwd / "report.rtf", "");
  fs::create_directory(cwd / "reports");
  EXPECT_EQ(Complete("msu", "msu check --report rep"), "report.rtf\nreports\n");

  // Server names are the instances of the root in use.
  fs::create_directory(root / "ORVANE");
  fs::create_directory(root / "OTHER");
  fs::create_directory(root / "SUITE");
  EXPECT_EQ(
      Complete("msu", "msu check --server O", "export ORVANE_SERVER_ROOT='" + root.path() + "'; "),
      "ORVANE\nOTHER\n");
  EXPECT_EQ(Complete("msu-server", "msu-server --root '" + root.path() + "' start ''"),
            "ORVANE\nOTHER\nSUITE\n");
  EXPECT_EQ(Complete("msu-server", "msu-server --root '" + root.path() + "' st"),
            "start\nstatus\nstop\n");
  EXPECT_EQ(Complete("msu-server", "msu-server sample --t"), "--tsql\n");
  EXPECT_EQ(Complete("msu-server", "msu-server --no-repair attach ORVANE --p"),
            "--password-file\n");
  EXPECT_EQ(Complete("msu-server", "msu-server --r"), "--root\n");
}

}  // namespace
}  // namespace msu::cli::testing
