// The working copies of a merge, the four databases attached for it, and what the program
// removes when it closes.
#include "server_routines/working_copies.h"

#include "core/run_lock.h"
#include "routine_world.h"
#include "server_routines/exit_cleanup.h"
#include "server_routines/run_locks.h"
#include "server_routines/working_attachments.h"

namespace msu::testing {
namespace {

class WorkingCopiesTest : public RoutineWorld {
 protected:
  void SetUp() override {
    RoutineWorld::SetUp();
    LoggedIn();
    db1_ = UserDatabase("Incidents.mdf", "Incidents");
    db2_ = UserDatabase("Regional.mdf", "Regional");
    UserDatabase("Unrelated.mdf", "Unrelated");
    server_.processes = {{51, "Incidents"}, {52, "Regional"}, {53, "Unrelated"}};
  }
  bool Make(const std::string& new_db = "/x/Merged.mdf") {
    return server_routines::MakeWorkingCopies(*context_, db1_, db2_, new_db);
  }
  bool Reattach() { return server_routines::ReattachDatabases(*context_, db1_, db2_); }
  std::vector<std::string> Check() const { return progress_.Texts(LogPage::kCheck); }
  std::vector<std::string> AppFolder() const { return FileNames(root_ + "/app"); }
  std::string db1_, db2_;
};

TEST_F(WorkingCopiesTest, CopiesBothDatabasesAndAttachesAllFour) {
  // Leftovers of an earlier check: attached working copies in use, and a stale log.
  server_.databases.push_back({"W_O_R_K_A", AppFileWith("W_O_R_K_A.tmp")});
  server_.databases.push_back({"W_O_R_K_B", AppFileWith("W_O_R_K_B.tmp")});
  server_.processes.push_back({54, "W_O_R_K_B"});
  AppFileWith("W_O_R_K_A_log.LDF", "stale");
  fs::permissions(db1_, fs::perms::owner_write, fs::perm_options::remove);  // kept read-only

  ASSERT_TRUE(Make());
  EXPECT_NE(fs::status(AppFile("W_O_R_K_A.tmp")).permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_EQ(context_->merge.SourceName, "Incidents");
  EXPECT_EQ(context_->merge.DestinationName, "Regional");
  EXPECT_EQ(context_->merge.NewDatabaseName, "Merged");
  EXPECT_EQ(ReadFile(AppFile("W_O_R_K_A.tmp")), user_files_[db1_]);
  EXPECT_EQ(ReadFile(AppFile("W_O_R_K_B.tmp")), user_files_[db2_]);
  EXPECT_THAT(server_.Calls("DetachDatabase"),
              ElementsAre("DetachDatabase Incidents", "DetachDatabase Regional",
                          "DetachDatabase W_O_R_K_A", "DetachDatabase W_O_R_K_B"));
  EXPECT_THAT(server_.Calls("KillProcess"),
              ElementsAre("KillProcess 51", "KillProcess 52", "KillProcess 54"));

  server_.calls.clear();
  ASSERT_TRUE(Reattach());
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_A_log.LDF")));
  EXPECT_THAT(Check(), ElementsAre("Created a working copy of Database 1: " + db1_,
                                   "Created a working copy of Database 2: " + db2_,
                                   "Reattaching Source Database", "Attaching Work Database A",
                                   "Attaching Destination Database", "Attaching Work Database B"));
  for (const auto& line : progress_.Lines(LogPage::kCheck)) EXPECT_EQ(line.style.colour.red, 0);
  EXPECT_THAT(server_.calls,
              ElementsAre("Connect ORVANE VESTRA 83ecret", "AttachDatabase Incidents " + db1_,
                          "RemovePendingAttachment Incidents", "RecordPendingAttachment W_O_R_K_A",
                          "AttachDatabase W_O_R_K_A " + AppFile("W_O_R_K_A.tmp"),
                          "AttachDatabase Regional " + db2_, "RemovePendingAttachment Regional",
                          "RecordPendingAttachment W_O_R_K_B",
                          "AttachDatabase W_O_R_K_B " + AppFile("W_O_R_K_B.tmp"), "Disconnect"));
}

// Working files hold the user's data: private to their owner, whatever the umask. They start
// clean: journal files left beside an old working file go with it. Before its first write a
// run confirms that the working name holds the very file it made.
TEST_F(WorkingCopiesTest, WorkingCopiesArePrivateCleanAndConfirmed) {
  AppFileWith("W_O_R_K_A.tmp-journal", "a journal of a killed run");
  AppFileWith("W_O_R_K_B.tmp-wal", "a log of a killed run");
  ASSERT_TRUE(Make());
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp"}) {
    EXPECT_EQ(fs::status(AppFile(name)).permissions(),
              fs::perms::owner_read | fs::perms::owner_write)
        << name;
  }
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_A.tmp-journal")));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_B.tmp-wal")));
  ASSERT_TRUE(Reattach());
  const std::string work_a = AppFile("W_O_R_K_A.tmp");
  EXPECT_NO_THROW(server_routines::ConfirmWorkingDatabase(*context_, "W_O_R_K_A", work_a));

  const std::string refused =
      "The database W_O_R_K_A on the server ORVANE is not the working "
      "copy this run made (it uses the file ";
  for (auto& database : server_.databases) {
    if (database.name == "W_O_R_K_A") database.file = db1_;
  }
  try {
    server_routines::ConfirmWorkingDatabase(*context_, "W_O_R_K_A", work_a);
    ADD_FAILURE() << "another file under the working name passed";
  } catch (const data::AdminError& error) {
    EXPECT_EQ(error.description(), refused + db1_ + "); the run stopped before writing to it.");
  }
  for (auto& database : server_.databases) {
    if (database.name == "W_O_R_K_A") database.file = work_a;
  }
  // The same name, but a file made again by somebody else.
  WriteFile(work_a + ".other", "another file of that name");
  fs::rename(work_a + ".other", work_a);
  EXPECT_THROW(server_routines::ConfirmWorkingDatabase(*context_, "W_O_R_K_A", work_a),
               data::AdminError);
}

// The new database's name loses exactly four characters, however long its extension.
TEST_F(WorkingCopiesTest, NewDatabaseNameLosesFourCharacters) {
  for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
           {"/x/Merged.sqlite", "Merged.sq"},
           {"/x/Merged.db", "Merge"},
           {"C:\\Orvane\\database\\Final.mdf", "Final"},
           {"abc", ""}}) {
    ASSERT_TRUE(Make(path));
    EXPECT_EQ(context_->merge.NewDatabaseName, name) << path;
    ASSERT_TRUE(Reattach());
  }
}

TEST_F(WorkingCopiesTest, FailedCopyStopsAfterItsLineAndNothingIsRolledBack) {
  fs::create_directories(AppFile("W_O_R_K_A.tmp") + "/in the way");
  EXPECT_FALSE(Make());
  EXPECT_THAT(Check(), ElementsAre(::testing::AllOf(
                           ::testing::StartsWith("Error, Creating working copy of Database 1: "),
                           ::testing::HasSubstr("W_O_R_K_A.tmp"))));
  EXPECT_EQ(server_.Database("Incidents"), nullptr);
  fs::remove_all(AppFile("W_O_R_K_A.tmp"));
  progress_.Clear(LogPage::kCheck);

  db2_ = OutFile("Gone.mdf");
  EXPECT_FALSE(Make());
  EXPECT_THAT(Check(), ElementsAre("Created a working copy of Database 1: " + db1_,
                                   "Error, Creating working copy of Database 2: Cannot copy the "
                                   "file \"" +
                                       db2_ + "\" to \"" + AppFile("W_O_R_K_B.tmp") +
                                       "\": No such file or directory."));
  EXPECT_EQ(progress_.Lines(LogPage::kCheck)[1].style.colour.red, 255);
}

TEST_F(WorkingCopiesTest, ReattachFailuresKeepWhatIsAttached) {
  // Database 1 was not attached: there is no name to attach it again under.
  server_.databases.erase(server_.databases.begin());
  ASSERT_TRUE(Make());
  EXPECT_FALSE(Reattach());
  EXPECT_EQ(Check().back(),
            "Error Occured: Invalid database name: a database name cannot be empty.");

  context_->merge.SourceName = "Incidents";
  server_.Fail("AttachDatabase", 3, -2147199229, "Disk full.");
  EXPECT_FALSE(Reattach());
  EXPECT_THAT(Check().back(), "Error Occured: Disk full.");
  EXPECT_NE(server_.Database("W_O_R_K_A"), nullptr);
  EXPECT_EQ(server_.Database("Regional"), nullptr);
  server_.running = false;
  EXPECT_FALSE(Reattach());
  EXPECT_EQ(Check().back(), "Error Occured: The server is not running.");
}

TEST_F(WorkingCopiesTest, ExitDetachesWorkingAndNewDatabasesAndDeletesWorkingFiles) {
  ASSERT_TRUE(Make());
  ASSERT_TRUE(Reattach());
  for (const char* name : {"W_O_R_K_A.ini", "W_O_R_K_B.ini", "W_O_R_K_A_log.LDF", "Copy.txt",
                           "Error.txt", "cvn.ini", "tmp_rpt.rtf"}) {
    AppFileWith(name);
  }
  const std::string target = OutFile("Merged.mdf");
  WriteFile(target, "merged");
  server_.databases.push_back({"Merged", target});
  server_.processes = {{61, "W_O_R_K_A"}, {62, "Merged"}, {63, "Incidents"}};
  // Before any login nothing is detached, but the files go.
  context_->server.ServerPassword.clear();
  server_.calls.clear();
  EXPECT_TRUE(server_routines::CleanUpWorkingFiles(*context_, target));
  EXPECT_THAT(server_.calls, IsEmpty());
  EXPECT_THAT(AppFolder(), ElementsAre("cvn.ini", "tmp_rpt.rtf"));

  LoggedIn();
  server_.calls.clear();
  AppFileWith("Error.txt");
  fs::create_directories(AppFile("W_O_R_K_B.ini") + "/busy");
  EXPECT_FALSE(server_routines::CleanUpWorkingFiles(*context_, target));
  EXPECT_THAT(
      server_.Calls("DetachDatabase"),
      ElementsAre("DetachDatabase W_O_R_K_B", "DetachDatabase W_O_R_K_A", "DetachDatabase Merged"));
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 61", "KillProcess 62"));
  EXPECT_THAT(AppFolder(), ElementsAre("W_O_R_K_B.ini", "cvn.ini", "tmp_rpt.rtf"));
  EXPECT_EQ(ReadFile(target), "merged");
  EXPECT_NE(server_.Database("Incidents"), nullptr);

  // A server gone away meanwhile: every detach fails in its box, every file still goes.
  fs::remove_all(AppFile("W_O_R_K_B.ini"));
  server_.running = false;
  EXPECT_TRUE(server_routines::CleanUpWorkingFiles(*context_, ""));
  EXPECT_THAT(Boxes(), ElementsAre("The server is not running. -2147221504",
                                   "The server is not running. -2147221504"));
  EXPECT_THAT(AppFolder(), ElementsAre("cvn.ini", "tmp_rpt.rtf"));
}

// Once a merge or split has run, its working copies go at once: both taken off the server and
// their files deleted, while the error log and the files of the program stay for the exit;
// the run's locks go with them. A folder another run holds is that run's. At exit with
// FailureBox::kSilent, a failed detach shows no box.
TEST_F(WorkingCopiesTest, WorkingCopiesGoWhenTheRunIsDoneWithThem) {
  ASSERT_TRUE(Make());
  ASSERT_TRUE(Reattach());
  for (const char* name : {"W_O_R_K_A.ini", "W_O_R_K_B_log.LDF", "Error.txt", "cvn.ini"}) {
    AppFileWith(name);
  }
  ASSERT_EQ(server_routines::TakeRunLocks(*context_), "");

  {
    LockHolder holder;
    server_routines::ReleaseRunLocks(*context_);
    const std::unique_ptr<RunLock> other =
        RunLock::TryTake(AppFile(server_routines::kFolderLockFile), &holder, "msu split");
    server_.calls.clear();
    EXPECT_TRUE(server_routines::RemoveWorkingCopies(*context_));
    EXPECT_THAT(server_.calls, IsEmpty());
    EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_A.tmp")));
  }

  ASSERT_EQ(server_routines::TakeRunLocks(*context_), "");
  server_.calls.clear();
  EXPECT_TRUE(server_routines::RemoveWorkingCopies(*context_));
  EXPECT_THAT(server_.Calls("DetachDatabase"),
              ElementsAre("DetachDatabase W_O_R_K_B", "DetachDatabase W_O_R_K_A"));
  EXPECT_THAT(AppFolder(), ElementsAre("Error.txt", "cvn.ini"));
  EXPECT_NE(server_.Database("Incidents"), nullptr);
  EXPECT_NE(server_.Database("Regional"), nullptr);
  EXPECT_EQ(context_->locks.folder, nullptr);
  EXPECT_EQ(context_->locks.server, nullptr);

  AppFileWith("W_O_R_K_A.tmp");
  server_.running = false;
  EXPECT_TRUE(
      server_routines::CleanUpWorkingFiles(*context_, "", server_routines::FailureBox::kSilent));
  EXPECT_THAT(Boxes(), IsEmpty());
  EXPECT_THAT(AppFolder(), ElementsAre("cvn.ini"));
}

}  // namespace
}  // namespace msu::testing
