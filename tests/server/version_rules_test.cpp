// The version rules: the two readings of a version text, the thresholds, the choice of the
// instruction file, the merge version Database 2 needs, and reading both versions of a
// database from its version table through the server.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include <unistd.h>

#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "core/text.h"
#include "fake_backend.h"
#include "server/embedded/backend.h"
#include "server/embedded/instance.h"
#include "server/login.h"
#include "server/version_rules.h"

namespace msu {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

TEST(VersionReadings, NumericReadingStopsAtTheSecondDot) {
  EXPECT_DOUBLE_EQ(VersionNumber("3.20.99"), 3.2);
  EXPECT_DOUBLE_EQ(VersionNumber("4.13.00"), 4.13);
  EXPECT_DOUBLE_EQ(VersionNumber("5.01.00"), 5.01);
  EXPECT_DOUBLE_EQ(VersionNumber("4.2.0"), 4.2);
  EXPECT_DOUBLE_EQ(VersionNumber(" 4 .13"), 4.13);
  EXPECT_DOUBLE_EQ(VersionNumber(""), 0);
  EXPECT_DOUBLE_EQ(VersionNumber("unknown"), 0);
}

TEST(VersionReadings, PartReadingGivesSixteenBitParts) {
  using Parts = std::vector<int16_t>;
  EXPECT_EQ(VersionParts("5.01.00"), Parts({5, 1, 0}));
  EXPECT_EQ(VersionParts("5.1"), Parts({5, 1}));
  EXPECT_EQ(VersionParts(" 6 . 00 . 00 "), Parts({6, 0, 0}));
  EXPECT_EQ(VersionParts("32767.-32768"), Parts({32767, -32768}));
  EXPECT_EQ(VersionParts("5"), Parts({5}));
  for (const char* bad : {"", "5.x.0", "5.70000.0", "32768", "5..1", "5.", "5.1a", "5.1.0x"}) {
    EXPECT_FALSE(VersionParts(bad).has_value()) << bad;
  }
}

TEST(VersionThresholds, NumericRulesOnTheDatabaseVersion) {
  EXPECT_FALSE(IsMergeSupported("3.20.99"));
  EXPECT_TRUE(IsMergeSupported("3.21.00"));
  EXPECT_FALSE(IsMergeSupported(""));

  EXPECT_FALSE(UsesInstructions4x("4.12.00"));
  EXPECT_TRUE(UsesInstructions4x("4.13.00"));
  EXPECT_TRUE(UsesInstructions4x("4.2.0"));  // 4.2 is above 4.13
  EXPECT_TRUE(NeedsLegacyConversion("4.12.99"));
  EXPECT_FALSE(NeedsLegacyConversion("4.13.00"));

  EXPECT_FALSE(IsSplitSupported("4.09.00"));
  EXPECT_TRUE(IsSplitSupported("4.1"));
  EXPECT_TRUE(IsSplitSupported("4.10.00"));
  EXPECT_FALSE(IsSplitSupported("3.99"));
}

TEST(VersionThresholds, Database2NeedsMergeVersion5_00_06) {
  for (const char* old : {"5.00.05", "5.0", "4.99.99", "0.0.0", "-5.1.0", "5.-1.9"}) {
    EXPECT_TRUE(IsDbVerToOld(old)) << old;
  }
  for (const char* recent : {"5.00.06", "5.01.00", "6.00.00", "5.1", "5.00.06.01", "5.0.7"}) {
    EXPECT_FALSE(IsDbVerToOld(recent)) << recent;
  }
  // What cannot be compared is refused, a missing row (empty text) included.
  for (const char* unknown : {"", "5", "5.x.0", "5.70000.0", "version"}) {
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

TEST_F(ChooseTest, TheSourceVersionChoosesTheFile) {
  struct Case {
    const char* version;
    const char* file;
  };
  for (const Case& c : {Case{"3.21.00", "CVN_PRE4x.txt"}, Case{"4.12.00", "CVN_PRE4x.txt"},
                        Case{"4.13.00", "CVN_4x.txt"}, Case{"5.01.00", "CVN_4x.txt"},
                        Case{"4.2.0", "CVN_4x.txt"}}) {
    context_.versions.Database1Version = c.version;
    context_.versions.InstructionFileName.clear();
    EXPECT_TRUE(ChooseInstructionFile(context_)) << c.version;
    EXPECT_EQ(context_.versions.InstructionFileName, c.file) << c.version;
  }
  EXPECT_TRUE(progress_.Texts(LogPage::kCheck).empty());
}

TEST_F(ChooseTest, ASourceBefore3_21IsRefused) {
  for (const char* version : {"3.20.99", "", "2"}) {
    progress_.Clear(LogPage::kCheck);
    context_.versions.Database1Version = version;
    context_.versions.InstructionFileName = "unchanged";
    EXPECT_FALSE(ChooseInstructionFile(context_)) << version;
    EXPECT_EQ(context_.versions.InstructionFileName, "unchanged");
    EXPECT_EQ(progress_.Texts(LogPage::kCheck),
              (Lines{"The Source Database Version Is Prior To 3.21 and Not Supported."}));
  }
}

// Reading the versions on a real embedded instance: each database is a SQLite file with (or
// without) a version table.
class ReadVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = fs::temp_directory_path() /
              ("msu_versions_" + std::to_string(::getpid()) + "_" + std::to_string(seed()));
    fs::create_directories(folder_ / "app");
    fs::create_directories(folder_ / "data");
    std::ofstream(folder_ / "app" / "cvn.ini") << "[CVN]\r\n";
    instance_ = embedded::Instance::Create((folder_ / "servers").string(), "ORVANE", "secret");
    backend_ = std::make_unique<embedded::EmbeddedBackend>((folder_ / "servers").string());
    context_ = std::make_unique<Context>((folder_ / "app").string(), progress_, prompt_, *backend_);
    context_->server = {"ORVANE", DeriveServerPassword("secret")};
    Database("Other", "INSERT INTO version VALUES('database', '5.01.00');");
    fire_ = Database("Fire",
                     "INSERT INTO version VALUES('Database', '4.12.00');"
                     "INSERT INTO version VALUES('Help', '9.9');"
                     "INSERT INTO version VALUES('MergeVersion', '5.01.00');"
                     "INSERT INTO version VALUES('DATABASE', '4.13.00');");
  }
  void TearDown() override {
    instance_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // A database file attached as `name`; `rows` fill its version table, nullopt leaves it out.
  std::string Database(const std::string& name, std::optional<std::string> rows) {
    const std::string path = (folder_ / "data" / (name + ".mdf")).string();
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
  // No session of the instance is left behind by a reading.
  void ExpectNoSessions() { EXPECT_TRUE(instance_->Sessions().empty()); }

  fs::path folder_;
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
  std::string path = UpperCase(fire_);  // compared without regard to case
  ASSERT_TRUE(Read(path)) << ::testing::PrintToString(Log());
  EXPECT_EQ(database_, "4.13.00");  // the later DATABASE row wins
  EXPECT_EQ(merge_, "5.01.00");
  EXPECT_TRUE(Log().empty());
  ExpectNoSessions();
}

TEST_F(ReadVersionTest, AMissingRowLeavesItsTextAsItWas) {
  EXPECT_TRUE(Read((folder_ / "data" / "Other.mdf").string()));
  EXPECT_EQ(database_, "5.01.00");
  EXPECT_EQ(merge_, "before");
  const std::string empty = Database("Empty", "");
  EXPECT_TRUE(Read(empty));
  EXPECT_EQ(database_, "5.01.00");
}

TEST_F(ReadVersionTest, AMissingVersionTableOrANullVersionIsAnError) {
  const std::string bare = Database("Bare", std::nullopt);
  EXPECT_FALSE(Read(bare));
  const std::string null = Database("Null", "INSERT INTO version VALUES('MERGEVERSION', NULL);");
  EXPECT_FALSE(Read(null));
  const Lines log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("Error Occured: " + std::to_string(data::kErrStatement) + " - ", 0), 0u)
      << log[0];
  EXPECT_NE(log[0].find("version"), std::string::npos) << log[0];
  EXPECT_EQ(log[1],
            "Error Occured: 94 - Invalid use of Null: the MERGEVERSION version of Null "
            "is NULL");
  EXPECT_EQ(database_, "before");
  ExpectNoSessions();
}

TEST_F(ReadVersionTest, AFileNoDatabaseUsesIsAnError) {
  EXPECT_FALSE(Read("/elsewhere/Fire.mdf"));
  EXPECT_EQ(Log(), (Lines{"Error Occured: -2147199229 - No database on the server ORVANE uses "
                          "the file /elsewhere/Fire.mdf"}));
}

TEST_F(ReadVersionTest, ServerAndSettingsFailuresAreReported) {
  context_->server.ServerPassword = "wrong";
  EXPECT_FALSE(Read(fire_));
  context_->server.ServerPassword = DeriveServerPassword("secret");
  fs::remove(folder_ / "app" / "cvn.ini");
  EXPECT_FALSE(Read(fire_));
  const Lines log = Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("Error Occured: " + std::to_string(data::kErrLoginFailed) + " - ", 0), 0u)
      << log[0];
  EXPECT_EQ(log[1].rfind("Error Occured: " + std::to_string(data::kErrConnection) + " - ", 0), 0u)
      << log[1];
  EXPECT_EQ(database_, "before");
  ExpectNoSessions();
}

}  // namespace
}  // namespace msu
