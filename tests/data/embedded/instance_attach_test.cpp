// Attaching and detaching databases: what is refused, what a refusal leaves behind (nothing),
// and what the administration routines read back (names in attach order, the data file's
// path in row 1, column 9).
#include <gtest/gtest.h>

#include <filesystem>

#include "core/text.h"
#include "data/admin.h"
#include "data/embedded/backend.h"
#include "tests/data/embedded/instance_test_support.h"

namespace msu::embedded {
namespace {

using namespace testing;

class AttachTest : public ::testing::Test {
 protected:
  AttachTest() : backend(root.path()) {
    Instance::Create(root.path(), "ORVANE", kWardenPassword);
    std::filesystem::create_directory(data.path() + "/db");
    MakeDatabaseFile(data / "db/Alpha.mdf");
    MakeDatabaseFile(data / "db/Beta.mdf");
    admin = backend.Connect("ORVANE", "VESTRA", kServerPassword);
  }

  // The description of the AdminError the call throws; checks that it is a refusal.
  template <typename Work>
  std::string Refusal(Work work) {
    const auto [number, description] = Thrown<data::AdminError>(work);
    EXPECT_EQ(number, data::kErrAdminOperation) << description;
    return description;
  }
  std::string RefusedAttach(const std::string& name, const std::string& file) {
    return Refusal([&] { admin->AttachDatabase(name, data / file); });
  }

  ScratchFolder root, data;
  EmbeddedBackend backend;
  std::unique_ptr<data::AdminConnection> admin;
};

TEST_F(AttachTest, AttachedDatabasesAreListedInAttachOrderWithTheirFiles) {
  admin->AttachDatabase("Beta", data / "db/Beta.mdf");
  admin->AttachDatabase("Alpha", data / "db/Alpha.mdf");
  EXPECT_EQ(admin->ListDatabases(), (std::vector<std::string>{"Beta", "Alpha"}));

  const data::ResultTable files = admin->ListDatabaseFiles("alpha");
  ASSERT_GE(files.Columns(), 9);
  EXPECT_EQ(Trim(files.GetColumnString(1, 9)), data / "db/Alpha.mdf");
  EXPECT_EQ(Trim(files.GetColumnString(2, 9)), data / "db/Alpha_log.LDF");
  // The log file is supplied by the server, as a real server would.
  EXPECT_TRUE(std::filesystem::is_regular_file(data / "db/Alpha_log.LDF"));
  Refusal([&] { admin->ListDatabaseFiles("Gamma"); });

  // Another process (here: another instance object) sees the same catalog.
  EXPECT_EQ(Instance::Open(root.path(), "ORVANE")->DatabaseFile("BETA"), data / "db/Beta.mdf");
  EXPECT_EQ(Instance::Open(root.path(), "ORVANE")->DatabaseFile("Gamma"), std::nullopt);
}

TEST_F(AttachTest, ARelativePathIsStoredAbsoluteAndAnExistingLogFileIsKept) {
  WriteFile(data / "db/Alpha_log.LDF", "earlier log");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(data.path());
  admin->AttachDatabase("Alpha", "db/Alpha.mdf");
  std::filesystem::current_path(previous);
  EXPECT_EQ(Trim(admin->ListDatabaseFiles("Alpha").GetColumnString(1, 9)), data / "db/Alpha.mdf");
  EXPECT_EQ(ReadFile(data / "db/Alpha_log.LDF"), "earlier log");
}

TEST_F(AttachTest, RefusedAttachesChangeNothing) {
  WriteFile(data / "db/notes.mdf", "This is a text file and not a database at all.\n");
  const std::string notes = ReadFile(data / "db/notes.mdf");
  EXPECT_EQ(RefusedAttach("Notes", "db/notes.mdf"),
            "The file " + (data / "db/notes.mdf") + " is not a database.");
  EXPECT_EQ(ReadFile(data / "db/notes.mdf"), notes);
  WriteFile(data / "db/short.mdf", "SQLite");
  EXPECT_EQ(RefusedAttach("Short", "db/short.mdf"),
            "The file " + (data / "db/short.mdf") + " is not a database.");

  EXPECT_EQ(RefusedAttach("Gone", "db/Gone.mdf"),
            "The file " + (data / "db/Gone.mdf") + " does not exist.");
  EXPECT_EQ(RefusedAttach("Folder", "db"), "The path " + (data / "db") + " is not a file.");
  RefusedAttach("", "db/Alpha.mdf");
  RefusedAttach("a/b", "db/Alpha.mdf");

  admin->AttachDatabase("Alpha", data / "db/Alpha.mdf");
  const std::string alpha = ReadFile(data / "db/Alpha.mdf");
  // The name in use, in another letter case.
  EXPECT_EQ(RefusedAttach("ALPHA", "db/Beta.mdf"),
            "A database named Alpha is already attached to the server ORVANE. Choose a "
            "different database name.");
  // The same file under another name, also when the path is spelt differently.
  EXPECT_EQ(RefusedAttach("Copy", "db/Alpha.mdf"),
            "The file " + (data / "db/Alpha.mdf") +
                " is already attached to the server ORVANE as the database Alpha.");
  RefusedAttach("Copy", "db/./Alpha.mdf");

  EXPECT_EQ(admin->ListDatabases(), std::vector<std::string>{"Alpha"});
  EXPECT_EQ(ReadFile(data / "db/Alpha.mdf"), alpha);
  for (const char* log : {"Notes", "Short", "Gone", "Folder", "Copy", "ALPHA"}) {
    EXPECT_FALSE(std::filesystem::exists(data / ("db/" + std::string(log) + "_log.LDF"))) << log;
  }
}

TEST_F(AttachTest, DetachReleasesTheNameAndTheFileButKeepsBothFiles) {
  admin->AttachDatabase("Alpha", data / "db/Alpha.mdf");
  const std::string alpha = ReadFile(data / "db/Alpha.mdf");
  admin->DetachDatabase("ALPHA", false);
  EXPECT_TRUE(admin->ListDatabases().empty());
  EXPECT_EQ(ReadFile(data / "db/Alpha.mdf"), alpha);
  EXPECT_TRUE(std::filesystem::exists(data / "db/Alpha_log.LDF"));
  EXPECT_EQ(Refusal([&] { admin->DetachDatabase("Alpha", false); }),
            "The database Alpha does not exist on the server ORVANE.");

  // The file can now be attached under another name, and the name used for another file.
  admin->AttachDatabase("Renamed", data / "db/Alpha.mdf");
  admin->AttachDatabase("Alpha", data / "db/Beta.mdf");
  EXPECT_EQ(admin->ListDatabases(), (std::vector<std::string>{"Renamed", "Alpha"}));
}

TEST_F(AttachTest, DetachIsRefusedWhileASessionIsOpenAndAllowedOnceItIsKilled) {
  admin->AttachDatabase("Alpha", data / "db/Alpha.mdf");
  admin->AttachDatabase("Beta", data / "db/Beta.mdf");
  auto instance = Instance::Open(root.path(), "ORVANE");
  auto session = instance->OpenSession("alpha");
  auto other = instance->OpenSession("Beta");

  // skip_checks does not skip this refusal.
  EXPECT_EQ(Refusal([&] { admin->DetachDatabase("ALPHA", true); }),
            "Cannot detach the database Alpha because it is currently in use.");
  EXPECT_EQ(admin->ListDatabases(), (std::vector<std::string>{"Alpha", "Beta"}));

  // What the detach routine does: kill the database's processes, then detach at once,
  // before their owners have noticed.
  const data::ResultTable processes = admin->ListProcesses();
  for (long row = 1; row <= processes.Rows(); ++row) {
    if (Trim(processes.GetColumnString(row, 7)) == "Alpha") {
      admin->KillProcess(processes.GetColumnLong(row, 1));
    }
  }
  EXPECT_TRUE(session->Killed());
  EXPECT_FALSE(other->Killed());
  EXPECT_NO_THROW(admin->DetachDatabase("Alpha", false));
  EXPECT_EQ(admin->ListDatabases(), std::vector<std::string>{"Beta"});

  // A closed session no longer holds its database.
  other.reset();
  EXPECT_NO_THROW(admin->DetachDatabase("Beta", false));
}

}  // namespace
}  // namespace msu::embedded
