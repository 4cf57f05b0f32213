// The version rules: the two readings of a version text, the thresholds, the choice of the
// instruction file, the merge version Database 2 needs, and reading both versions of a
// database from its version table through the server.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>

#include "core/context.h"
#include "core/text.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "merge/version_rules.h"
#include "server/login.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu {
namespace {

using Lines = std::vector<std::string>;

// The thresholds read a version as a number that stops at the second dot, blanks ignored.
TEST(VersionThresholds, NumericRulesOnTheDatabaseVersion) {
  EXPECT_FALSE(IsMergeSupported("3.20.99"));
  EXPECT_TRUE(IsMergeSupported("3.21.00"));
  EXPECT_FALSE(IsMergeSupported(""));
  EXPECT_FALSE(IsMergeSupported("unknown"));

  EXPECT_FALSE(UsesInstructions4x("4.12.00"));
  EXPECT_TRUE(UsesInstructions4x("4.13.00"));
  EXPECT_TRUE(UsesInstructions4x(" 4 .13"));
  EXPECT_TRUE(UsesInstructions4x("4.2.0"));  // 4.2 is above 4.13
  EXPECT_FALSE(UsesInstructions4x("4.1.3"));
  EXPECT_TRUE(NeedsLegacyConversion("4.12.99"));
  EXPECT_FALSE(NeedsLegacyConversion("4.13.00"));

  EXPECT_FALSE(IsSplitSupported("4.09.00"));
  EXPECT_TRUE(IsSplitSupported("4.1"));
  EXPECT_TRUE(IsSplitSupported("4.10.00"));
  EXPECT_FALSE(IsSplitSupported("3.99"));
}

// The merge version is compared part by part, each a 16-bit number.
TEST(VersionThresholds, Database2NeedsMergeVersion5_00_06) {
  for (const char* old : {"5.00.05", "5.0", "4.99.99", "0.0.0", "-5.1.0", "5.-1.9"}) {
    EXPECT_TRUE(IsDbVerToOld(old)) << old;
  }
  for (const char* recent : {"5.00.06", "5.01.00", "6.00.00", "5.1", "5.00.06.01", "5.0.7",
                             " 6 . 00 . 00 ", "32767.-32768"}) {
    EXPECT_FALSE(IsDbVerToOld(recent)) << recent;
  }
  // What cannot be compared is refused, a missing row (empty text) included.
  for (const char* unknown :
       {"", "5", "version", "5.x.0", "5.70000.0", "65542.1", "5..7", "6.", "5.1a", "5.1.0x"}) {
    EXPECT_TRUE(IsDbVerToOld(unknown)) << unknown;
  }
}

class ChooseTest : public ::testing::Test {
 protected:
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  Context context_{"/app", progress_, prompt_, backend_};
};

// The source version chooses the file; a source before 3.21 is refused and keeps the name.
TEST_F(ChooseTest, TheSourceVersionChoosesTheFileOrIsRefused) {
  const std::pair<const char*, const char*> cases[] = {{"3.21.00", "CVN_PRE4x.txt"},
                                                       {"4.12.00", "CVN_PRE4x.txt"},
                                                       {"4.13.00", "CVN_4x.txt"},
                                                       {"5.01.00", "CVN_4x.txt"},
                                                       {"4.2.0", "CVN_4x.txt"},
                                                       {"3.20.99", nullptr},
                                                       {"", nullptr},
                                                       {"2", nullptr}};
  for (const auto& [version, file] : cases) {
    SCOPED_TRACE(version);
    progress_.Clear(LogPage::kCheck);
    context_.versions.Database1Version = version;
    context_.versions.InstructionFileName = "unchanged";
    EXPECT_EQ(ChooseInstructionFile(context_), file != nullptr);
    EXPECT_EQ(context_.versions.InstructionFileName, file ? file : "unchanged");
    EXPECT_EQ(
        progress_.Texts(LogPage::kCheck),
        file ? Lines{} : Lines{"The Source Database Version Is Prior To 3.21 and Not Supported."});
  }
}

// Reading the versions on a real embedded instance: each database is a SQLite file with (or
// without) a version table.
class ReadVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_ / "app");
    testing::WriteFile(folder_ / "app/cvn.ini", "[CVN]\r\n");
    instance_ = embedded::Instance::Create(folder_ / "servers", "ORVANE", "secret");
    backend_ = std::make_unique<embedded::EmbeddedBackend>(folder_ / "servers");
    context_ = std::make_unique<Context>(folder_ / "app", progress_, prompt_, *backend_);
    context_->server = {"ORVANE", DeriveServerPassword("secret")};
    Database("Other", "INSERT INTO version VALUES('database', '5.01.00');");
    fire_ = Database("Fire",
                     "INSERT INTO version VALUES('Database', '4.12.00');"
                     "INSERT INTO version VALUES('Help', '9.9');"
                     "INSERT INTO version VALUES('MergeVersion', '5.01.00');"
                     "INSERT INTO version VALUES('DATABASE', '4.13.00');");
  }
  // A database file attached as `name`; `rows` fill its version table, nullopt leaves it out.
  std::string Database(const std::string& name, std::optional<std::string> rows) {
    const std::string path = folder_ / (name + ".mdf");
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    std::string sql = "CREATE TABLE Incidents(IncidentID INTEGER PRIMARY KEY);";
    if (rows) sql += "CREATE TABLE version(module TEXT, version TEXT);" + *rows;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    instance_->Attach(name, path);
    return path;
  }
  bool Read(const std::string& path) {
    return ReadDatabaseVersion(*context_, path, &database_, &merge_);
  }
  Lines Log() const { return progress_.Texts(LogPage::kCheck); }
  testing::ScratchFolder folder_;
  std::unique_ptr<embedded::Instance> instance_;
  std::unique_ptr<embedded::EmbeddedBackend> backend_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  std::unique_ptr<Context> context_;
  std::string fire_;
  std::string database_ = "before";
  std::string merge_ = "before";
};

TEST_F(ReadVersionTest, ReadsBothVersionsOfTheDatabaseOfThatFile) {
  // A missing row leaves its text as it was.
  EXPECT_TRUE(Read(folder_ / "Other.mdf"));
  EXPECT_EQ(database_, "5.01.00");
  EXPECT_EQ(merge_, "before");
  EXPECT_TRUE(Read(Database("Empty", "")));
  EXPECT_EQ(database_, "5.01.00");
  ASSERT_TRUE(Read(UpperCase(fire_))) << ::testing::PrintToString(Log());  // any letter case
  EXPECT_EQ(database_, "4.13.00");  // the later DATABASE row wins
  EXPECT_EQ(merge_, "5.01.00");
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(instance_->Sessions().empty());
}

TEST_F(ReadVersionTest, EveryFailureIsOneErrorLineAndChangesNothing) {
  EXPECT_FALSE(Read(Database("Bare", std::nullopt)));
  EXPECT_FALSE(Read(Database("Null", "INSERT INTO version VALUES('MERGEVERSION', NULL);")));
  EXPECT_FALSE(Read("/elsewhere/Fire.mdf"));
  context_->server.ServerPassword = "wrong";
  EXPECT_FALSE(Read(fire_));
  context_->server.ServerPassword = DeriveServerPassword("secret");
  std::filesystem::remove(folder_ / "app/cvn.ini");
  EXPECT_FALSE(Read(fire_));
  const Lines log = Log();
  ASSERT_EQ(log.size(), 5u);
  auto numbered = [](const std::string& line, long number) {
    return line.rfind("Error Occured: " + std::to_string(number) + " - ", 0) == 0;
  };
  EXPECT_TRUE(numbered(log[0], data::kErrStatement) && log[0].find("version") != std::string::npos)
      << log[0];
  EXPECT_EQ(log[1],
            "Error Occured: 94 - Invalid use of Null: the MERGEVERSION version of Null is NULL");
  EXPECT_EQ(log[2],
            "Error Occured: -2147199229 - No database on the server ORVANE uses the file "
            "/elsewhere/Fire.mdf");
  EXPECT_TRUE(numbered(log[3], data::kErrLoginFailed)) << log[3];
  EXPECT_TRUE(numbered(log[4], data::kErrConnection)) << log[4];
  EXPECT_EQ(database_, "before");
  EXPECT_EQ(merge_, "before");
  EXPECT_TRUE(instance_->Sessions().empty());
}

}  // namespace
}  // namespace msu
