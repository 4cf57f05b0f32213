// What a split must leave, checked against the database to split itself: the detail rows of
// the forms of a removed incident go with it, those of a kept incident stay; a deletion rule
// that the instruction file lacks is found by the verification; a working copy that cannot be
// made leaves the database to split attached. The pairs of forms and their detail tables are
// written out here, not read from the instruction file the engine follows.
#include <gmock/gmock.h>

#include "split_world.h"
#include "tests/support/fault_injection.h"

namespace msu::testing {
namespace {

using ::testing::HasSubstr;

// The detail tables of the forms of the incident action plan, each with its form table.
const std::pair<const char*, const char*> kFormDetails[] = {
    {"203_Assignments", "ICS203"}, {"204_Com", "ICS204"},     {"204_Resources", "ICS204"},
    {"205_Channels", "ICS205"},    {"206_Medical", "ICS206"}, {"220_Helicopters", "ICS220"},
    {"220_PersFreq", "ICS220"},    {"220_Task", "ICS220"}};

class SplitRulesTest : public SplitWorld {
 protected:
  // The detail rows of `detail` whose form belongs to one of `incidents`, in `database`;
  // the form ids are read from the database to split, where the forms all are.
  int64_t DetailRowsOf(const std::string& database, const std::string& detail,
                       const std::string& form, const std::string& incidents) {
    Lines forms = Rows(source_, "SELECT group_concat(FormID) FROM " + form +
                                    " WHERE IncidentID IN (" + incidents + ")");
    if (forms.empty() || forms[0] == "NULL") return 0;
    return std::stoll(Rows(
        database, "SELECT COUNT(*) FROM [" + detail + "] WHERE FormID IN (" + forms[0] + ")")[0]);
  }
};

// With the whole instruction file, no detail row of a removed incident's form stays and every
// one of a kept incident's does.
TEST_F(SplitRulesTest, TheFormsOfARemovedIncidentGoWithTheirDetailRows) {
  SampleSource();
  ASSERT_TRUE(Start().started);
  const std::string target = DataFile("Kept.mdf");
  const split::SplitOutcome outcome = SplitInto(target, {1, 2});
  ASSERT_TRUE(outcome.executed);
  EXPECT_TRUE(outcome.verification.Passed())
      << ::testing::PrintToString(outcome.verification.findings);
  EXPECT_GT(outcome.verification.references_checked, 40);
  for (const auto& [detail, form] : kFormDetails) {
    ASSERT_GT(DetailRowsOf(source_, detail, form, "3, 4, 5"), 0) << detail;
    EXPECT_EQ(DetailRowsOf(target, detail, form, "3, 4, 5"), 0) << detail;
    EXPECT_EQ(DetailRowsOf(target, detail, form, "1, 2"),
              DetailRowsOf(source_, detail, form, "1, 2"))
        << detail;
  }
}

// A deletion rule missing from the instruction file leaves detail rows of removed incidents
// behind; the verification finds them from the parent and child lines, not from the rules.
TEST_F(SplitRulesTest, ARuleTheInstructionFileLacksIsFoundByTheVerification) {
  const std::string file = AppFile("CVN_4x.txt");
  std::string text = ReadFile(file);
  const size_t at = text.find("DeleteRows=[205_Channels].FormID=ICS205.FormID");
  ASSERT_NE(at, std::string::npos);
  WriteFile(file, text.erase(at, text.find('\n', at) + 1 - at));

  SampleSource();
  ASSERT_TRUE(Start().started);
  const std::string target = DataFile("Lacking.mdf");
  const split::SplitOutcome outcome = SplitInto(target, {1, 2});
  ASSERT_TRUE(outcome.executed);
  const int64_t left = DetailRowsOf(target, "205_Channels", "ICS205", "3, 4, 5");
  ASSERT_GT(left, 0);
  EXPECT_FALSE(outcome.verification.Passed());
  EXPECT_THAT(outcome.verification.findings,
              ::testing::Contains(std::to_string(left) +
                                  " rows of 205_Channels.FormID refer to a row of ICS205 that the "
                                  "split removed"));
}

// A working copy that cannot be made (a full disk) stops the split at once; the database to
// split comes back under its own name and nothing is left on the server's record.
TEST_F(SplitRulesTest, AFailedWorkingCopyAttachesTheSourceAgain) {
  SampleSource();
  FullDiskCopier full_disk(0, 4096);
  context_->SetCopier(full_disk);
  const split::StartOutcome start = Start();
  EXPECT_FALSE(start.started);
  ASSERT_EQ(Log().size(), 1u);
  EXPECT_THAT(Log()[0], ::testing::StartsWith("Error, Creating working copy of database: The disk "
                                              "is full: no space is left in the folder " +
                                              root_ + "/app"));
  EXPECT_TRUE(Attached("Split1"));
  EXPECT_TRUE(instance_->PendingAttachments().empty());
  EXPECT_FALSE(Attached("W_O_R_K_A"));
}

}  // namespace
}  // namespace msu::testing
