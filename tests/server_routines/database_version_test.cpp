// Reading both versions of a database from its version table through the server.
#include "server_routines/database_version.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/context.h"
#include "core/server_password.h"
#include "core/text.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu {
namespace {

using Lines = std::vector<std::string>;

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
    std::string sql = "CREATE TABLE Incidents(IncidentID INTEGER PRIMARY KEY);";
    if (rows) sql += "CREATE TABLE version(module TEXT, version TEXT);" + *rows;
    testing::ExecFile(path, sql);
    instance_->Attach(name, path);
    return path;
  }
  bool Read(const std::string& path) {
    return server_routines::ReadDatabaseVersion(*context_, path, &database_, &merge_);
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
  ASSERT_TRUE(Read(fire_)) << ::testing::PrintToString(Log());
  EXPECT_EQ(database_, "4.13.00");  // the later DATABASE row wins
  EXPECT_EQ(merge_, "5.01.00");
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(instance_->Sessions().empty());
}

TEST_F(ReadVersionTest, EveryFailureIsOneErrorLineAndChangesNothing) {
  EXPECT_FALSE(Read(Database("Bare", std::nullopt)));
  EXPECT_FALSE(Read(Database("Null", "INSERT INTO version VALUES('MERGEVERSION', NULL);")));
  EXPECT_FALSE(Read("/elsewhere/Fire.mdf"));
  // A path in other letters is another file, which no database uses.
  EXPECT_FALSE(Read(UpperCase(fire_)));
  context_->server.ServerPassword = "wrong";
  EXPECT_FALSE(Read(fire_));
  context_->server.ServerPassword = DeriveServerPassword("secret");
  std::filesystem::remove(folder_ / "app/cvn.ini");
  EXPECT_FALSE(Read(fire_));
  const Lines log = Log();
  ASSERT_EQ(log.size(), 6u);
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
  EXPECT_EQ(log[3], "Error Occured: -2147199229 - No database on the server ORVANE uses the file " +
                        UpperCase(fire_));
  EXPECT_TRUE(numbered(log[4], data::kErrLoginFailed)) << log[4];
  EXPECT_TRUE(numbered(log[5], data::kErrConnection)) << log[5];
  EXPECT_EQ(database_, "before");
  EXPECT_EQ(merge_, "before");
  EXPECT_TRUE(instance_->Sessions().empty());
}

}  // namespace
}  // namespace msu
