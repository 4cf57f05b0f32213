// What the merge checks beyond its own steps: the verification of a finished destination, the
// warnings of a dry run, and the re-merge guard's rule.
#include "merge/verification.h"

#include <filesystem>
#include "merge/remerge_guard.h"
#include "merge_world.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class VerificationTest : public MergeWorld {
 protected:
  std::unique_ptr<data::Connection> Open(const Lines& statements) {
    const std::string path = MakeDatabase(DataFile("v.mdf"), statements);
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    return connection;
  }
  // A second connection to the database Open made last, for the reading the verification
  // shares out.
  std::unique_ptr<data::Connection> Reader() {
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + DataFile("v.mdf"));
    connection->Open();
    return connection;
  }
};

TEST_F(VerificationTest, NamesEachTableAndItsFailingRowsAndChangesNothing) {
  const Lines schema = {
      "CREATE TABLE Parent ([ID] int NOT NULL PRIMARY KEY)",
      "CREATE TABLE Kid ([KidID] int NOT NULL PRIMARY KEY, [ParentID] int NULL, [Code] "
      "varchar(5), [State] char(2))",
      "CREATE TABLE L_Code ([Code] varchar(5) NOT NULL, [State] char(2) NOT NULL, [Standard] "
      "bit)",
      "CREATE TABLE NextNumber ([TableName] varchar(50), [FieldName] varchar(50), [NextNumber] "
      "int)"};
  // Kid 3 and 4 point at no parent (0, -1 and NULL are no keys); Kid 2 holds a code whose
  // state differs from the lookup's (codes compare without regard to case); Kid's counter is
  // not past its largest key.
  auto destination = Open(schema + Insert("Parent", {"1", "2"}) +
                          Insert("Kid", {"1, 1, 'eng', 'id'", "2, 2, 'ENG', 'NV'",
                                         "3, 7, NULL, NULL", "4, 8, NULL, 'ID'", "5, 0, NULL, NULL",
                                         "6, -1, NULL, NULL", "7, NULL, NULL, NULL"}) +
                          Insert("L_Code", {"'ENG', 'ID', 1"}) +
                          Insert("NextNumber", {"'Kid', 'KidID', 7", "'Parent', 'ID', 3"}));
  instructions::Tables tables;
  tables.Add("Parent", "ID").Children().Add(*context_, "Kid", "ParentID");
  tables.Add("Kid", "KidID");
  instructions::LookUps lookups;
  instructions::LookUp& lookup = lookups.Add("L_Code");
  lookup.CodeFields().Add("Code", "Code");
  lookup.CodeFields().Add("State", "State");
  instructions::RefTable& ref = lookup.RefTables().Add("Kid");
  ref.CodeFields().Add("Code", "Code");
  ref.CodeFields().Add("State", "State");

  // The same findings in the same order whether one thread reads or two share the reading.
  auto reader = Reader();
  const merge::Verification shared = merge::VerifyDestination(
      *destination, tables, lookups, {{"Parent", 2, false}, {"Kid", 9, false}}, {}, {},
      {reader.get(), [] { return false; }});
  const merge::Verification verification = merge::VerifyDestination(
      *destination, tables, lookups, {{"Parent", 2, false}, {"Kid", 9, false}});
  EXPECT_EQ(merge::VerificationLines(shared), merge::VerificationLines(verification));
  Lines lines = merge::VerificationLines(verification);
  EXPECT_THAT(lines, ElementsAre("Verification failed: table Kid holds 7 rows, expected 9",
                                 "Verification failed: 2 rows of Kid.ParentID refer to no row of "
                                 "Parent.ID",
                                 "Verification failed: 1 rows of Kid.Code+State refer to no code "
                                 "of L_Code",
                                 "Verification failed: the NextNumber counter of Kid.KidID is 7, "
                                 "not past the largest key 7",
                                 "Verification found 4 problems (2 tables counted, 1 key "
                                 "references, 1 code references and 2 counters checked); "
                                 "the verification itself changed nothing."));
  EXPECT_EQ(verification.findings[1].rows, 2);
  EXPECT_FALSE(verification.Passed());
  // The tables are as they were.
  std::unique_ptr<data::Recordset> rows = destination->Execute("SELECT COUNT(*) FROM Kid");
  EXPECT_EQ(rows->Get(0).AsInteger(), 7);
  rows->Close();
  destination->Close();
}

TEST_F(VerificationTest, ADryRunWarnsOfQualificationIdsBeyondSixteenBits) {
  const Lines schema = {
      "CREATE TABLE Quals ([PersonID] int, [KindCode] varchar(10), [ResourceID] int, [Trainee] "
      "bit)"};
  auto small =
      Open(schema + Insert("Quals", {"1, 'ENG', 40000, 0", "2, 'CRW', 5, 0", "2, 'CRW', 5, 1"}));
  EXPECT_THAT(merge::QualIdWarnings(*small), IsEmpty());  // the big key is not repeated
  small->Execute("INSERT INTO Quals VALUES (40000, 'ENG', 40000, 1)");
  EXPECT_THAT(merge::QualIdWarnings(*small),
              ElementsAre("Warning, 2 repeated qualification rows hold a PersonID or ResourceID "
                          "beyond 16 bits: the de-duplication of Quals would stop the merge"));
  small->Close();
}

// A table's code columns are judged together, each finding under its own column; a column the
// table lacks is a finding of its own and the table's other columns are still judged. With the
// rows the merge added marked, only those count.
TEST_F(VerificationTest, EachCodeColumnOfATableIsJudgedOnItsOwn) {
  auto destination = Open(
      Lines{
          "CREATE TABLE Kid ([KidID] int NOT NULL PRIMARY KEY, [Code] varchar(5), [Unit] "
          "varchar(5))",
          "CREATE TABLE Pup ([PupID] int NOT NULL PRIMARY KEY, [Code] varchar(5))",
          "CREATE TABLE L_Code ([Code] varchar(5) NOT NULL)",
          "CREATE TABLE L_Unit ([Unit] varchar(5) NOT NULL)",
          "CREATE TABLE NextNumber ([TableName] varchar(50), [FieldName] varchar(50), [NextNumber] "
          "int)"} +
      Insert("Kid", {"1, 'ENG', 'U1'", "2, 'XXX', 'U1'", "3, 'ENG', 'U9'", "4, 'YYY', NULL",
                     "5, NULL, 'U8'"}) +
      Insert("Pup", {"1, 'ZZZ'", "2, 'ENG'"}) + Insert("L_Code", {"'ENG'"}) +
      Insert("L_Unit", {"'U1'"}));
  instructions::LookUps lookups;
  for (const auto& [table, column, refs] : {std::tuple{"L_Code", "Code", Lines{"Kid", "Pup"}},
                                            {"L_Gone", "Gone", Lines{"Pup"}},
                                            {"L_Unit", "Unit", Lines{"Kid"}}}) {
    instructions::LookUp& lookup = lookups.Add(table);
    lookup.CodeFields().Add(column, column);
    for (const std::string& ref : refs) {
      lookup.RefTables().Add(ref).CodeFields().Add(column, column);
    }
  }
  auto reader = Reader();
  // Read by one thread, then by two: the findings must not differ.
  const auto findings = [&](const merge::RowMarks& added) {
    Lines what[2];
    for (const bool shared : {false, true}) {
      const merge::Verification verification =
          merge::VerifyDestination(*destination, {}, lookups, {}, {}, added,
                                   {shared ? reader.get() : nullptr, [] { return false; }});
      EXPECT_EQ(verification.codes_checked, 4);
      for (const auto& finding : verification.findings) {
        what[shared].push_back(finding.what.substr(0, finding.what.find(':')) + " / " +
                               std::to_string(finding.rows));
      }
    }
    EXPECT_EQ(what[0], what[1]);
    return what[1];
  };
  EXPECT_THAT(findings({}), ElementsAre("2 rows of Kid.Code refer to no code of L_Code / 2",
                                        "1 rows of Pup.Code refer to no code of L_Code / 1",
                                        "could not check Pup / 0",
                                        "2 rows of Kid.Unit refer to no code of L_Unit / 2"));
  EXPECT_THAT(
      findings({{"kid", 2}}),
      ElementsAre("1 rows of Kid.Code refer to no code of L_Code / 1",
                  "1 rows of Pup.Code refer to no code of L_Code / 1", "could not check Pup / 0",
                  "2 rows of Kid.Unit refer to no code of L_Unit / 2"));
  reader->Close();
  destination->Close();
}

// The children a membership expects arrive from both databases and from several parents; a key
// met again adds up, whatever order the keys came in.
TEST(RowsPerKey, SortedWithEachKeyOnceAndItsRowsAddedUp) {
  merge::RowsPerKey rows = {{7, 1}, {-1, 2}, {3, 4}, {7, 5}, {-1, 1}, {0, 3}, {7, 1}};
  merge::SortRowsPerKey(rows);
  EXPECT_EQ(rows, (merge::RowsPerKey{{-1, 3}, {0, 3}, {3, 4}, {7, 7}}));
  merge::RowsPerKey none;
  merge::SortRowsPerKey(none);
  EXPECT_THAT(none, IsEmpty());
}

// Rows of Database 1 found in Database 2: same incident number and names, without regard to
// case and surrounding blanks, whatever keys the incidents have in each; a row without an
// incident is counted but never found; a legacy Database 1's request numbers are compared in
// the converted notation.
TEST_F(VerificationTest, TheRemergeGuardFindsRowsByIncidentNumberAndNames) {
  const Lines schema = {
      "CREATE TABLE Incidents ([IncidentID] int NOT NULL PRIMARY KEY, [IncidentNumber] "
      "varchar(20))",
      "CREATE TABLE Persons ([PersonID] int, [IncidentID] int, [LastName] varchar(30), "
      "[FirstName] varchar(30))",
      "CREATE TABLE Resources ([ResourceID] int, [IncidentID] int, [ResourceName] varchar(30), "
      "[RequestNumber] varchar(20))"};
  auto source = Open(
      schema + Insert("Incidents", {"1, 'ID-1'", "2, 'ID-2'", "3, NULL"}) +
      Insert("Persons", {"1, 1, 'Doe', 'Jan'", "2, 2, ' doe ', 'JAN'", "3, 3, 'Doe', 'Jan'",
                         "4, NULL, 'Doe', 'Jan'", "5, 9, 'Doe', 'Jan'", "6, 1, 'Doe', 'Ann'"}) +
      Insert("Resources", {"1, 1, 'Engine 1', 'e001.02'", "2, 1, 'Engine 2', NULL",
                           "3, 2, 'Engine 1', 'E-1.2'"}));
  const std::string source_path = DataFile("v.mdf");
  source->Close();
  std::filesystem::rename(source_path, DataFile("source.mdf"));
  source = backend_->CreateConnection();
  source->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + DataFile("source.mdf"));
  source->Open();
  // The same incidents under other keys.
  auto destination = Open(
      schema + Insert("Incidents", {"7, 'id-1 '", "8, 'ID-2'"}) +
      Insert("Persons", {"1, 7, 'DOE', 'jan'", "2, 8, 'Doe', 'Jan'", "3, NULL, 'Doe', 'Ann'"}) +
      Insert("Resources", {"1, 7, 'ENGINE 1', 'E-1.2'", "2, 7, 'Engine 2', NULL"}));

  const merge::RemergeCounts plain = merge::CountRemergedRows(*source, *destination);
  EXPECT_EQ(plain.persons, 6);
  EXPECT_EQ(plain.persons_found, 2);  // rows 1 and 2; 3 to 5 have no incident, 6 another name
  EXPECT_EQ(plain.resources, 3);
  EXPECT_EQ(plain.resources_found, 1);  // Engine 2; Engine 1's request number differs
  const merge::RemergeCounts legacy = merge::CountRemergedRows(*source, *destination, true);
  EXPECT_EQ(legacy.persons_found, 2);
  EXPECT_EQ(legacy.resources_found, 2);  // e001.02 is E-1.2 in the converted notation
  // Database 2 read on a connection and thread of its own: the same counts.
  auto reader = backend_->CreateConnection();
  reader->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + DataFile("v.mdf"));
  reader->Open();
  const merge::RemergeCounts apart =
      merge::CountRemergedRows(*source, *destination, true, {reader.get(), [] { return false; }});
  EXPECT_EQ(std::tuple(apart.persons, apart.persons_found, apart.resources, apart.resources_found),
            std::tuple(6, 2, 3, 2));
}

TEST(RemergeGuard, NearlyAllOfBothOnAtLeastTwentyRows) {
  const struct {
    merge::RemergeCounts counts;
    bool merged_before;
  } cases[] = {
      {{20, 18, 20, 18}, true},     // 90% of each
      {{20, 17, 20, 20}, false},    // persons below 90%
      {{20, 20, 40, 35}, false},    // resources below 90%
      {{19, 19, 100, 100}, false},  // too few persons to judge
      {{0, 0, 0, 0}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.counts.LooksMergedBefore(), c.merged_before)
        << c.counts.persons << " " << c.counts.persons_found << " " << c.counts.resources << " "
        << c.counts.resources_found;
  }
}

}  // namespace
}  // namespace msu::testing
