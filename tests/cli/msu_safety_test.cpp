// msu under faults: a database it did not make under a working name, a leftover of a killed
// run, a stale journal, a full disk, an interrupt, and paths that could not be used at the end.
// Each run must leave the user's files as they were, nothing under the new database's name
// unless the run finished, and nothing of its own on the server.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/cli/msu_world.h"

namespace msu::cli {
namespace {

using namespace msu::cli::testing;

class MsuSafetyTest : public MsuWorld {
 protected:
  std::vector<std::string> MergeArgs(const std::string& target,
                                     const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args = Args(fire1, fire2, target);
    args[0] = "merge";
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  std::vector<std::string> SplitArgs(const std::string& source, const std::string& target) const {
    return {"split", "--server", "ORVANE", "--db",   source,      "--new",
            target,  "--keep",   "2,4",    "--root", root.path(), "--password-file",
            warden};
  }
  // Nothing of a run is left on the server: the users' databases under their own names, no
  // working database.
  void ExpectServerAsBefore(const std::vector<std::string>& users) {
    std::vector<std::string> names = Attached();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, users);
    for (const auto& entry : instance->PendingAttachments()) {
      ADD_FAILURE() << "left in the record: " << entry.name;
    }
  }
  std::vector<std::string> FilesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// A database attached under a working name that this run did not make is never written: the
// split and the merge refuse before anything changes, naming its file.
TEST_F(MsuSafetyTest, ADatabaseUnderAWorkingNameIsRefusedAndLeftAlone) {
  MakePair();
  const std::string program = CopyProgram();
  const std::string split1 = pair + "/Split1.mdf";
  const std::string users = data / "Users.mdf";
  fs::copy_file(split1, users);
  instance->Attach("Split1", split1);
  instance->Attach("W_O_R_K_A", users);
  const std::string users_bytes = ReadFile(users);
  const std::string refusal =
      "The server ORVANE has a database named W_O_R_K_A already, from the "
      "file " +
      users + ", that this run did not make; nothing was changed.";

  const std::string result = data / "Result.mdf";
  const Outcome split = Run(SplitArgs(split1, result), program);
  EXPECT_EQ(split.status, 5) << split.out << split.err;
  EXPECT_EQ(split.err.rfind(refusal, 0), 0u) << split.err;
  EXPECT_FALSE(fs::exists(result));

  const Outcome merge = Run(MergeArgs(merged), program);
  EXPECT_EQ(merge.status, 5) << merge.out << merge.err;
  EXPECT_EQ(merge.err.rfind(refusal, 0), 0u) << merge.err;
  EXPECT_FALSE(fs::exists(merged));

  EXPECT_TRUE(ReadFile(users) == users_bytes) << "a user's file was written";
  ExpectServerAsBefore({"Fire1", "Fire2", "Split1", "W_O_R_K_A"});
  EXPECT_EQ(instance->DatabaseFile("W_O_R_K_A"), users);
}

// A working database that a killed run (of any application folder) left attached is recorded;
// the next run detaches it, says so, and goes on. A journal that a killed run left beside a
// working file goes with the file, so the new working copy is whole.
TEST_F(MsuSafetyTest, WhatAKilledRunLeftIsSetRightByTheNext) {
  MakePair();
  const std::string program = CopyProgram();
  ScratchFolder other_app;
  const std::string other_copy = other_app / "W_O_R_K_B.tmp";
  fs::copy_file(fire2, other_copy);
  const long ended = msu::testing::EndedProcess();
  data::PendingAttachment leftover{"W_O_R_K_B",           other_copy, ended, "msu",
                                   "2026-12-01 10:00:00", true};
  instance->RecordPendingAttachment(leftover);
  instance->Attach("W_O_R_K_B", other_copy);

  // A journal of another database, left hot beside the working file of this folder.
  const std::string stale = data / "stale.mdf";
  fs::copy_file(fire1, stale);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(stale.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; BEGIN; DELETE FROM Persons; DELETE FROM Quals;",
                 nullptr, nullptr, nullptr);
    fs::copy_file(stale + "-journal", app / "W_O_R_K_A.tmp-journal");
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  WriteFile(app / "W_O_R_K_A.tmp", "an old working copy");

  const Outcome run = Run(MergeArgs(merged), program);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Lines().front(), "Detached the working database W_O_R_K_B (" + other_copy +
                                     ") that process " + std::to_string(ended) +
                                     " left attached when it stopped.");
  EXPECT_TRUE(run.Has("Verification passed: ", true)) << run.out;
  EXPECT_EQ(msu::testing::QueryFile(merged, "PRAGMA integrity_check"),
            std::vector<std::string>{"ok"});
  ExpectServerAsBefore({"Fire1", "Fire2", "Merged"});
  EXPECT_FALSE(fs::exists(app / "W_O_R_K_A.tmp-journal"));
}

// Paths the run needs at its end are checked before it starts: nothing is copied or detached.
TEST_F(MsuSafetyTest, ATargetThatCouldNotBeUsedIsRefusedBeforeTheRun) {
  MakePair();
  const std::string program = CopyProgram();
  Expect(4,
         "Error, the folder of the Resulting Database does not exist: " + data.path() + "/none\n",
         MergeArgs(data / "none/Merged.mdf"), program);
  const std::string locked = data / "locked";
  fs::create_directory(locked);
  instance->Attach("Taken", pair + "/Split1.mdf");
  Expect(4,
         "Error, the server has a database named Taken already, from the file " + pair +
             "/Split1.mdf; give the Resulting Database another file name\n",
         MergeArgs(locked + "/Taken.mdf"), program);
  Expect(4,
         "Error, the server cannot take a;b as a database name: it must be 1 to 123 characters "
         "without leading or trailing blanks, control characters, '/', '\\', ';' or '='\n",
         MergeArgs(locked + "/a;b.mdf"), program);
  ExpectServerAsBefore({"Fire1", "Fire2", "Taken"});
  EXPECT_EQ(FilesIn(locked), std::vector<std::string>{});
}

// A full disk stops the merge at once with a line naming the full folder: nothing is placed,
// the users' databases are attached, no working database is left.
TEST_F(MsuSafetyTest, AFullDiskStopsTheMergeAndPlacesNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small disk needs root";
  MakePair(nullptr, 6000);
  ScratchFolder small;
  // The program itself lives there too: its folder is the application folder.
  // The working copies fit, with little to spare: the journals and B's growth do not.
  const uintmax_t copies_kb = (fs::file_size(fire1) + fs::file_size(fire2)) / 1024;
  const uintmax_t program_kb = fs::file_size(MSU_PROGRAM) / 1024 + 64;
  const uintmax_t half_a_kb = fs::file_size(fire1) / 2048;
  const std::string size = "size=" + std::to_string(program_kb + copies_kb + half_a_kb) + "k";
  if (::mount("tmpfs", small.path().c_str(), "tmpfs", 0, size.c_str()) != 0) {
    GTEST_SKIP() << "this machine lets no test mount a disk";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{small.path()};
  const fs::path stage = fs::path(MSU_PROGRAM).parent_path();
  for (const char* file : {"cvn.ini", "CVN_4x.txt", "CVN_PRE4x.txt"}) {
    fs::copy_file(stage / file, small / file);
  }
  fs::copy_file(MSU_PROGRAM, small / "msu");
  const Outcome run = Run(MergeArgs(merged), small / "msu");
  EXPECT_EQ(run.status, 12) << run.out << run.err;
  EXPECT_TRUE(run.Has(
      "Error is 61 - The disk is full: no space is left in the folder " + small.path(), true))
      << run.out;
  EXPECT_FALSE(run.Has("Verification passed: ", true));
  // The first full write ends the merge: no later table is tried, and no incomplete copy is
  // kept on the disk that has no room for it.
  const std::vector<std::string> lines = run.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.rfind("Error is ", 0) == 0; }),
            1)
      << run.out;
  EXPECT_FALSE(run.Has("The merge is incomplete: ", true)) << run.out;
  EXPECT_FALSE(fs::exists(merged));
  ExpectServerAsBefore({"Fire1", "Fire2"});
  EXPECT_EQ(Leftovers(small.path()), std::vector<std::string>{});
}

// Ctrl-C is the command line's Cancel: the merge stops at its next step, cleans up, places
// nothing, and ends with status 11.
TEST_F(MsuSafetyTest, AnInterruptStopsTheMergeAtItsNextStep) {
  MakePair(nullptr, 40000);
  const std::string program = CopyProgram();
  std::vector<std::string> args = MergeArgs(merged, {"--details"});
  Program run(program, args, logs / "interrupted.txt");
  ASSERT_TRUE(WaitUntil([&] {
    return ReadFile(logs / "interrupted.txt")
               .find("Creating unique primary keys for source database") != std::string::npos;
  })) << ReadFile(logs / "interrupted.txt");
  const auto sent = std::chrono::steady_clock::now();
  ::kill(run.pid(), SIGINT);
  EXPECT_EQ(run.Wait(), 11) << ReadFile(logs / "interrupted.txt");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  const std::string output = ReadFile(logs / "interrupted.txt");
  EXPECT_NE(output.find("Error is 18 - Stopped at the user's request."), std::string::npos)
      << output;
  EXPECT_NE(output.find("msu: interrupted; the merge stopped at its next step and was cleaned up"),
            std::string::npos)
      << output;
  RecordProperty("seconds_to_stop", std::to_string(seconds));
  EXPECT_FALSE(fs::exists(merged));
  ExpectServerAsBefore({"Fire1", "Fire2"});
}

}  // namespace
}  // namespace msu::cli
