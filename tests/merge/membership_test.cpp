// Every row where it belongs: after a merge each child row of Database 1 sits under the new key
// of its own parent, whatever the instruction file repeats; keys never leave their 32-bit
// column; the folding of the incidents keeps the earliest start date; and the verification
// says so, or says what it could not check. The expectations are computed from the source
// files themselves (names, not keys), never from the rules the engine follows.
#include "merge/merge_sequence.h"
#include "merge_world.h"
#include "suite/sample_generator.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const Lines kSchema = {
    "CREATE TABLE Inc ([IncID] int IDENTITY(1,1) PRIMARY KEY, [Name] varchar(30) NULL)",
    "CREATE TABLE Res ([ResID] int NOT NULL PRIMARY KEY, [IncID] int NULL, [Name] varchar(30))",
    "CREATE TABLE Pers ([PersID] int NOT NULL PRIMARY KEY, [Name] varchar(30))",
    "CREATE TABLE Qual ([QualID] int NOT NULL PRIMARY KEY, [PersID] int NULL, [Name] "
    "varchar(30))",
    "CREATE TABLE NextNumber ([TableName] varchar(50) NOT NULL, [FieldName] varchar(50) NOT "
    "NULL, [NextNumber] int NOT NULL)",
    "CREATE TABLE orvane_procedures (name varchar(50) PRIMARY KEY, body varchar(2000))",
    "INSERT INTO orvane_procedures VALUES ('usp_syncNextNumber', 'SELECT 1')"};

// Each child listed twice under its parent, as an instruction file may do.
const char* const kRepeatedChildren =
    "Version=5.01.00\r\n[CoreTables]\r\n"
    "ParentTable=Inc.AUTOINCREMENT=IncID\r\nChildTable=Res.IncID\r\nChildTable=Res.IncID\r\n"
    "ParentTable=Res.ResID\r\n"
    "ParentTable=Pers.PersID\r\nChildTable=Qual.PersID\r\nChildTable=Qual.PersID\r\n"
    "ParentTable=Qual.QualID\r\n[LookUpTables]\r\n";

// Database 1: three incidents whose resources are spread unevenly, persons with their
// qualifications. Database 2: incidents and persons of its own, so that new keys meet old ones.
Lines SourceRows() {
  Lines rows = Insert("Inc (Name)", {"'a-one'", "'a-two'", "'a-three'"});
  int res = 1;
  for (const auto& [incident, count] : {std::pair{1, 2}, {2, 3}, {3, 4}}) {
    for (int i = 0; i < count; ++i, ++res) {
      rows.push_back("INSERT INTO Res VALUES (" + std::to_string(res) + ", " +
                     std::to_string(incident) + ", 'a-res" + std::to_string(res) + "')");
    }
  }
  rows = rows + Insert("Pers", {"1, 'a-p1'", "2, 'a-p2'"}) +
         Insert("Qual", {"1, 1, 'a-q1'", "2, 2, 'a-q2'", "3, 2, 'a-q3'", "4, 0, 'a-q4'"});
  return rows;
}
Lines DestinationRows(int64_t person_key = 1) {
  return Insert("Inc (Name)", {"'b-one'", "'b-two'"}) +
         Insert("Res", {"1, 1, 'b-res1'", "2, 2, 'b-res2'"}) +
         Insert("Pers", {std::to_string(person_key) + ", 'b-p1'"}) +
         Insert("Qual", {"1, " + std::to_string(person_key) + ", 'b-q1'"});
}

class MembershipTest : public MergeWorld {
 protected:
  void SetUp() override {
    MergeWorld::SetUp();
    context_->merge.NewDatabaseName = "Merged";
    fs::create_directories(root_ + "/out");
  }
  std::string Target() const { return root_ + "/out/Merged.mdf"; }
  Lines MergeLog() const { return progress_.Texts(LogPage::kMerge); }

  // The pairs (child name, parent name) of a database: who belongs to whom, by name.
  Lines Belonging(const std::string& database, const std::string& child, const std::string& parent,
                  const std::string& key) const {
    return Query(database, "SELECT c.Name || ' > ' || p.Name FROM " + child + " AS c JOIN " +
                               parent + " AS p ON p." + key + " = c." + key + " ORDER BY 1");
  }
};

// A child listed twice under its parent still moves once: every resource of Database 1 stays
// with its own incident (an auto-increment parent) and every qualification with its own person
// (a parent renumbered by an offset), and the verification compares them per parent key.
TEST_F(MembershipTest, AChildListedTwiceStaysWithItsOwnParent) {
  Pair(kSchema, SourceRows(), DestinationRows());
  b_bytes_.clear();
  WriteFile(AppFile("CVN_test.txt"), kRepeatedChildren);
  Merge& merge = NewMerge();
  ASSERT_TRUE(merge.Initialize());
  const std::string a = DataFile("a.mdf"), b = DataFile("b.mdf");
  ASSERT_TRUE(merge.CopyTables()) << ::testing::PrintToString(MergeLog());

  for (const auto& [child, parent, key] :
       {std::tuple{"Res", "Inc", "IncID"}, std::tuple{"Qual", "Pers", "PersID"}}) {
    Lines expected = Belonging(a, child, parent, key) + Belonging(b, child, parent, key);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Belonging(Target(), child, parent, key), expected) << child;
  }
  // The marker 0 is no key: it stays.
  EXPECT_THAT(Query(Target(), "SELECT PersID FROM Qual WHERE Name = 'a-q4'"), ElementsAre("0"));
  const merge::Verification& verification = merge.Figures().verification;
  EXPECT_TRUE(verification.Passed()) << ::testing::PrintToString(MergeLog());
  EXPECT_EQ(verification.memberships_checked, 2);
  EXPECT_EQ(MergeLog().back(), "Press Next to merge incidents or finish.");
}

// The verification finds a child that sits under another parent's key although every
// reference resolves and every count adds up, and a check it could not run is a finding too.
TEST_F(MembershipTest, TheVerificationFindsAMisplacedChildAndWhatItCouldNotCheck) {
  const std::string path = MakeDatabase(
      DataFile("v.mdf"), kSchema + Insert("Inc (Name)", {"'x'", "'y'"}) +
                             Insert("Res", {"1, 1, 'r1'", "2, 1, 'r2'", "3, 2, 'r3'"}));
  auto connection = backend_->CreateConnection();
  connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
  connection->Open();
  instructions::Tables tables;
  instructions::PTable& inc = tables.Add("Inc", "AUTOINCREMENT=IncID");
  instructions::Children children;
  children.Add(*context_, "Res", "IncID");
  inc.SetChildren(std::move(children));
  instructions::LookUps lookups;
  merge::ChildMembership membership{"Inc", "IncID", "Res", "IncID", {{1, 1}, {2, 2}}, {}, {}};
  merge::Verification verification = merge::VerifyDestination(
      *connection, tables, lookups, {{"Res", 3, false}, {"Missing", 1, false}}, {membership});
  EXPECT_FALSE(verification.Passed());
  ASSERT_EQ(verification.findings.size(), 2u);
  EXPECT_THAT(verification.findings[0].what, HasSubstr("could not check Missing"));
  EXPECT_EQ(verification.findings[1].what,
            "1 rows of Res.IncID are not under the new key of their own row of Inc.IncID (key 1 "
            "holds 2, expected 1)");
  EXPECT_EQ(merge::VerificationLines(verification).back().rfind("Verification found 2 problems", 0),
            0u);
  // Keys on one side only: the example is the first expected key that differs, else the first
  // key nobody expected.
  for (const auto& [expected, what] :
       {std::pair{merge::RowsPerKey{{2, 1}, {3, 2}},
                  "2 rows of Res.IncID are not under the new "
                  "key of their own row of Inc.IncID (key 3 "
                  "holds 0, expected 2)"},
        {merge::RowsPerKey{{1, 2}},
         "1 rows of Res.IncID are not under the new key of their own "
         "row of Inc.IncID (key 2 holds 1, expected 0)"}}) {
    membership.expected = expected;
    verification = merge::VerifyDestination(*connection, tables, lookups, {}, {membership});
    ASSERT_EQ(verification.findings.size(), 1u);
    EXPECT_EQ(verification.findings[0].what, what);
  }
  connection->Close();
}

// With a second connection the memberships are read on another thread, the largest first, yet
// the verification finds the same, in the same order, with the same figures; a beat that asks
// to stop ends the wait without harm.
TEST_F(MembershipTest, ASecondReaderFindsTheSameInTheSameOrder) {
  const std::string path = MakeDatabase(
      DataFile("v.mdf"),
      kSchema + Insert("Inc (Name)", {"'x'", "'y'"}) +
          Insert("Res", {"1, 1, 'r1'", "2, 1, 'r2'", "3, 2, 'r3'"}) +
          Insert("Pers", {"1, 'p1'", "2, 'p2'"}) +
          Insert("Qual", {"1, 1, 'q1'", "2, 1, 'q2'", "3, 2, 'q3'", "4, 2, 'q4'", "5, 9, 'q5'"}));
  const auto open = [&] {
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    return connection;
  };
  auto first = open();
  auto second = open();
  instructions::Tables tables;
  for (const auto& [parent, key, child, foreign] :
       {std::tuple{"Inc", "AUTOINCREMENT=IncID", "Res", "IncID"},
        {"Pers", "PersID", "Qual", "PersID"}}) {
    instructions::Children children;
    children.Add(*context_, child, foreign);
    tables.Add(parent, key).SetChildren(std::move(children));
  }
  tables.Add("Res", "ResID");
  tables.Add("Qual", "QualID");
  // Res is smaller than Qual and listed first; Qual's key 9 names no person.
  const std::vector<merge::ChildMembership> memberships = {
      {"Inc", "IncID", "Res", "IncID", {{1, 1}, {2, 2}}, {}, {}},
      {"Pers", "PersID", "Qual", "PersID", {{1, 2}, {2, 1}, {9, 1}, {3, 1}}, {}, {}},
      {"Pers", "PersID", "Missing", "PersID", {{1, 1}}, {}, {}}};
  const std::vector<merge::ExpectedRows> expected = {{"Res", 3, false}, {"Qual", 4, false}};
  const Lines alone =
      merge::VerificationLines(merge::VerifyDestination(*first, tables, {}, expected, memberships));
  ASSERT_EQ(alone.size(), 6u) << ::testing::PrintToString(alone);
  EXPECT_THAT(alone[1], HasSubstr("of Res.IncID are not under"));
  EXPECT_THAT(alone[2], HasSubstr("rows of Qual.PersID refer to no row of Pers.PersID"));
  EXPECT_THAT(alone[3], HasSubstr("of Qual.PersID are not under"));
  EXPECT_THAT(alone[4], HasSubstr("could not check Missing"));
  for (bool stop : {false, true}) {
    const Lines together = merge::VerificationLines(merge::VerifyDestination(
        *first, tables, {}, expected, memberships, {}, {second.get(), [stop] { return stop; }}));
    if (!stop) {
      EXPECT_EQ(together, alone);
    }
    EXPECT_FALSE(together.empty());
  }
  // The second connection is left as it was given: it still reads.
  EXPECT_EQ(data::QueryInteger(*second, "SELECT COUNT(*) FROM Qual"), 5);
  first->Close();
  second->Close();
}

// A key past 2,147,483,647 does not fit the suite's int columns: the merge stops with its error
// lines, as on the suite server, and nothing is placed; a dry run warns of it too.
TEST_F(MembershipTest, KeysThatWouldPassTheIntRangeStopTheMerge) {
  for (const bool dry_run : {true, false}) {
    SCOPED_TRACE(dry_run ? "dry run" : "merge");
    TearDown();
    SetUp();
    progress_.SetShowDetails(LogPage::kMerge, true);
    // Database 2's persons end just below the top: Database 1's would pass it.
    Pair(kSchema, SourceRows(), DestinationRows(2147483646));
    b_bytes_.clear();
    WriteFile(AppFile("CVN_test.txt"), kRepeatedChildren);
    Merge& merge = NewMerge();
    ASSERT_TRUE(merge.Initialize());
    merge.Options.dry_run = dry_run;
    EXPECT_FALSE(merge.CopyTables());
    const Lines log = MergeLog();
    const auto stopped = std::find(log.begin(), log.end(),
                                   "Error, merge stopped, Modifying primary key in table: Pers");
    ASSERT_NE(stopped, log.end()) << ::testing::PrintToString(log);
    ASSERT_NE(stopped + 1, log.end());
    EXPECT_EQ((stopped + 1)
                  ->rfind("Error is -2147217900 - Arithmetic overflow error converting "
                          "expression to data type int.",
                          0),
              0u)
        << *(stopped + 1);
    EXPECT_FALSE(fs::exists(Target()));
    EXPECT_THAT(A("SELECT MAX(PersID) FROM Pers"), ElementsAre("2"));
    if (dry_run) {
      ASSERT_FALSE(merge.Figures().warnings.empty());
      EXPECT_THAT(merge.Figures().warnings[0], HasSubstr("Pers.PersID would pass 2,147,483,647"));
    }
  }
}

// The folding keeps the earliest start date of all incidents of both databases, and the
// accounting codes' default only on the incident kept; its verification passes.
TEST_F(MembershipTest, TheFoldingKeepsTheEarliestStartDate) {
  suite::SampleOptions options;
  options.out_dir = root_ + "/data";
  options.rows = 300;
  suite::GenerateSampleSet(options);
  const std::string fire1 = DataFile("Fire1.mdf"), fire2 = DataFile("Fire2.mdf");
  // A start date earlier than any other, in Database 2's second incident.
  ExecFile(fire2, "UPDATE Incidents SET StartDate = '1999-01-02 03:04:05' WHERE IncidentID = 2");
  fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt", AppFile("CVN_4x.txt"));
  instance_->Attach("Fire1", fire1);
  instance_->Attach("Fire2", fire2);
  Lines starts = Query(fire1, "SELECT StartDate FROM Incidents") +
                 Query(fire2, "SELECT StartDate FROM Incidents");
  const std::string earliest = *std::min_element(starts.begin(), starts.end());

  std::unique_ptr<merge::Merge> engine;
  ASSERT_EQ(merge::RunCheckSequence(*context_, {fire1, fire2, Target()}, engine).stage,
            merge::CheckStage::kCompleted);
  merge::MergeRun run;
  run.into_incident = 3;
  const merge::MergeOutcome outcome = merge::RunMergeSequence(*context_, *engine, run);
  ASSERT_EQ(outcome.stage, merge::MergeStage::kCompleted) << ::testing::PrintToString(MergeLog());
  EXPECT_TRUE(outcome.consolidation_verified) << ::testing::PrintToString(MergeLog());
  EXPECT_THAT(Query(Target(), "SELECT IncidentID, StartDate FROM Incidents"),
              ElementsAre("3|" + earliest));
  EXPECT_THAT(Query(Target(),
                    "SELECT DISTINCT IncidentID FROM AccountingCodes WHERE "
                    "IncidentDefault = 1"),
              ::testing::Each("3"));
  const merge::Consolidation& folded = engine->Figures().consolidation;
  EXPECT_TRUE(folded.ran);
  EXPECT_EQ(folded.incidents_folded, 4);
  // Nothing is lost: every resource of both databases is on the incident kept.
  const int64_t resources = std::stol(Query(fire1, "SELECT COUNT(*) FROM Resources")[0]) +
                            std::stol(Query(fire2, "SELECT COUNT(*) FROM Resources")[0]);
  EXPECT_THAT(Query(Target(), "SELECT COUNT(*) FROM Resources WHERE IncidentID = 3"),
              ElementsAre(std::to_string(resources)));
  EXPECT_FALSE(folded.rows_moved.empty());
}

// What a merge leaves, for comparing two ways of making it: every table's rows in rowid
// order, the merge log and the figures the JSON gives.
struct MergeResult {
  Lines log;
  Lines tables;
  bool merged = false;
  bool operator==(const MergeResult&) const = default;
};

class KeyPathTest : public MembershipTest, public ::testing::WithParamInterface<std::string> {
 protected:
  MergeResult Run(merge::MergeOptions::KeyPath keys) {
    progress_.SetShowDetails(LogPage::kMerge, true);
    progress_.Clear(LogPage::kMerge);
    MergeResult result;
    if (GetParam() == "sample") {
      suite::SampleOptions options;
      options.out_dir = root_ + "/data";
      options.rows = 1500;
      suite::GenerateSampleSet(options);
      fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt",
                    AppFile("CVN_4x.txt"));
      instance_->Attach("Fire1", DataFile("Fire1.mdf"));
      instance_->Attach("Fire2", DataFile("Fire2.mdf"));
      std::unique_ptr<merge::Merge> engine;
      EXPECT_EQ(merge::RunCheckSequence(
                    *context_, {DataFile("Fire1.mdf"), DataFile("Fire2.mdf"), Target()}, engine)
                    .stage,
                merge::CheckStage::kCompleted);
      merge::MergeRun run;
      run.engine.keys = keys;
      result.merged =
          merge::RunMergeSequence(*context_, *engine, run).stage == merge::MergeStage::kCompleted;
    } else {
      Pair(kSchema, SourceRows(), DestinationRows(GetParam() == "overflow" ? 2147483646 : 1));
      b_bytes_.clear();
      WriteFile(AppFile("CVN_test.txt"), kRepeatedChildren);
      Merge& merge = NewMerge();
      EXPECT_TRUE(merge.Initialize());
      merge.Options.keys = keys;
      result.merged = merge.CopyTables();
    }
    result.log = MergeLog();
    if (fs::exists(Target())) {
      for (const std::string& table :
           Query(Target(), "SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name")) {
        for (const std::string& row : Query(Target(), "SELECT * FROM [" + table + "]")) {
          result.tables.push_back(table + ": " + row);
        }
      }
    }
    return result;
  }
};

// Keys moved in the copy (A never renumbered) and keys moved in A first, as the suite's
// routines did, give the same database, line for line the same log, and stop alike.
TEST_P(KeyPathTest, BothWaysOfMovingTheKeysGiveTheSameMerge) {
  const MergeResult in_place = Run(merge::MergeOptions::KeyPath::kInPlace);
  TearDown();
  SetUp();
  const MergeResult in_copy = Run(merge::MergeOptions::KeyPath::kInCopy);
  EXPECT_EQ(in_copy.merged, GetParam() != "overflow");
  EXPECT_EQ(in_copy.log, in_place.log);
  EXPECT_EQ(in_copy.merged, in_place.merged);
  ASSERT_EQ(in_copy.tables.size(), in_place.tables.size());
  for (size_t i = 0; i < in_copy.tables.size(); ++i) {
    ASSERT_EQ(in_copy.tables[i], in_place.tables[i]) << "row " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, KeyPathTest,
                         ::testing::Values("sample", "repeated_children", "overflow"));

}  // namespace
}  // namespace msu::testing
