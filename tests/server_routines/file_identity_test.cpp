// Paths compared as the file system compares them: every name of one file is that file, two
// files are two files whatever their spelling, however alike their paths; and the files beside
// a database that mean it is mid-transaction.
#include "core/file_identity.h"

#include <unistd.h>

#include "core/text.h"
#include "routine_world.h"
#include "server_routines/admin_session.h"
#include "server_routines/attachment.h"
#include "server_routines/database_files.h"
#include "server_routines/open_connections.h"

namespace msu::testing {
namespace {

class FileIdentityTest : public RoutineWorld {
 protected:
  void SetUp() override {
    RoutineWorld::SetUp();
    LoggedIn();
    fire1_ = UserDatabase("Fire1.mdf", "");
  }
  std::string fire1_;
};

TEST_F(FileIdentityTest, EveryNameOfAFileIsThatFile) {
  fs::create_symlink(fire1_, root_ + "/out/link.mdf");
  fs::create_hard_link(fire1_, root_ + "/out/hard.mdf");
  const char* home = std::getenv("HOME");
  const std::string saved_home = home != nullptr ? home : "";
  ::setenv("HOME", (root_ + "/data").c_str(), 1);
  const fs::path saved_folder = fs::current_path();
  fs::current_path(root_ + "/out");
  for (const std::string& name : {root_ + "/data/./Fire1.mdf", root_ + "/out/../data/Fire1.mdf",
                                  std::string("../data/Fire1.mdf"), ExpandHome("~/Fire1.mdf"),
                                  root_ + "/out/link.mdf", std::string("hard.mdf")}) {
    EXPECT_TRUE(SameFilePath(name, fire1_)) << name;
  }
  // A file not made yet is named by its normalised path.
  EXPECT_TRUE(SameFilePath("New.mdf", root_ + "/out/./New.mdf"));
  EXPECT_FALSE(SameFilePath("New.mdf", root_ + "/out/new.mdf"));
  fs::current_path(saved_folder);
  ::setenv("HOME", saved_home.c_str(), 1);
  EXPECT_EQ(ExpandHome("~"), saved_home);
  EXPECT_EQ(ExpandHome("~other/x.mdf"), "~other/x.mdf");
  // Only a bare name goes to the default folder; any path is the user's own.
  EXPECT_EQ(InDefaultDatabaseFolder(" Merged.mdf "), saved_home + "/Orvane/Databases/Merged.mdf");
  for (const char* path : {"./Merged.mdf", "/data/Merged.mdf", "", "C:Merged.mdf"}) {
    EXPECT_EQ(InDefaultDatabaseFolder(path), path);
  }

  // Two files are two files, however alike their names.
  const std::string lower = UserDatabase("fire1.mdf", "");
  EXPECT_FALSE(SameFilePath(lower, fire1_));
  EXPECT_FALSE(SameFilePath(root_ + "/data/Gone.mdf", UpperCase(root_) + "/DATA/GONE.MDF"));
}

// Two files of one name in two folders are two databases for every routine: one path
// containing the other's text is no match (the check's version, the merge's detach, the
// split's list and the repair all find a database by its file in one way).
TEST_F(FileIdentityTest, AFileOfTheSameNameInAnotherFolderIsAnotherDatabase) {
  fs::create_directories(root_ + "/backup/data");
  const std::string backup = root_ + "/backup/data/Fire1.mdf";
  WriteFile(backup, "the backup");
  server_.databases = {{"Fire1", fire1_}, {"Fire1Backup", backup}};
  server_.processes = {{51, "Fire1"}};
  server_routines::AdminSession session(*context_);
  EXPECT_THAT(server_routines::DatabasesOfFile(session.connection(), backup),
              ElementsAre("Fire1Backup"));
  EXPECT_THAT(server_routines::DatabasesOfFile(session.connection(), fire1_), ElementsAre("Fire1"));
  EXPECT_THAT(
      server_routines::DatabasesOfFile(session.connection(), root_ + "/data/../data/Fire1.mdf"),
      ElementsAre("Fire1"));
  EXPECT_THAT(server_routines::DatabasesOfFile(session.connection(), root_ + "/else/Fire1.mdf"),
              IsEmpty());
  EXPECT_EQ(server_routines::FileOfDatabase(session.connection(), "fire1backup"), backup);
  session.Disconnect();
  EXPECT_EQ(server_routines::CheckOpenConnections(*context_, backup), "");
  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, backup), "Fire1Backup");
  EXPECT_NE(server_.Database("Fire1"), nullptr);
}

// On a file system that keeps letter case, choosing a.mdf never touches A.mdf; a file attached
// under another spelling is found through the file itself.
TEST_F(FileIdentityTest, TheRoutinesFindTheFileNotItsSpelling) {
  const std::string lower = UserDatabase("fire1.mdf", "");
  server_.databases = {{"Upper", fire1_}, {"Lower", lower}};
  server_.processes = {{51, "Upper"}, {52, "Lower"}};
  EXPECT_EQ(server_routines::CheckOpenConnections(*context_, lower), "Lower");
  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, lower), "Lower");
  EXPECT_THAT(server_.Calls("KillProcess"), ElementsAre("KillProcess 52"));
  EXPECT_NE(server_.Database("Upper"), nullptr);

  fs::create_symlink(fire1_, root_ + "/out/link.mdf");
  std::string name = "Again";
  EXPECT_TRUE(server_routines::AttachDatabaseFile(*context_, root_ + "/out/link.mdf", name));
  EXPECT_THAT(server_.Calls("AttachDatabase"), IsEmpty());
  EXPECT_EQ(server_routines::DetachDatabaseFile(*context_, root_ + "/out/link.mdf"), "Upper");
  EXPECT_THAT(Boxes(), IsEmpty());
}

TEST_F(FileIdentityTest, UnfinishedTransactionsBesideADatabase) {
  const std::string journal = fire1_ + "-journal", wal = fire1_ + "-wal";
  const struct {
    std::string journal_bytes, wal_bytes, file;
  } cases[] = {
      {"", "", ""},                                       // a finished transaction leaves nothing
      {std::string(512, '\0'), "", ""},                   // or a zeroed journal ("persist")
      {"\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", "", journal},  // a journal to roll back
      {"", "frames", wal},                                // committed changes not in the file yet
  };
  for (const auto& c : cases) {
    WriteFile(journal, c.journal_bytes);
    if (c.wal_bytes.empty()) fs::remove(wal);
    if (!c.wal_bytes.empty()) WriteFile(wal, c.wal_bytes);
    EXPECT_EQ(UnfinishedTransactionFile(fire1_), c.file) << c.file;
  }
  EXPECT_EQ(UnfinishedTransactionMessage("Database 2", fire1_),
            "Database 2 has an unfinished transaction (the file Fire1.mdf-wal beside it); open it "
            "in the suite first");
  fs::remove(wal);
  fs::remove(journal);
  EXPECT_EQ(UnfinishedTransactionMessage("Database 2", fire1_), "");
}

}  // namespace
}  // namespace msu::testing
