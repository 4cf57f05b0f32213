// The incident-deletion component on sample databases of both instruction files: one incident
// goes with everything that belongs to it and nothing else, keys below 2000000000 and missing
// instructions are refused, a statement failing half-way leaves the incident whole, and the
// removal of several incidents at once leaves what removing them one by one leaves.
#include "incident_delete/incident_deletion.h"
#include "server_routines/database_version.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/embedded/embedded_connection.h"
#include "suite/sample_generator.h"
#include "tests/support/fault_injection.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::incident_delete {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::vector<std::string>>;
using testing::QueryFile;
using testing::TableContents;

class IncidentDeletionTest : public ::testing::TestWithParam<suite::SchemaVersion> {
 protected:
  void SetUp() override {
    fs::create_directories(app_);
    for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt"}) {
      fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, fs::path(app_) / file);
    }
  }

  // A sample database of five incidents at `name`, and a connection to it that fails on demand.
  std::unique_ptr<data::Connection> Sample(const std::string& name) {
    const std::string path = folder_ / name;
    suite::GenerateSampleDatabase(path, suite::SampleRole::kSplit, GetParam(), 1500, 5);
    auto connection = std::make_unique<testing::FaultInjectingConnection>(
        embedded::NewConnection(folder_.path()), plan_);
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open("", "");
    return connection;
  }

  int64_t Count(const std::string& name, const std::string& sql) {
    return std::stoll(QueryFile(folder_ / name, sql).at(0));
  }

  const testing::ScratchFolder folder_;
  const std::string app_ = folder_ / "app";
  const std::shared_ptr<testing::FaultPlan> plan_ = std::make_shared<testing::FaultPlan>();
  IncidentDeletion deletion_{app_};
};

TEST_P(IncidentDeletionTest, RemovesOneIncidentWithWhatItOwnsAndNothingElse) {
  auto connection = Sample("a.mdf");
  connection->Close();
  const Contents before = TableContents(folder_ / "a.mdf");
  connection->Open("", "");
  ASSERT_TRUE(deletion_.DeleteIncident(*connection, 2000000003)) << deletion_.LastError();
  connection->Close();
  const Contents after = TableContents(folder_ / "a.mdf");

  EXPECT_EQ(Count("a.mdf", "SELECT COUNT(*) FROM Incidents WHERE IncidentID = 3"), 0);
  for (const char* table : {"Resources", "Persons", "PersonsPost", "ICS204", "Contractor"}) {
    EXPECT_EQ(
        Count("a.mdf", std::string("SELECT COUNT(*) FROM ") + table + " WHERE IncidentID = 3"), 0)
        << table;
  }
  EXPECT_EQ(Count("a.mdf",
                  "SELECT COUNT(*) FROM Quals WHERE ResourceID NOT IN (SELECT "
                  "ResourceID FROM Resources)"),
            0);
  // Lookup tables, rows of no incident and the other incidents stay as they were.
  for (const char* table : {"L_Kind", "L_Agency", "AdminOffice", "203_Template", "version"}) {
    EXPECT_EQ(after.at(table), before.at(table)) << table;
  }
  EXPECT_EQ(Count("a.mdf", "SELECT COUNT(*) FROM Incidents"), 4);
  EXPECT_EQ(QueryFile(folder_ / "a.mdf", "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

TEST_P(IncidentDeletionTest, RefusalsAndAFailureHalfWayLeaveTheIncidentWhole) {
  auto connection = Sample("a.mdf");
  connection->Close();
  const Contents before = TableContents(folder_ / "a.mdf");
  connection->Open("", "");
  struct Case {
    int32_t key;
    std::string failing_statement;  // empty: none
    std::string error;
  };
  const Case cases[] = {
      {3, "", "The key 3 names no incident: incident keys start at 2000000000."},
      {1999999999, "", "The key 1999999999 names no incident: incident keys start at 2000000000."},
      {2000000002, "DELETE FROM [Persons]", "disk I/O error"},
      {2000000002, "COMMIT TRANSACTION", "disk I/O error"},
  };
  for (const Case& c : cases) {
    if (!c.failing_statement.empty()) {
      plan_->FailNth(testing::CallKind::kExecute, 1, data::kErrStatement, c.error,
                     c.failing_statement);
    }
    EXPECT_FALSE(deletion_.DeleteIncident(*connection, c.key)) << c.key;
    EXPECT_EQ(deletion_.LastError(), c.error);
  }
  connection->Close();
  EXPECT_TRUE(TableContents(folder_ / "a.mdf") == before);

  IncidentDeletion without_instructions(folder_ / "nowhere");
  connection->Open("", "");
  EXPECT_FALSE(without_instructions.DeleteIncident(*connection, 2000000002));
  EXPECT_EQ(without_instructions.LastError(),
            "Cannot open the instruction file " + folder_ / "nowhere" + "/" +
                msu::server_routines::InstructionFileForVersion(suite::VersionText(GetParam())));
  // The same component deletes once nothing stands in its way.
  EXPECT_TRUE(deletion_.DeleteIncident(*connection, 2000000002)) << deletion_.LastError();
}

TEST_P(IncidentDeletionTest, SeveralAtOnceLeaveWhatOneByOneLeaves) {
  auto one_by_one = Sample("a.mdf");
  auto at_once = Sample("b.mdf");
  for (int32_t key : {2000000001, 2000000004, 2000000005}) {
    ASSERT_TRUE(deletion_.DeleteIncident(*one_by_one, key)) << deletion_.LastError();
  }
  ASSERT_TRUE(deletion_.DeleteIncidents(*at_once, {2000000001, 2000000004, 2000000005}))
      << deletion_.LastError();
  one_by_one->Close();
  at_once->Close();
  EXPECT_EQ(Count("b.mdf", "SELECT COUNT(*) FROM Incidents"), 2);
  EXPECT_TRUE(TableContents(folder_ / "a.mdf") == TableContents(folder_ / "b.mdf"));
}

INSTANTIATE_TEST_SUITE_P(BothInstructionFiles, IncidentDeletionTest,
                         ::testing::Values(suite::SchemaVersion::k5_01_00,
                                           suite::SchemaVersion::k4_12_00));

}  // namespace
}  // namespace msu::incident_delete
