// msu-server as its users meet it: usage mistakes, refusals and their messages, and the exit
// status scripts rely on.
#include "cli/server_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "core/run_lock.h"
#include "tests/data/embedded/instance_test_support.h"
#include "tests/support/test_files.h"

namespace msu::cli {
namespace {

using namespace embedded::testing;

struct Outcome {
  int status;
  std::string out;
  std::string err;
  bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* os) {
  *os << "status " << outcome.status << ", out \"" << outcome.out << "\", err \"" << outcome.err
      << "\"";
}

class ServerCommandsTest : public ::testing::Test {
 protected:
  ServerCommandsTest() { WriteFile(folder / "warden.txt", "secret\n"); }

  // Runs msu-server with --root set to the scratch root.
  Outcome Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--root", root.path()});
    std::ostringstream out, err;
    const int status = RunServerProgram(args, out, err);
    return {status, out.str(), err.str()};
  }

  Outcome Create(const std::string& name) {
    return Run({"create", name, "--password-file", folder / "warden.txt"});
  }

  // Runs a command that needs the Warden password, giving it.
  Outcome Warden(std::vector<std::string> args) {
    args.insert(args.end(), {"--password-file", folder / "warden.txt"});
    return Run(std::move(args));
  }

  ScratchFolder root, folder;
};

TEST_F(ServerCommandsTest, EveryCommandExplainsItself) {
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"create", "start", "stop", "status", "attach", "detach", "databases",
                              "sessions", "kill", "sql", "hold"}) {
    EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos) << command;
    const Outcome own = Run({command, "--help"});
    EXPECT_EQ(own.status, 0) << command;
    EXPECT_EQ(own.out.rfind(std::string("Usage: msu-server [--root DIR] ") + command, 0), 0u)
        << own.out;
  }
}

TEST_F(ServerCommandsTest, UsageMistakesExitWith2AndChangeNothing) {
  EXPECT_EQ(Run({}), (Outcome{2, "", "msu-server: no command given\nTry 'msu-server --help'.\n"}));
  EXPECT_EQ(Run({"frobnicate"}).status, 2);
  EXPECT_EQ(Run({"--verbose", "status"}).status, 2);

  EXPECT_EQ(Run({"attach", "ORVANE", "Alpha"}),
            (Outcome{2, "",
                     "msu-server: wrong number of arguments; usage: msu-server attach NAME DBNAME "
                     "FILE [--password-file FILE]\nTry 'msu-server attach --help'.\n"}));
  // A password is never taken from the command line.
  const Outcome inline_password = Run({"create", "ORVANE", "--password", "secret"});
  EXPECT_EQ(inline_password.status, 2);
  EXPECT_EQ(inline_password.err.rfind("msu-server: unknown option --password for create", 0), 0u);
  EXPECT_EQ(Run({"create", "ORVANE", "--password-file"}).status, 2);
  EXPECT_TRUE(embedded::Instance::List(root.path()).empty());

  ASSERT_EQ(Create("ORVANE").status, 0);
  const Outcome bad_spid = Run({"kill", "ORVANE", "51x"});
  EXPECT_EQ(bad_spid.status, 2);
  EXPECT_NE(bad_spid.err.find("the process number must be a positive whole number, not '51x'"),
            std::string::npos);
}

TEST_F(ServerCommandsTest, CreateReadsThePasswordFromAFileOnly) {
  EXPECT_EQ(
      Create("ORVANE"),
      (Outcome{0, "Created the server ORVANE in " + (root / "ORVANE") + "; it is running.\n", ""}));
  auto instance = embedded::Instance::Open(root.path(), "ORVANE");
  EXPECT_TRUE(instance->CheckLogin("VESTRA", "83ecret"));

  EXPECT_EQ(
      Create("orvane"),
      (Outcome{1, "", "msu-server: The server ORVANE already exists. (error -2147199229)\n"}));
  EXPECT_EQ(
      Run({"create", "OTHER", "--password-file", folder / "none.txt"}),
      (Outcome{1, "",
               "msu-server: Cannot read the password file " + (folder / "none.txt") + ".\n"}));
  WriteFile(folder / "empty.txt", "\n");
  EXPECT_EQ(Run({"create", "OTHER", "--password-file", folder / "empty.txt"}),
            (Outcome{1, "", "msu-server: Password not specified.\n"}));
  EXPECT_EQ(embedded::Instance::List(root.path()), std::vector<std::string>{"ORVANE"});
}

TEST_F(ServerCommandsTest, ServersStartStopAndReportTheirState) {
  ASSERT_EQ(Create("ORVANE").status, 0);
  EXPECT_NE(Run({"status"}).out.find("\nORVANE  running  0          0         "),
            std::string::npos);
  EXPECT_EQ(Warden({"stop", "orvane"}).out,
            "The server ORVANE has been stopped; its sessions were ended.\n");
  EXPECT_EQ(Warden({"stop", "ORVANE"}).out, "The server ORVANE was already stopped.\n");
  EXPECT_NE(Run({"status", "ORVANE"}).out.find("\nORVANE  stopped"), std::string::npos);
  EXPECT_EQ(Warden({"start", "ORVANE"}).out, "The server ORVANE has been started.\n");
  EXPECT_EQ(Warden({"start", "ORVANE"}).out, "The server ORVANE was already running.\n");

  EXPECT_EQ(
      Run({"status", "NOWHERE"}),
      (Outcome{1, "", "msu-server: The server NOWHERE does not exist. (error -2147220991)\n"}));
  EXPECT_EQ(Run({"start", "NOWHERE"}).status, 1);
}

TEST_F(ServerCommandsTest, DatabasesAreAttachedListedAndDetached) {
  ASSERT_EQ(Create("ORVANE").status, 0);
  MakeDatabaseFile(folder / "Alpha.mdf");
  WriteFile(folder / "notes.txt", "not a database");

  EXPECT_EQ(Warden({"attach", "ORVANE", "Notes", folder / "notes.txt"}),
            (Outcome{1, "",
                     "msu-server: The file " + (folder / "notes.txt") +
                         " is not a database. (error -2147199229)\n"}));
  EXPECT_EQ(ReadFile(folder / "notes.txt"), "not a database");

  const Outcome attached = Warden({"attach", "ORVANE", "Alpha", folder / "Alpha.mdf"});
  EXPECT_EQ(attached.status, 0) << attached.err;
  const Outcome listed = Run({"databases", "ORVANE"});
  EXPECT_EQ(listed.out, "database  data file\n--------  " +
                            std::string(folder.path().size() + 10, '-') + "\nAlpha     " +
                            (folder / "Alpha.mdf") + "\n");

  auto session = embedded::Instance::Open(root.path(), "ORVANE")->OpenSession("Alpha");
  const Outcome sessions = Run({"sessions", "ORVANE"});
  EXPECT_NE(sessions.out.find("\n51    Alpha     VESTRA"), std::string::npos) << sessions.out;
  EXPECT_EQ(Warden({"detach", "ORVANE", "Alpha"}),
            (Outcome{1, "",
                     "msu-server: Cannot detach the database Alpha because it is currently in "
                     "use. (error -2147199229)\n"}));
  EXPECT_EQ(Warden({"kill", "ORVANE", "51"}).out, "Process 51 on the server ORVANE was killed.\n");
  EXPECT_TRUE(session->Killed());
  EXPECT_EQ(Warden({"kill", "ORVANE", "51"}).status, 1);
  EXPECT_EQ(Warden({"detach", "ORVANE", "ALPHA"}).out,
            "The database Alpha was detached from the server ORVANE.\n");
  EXPECT_EQ(Warden({"detach", "ORVANE", "ALPHA"}).status, 1);
}

// A run killed between the detach of a database and its re-attach left it on the instance's
// record: status shows what it waits for, and the commands attach it again as soon as the
// server runs and no run holds it.
TEST_F(ServerCommandsTest, WhatARunLeftDetachedIsShownAndAttachedAgain) {
  ASSERT_EQ(Create("ORVANE").status, 0);
  MakeDatabaseFile(folder / "Fire1.mdf");
  const long ended = msu::testing::EndedProcess();
  const std::string process = std::to_string(ended);
  auto instance = embedded::Instance::Open(root.path(), "ORVANE");
  instance->Attach("Fire1", folder / "Fire1.mdf");
  instance->RecordPendingAttachment(
      {"Fire1", folder / "Fire1.mdf", ended, "msu", "2024-05-01 10:00:00"});
  instance->Detach("Fire1");
  instance->Stop();
  const std::string pending_row = "ORVANE  Fire1     " + (folder / "Fire1.mdf") +
                                  "  msu (process " + process + ")  2024-05-01 10:00:00  ";
  EXPECT_NE(Run({"status"}).out.find(pending_row + "the server's start\n"), std::string::npos)
      << Run({"status"}).out;

  const Outcome started = Warden({"start", "ORVANE"});
  EXPECT_EQ(started.status, 0);
  EXPECT_EQ(started.err, "msu-server: Attached the database Fire1 again under its own name, from " +
                             (folder / "Fire1.mdf") + " (detached by process " + process +
                             ", which stopped before attaching it again).\n");
  EXPECT_EQ(instance->Databases().size(), 1u);
  EXPECT_TRUE(instance->PendingAttachments().empty());

  // The entries of a run that holds the server are that run's own.
  instance->RecordPendingAttachment(
      {"Fire1", folder / "Fire1.mdf", ended, "msu", "2024-05-01 10:00:00"});
  instance->Detach("Fire1");
  long holder = 0;
  std::unique_ptr<RunLock> run = RunLock::TryTake(instance->RunLockFile(), &holder);
  ASSERT_NE(run, nullptr);
  const Outcome held = Run({"status", "ORVANE"});
  EXPECT_EQ(held.err, "");
  EXPECT_NE(held.out.find(pending_row + "the running process " + std::to_string(::getpid())),
            std::string::npos)
      << held.out;
  run.reset();
  EXPECT_EQ(Run({"databases", "ORVANE"}).err.rfind("msu-server: Attached the database Fire1", 0),
            0u);
  EXPECT_EQ(Run({"status", "ORVANE"}).out.find("to be attached again"), std::string::npos);
}

int Mode(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

// Whatever reads or changes a database or a session asks for the Warden password; only the
// listings do not (the folder's modes keep them to the owner).
TEST_F(ServerCommandsTest, AdministrationNeedsTheWardenPassword) {
  ASSERT_EQ(Create("ORVANE").status, 0);
  MakeDatabaseFile(folder / "Alpha.mdf");
  ASSERT_EQ(Warden({"attach", "ORVANE", "Alpha", folder / "Alpha.mdf"}).status, 0);
  // The first letter is compared in upper case: "Secret" would pass, "secreT" does not.
  WriteFile(folder / "wrong.txt", "secreT\n");
  const std::vector<std::vector<std::string>> commands = {
      {"sql", "ORVANE", "Alpha", "DELETE FROM Incidents"},
      {"attach", "ORVANE", "Beta", folder / "Alpha.mdf"},
      {"detach", "ORVANE", "Alpha"},
      {"kill", "ORVANE", "51"},
      {"hold", "ORVANE", "Alpha"},
      {"stop", "ORVANE"},
      {"start", "ORVANE"}};
  for (std::vector<std::string> command : commands) {
    // The tests run without a terminal, so no password can be typed.
    EXPECT_EQ(Run(command),
              (Outcome{1, "",
                       "msu-server: There is no terminal to read the Warden password from; give "
                       "--password-file FILE.\n"}))
        << command[0];
    command.insert(command.end(), {"--password-file", folder / "wrong.txt"});
    EXPECT_EQ(Run(command),
              (Outcome{1, "", "msu-server: Login failed for user 'VESTRA'. (error -2147203048)\n"}))
        << command[0];
    // A good login clears the failure, so that the next try is not slowed down.
    ASSERT_TRUE(embedded::Instance::Open(root.path(), "ORVANE")->CheckLogin("VESTRA", "83ecret"));
  }
  EXPECT_EQ(Run({"databases", "ORVANE"}).status, 0);
  EXPECT_EQ(Run({"sessions", "ORVANE"}).status, 0);
  EXPECT_NE(Run({"status", "ORVANE"}).out.find("ORVANE  running  1"), std::string::npos);
  // Samples are new files under free names and need no password; a wrong one given is
  // refused before anything is written.
  const std::vector<std::string> sample = {
      "sample", "--out",           folder / "samples",  "--rows", "10", "--attach",
      "ORVANE", "--password-file", folder / "wrong.txt"};
  EXPECT_EQ(Run(sample).status, 1);
  EXPECT_FALSE(std::filesystem::exists(folder / "samples"));
  EXPECT_EQ(Run({sample.begin(), sample.end() - 2}).status, 0);
}

// Nothing of an instance is readable by another account: the hash of the password, the paths
// of the databases and the sessions stay the owner's. Older, wider instances are narrowed when
// they are next opened.
TEST_F(ServerCommandsTest, AnInstanceIsTheOwnersAlone) {
  ::umask(022);
  ASSERT_EQ(Create("ORVANE").status, 0);
  MakeDatabaseFile(folder / "Alpha.mdf");
  ASSERT_EQ(Warden({"attach", "ORVANE", "Alpha", folder / "Alpha.mdf"}).status, 0);
  const std::string instance = root / "ORVANE";
  auto session = embedded::Instance::Open(root.path(), "ORVANE")->OpenSession("Alpha");
  EXPECT_EQ(Mode(instance), 0700);
  EXPECT_EQ(Mode(instance + "/catalog.db"), 0600);
  EXPECT_EQ(Mode(instance + "/sessions"), 0700);
  int session_files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(instance + "/sessions")) {
    EXPECT_EQ(Mode(entry.path()), 0600) << entry.path();
    ++session_files;
  }
  EXPECT_EQ(session_files, 1);

  ::chmod(instance.c_str(), 0755);
  ::chmod((instance + "/catalog.db").c_str(), 0644);
  EXPECT_EQ(Run({"databases", "ORVANE"}).status, 0);
  EXPECT_EQ(Mode(instance), 0700);
  EXPECT_EQ(Mode(instance + "/catalog.db"), 0600);
}

}  // namespace
}  // namespace msu::cli
