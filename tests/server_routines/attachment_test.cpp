// Finding, detaching and attaching databases by their files, and placing the finished copy at
// the new database's path.
#include "server_routines/attachment.h"

#include <chrono>
#include <thread>

#include "core/text.h"
#include "routine_world.h"
#include "server_routines/open_connections.h"
#include "tests/support/fault_injection.h"

namespace msu::testing {
namespace {

class AttachmentTest : public RoutineWorld {
 protected:
  void SetUp() override {
    RoutineWorld::SetUp();
    LoggedIn();
    db1_ = UserDatabase("Incidents.mdf", "Incidents");
    db2_ = UserDatabase("Archive.mdf", "Archive");
  }
  std::string Detach(const std::string& path) {
    return server_routines::DetachDatabaseFile(*context_, path);
  }
  std::string Open(const std::string& path) {
    return server_routines::CheckOpenConnections(*context_, path);
  }
  std::string db1_, db2_;
};

TEST_F(AttachmentTest, OpenConnectionsNameTheDatabaseOfTheFileWhileItIsUsed) {
  EXPECT_EQ(Open(db1_), "");
  server_.processes = {{51, "master"}, {52, "Archive"}};
  EXPECT_EQ(Open(db1_), "");
  EXPECT_EQ(Open(db2_), "Archive");
  EXPECT_EQ(Open(AppFileWith("W_O_R_K_A.tmp")), "");
  // The box's blanks do not count; a path in other letters is another file.
  EXPECT_EQ(Open("  " + db2_ + " "), "Archive");
  EXPECT_EQ(Open(UpperCase(db2_)), "");
  // A path whose text holds another database's path is not that database.
  server_.databases.push_back({"Older", db1_ + ".old"});
  server_.processes = {{51, "Older"}};
  EXPECT_EQ(Open(db1_ + ".old"), "Older");
  server_.processes = {{53, "Incidents"}};
  EXPECT_EQ(Open(db1_ + ".old"), "");
  EXPECT_EQ(Open(db1_), "Incidents");
  EXPECT_THAT(server_.Calls("KillProcess"), IsEmpty());

  server_.Fail("ListProcesses", 1, -2147199229, "Process list unavailable.");
  EXPECT_EQ(Open(db1_), "");
  server_.Fail("ListDatabaseFiles", 2, 21776, "Files unreadable.");
  EXPECT_EQ(Open(db2_), "");
  context_->server.ServerPassword = "bad";
  EXPECT_EQ(Open(db1_), "");
  EXPECT_THAT(Boxes(),
              ElementsAre("Process list unavailable. -2147199229", "Files unreadable. 21776",
                          "Login failed for user 'VESTRA'. -2147203048"));
}

TEST_F(AttachmentTest, DetachEndsTheProcessesOfEveryMatchingDatabase) {
  server_.processes = {{51, "Incidents"}, {52, "Archive"}, {53, "Incidents"}, {54, "Incidents2"}};
  EXPECT_EQ(Detach(db1_), "Incidents");
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 51", "KillProcess 53"));
  EXPECT_THAT(server_.Calls("DetachDatabase"), ElementsAre("DetachDatabase Incidents"));
  EXPECT_EQ(Detach(OutFile("Elsewhere.mdf")), "");

  // Every database of the file goes (a stale entry may name it twice); the last in server
  // order names it. A path that only contains the file's path is another file.
  server_.databases.insert(server_.databases.begin(), {"Stale", db2_});
  server_.databases.push_back({"Short", FolderOf(db2_) + "/Arch"});
  server_.processes.push_back({55, "Stale"});
  EXPECT_EQ(Detach(db2_), "Archive");
  EXPECT_THAT(server_.databases, ElementsAre(::testing::Field(&FakeDatabase::name, "Short")));
  EXPECT_THAT(server_.processes, ElementsAre(::testing::Field(&FakeProcess::spid, 54)));
  // A path in other letters is another file.
  server_.databases.push_back({"Incidents", UpperCase(db1_)});
  EXPECT_EQ(Detach(db1_), "");
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(AttachmentTest, DetachFailureShowsTheBoxAndKeepsEarlierWork) {
  server_.databases.push_back({"Copy", db1_});
  server_.Fail("DetachDatabase", 2, 3702, "Cannot drop the database.");
  EXPECT_EQ(Detach(db1_), "");
  EXPECT_EQ(server_.Database("Incidents"), nullptr);
  EXPECT_NE(server_.Database("Copy"), nullptr);
  context_->server.ServerPassword.clear();
  EXPECT_EQ(Detach(db2_), "");
  EXPECT_THAT(Boxes(), ElementsAre("Cannot drop the database. 3702",
                                   "Login failed for user 'VESTRA'. -2147203048"));
}

TEST_F(AttachmentTest, AttachUnderTheGivenOrTheFilesOwnName) {
  server_.databases.clear();
  std::string name = "Renamed";
  EXPECT_TRUE(server_routines::AttachDatabaseFile(*context_, db1_, name));
  EXPECT_EQ(server_.Database("Renamed")->file, db1_);
  // A file already attached is left alone, whatever the name.
  name = "";
  EXPECT_TRUE(server_routines::AttachDatabaseFile(*context_, db1_, name));
  EXPECT_EQ(name, "");
  // The name is the file name without its last four characters, whatever the extension.
  const std::string sqlite = UserDatabase("Archive.sqlite", "");
  EXPECT_TRUE(server_routines::AttachDatabaseFile(*context_, sqlite, name));
  EXPECT_EQ(name, "Archive.sq");
  EXPECT_THAT(server_.Calls("AttachDatabase"),
              ElementsAre("AttachDatabase Renamed " + db1_, "AttachDatabase Archive.sq " + sqlite));
  // A log file left under that name would be taken for the new database's.
  const std::string work = AppFileWith("W_O_R_K_A.tmp");
  AppFileWith("W_O_R_K_A_log.LDF", "stale");
  AppFileWith("W_O_R_K_B_log.LDF", "another's");
  name = "W_O_R_K_A";
  EXPECT_TRUE(server_routines::AttachDatabaseFile(*context_, work, name));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_A_log.LDF")));
  EXPECT_TRUE(fs::exists(AppFile("W_O_R_K_B_log.LDF")));
  EXPECT_THAT(Boxes(), IsEmpty());
}

// On a file system that keeps letter case a path that differs only in it names another file:
// neither detach nor attach takes that database for the file; attach tries to attach the file,
// which the server refuses for the name that is taken.
TEST_F(AttachmentTest, APathInOtherLetterCaseIsAnotherFile) {
  server_.databases = {{"Incidents", UpperCase(db1_)}};
  server_.require_files = false;
  std::string name;
  EXPECT_FALSE(server_routines::AttachDatabaseFile(*context_, db1_, name));
  EXPECT_THAT(server_.Calls("AttachDatabase"), ElementsAre("AttachDatabase Incidents " + db1_));
  EXPECT_THAT(Boxes(), ElementsAre("Database 'Incidents' already exists. -2147199229"));
  EXPECT_EQ(Detach(db1_), "");
  EXPECT_NE(server_.Database("Incidents"), nullptr);
}

// Each case runs twice: placed by CopyDatabaseFile, and by a DatabaseCopyAhead made first
// (its copy written beside the target while the caller would go on) and placed after.
class CopyDatabaseFileTest : public AttachmentTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    AttachmentTest::SetUp();
    context_->merge.NewDatabaseName = "Merged";
    context_->merge.CurrentOperation = " Copying final database ";
    server_.databases.push_back({"W_O_R_K_B", AppFileWith("W_O_R_K_B.tmp", "finished")});
    server_.processes = {{60, "W_O_R_K_B"}};
  }
  bool Copy(const std::string& target) {
    if (!GetParam()) {
      return server_routines::CopyDatabaseFile(*context_, AppFile("W_O_R_K_B.tmp"), target);
    }
    server_routines::DatabaseCopyAhead ahead(*context_, AppFile("W_O_R_K_B.tmp"), target);
    return ahead.Place();
  }
};

INSTANTIATE_TEST_SUITE_P(Placed, CopyDatabaseFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "CopiedAhead" : "CopiedAtOnce";
                         });

// A copy made ahead and never placed leaves nothing beside the target, whether it had ended or
// was still under way; the target and the work file stay as they were.
TEST_F(AttachmentTest, ACopyAheadNotPlacedLeavesNothing) {
  const std::string target = OutFile("Merged.mdf");
  WriteFile(target, "the user's older merge");
  // Large enough that its copy is still under way when it is abandoned.
  const std::string work = AppFileWith("W_O_R_K_B.tmp", std::string(size_t{64} << 20, 'x'));
  for (const bool wait : {true, false}) {
    {
      server_routines::DatabaseCopyAhead ahead(*context_, work, target);
      if (wait) {
        const std::string part = server_routines::PartFileOf(target, ::getpid());
        for (int i = 0;
             i < 500 && fs::file_size(work) != (fs::exists(part) ? fs::file_size(part) : 0); ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ + "/out")) {
      names.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(names, ElementsAre("Merged.mdf")) << wait;
    EXPECT_EQ(ReadFile(target), "the user's older merge");
    EXPECT_EQ(fs::file_size(work), size_t{64} << 20);
  }
  EXPECT_THAT(server_.Calls("DetachDatabase"), IsEmpty());
  EXPECT_THAT(server_.Calls("AttachDatabase"), IsEmpty());
}

TEST_P(CopyDatabaseFileTest, ReplacesTheTargetWithTheDetachedWorkFileAndAttachesIt) {
  const std::string target = OutFile("Merged.mdf");
  WriteFile(target, "an older merge");
  WriteFile(OutFile("Merged_log.LDF"), "old log");
  AppFileWith("W_O_R_K_B_log.LDF", "work log");
  server_.databases.push_back({"OldMerge", target});

  EXPECT_TRUE(Copy(target));
  EXPECT_EQ(ReadFile(target), "finished");
  EXPECT_FALSE(fs::exists(OutFile("Merged_log.LDF")));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_B_log.LDF")));
  EXPECT_THAT(server_.Calls("DetachDatabase"),
              ElementsAre("DetachDatabase W_O_R_K_B", "DetachDatabase OldMerge"));
  EXPECT_THAT(server_.Calls("AttachDatabase"), ElementsAre("AttachDatabase Merged " + target));
  EXPECT_THAT(progress_.Texts(LogPage::kMerge), IsEmpty());
}

TEST_P(CopyDatabaseFileTest, FailuresWriteTwoLinesOnTheMergePage) {
  const std::string nowhere = root_ + "/no such folder/Merged.mdf";
  EXPECT_FALSE(Copy(nowhere));
  const std::string copy_error = context_->merge.LastError;
  EXPECT_THAT(copy_error, ::testing::StartsWith("53 - Cannot copy the file \""));
  EXPECT_THAT(copy_error, ::testing::HasSubstr(nowhere));

  server_.databases.push_back({"Merged", OutFile("Other.mdf")});
  EXPECT_FALSE(Copy(OutFile("Merged.mdf")));
  EXPECT_EQ(context_->merge.LastError, "-2147199229 - Database 'Merged' already exists.");

  // A target naming the work file itself must not delete the only copy.
  EXPECT_FALSE(Copy(AppFile("W_O_R_K_B.tmp")));
  EXPECT_EQ(ReadFile(AppFile("W_O_R_K_B.tmp")), "finished");
  EXPECT_THAT(context_->merge.LastError, ::testing::HasSubstr("onto itself"));
  EXPECT_THAT(progress_.Texts(LogPage::kMerge),
              ElementsAre("Error, merge stopped,  Copying final database ",
                          "Error, copying database: " + copy_error,
                          "Error, merge stopped,  Copying final database ",
                          "Error, copying database: -2147199229 - Database 'Merged' already "
                          "exists.",
                          "Error, merge stopped,  Copying final database ",
                          "Error, copying database: " + context_->merge.LastError));
}

// The new database takes its name only whole: it is written to a part file beside the target,
// which a failed copy removes; a file at the target stays as it was until the finished copy is
// renamed over it. A full disk says which folder is full and halts the run. A part file that
// a killed run left is removed by the next placement.
TEST_P(CopyDatabaseFileTest, TheTargetIsReplacedOnlyByAWholeCopy) {
  const std::string target = OutFile("Merged.mdf");
  WriteFile(target, "the user's older merge");
  const std::string stale = server_routines::PartFileOf(target, msu::testing::EndedProcess());
  WriteFile(stale, "half a database");
  FullDiskCopier full_disk(0, 3);
  context_->SetCopier(full_disk);
  EXPECT_FALSE(Copy(target));
  EXPECT_EQ(ReadFile(target), "the user's older merge");
  EXPECT_THAT(context_->merge.LastError,
              ::testing::StartsWith("61 - The disk is full: no space is left in the folder " +
                                    root_ + "/out (copying"));
  EXPECT_TRUE(context_->Halted());
  EXPECT_THAT(server_.Calls("AttachDatabase"), IsEmpty());
  EXPECT_FALSE(fs::exists(server_routines::PartFileOf(target, ::getpid())));
  EXPECT_FALSE(fs::exists(stale)) << "the part file of a dead run stays behind";

  context_->SetCopier(SystemFileCopier());
  context_->ClearHalt();
  EXPECT_TRUE(Copy(target));
  EXPECT_EQ(ReadFile(target), "finished");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root_ + "/out")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_THAT(names, ElementsAre("Merged.mdf"));
  EXPECT_EQ(server_routines::IncompleteNameOf(target), OutFile("Merged.incomplete.mdf"));
  EXPECT_EQ(server_routines::IncompleteNameOf("/x/Result.db"), "/x/Result.incomplete.db");
  EXPECT_EQ(server_routines::IncompleteNameOf("/x/Result"), "/x/Result.incomplete");
}

}  // namespace
}  // namespace msu::testing
