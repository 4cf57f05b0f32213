// The user's databases taken off the server on the way: recorded before each detach, forgotten
// once attached again, and what the record still lists attached again by the next login.
#include "server_routines/pending_attachments.h"

#include <unistd.h>

#include "page_rules/login_check.h"
#include "routine_world.h"
#include "server_routines/attachment.h"
#include "server_routines/working_copies.h"

namespace msu::testing {
namespace {

class PendingAttachmentsTest : public RoutineWorld {
 protected:
  void SetUp() override {
    RoutineWorld::SetUp();
    LoggedIn();
    db1_ = UserDatabase("Fire1.mdf", "Fire1");
    db2_ = UserDatabase("Fire2.mdf", "Fire2");
  }
  std::vector<std::string> Pending() const {
    std::vector<std::string> names;
    for (const auto& entry : server_.pending) names.push_back(entry.name);
    return names;
  }
  // The calls that change the server or its record, in order.
  std::vector<std::string> Changes() const {
    std::vector<std::string> changes;
    for (const std::string& call : server_.calls) {
      if (call.find("Pending") != std::string::npos || call.rfind("AttachDatabase", 0) == 0 ||
          call.rfind("DetachDatabase", 0) == 0) {
        changes.push_back(call.substr(0, call.find(' ', call.find(' ') + 1)));
      }
    }
    return changes;
  }
  std::string Attached(const std::string& name, const std::string& file) {
    return "Attached the database " + name + " again under its own name, from " + file +
           " (detached by process " + std::to_string(::getpid()) +
           ", which stopped before attaching it again).";
  }
  std::string db1_, db2_;
};

TEST_F(PendingAttachmentsTest, RecordedBeforeTheDetachAndForgottenOnceAttached) {
  server_.databases.push_back({"W_O_R_K_A", AppFileWith("W_O_R_K_A.tmp")});
  ASSERT_TRUE(server_routines::MakeWorkingCopies(*context_, db1_, db2_, OutFile("New.mdf")));
  EXPECT_THAT(Changes(),
              ElementsAre("RecordPendingAttachment Fire1", "DetachDatabase Fire1",
                          "RecordPendingAttachment Fire2", "DetachDatabase Fire2",
                          "DetachDatabase W_O_R_K_A", "RemovePendingAttachment W_O_R_K_A"));
  ASSERT_THAT(Pending(), ElementsAre("Fire1", "Fire2"));
  EXPECT_EQ(server_.pending[0].data_file, db1_);
  EXPECT_EQ(server_.pending[0].process, static_cast<long>(::getpid()));
  EXPECT_FALSE(server_.pending[0].working);
  EXPECT_TRUE(server_routines::ReattachDatabases(*context_, db1_, db2_));
  // The users' databases are back; the working copies stay recorded until they are detached.
  EXPECT_THAT(Pending(), ElementsAre("W_O_R_K_A", "W_O_R_K_B"));
  EXPECT_TRUE(server_.pending[0].working);
  EXPECT_EQ(server_.pending[0].data_file, AppFile("W_O_R_K_A.tmp"));
  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, AppFile("W_O_R_K_A.tmp")), "W_O_R_K_A");
  EXPECT_THAT(Pending(), ElementsAre("W_O_R_K_B"));

  // A database whose entry cannot be written stays attached.
  server_.Fail("RecordPendingAttachment", 1, -2147199229, "The catalog is read-only.");
  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, db1_,
                                                server_routines::AfterDetach::kAttachAgain),
            "");
  EXPECT_NE(server_.Database("Fire1"), nullptr);
  EXPECT_THAT(Boxes(), ElementsAre("The catalog is read-only. -2147199229"));
}

// A working database is recorded before it is attached. What a dead run left attached under a
// working name goes at the next repair, with a line; an entry whose name another file holds now
// is only forgotten; this run's own working databases are its clean-up's.
TEST_F(PendingAttachmentsTest, ARepairDetachesTheWorkingDatabasesOfADeadRun) {
  const long dead = EndedProcess();
  const std::string left = AppFileWith("W_O_R_K_A.tmp");
  const std::string others = UserDatabase("Others.mdf", "W_O_R_K_B");
  server_.databases.push_back({"W_O_R_K_A", left});
  server_.processes = {{61, "W_O_R_K_A"}};
  server_.pending = {{"W_O_R_K_A", left, dead, "msu", "", true},
                     {"W_O_R_K_B", OutFile("W_O_R_K_B.tmp"), dead, "msu", "", true},
                     server_routines::NewPendingAttachment("Mine", OutFile("Mine.tmp"), true)};
  EXPECT_TRUE(server_routines::RepairPendingAttachments(*context_, LogPage::kCheck));
  EXPECT_THAT(progress_.Texts(LogPage::kCheck),
              ElementsAre("Detached the working database W_O_R_K_A (" + left + ") that process " +
                          std::to_string(dead) + " left attached when it stopped."));
  EXPECT_EQ(server_.Database("W_O_R_K_A"), nullptr);
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 61"));
  ASSERT_NE(server_.Database("W_O_R_K_B"), nullptr);
  EXPECT_EQ(server_.Database("W_O_R_K_B")->file, others);
  EXPECT_THAT(Pending(), ElementsAre("Mine"));
}

// Each entry meets one of three fates; only the failures stay recorded.
TEST_F(PendingAttachmentsTest, ARepairAttachesWhatIsLeftAndSaysSo) {
  const std::string elsewhere = UserDatabase("Elsewhere.mdf", "Taken");
  server_.databases = {{"Fire2", db2_}, {"Renamed", db1_}, {"Taken", elsewhere}};
  const std::string fire3 = UserDatabase("Fire3.mdf", "");
  // The entry of a run still at work (here: the process that started the test) is its own.
  server_.pending.push_back({"Busy", db2_, static_cast<long>(::getppid()), "msu", ""});
  for (const auto& [name, file] : std::vector<std::pair<std::string, std::string>>{
           {"Fire1", db1_},                     // attached under another name: forgotten
           {"Fire2", db2_},                     // attached already: forgotten
           {"Fire3", fire3},                    // detached: attached again
           {"Gone", OutFile("Gone.mdf")},       // the file is missing: stays
           {"Taken", OutFile("Other.mdf")}}) {  // the name is taken: stays
    server_.pending.push_back(server_routines::NewPendingAttachment(name, file));
  }
  EXPECT_FALSE(server_routines::RepairPendingAttachments(*context_, LogPage::kCheck));
  EXPECT_THAT(
      progress_.Texts(LogPage::kCheck),
      ElementsAre(
          Attached("Fire3", fire3),
          "Error, the database Gone could not be attached again from " + OutFile("Gone.mdf") +
              ": Device activation error. The physical file name '" + OutFile("Gone.mdf") +
              "' may be incorrect. (error -2147199229). It is attached again at "
              "the next start of the wizard, msu or msu-server.",
          "Error, the database Taken could not be attached again from " + OutFile("Other.mdf") +
              ": its name is used by another database, of the file " + elsewhere +
              ". (error -2147199229). It is attached again at the "
              "next start of the wizard, msu or msu-server."));
  EXPECT_THAT(Pending(), ElementsAre("Busy", "Gone", "Taken"));
  EXPECT_NE(server_.Database("Fire3"), nullptr);

  // A server that cannot be asked: the run names what it detached itself.
  server_.running = false;
  progress_.Clear(LogPage::kCheck);
  EXPECT_FALSE(server_routines::RepairPendingAttachments(
      *context_, LogPage::kCheck,
      {server_routines::NewPendingAttachment("Fire9", OutFile("Fire9.mdf"))}));
  EXPECT_THAT(progress_.Texts(LogPage::kCheck),
              ElementsAre("Error, the database Fire9 could not be attached again from " +
                          OutFile("Fire9.mdf") +
                          ": The server is not running. (error -2147221504). It is attached again "
                          "at the next start of the wizard, msu or msu-server."));
}

// A run killed between the detach and the re-attach: the next login puts the database back.
TEST_F(PendingAttachmentsTest, TheNextLoginAttachesAgainWhatAKilledRunLeft) {
  server_.pending = {server_routines::NewPendingAttachment("Fire1", db1_)};
  std::erase_if(server_.databases, [](const FakeDatabase& d) { return d.name == "Fire1"; });
  const LoginResult login = CheckLogin(*context_, "ORVANE", "secret", kMoveNext);
  ASSERT_TRUE(login.ok) << login.message;
  EXPECT_EQ(login.note, Attached("Fire1", db1_));
  EXPECT_THAT(progress_.Texts(LogPage::kCheck), ElementsAre(Attached("Fire1", db1_)));
  EXPECT_NE(server_.Database("Fire1"), nullptr);
  EXPECT_THAT(Pending(), IsEmpty());
}

}  // namespace
}  // namespace msu::testing
