// The server page: the server list, the password the utility logs in with, the messages of
// the login check and the clean-up when the user comes back to the login step.
#include "page_rules/login_check.h"

#include <unistd.h>

#include "core/run_lock.h"
#include "server_routines/run_locks.h"
#include "tests/server_routines/routine_world.h"

namespace msu::testing {
namespace {

class LoginCheckTest : public RoutineWorld {
 protected:
  LoginResult Check(const std::string& typed, int direction = kMoveNext,
                    const std::string& server = "ORVANE") {
    return CheckLogin(*context_, server, typed, direction);
  }
};

TEST_F(LoginCheckTest, ServerListInTheServersOrderAndAFailureInABox) {
  server_.servers = {"ZETA", "ALPHA"};
  EXPECT_THAT(FillServerList(*context_), ElementsAre("ZETA", "ALPHA"));
  server_.Fail("ListServers", 1, -2147221005, "Invalid class string");
  EXPECT_THAT(FillServerList(*context_), IsEmpty());
  EXPECT_THAT(Boxes(), ElementsAre("Invalid class string -2147221005"));
}

// The server knows the Warden password only in its derived form (the rule itself is tested
// with the embedded server's logins).
TEST_F(LoginCheckTest, DerivedPasswordLogsIn) {
  for (const char* typed : {"secret", "Secret"}) {
    const LoginResult result = Check(typed);
    EXPECT_TRUE(result.ok) << typed << ": " << result.message;
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(context_->server.ServerPassword, "83ecret");
  }
  EXPECT_EQ(Check("sECRET").message, "Password incorrect.");
  EXPECT_EQ(server_.Calls("Connect").back(), "Connect ORVANE VESTRA 83ECRET");
}

TEST_F(LoginCheckTest, FailureMessagesAndTheServerNameKept) {
  EXPECT_FALSE(Check("wrong", kMoveNext, "TYPED").ok);
  EXPECT_EQ(context_->server.ServerName, "TYPED");
  EXPECT_EQ(Check("wrong").message, "Password incorrect.");
  EXPECT_EQ(context_->server.ServerPassword, "87rong");
  EXPECT_EQ(Check("wrong").detail, "");
  server_.running = false;
  const LoginResult stopped = Check("secret");
  EXPECT_EQ(stopped.message, "The server is stopped.");
  EXPECT_EQ(stopped.detail, "The server ORVANE does not answer: The server is not running.");
  server_.running = true;
  // A server typed by hand is used as typed; an empty box (no server listed) still tries. The
  // number is the suite's message; the line under it says what the server said.
  const LoginResult unreachable = Check("secret", kMoveNext, "NOWHERE");
  EXPECT_EQ(unreachable.message, "Error, number -2147203069");
  EXPECT_EQ(unreachable.detail, "SQL Server does not exist or access denied.");
  EXPECT_EQ(Check("secret", kMoveNext, "").message, "Error, number -2147203069");
  // A name no server answers to is named, with the servers there are.
  server_.servers = {"ORVANE", "SUITE"};
  for (const char* name : {"NOWHERE", " "}) {
    server_.Fail("Connect", 1, data::kErrServerNotFound, "no such server");
    const LoginResult unknown = Check("secret", kMoveNext, name);
    EXPECT_EQ(unknown.message, "Error, number -2147220991");
    EXPECT_EQ(unknown.detail, std::string(*name == ' ' ? "No server was named."
                                                       : "No server named NOWHERE on this "
                                                         "machine.") +
                                  " Known servers: ORVANE, SUITE.");
  }
  server_.servers = {};
  server_.Fail("Connect", 1, data::kErrServerNotFound, "no such server");
  EXPECT_EQ(Check("secret", kMoveNext, "X").detail,
            "No server named X on this machine. None is set up here yet.");
  server_.servers = {"ORVANE"};
  server_.hidden = {"TYPED\\INSTANCE"};
  EXPECT_TRUE(Check("secret", kMoveNext, "TYPED\\INSTANCE").ok);
  // A failure after the connection was made still ends it.
  server_.Fail("ReadServerProperty", 1, 1205, "Deadlock");
  EXPECT_EQ(Check("secret").message, "Error, number 1205");
  EXPECT_EQ(server_.calls.back(), "Disconnect");
  EXPECT_EQ(TestLogin(*context_, "ORVANE", "83ecret"), 0);
  EXPECT_EQ(TestLogin(*context_, "ORVANE", "83ECRET"), data::kErrLoginFailed);

  server_.calls.clear();
  const LoginResult empty = Check("", kMoveBack, "ORVANE2");
  EXPECT_EQ(empty.message, "Password not specified.");
  EXPECT_EQ(context_->server.ServerName, "ORVANE2");
  EXPECT_THAT(server_.calls, IsEmpty());
}

// Coming back to the login step discards the working copies of an earlier check (A, and B,
// which is no use without it), and only then; the files of another run in the folder are left
// alone.
TEST_F(LoginCheckTest, SuccessfulBackMoveRemovesTheWorkingCopies) {
  UserDatabase("Incidents.mdf", "Incidents");
  server_.databases.push_back({"W_O_R_K_A", AppFileWith("W_O_R_K_A.tmp")});
  server_.databases.push_back({"W_O_R_K_B", AppFileWith("W_O_R_K_B.tmp")});
  AppFileWith("W_O_R_K_A.ini");
  server_.processes = {{51, "W_O_R_K_A"}, {52, "Incidents"}};

  EXPECT_TRUE(Check("secret", kMoveNext).ok);
  EXPECT_FALSE(Check("wrong", kMoveBack).ok);
  EXPECT_THAT(server_.Calls("DetachDatabase"), IsEmpty());
  EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_A.tmp")));

  // Another run holds the folder: its working files are its own.
  server_routines::ReleaseRunLocks(*context_);
  {
    LockHolder holder;
    const std::unique_ptr<RunLock> other =
        RunLock::TryTake(AppFile(server_routines::kFolderLockFile), &holder, "msu merge");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(CheckLogin(*context_, "ORVANE", "secret", kMoveBack, LocksAtLogin::kLeave).ok);
    EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_A.tmp")));
    EXPECT_THAT(server_.Calls("DetachDatabase"), IsEmpty());
  }

  EXPECT_TRUE(Check("secret", kMoveBack).ok);
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_A.ini", "W_O_R_K_B.tmp"}) {
    EXPECT_FALSE(fs::exists(AppFile(name))) << name;
  }
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 51"));
  EXPECT_THAT(server_.Calls("DetachDatabase"),
              ElementsAre("DetachDatabase W_O_R_K_B", "DetachDatabase W_O_R_K_A"));
  // A second time there is nothing left, and nothing is reported.
  EXPECT_TRUE(Check("secret", kMoveBack).ok);
  EXPECT_THAT(Boxes(), IsEmpty());
}

// msu holds the run's locks from its login; the window's login takes none (its check and split
// take them with their working copies), and its Back gives back what it held.
TEST_F(LoginCheckTest, TheLocksOfALoginAreTakenOnlyWhenAsked) {
  context_->locks.owner = "msu check";
  EXPECT_TRUE(CheckLogin(*context_, "ORVANE", "secret", kMoveNext, LocksAtLogin::kLeave).ok);
  EXPECT_EQ(context_->locks.folder, nullptr);
  EXPECT_TRUE(Check("secret").ok);
  ASSERT_NE(context_->locks.folder, nullptr);
  LockHolder holder;
  EXPECT_EQ(RunLock::TryTake(AppFile(server_routines::kFolderLockFile), &holder), nullptr);
  EXPECT_EQ(holder.name, "msu check");
  EXPECT_EQ(server_routines::FolderBusyMessage(holder),
            "msu check (process " + std::to_string(::getpid()) +
                ") is running a merge or split in this application "
                "folder");
  EXPECT_TRUE(CheckLogin(*context_, "ORVANE", "secret", kMoveBack, LocksAtLogin::kLeave).ok);
  EXPECT_EQ(context_->locks.folder, nullptr);
  EXPECT_NE(RunLock::TryTake(AppFile(server_routines::kFolderLockFile), &holder), nullptr);
}

}  // namespace
}  // namespace msu::testing
