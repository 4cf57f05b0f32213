// The lookup check when a write to working copy A fails part-way, through data connections
// that fail on demand: the check stops with the injected error, and what was written before
// the failure stays (nothing is rolled back). The tables that refer to a lookup are updated a
// table at a time, after the lookup rows were recoded.
#include "merge/lookup_check.h"

#include "merge_world.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;

constexpr long kDiskFull = data::kErrStatement;
const std::string kInjected = "The disk is full (injected).";

class LookupCheckFault : public MergeWorld {
 protected:
  // User codes 1 and 2 of L_Status are in both copies; Resources of A refers to both.
  void Run(CallKind kind, long nth, const std::string& statement_prefix = "",
           bool lasting = false) {
    Pair({"CREATE TABLE L_Status ([StatusCode] int NOT NULL PRIMARY KEY, [Description] "
          "varchar(30) NULL, [Standard] bit NULL)",
          "CREATE TABLE Resources ([ResourceID] int PRIMARY KEY, [StatusCode] int)"},
         Insert("L_Status", {"1, 'One', 0", "2, 'Two', 0"}) +
             Insert("Resources", {"10, 1", "20, 2"}),
         Insert("L_Status", {"1, 'Uno', 0", "2, 'Dos', 0", "20, 'Veinte', 0"}));
    Instructions("LUTable=L_Status.StatusCode\r\nRefTable=Resources.StatusCode\r\n");
    if (lasting) {
      faulty_->plan().FailFrom(kind, nth, kDiskFull, kInjected, statement_prefix);
    } else {
      faulty_->plan().FailNth(kind, nth, kDiskFull, kInjected, statement_prefix);
    }
    EXPECT_FALSE(NewMerge().Initialize());
    EXPECT_THAT(LogFrom("Looking for duplicate codes in non-standard records"),
                ElementsAre("Looking for duplicate codes in non-standard records",
                            "- Inspecting LU table: L_Status",
                            "Error, check stopped, Looking for duplicates in non-standard "
                            "records, LU table: L_Status",
                            "Error, -2147217900 - " + kInjected));
    merge_->CloseConnections();
  }
};

// Both duplicates get their new codes, then the update of the table that refers to them fails
// for good: nothing of that table changes, and the report ends before the first line that tells
// of it.
TEST_F(LookupCheckFault, TheReferringTableFailsAfterTheCodesChanged) {
  Run(CallKind::kExecute, 1, "UPDATE Resources", true);
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", "Table: " + B("L_Status") + ", code(s): " + B("StatusCode"),
                          "Field: " + B("StatusCode") + " values: A = " + B("1") +
                              " B = " + B("1") + " Source Database changed to: " + B("21")));
  EXPECT_THAT(A("SELECT StatusCode, Description FROM L_Status ORDER BY StatusCode"),
              ElementsAre("21|One", "22|Two"));
  EXPECT_THAT(A("SELECT ResourceID, StatusCode FROM Resources ORDER BY ResourceID"),
              ElementsAre("10|1", "20|2"));
  EXPECT_EQ(faulty_->plan().Count(CallKind::kUpdate), 2);
}

// The first duplicate is recoded with its references; the write of the second one fails.
TEST_F(LookupCheckFault, TheSecondRowFailsAfterTheFirstWasRecoded) {
  Run(CallKind::kUpdate, 2);
  EXPECT_THAT(A("SELECT StatusCode, Description FROM L_Status ORDER BY StatusCode"),
              ElementsAre("2|Two", "21|One"));
  EXPECT_THAT(A("SELECT ResourceID, StatusCode FROM Resources ORDER BY ResourceID"),
              ElementsAre("10|21", "20|2"));
}

}  // namespace
}  // namespace msu::testing
