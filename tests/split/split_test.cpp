// The split engine on a real embedded server: the exact lines of Initialize and Execute, the
// list it fills and marks, the keys of the tags, both ways of removing incidents giving one
// result, a copy when every incident is kept, a list switched off, a replaced target, a
// failing deletion, and the verification of the result.
#include <gmock/gmock.h>

#include <limits>

#include "core/numbered_error.h"
#include "split_world.h"
#include "suite/schema.h"

namespace msu::testing {
namespace {

using split::RemovalPath;
using ::testing::ElementsAre;

const Lines kSampleTexts = {"ID-107-001037, O'Brien Ridge", "CA-114-001074, Cedar Creek",
                            "ID-121-001111, Bear Gulch", "CA-128-001148, Pine Flat",
                            "ID-135-001185, Dry Lake"};

Lines Texts(const split::IncidentEntries& list) {
  Lines texts;
  for (const auto& entry : list.Entries()) texts.push_back(entry.text);
  return texts;
}

// The lines of a split that keeps the entries `kept` (from 0) of the sample.
Lines ExecuteLines(const std::vector<size_t>& kept) {
  Lines lines = {"Spliting process initiated ..."};
  for (size_t i = 0; i < kSampleTexts.size(); ++i) {
    if (std::find(kept.begin(), kept.end(), i) == kept.end()) {
      lines.push_back("Deleting unchecked incident: " + kSampleTexts[i]);
    }
  }
  lines.push_back("Completed the split process.");
  lines.push_back("Done. Press Next to finish.");
  return lines;
}

class SplitTest : public SplitWorld {};

TEST(SplitKeys, TagsAndKeys) {
  EXPECT_EQ(IncidentTag(7), "     7");
  EXPECT_EQ(IncidentTag(12), "    12");
  EXPECT_EQ(IncidentTag(1234567), "1234567");
  const std::pair<const char*, int32_t> keys[] = {
      {"    12", 2000000012}, {"     7", 2000000007}, {"147483647", 2147483647}, {"0", 2000000000}};
  for (const auto& [tag, key] : keys) EXPECT_EQ(split::IncidentKeyOfTag(tag), key) << tag;
  EXPECT_EQ(Thrown<NumberedError>([] { split::IncidentKeyOfTag("147483648"); }),
            std::make_pair(kErrOverflow, std::string("Overflow")));
}

// Initialize and Execute line by line, under a database name that is not the file's; both
// ways of removing the incidents write the same lines and leave the same database.
TEST_F(SplitTest, KeepsTheTickedIncidentsWithEveryLineEitherWay) {
  SampleSource(600, suite::SchemaVersion::k5_01_00, "Fires2024");
  WriteFile(DataFile("Split1.ini"), "[Incident]\r\nDefaultIncidentID=1\r\n");
  std::map<std::string, Lines> results[2];
  for (RemovalPath removal : {RemovalPath::kSetBased, RemovalPath::kOneByOne}) {
    SCOPED_TRACE(removal == RemovalPath::kSetBased ? "set-based" : "one by one");
    const split::StartOutcome start = Start();
    ASSERT_TRUE(start.started) << start.failure;
    EXPECT_THAT(Log(), ElementsAre("Created a working copy of database: " + source_,
                                   "Created a working copy of ini for database: " + source_));
    EXPECT_EQ(Texts(list_), kSampleTexts);
    EXPECT_EQ(list_.Entries()[0].tag, "     1");
    EXPECT_EQ(list_.SelectedCaption(), "Incidents checked to split: 0");
    EXPECT_TRUE(list_.Enabled());
    EXPECT_EQ(ReadFile(AppFile("W_O_R_K_A.ini")), ReadFile(DataFile("Split1.ini")));
    EXPECT_TRUE(Attached("W_O_R_K_A") && Attached("Fires2024") && !Attached("Split1"));

    const std::string target = DataFile(removal == RemovalPath::kSetBased ? "A.mdf" : "B.mdf");
    const split::SplitOutcome outcome = SplitInto(target, {2, 4}, removal);
    ASSERT_TRUE(outcome.executed) << engine_->Failure();
    EXPECT_EQ(Log(), ExecuteLines({1, 3}));
    EXPECT_EQ(list_.Entries()[1].status, "Split");
    EXPECT_TRUE(list_.Entries()[3].bold);
    EXPECT_TRUE(list_.Entries()[0].status.empty() && !list_.Entries()[0].bold);
    EXPECT_FALSE(list_.Enabled());
    EXPECT_EQ(engine_->Figures().set_based, removal == RemovalPath::kSetBased);
    EXPECT_EQ(engine_->Figures().removed, (std::vector<int64_t>{1, 3, 5}));

    EXPECT_EQ(context_->merge.NewDatabaseName, removal == RemovalPath::kSetBased ? "A" : "B");
    EXPECT_TRUE(Attached(context_->merge.NewDatabaseName));
    EXPECT_FALSE(Attached("W_O_R_K_A"));
    EXPECT_THAT(Rows(target, "SELECT IncidentID FROM Incidents ORDER BY 1"), ElementsAre("2", "4"));
    EXPECT_THAT(Rows(target, "PRAGMA integrity_check"), ElementsAre("ok"));
    EXPECT_TRUE(outcome.verification.Passed())
        << ::testing::PrintToString(outcome.verification.findings);
    EXPECT_EQ(outcome.verification.incidents, 2);
    EXPECT_GE(outcome.verification.lookup_tables, 7);
    results[removal == RemovalPath::kSetBased ? 0 : 1] = TableContents(target);
  }
  EXPECT_TRUE(results[0] == results[1]);
}

TEST_F(SplitTest, AllTickedGivesACopyWithTheSameContent) {
  SampleSource(400, suite::SchemaVersion::k4_12_00);
  ASSERT_TRUE(Start().started);
  EXPECT_THAT(Log(), ElementsAre("Created a working copy of database: " + source_));
  const split::SplitOutcome outcome = SplitInto(DataFile("All.mdf"), {1, 2, 3, 4, 5});
  ASSERT_TRUE(outcome.executed);
  EXPECT_THAT(Log(), ElementsAre("Spliting process initiated ...", "Completed the split process.",
                                 "Done. Press Next to finish."));
  EXPECT_TRUE(TableContents(DataFile("All.mdf")) == TableContents(source_));
  EXPECT_TRUE(outcome.verification.Passed());
  EXPECT_EQ(
      split::SplitVerificationLines(outcome.verification)
          .back()
          .rfind("Verification passed: the new database holds exactly the 5 kept incidents", 0),
      0u);
}

// One incident: the list takes no ticks and says why, yet Initialize has done its work. A
// working copy that cannot be made leaves the database to split attached under its name.
TEST_F(SplitTest, OneIncidentSwitchesTheListOffAndAFailedCopyReattaches) {
  MadeSource(
      {"CREATE TABLE Incidents (IncidentID int NOT NULL PRIMARY KEY, IncidentNumber "
       "varchar(20), IncidentName varchar(50))",
       "INSERT INTO Incidents VALUES (7, 'N-7', 'Seven')"});
  const split::StartOutcome start = Start();
  EXPECT_TRUE(start.started) << start.failure;
  EXPECT_EQ(Texts(list_), Lines{"N-7, Seven"});
  EXPECT_EQ(list_.Entries()[0].tag, "     7");
  EXPECT_FALSE(list_.Enabled());
  EXPECT_EQ(list_.SelectedCaption(),
            "Error, the database must have 2 or more incidents, press Back.");
  EXPECT_THAT(Log(), ElementsAre("Created a working copy of database: " + source_));

  engine_.reset();
  fs::remove(AppFile("W_O_R_K_A.tmp"));
  instance_->Detach("W_O_R_K_A");
  fs::create_directories(AppFile("W_O_R_K_A.tmp") + "/in-the-way");
  progress_.Clear(LogPage::kSplit);
  const split::StartOutcome failed = Start();
  EXPECT_FALSE(failed.started);
  EXPECT_NE(failed.failure.find("W_O_R_K_A.tmp"), std::string::npos) << failed.failure;
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(Attached("Made"));
}

// The target's database is taken off the server, its file replaced and the new one attached
// under the file's name.
TEST_F(SplitTest, AnExistingTargetIsReplaced) {
  SampleSource();
  const std::string target = DataFile("Result.mdf");
  fs::copy_file(source_, target);
  instance_->Attach("OldResult", target);
  ASSERT_TRUE(Start().started);
  ASSERT_TRUE(SplitInto(target, {3}).executed);
  EXPECT_FALSE(Attached("OldResult"));
  EXPECT_TRUE(Attached("Result"));
  EXPECT_THAT(Rows(target, "SELECT IncidentID FROM Incidents"), ElementsAre("3"));
}

// A deletion that fails is named in its line, with its cause, and the incident stays whole;
// the split goes on, but what it made still holds that incident: it is kept under a name
// nobody takes for a finished database, not attached, and nothing is placed at the target. A
// set-based removal that fails leaves nothing behind and the incidents go one by one.
TEST_F(SplitTest, AFailingDeletionIsNamedAndTheCopyIsKeptAsIncomplete) {
  SampleSource();
  const std::string persons_of_3 = "DELETE FROM [Persons] WHERE [IncidentID] = 3";
  struct Case {
    RemovalPath removal;
    std::string failing_statement;
    bool incident_3_stays;
  };
  const Case cases[] = {
      {RemovalPath::kOneByOne, persons_of_3, true},
      {RemovalPath::kSetBased, "DELETE FROM [Persons] WHERE [IncidentID] IN", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing_statement);
    ASSERT_TRUE(Start().started);
    faulty_->plan().FailNth(CallKind::kExecute, 1, data::kErrStatement, "disk I/O error",
                            c.failing_statement);
    const std::string target = DataFile(c.incident_3_stays ? "Failed.mdf" : "Fallback.mdf");
    const split::SplitOutcome outcome = SplitInto(target, {2, 4}, c.removal);
    EXPECT_EQ(engine_->Figures().set_based, false);
    if (!c.incident_3_stays) {
      ASSERT_TRUE(outcome.executed);
      EXPECT_EQ(Log(), ExecuteLines({1, 3}));
      EXPECT_THAT(Rows(target, "SELECT IncidentID FROM Incidents ORDER BY 1"),
                  ElementsAre("2", "4"));
      EXPECT_TRUE(outcome.verification.Passed());
      continue;
    }
    EXPECT_FALSE(outcome.executed);
    const std::string incomplete = DataFile("Failed.incomplete.mdf");
    Lines expected = ExecuteLines({1, 3});
    expected.insert(expected.begin() + 3,
                    {"Error deleting incident: " + kSampleTexts[2], "- because: disk I/O error"});
    expected.back() = "The split is incomplete: 1 of the incidents not kept could not be removed.";
    expected.push_back("Nothing was placed at " + target + "; what the split made is at " +
                       incomplete + ", not attached to the server.");
    EXPECT_EQ(Log(), expected);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(Attached("Failed")) << "an incomplete database is never attached";
    EXPECT_FALSE(Attached("Failed.incomplete"));
    EXPECT_EQ(engine_->Figures().incomplete_database, incomplete);
    EXPECT_THAT(Rows(incomplete, "SELECT IncidentID FROM Incidents ORDER BY 1"),
                ElementsAre("2", "3", "4"));
    EXPECT_EQ(engine_->Figures().not_removed, std::vector<int64_t>{3});
    EXPECT_EQ(engine_->Figures().removal_errors[0], "disk I/O error");
    for (const char* table : {"Persons", "Resources", "ICS204"}) {
      const std::string count =
          std::string("SELECT COUNT(*) FROM ") + table + " WHERE IncidentID = 3";
      EXPECT_EQ(Rows(incomplete, count), Rows(source_, count)) << table;
    }
  }
}

// The verification reads what the new database holds: a changed row, a row of a removed
// incident and a lookup row that went missing are each found.
TEST_F(SplitTest, VerificationFindsWhatDiffersFromTheSource) {
  SampleSource();
  ASSERT_TRUE(Start().started);
  const std::string target = DataFile("Checked.mdf");
  ASSERT_TRUE(SplitInto(target, {1, 2}).executed);
  const int64_t persons = std::stoll(Rows(target, "SELECT COUNT(*) FROM Persons")[0]);
  const int64_t kinds = std::stoll(Rows(target, "SELECT COUNT(*) FROM L_Kind")[0]);
  ExecFile(target,
           "UPDATE Resources SET ResourceName = 'changed' WHERE ResourceID = (SELECT "
           "MIN(ResourceID) FROM Resources);"
           "INSERT INTO Persons (PersonID, IncidentID, LastName) VALUES (999999, 4, 'Stray');"
           "DELETE FROM L_Kind WHERE rowid = (SELECT MAX(rowid) FROM L_Kind);");
  for (split::ComparePath path : {split::ComparePath::kDigest, split::ComparePath::kRowByRow}) {
    const split::SplitVerification verification =
        split::VerifySplit(*context_, source_, "Checked", {1, 2}, {3, 4, 5}, path);
    EXPECT_THAT(
        verification.findings,
        ElementsAre("rows of table Resources differ from those of the database to split",
                    "table Persons holds " + std::to_string(persons + 1) + " rows, not the " +
                        std::to_string(persons) + " rows of the database to split that stay",
                    "1 rows of table Persons belong to a removed incident",
                    "table L_Kind holds " + std::to_string(kinds - 1) + " rows, not the " +
                        std::to_string(kinds) + " rows of the database to split that stay",
                    "1 rows of Persons.IncidentID refer to a row of Incidents that the split "
                    "removed"));
    EXPECT_EQ(split::SplitVerificationLines(verification)
                  .back()
                  .rfind("Verification found 5 problems (", 0),
              0u);
  }
}

}  // namespace
}  // namespace msu::testing
