// The [INCIDENTDELETE] section: its reader refuses what it cannot carry out, and its
// statements remove exactly one incident with what belongs to it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "suite/incident_delete_rules.h"
#include "suite/sample_generator.h"
#include "suite_test_util.h"

namespace msu::suite {
namespace {

using testing::Db;
using testing::ScratchDir;

bool Parse(const std::string& text, std::vector<IncidentDeleteRule>* rules, std::string* error) {
  std::istringstream in(text);
  return ParseIncidentDeleteRules(in, rules, error);
}

TEST(IncidentDeleteRulesTest, ReadsLinksAndBuildsNestedStatements) {
  std::vector<IncidentDeleteRule> rules;
  std::string error;
  ASSERT_TRUE(
      Parse("ParentTable=Quals\r\n"
            "DeleteRows=Ignored.Before\r\n"
            "[IncidentDelete]\r\n"
            "; comment\r\n"
            "\r\n"
            "deleterows = Quals.ResourceID = [Resources].ResourceID\r\n"
            "DeleteRows=Quals.PersonID=Persons.PersonID\r\n"
            "DeleteRows=Persons.IncidentID\r\n"
            "DeleteRows=Persons.ResourceID=Resources.ResourceID\r\n"
            "DeleteRows=[Resources].IncidentID\r\n"
            "DeleteIncident=Incidents.IncidentID\r\n",
            &rules, &error))
      << error;
  ASSERT_EQ(rules.size(), 6u);
  EXPECT_EQ(rules[0].table, "Quals");
  EXPECT_EQ(rules[0].parent_table, "Resources");
  EXPECT_EQ(rules[0].line, 6);
  std::vector<std::string> statements = IncidentDeleteStatements(rules, 7);
  EXPECT_EQ(statements[0],
            "DELETE FROM [Quals] WHERE [ResourceID] IN (SELECT [ResourceID] FROM [Resources] "
            "WHERE [IncidentID] = 7)");
  // Persons of the incident are those it owns directly or through its resources.
  EXPECT_EQ(statements[1],
            "DELETE FROM [Quals] WHERE [PersonID] IN (SELECT [PersonID] FROM [Persons] WHERE "
            "([IncidentID] = 7) OR ([ResourceID] IN (SELECT [ResourceID] FROM [Resources] "
            "WHERE [IncidentID] = 7)))");
  EXPECT_EQ(statements[5], "DELETE FROM [Incidents] WHERE [IncidentID] = 7");
}

TEST(IncidentDeleteRulesTest, RefusesWhatItCannotCarryOut) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"Version=1\n", "Line 1: no [INCIDENTDELETE] section"},
      {"[INCIDENTDELETE]\nDeleteRows=A.B\n",
       "Line 2: the section does not end with a DeleteIncident line"},
      {"[INCIDENTDELETE]\nDropRows=A.B\nDeleteIncident=I.K\n",
       "Line 2: unknown instruction \"DropRows\"; expected DeleteRows or DeleteIncident"},
      {"[INCIDENTDELETE]\nDeleteRows=AB\nDeleteIncident=I.K\n",
       "Line 2: expected <table>.<column> in \"DeleteRows=AB\""},
      {"[INCIDENTDELETE]\nDeleteIncident=I.K\nDeleteRows=A.B\n",
       "Line 3: nothing may follow the DeleteIncident line"},
      {"[INCIDENTDELETE]\nDeleteRows=Resources.IncidentID\nDeleteRows=Quals.ResourceID="
       "Resources.ResourceID\nDeleteIncident=I.K\n",
       "Line 3: the parent table Resources has no DeleteRows or DeleteIncident line further "
       "down"},
      {"[INCIDENTDELETE]\nDeleteRows=Quals.ResourceID=Resources\nDeleteIncident=I.K\n",
       "Line 2: expected <parent table>.<parent column> after the second \"=\" in "
       "\"DeleteRows=Quals.ResourceID=Resources\""},
      {"[INCIDENTDELETE]\nDeleteRows\nDeleteIncident=I.K\n", "Line 2: no \"=\" in \"DeleteRows\""},
  };
  for (const Case& c : cases) {
    std::vector<IncidentDeleteRule> rules;
    std::string error;
    EXPECT_FALSE(Parse(c.text, &rules, &error)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(rules.empty());
  }
  std::vector<IncidentDeleteRule> rules;
  std::string error;
  EXPECT_FALSE(ReadIncidentDeleteRules("/nonexistent/CVN_4x.txt", &rules, &error));
  EXPECT_EQ(error, "Cannot open the instruction file /nonexistent/CVN_4x.txt");
}

int64_t Rows(Db& db, const std::string& statement) {
  return db.Int("SELECT COUNT(*) FROM" + statement.substr(11));
}

class IncidentDeleteTest : public ::testing::TestWithParam<SchemaVersion> {};

TEST_P(IncidentDeleteTest, DeletesOneIncidentWithEverythingItOwnsAndNothingElse) {
  ScratchDir dir;
  SampleFile file =
      GenerateSampleDatabase(dir.File("Split1.mdf"), SampleRole::kSplit, GetParam(), 3000, 5);
  ASSERT_GE(file.incidents, 5);
  std::vector<IncidentDeleteRule> rules;
  std::string error;
  const std::filesystem::path instructions =
      std::filesystem::path(ORVANE_STAGE_DIR) / InstructionFileFor(GetParam());
  ASSERT_TRUE(ReadIncidentDeleteRules(instructions.string(), &rules, &error)) << error;
  Db db(file.path);
  // What every incident owns, link by link, before the deletion.
  std::vector<std::vector<int64_t>> owned(static_cast<size_t>(file.incidents) + 1);
  for (int k = 1; k <= file.incidents; ++k) {
    for (const std::string& s : IncidentDeleteStatements(rules, k)) {
      owned[static_cast<size_t>(k)].push_back(Rows(db, s));
    }
  }
  const int64_t quals = db.Int("SELECT COUNT(*) FROM Quals");
  const int64_t incident3_quals = owned[3][0];
  for (const std::string& s : IncidentDeleteStatements(rules, 3)) db.Exec(s);

  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM Incidents"), file.incidents - 1);
  for (int k = 1; k <= file.incidents; ++k) {
    std::vector<std::string> statements = IncidentDeleteStatements(rules, k);
    for (size_t i = 0; i < statements.size(); ++i) {
      EXPECT_EQ(Rows(db, statements[i]), k == 3 ? 0 : owned[static_cast<size_t>(k)][i])
          << "incident " << k << ": " << statements[i];
    }
  }
  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM Quals"), quals - incident3_quals);
  // Nothing is left pointing at the deleted incident or its rows.
  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM Quals WHERE ResourceID NOT IN (SELECT ResourceID "
                   "FROM Resources)"),
            0);
  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM [220_Task] WHERE FormID NOT IN (SELECT FormID FROM "
                   "ICS220)"),
            0);
  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM Agreement WHERE ContractorID NOT IN (SELECT "
                   "ContractorID FROM Contractor)"),
            0);
  EXPECT_EQ(db.Text("PRAGMA integrity_check"), "ok");
}

INSTANTIATE_TEST_SUITE_P(AllVersions, IncidentDeleteTest,
                         ::testing::Values(SchemaVersion::k5_01_00, SchemaVersion::k4_12_00));

}  // namespace
}  // namespace msu::suite
