// The server page: the server list, the password the utility logs in with, the messages of
// the login check and the clean-up when the user comes back to the login step.
#include "server/login_check.h"

#include "routine_world.h"

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
  server_.running = false;
  EXPECT_EQ(Check("secret").message, "The server is stopped.");
  server_.running = true;
  // A server typed by hand is used as typed; an empty box (no server listed) still tries.
  EXPECT_EQ(Check("secret", kMoveNext, "NOWHERE").message, "Error, number -2147203069");
  EXPECT_EQ(Check("secret", kMoveNext, "").message, "Error, number -2147203069");
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

// Coming back to the login step discards working copy A of an earlier check, and only then.
TEST_F(LoginCheckTest, SuccessfulBackMoveRemovesWorkingCopyA) {
  UserDatabase("Incidents.mdf", "Incidents");
  server_.databases.push_back({"W_O_R_K_A", AppFileWith("W_O_R_K_A.tmp")});
  server_.databases.push_back({"W_O_R_K_B", AppFileWith("W_O_R_K_B.tmp")});
  AppFileWith("W_O_R_K_A.ini");
  server_.processes = {{51, "W_O_R_K_A"}, {52, "Incidents"}};

  EXPECT_TRUE(Check("secret", kMoveNext).ok);
  EXPECT_FALSE(Check("wrong", kMoveBack).ok);
  EXPECT_THAT(server_.Calls("DetachDatabase"), IsEmpty());
  EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_A.tmp")));

  EXPECT_TRUE(Check("secret", kMoveBack).ok);
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_A.tmp")));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_A.ini")));
  EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_B.tmp")));
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 51"));
  EXPECT_THAT(server_.Calls("DetachDatabase"), ElementsAre("DetachDatabase W_O_R_K_A"));
  // A second time there is nothing left, and nothing is reported.
  EXPECT_TRUE(Check("secret", kMoveBack).ok);
  EXPECT_THAT(Boxes(), IsEmpty());
}

}  // namespace
}  // namespace msu::testing
