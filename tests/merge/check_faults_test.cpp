// The check of a generated pair when things go wrong on the way: a disk that fills up during
// the working copies, the server stopped in the middle, a database with an unfinished
// transaction beside it, and the user asking for a stop. Whatever happens the user's files stay
// as they were and their databases end up attached under their own names, with a line that
// says what happened.
#include <sqlite3.h>
#include <unistd.h>

#include "core/server_password.h"
#include "data/sqlite/sqlite_handles.h"
#include "merge/merge_sequence.h"
#include "page_rules/login_check.h"
#include "server_routines/database_version.h"
#include "suite/sample_generator.h"
#include "tests/merge/merge_world.h"
#include "tests/support/hooked_progress.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Leaves the database file at `path` as a process that died in the middle of a transaction
// leaves it: some of the transaction's pages written into the file, the pages they replaced in
// "<path>-journal", which SQLite rolls back into the file when it next opens it for writing.
void LeaveUnfinishedTransaction(const std::string& path) {
  const std::string writing = path + ".writing";
  fs::copy_file(path, writing);
  sqlite::Database db(writing, SQLITE_OPEN_READWRITE);
  db.Exec(
      "PRAGMA journal_mode=DELETE; PRAGMA cache_size=8; BEGIN;"
      "UPDATE Persons SET LastName = 'Changed'; CREATE TABLE Spill(b);"
      "INSERT INTO Spill SELECT randomblob(4000) FROM Persons;");
  fs::copy_file(writing, path, fs::copy_options::overwrite_existing);
  fs::copy_file(writing + "-journal", path + "-journal");
  db.Close();  // the scratch copy is rolled back; the files at `path` stay mid-transaction
  fs::remove(writing);
}

class CheckFaultsTest : public MergeWorld {
 protected:
  void SetUp() override {
    MergeWorld::SetUp();
    context_ = std::make_unique<Context>(root_ + "/app", hooked_, prompt_, *faulty_);
    context_->server = {"ORVANE", DeriveServerPassword("secret")};
    suite::SampleOptions options;
    options.out_dir = root_ + "/data";
    options.rows = 150;
    suite::GenerateSampleSet(options);
    fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt",
                  AppFile("CVN_4x.txt"));
    instance_->Attach("Fire1", fire1_);
    instance_->Attach("Fire2", fire2_);
    bytes_ = {ReadFile(fire1_), ReadFile(fire2_)};
  }
  void TearDown() override {
    engine_.reset();
    EXPECT_TRUE(ReadFile(fire1_) == bytes_[0]) << "Database 1 was written";
    EXPECT_TRUE(ReadFile(fire2_) == bytes_[1]) << "Database 2 was written";
    MergeWorld::TearDown();
  }

  merge::CheckOutcome RunCheck() {
    // As the front ends run it before a merge: the re-merge guard counts beside the check.
    return merge::RunCheckSequence(*context_, {fire1_, fire2_, root_ + "/out/Merged.mdf"}, engine_,
                                   nullptr, {.count_remerge = true});
  }
  // Calls `action` once, after the first line that starts with `prefix`.
  void AfterLine(const std::string& prefix, std::function<void()> action) {
    hooked_.after_line = [prefix, action, done = false](LogPage, const std::string& line) mutable {
      if (!done && line.rfind(prefix, 0) == 0) {
        done = true;
        action();
      }
    };
  }
  Lines Attached() const {
    Lines names;
    for (const auto& database : instance_->Databases()) names.push_back(database.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string AttachedAgain(const std::string& name, const std::string& file) const {
    return "Attached the database " + name + " again under its own name, from " + file +
           " (detached by process " + std::to_string(::getpid()) +
           ", which stopped before attaching it again).";
  }
  std::string NotAttached(const std::string& name, const std::string& file) const {
    return "Error, the database " + name + " could not be attached again from " + file +
           ": The server ORVANE is stopped. (error -2147221504). It is attached again at the "
           "next start of the wizard, msu or msu-server.";
  }
  Lines LastLines(size_t count) const {
    const Lines log = Log();
    return Lines(log.end() - static_cast<long>(std::min(count, log.size())), log.end());
  }

  HookedProgress hooked_{progress_};
  const std::string fire1_ = DataFile("Fire1.mdf"), fire2_ = DataFile("Fire2.mdf");
  std::vector<std::string> bytes_;
  std::unique_ptr<merge::Merge> engine_;
};

TEST_F(CheckFaultsTest, ADiskThatFillsUpDuringTheCopiesEndsWithTheDatabasesAttached) {
  for (int whole_copies : {0, 1}) {
    FullDiskCopier full_disk(whole_copies, 65536);
    context_->SetCopier(full_disk);
    progress_.Clear(LogPage::kCheck);
    EXPECT_EQ(RunCheck().stage, merge::CheckStage::kWorkingCopies);
    const std::string which = whole_copies == 0 ? "1" : "2";
    const std::string from = whole_copies == 0 ? fire1_ : fire2_;
    const std::string to = AppFile(whole_copies == 0 ? "W_O_R_K_A.tmp" : "W_O_R_K_B.tmp");
    EXPECT_THAT(LastLines(3),
                ElementsAre("Error, Creating working copy of Database " + which +
                                ": The disk is full: no space is left in the folder " + root_ +
                                "/app" + " (copying \"" + from + "\" to \"" + to + "\").",
                            AttachedAgain("Fire1", fire1_), AttachedAgain("Fire2", fire2_)));
    EXPECT_THAT(Attached(), ElementsAre("Fire1", "Fire2"));
    EXPECT_THAT(instance_->PendingAttachments(), IsEmpty());
  }
}

TEST_F(CheckFaultsTest, AServerStoppedDuringTheRunGetsTheDatabasesBackAtTheNextLogin) {
  AfterLine("Created a working copy of Database 1", [this] { instance_->Stop(); });
  EXPECT_EQ(RunCheck().stage, merge::CheckStage::kWorkingCopies);
  EXPECT_THAT(LastLines(3),
              ElementsAre("Error Occured: The server ORVANE is stopped.",
                          NotAttached("Fire1", fire1_), NotAttached("Fire2", fire2_)));
  EXPECT_EQ(instance_->PendingAttachments().size(), 2u);

  instance_->Start();
  const LoginResult login = CheckLogin(*context_, "ORVANE", "secret", kMoveNext);
  ASSERT_TRUE(login.ok) << login.message;
  EXPECT_EQ(login.note, AttachedAgain("Fire1", fire1_) + "\n" + AttachedAgain("Fire2", fire2_));
  EXPECT_THAT(Attached(), ElementsAre("Fire1", "Fire2"));
  EXPECT_THAT(instance_->PendingAttachments(), IsEmpty());
}

TEST_F(CheckFaultsTest, AnUnfinishedTransactionIsRefusedAndNothingIsRolledBack) {
  LeaveUnfinishedTransaction(fire1_);
  WriteFile(fire2_ + "-wal", "frames of committed transactions");
  bytes_ = {ReadFile(fire1_), ReadFile(fire2_)};
  const std::string journal = ReadFile(fire1_ + "-journal");
  // The journal is a live one: SQLite, opening a copy for writing, rolls it back.
  fs::copy_file(fire1_, DataFile("Probe.mdf"));
  fs::copy_file(fire1_ + "-journal", DataFile("Probe.mdf-journal"));
  sqlite::Database(DataFile("Probe.mdf"), SQLITE_OPEN_READWRITE).Exec("SELECT 1 FROM Persons");
  ASSERT_FALSE(ReadFile(DataFile("Probe.mdf")) == bytes_[0]);

  EXPECT_EQ(RunCheck().stage, merge::CheckStage::kVersions);
  EXPECT_THAT(Log(), ElementsAre("Database 1 has an unfinished transaction (the file "
                                 "Fire1.mdf-journal beside it); open it in the suite first"));
  // Even asked directly, the version is read without writing: the file is refused instead.
  std::string version, merge_version;
  EXPECT_FALSE(server_routines::ReadDatabaseVersion(*context_, fire1_, &version, &merge_version));
  EXPECT_EQ(Log().back().rfind("Error Occured: ", 0), 0u) << Log().back();
  EXPECT_TRUE(ReadFile(fire1_ + "-journal") == journal);

  fs::remove(fire1_ + "-journal");
  fs::copy_file(DataFile("Probe.mdf"), fire1_, fs::copy_options::overwrite_existing);
  bytes_[0] = ReadFile(fire1_);
  progress_.Clear(LogPage::kCheck);
  EXPECT_EQ(RunCheck().stage, merge::CheckStage::kVersions);
  EXPECT_THAT(Log(), ElementsAre("Database 2 has an unfinished transaction (the file "
                                 "Fire2.mdf-wal beside it); open it in the suite first"));
}

// The user closed the wizard, or moved away, while the check ran: it stops at its next step
// with the databases attached (the front end cleans up once it has returned).
TEST_F(CheckFaultsTest, AStopRequestEndsTheCheckWhereTheDatabasesAreAttached) {
  const struct {
    std::string line;
    merge::CheckStage stage;
    std::string last;
  } cases[] = {
      {"Created a working copy of Database 1", merge::CheckStage::kStopped,
       "Stopped at the user's request."},
      {"Consistency Check", merge::CheckStage::kInitialize,
       "Error, 18 - Stopped at the user's request."},
  };
  for (const auto& c : cases) {
    AfterLine(c.line, [this] { context_->RequestStop(); });
    progress_.Clear(LogPage::kCheck);
    EXPECT_EQ(RunCheck().stage, c.stage) << c.line;
    EXPECT_EQ(Log().back(), c.last);
    EXPECT_THAT(Attached(), ElementsAre("Fire1", "Fire2", "W_O_R_K_A", "W_O_R_K_B"));
    context_->ClearStopRequest();
  }
}

// A stop asked while a statement runs (a click that arrives in the window's heartbeat)
// interrupts that statement: the step fails as after any error, and the check ends with the
// databases attached.
TEST_F(CheckFaultsTest, AStopDuringAStatementInterruptsIt) {
  int beats = 0;
  hooked_.after_keep_alive = [&] {
    ++beats;
    context_->RequestStop();
  };
  EXPECT_EQ(RunCheck().stage, merge::CheckStage::kInitialize);
  EXPECT_GT(beats, 0);
  EXPECT_EQ(Log().back(), "Error, 18 - Stopped at the user's request.");
  EXPECT_THAT(Attached(), ElementsAre("Fire1", "Fire2", "W_O_R_K_A", "W_O_R_K_B"));
}

}  // namespace
}  // namespace msu::testing
