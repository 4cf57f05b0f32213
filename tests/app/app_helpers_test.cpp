// The text conversions of the window and its dialogs.
#include <gtest/gtest.h>

#include "app/frm_wizard.h"
#include "app/qt_prompt.h"

namespace msu::app {
namespace {

TEST(QtFileFilterTest, DescriptionsKeepTheirPatternsOnce) {
  EXPECT_EQ(QtFileFilter("Orvane Database(*.mdf)|*.mdf"), "Orvane Database (*.mdf)");
  EXPECT_EQ(QtFileFilter("Rich Text File(*.rtf)|*.rtf"), "Rich Text File (*.rtf)");
  EXPECT_EQ(QtFileFilter("Databases|*.mdf;*.ldf|All files (*.*)|*.*"),
            "Databases (*.mdf *.ldf);;All files (*.*)");
  EXPECT_EQ(QtFileFilter("Anything"), "Anything (*)");
}

// The merge summary is read back through its label by the wizard tests.
TEST(SummaryTest, LinesEndInSingleCarriageReturns) {
  EXPECT_EQ(SplitSummary("S.mdf", "T.mdf", {}),
            "Source Database:             S.mdf\r\rTarget Database:             T.mdf\r\r"
            "Incidents contained in target database: \r\r\rPress Finish to exit.");
  EXPECT_EQ(DisplayText("a\r\nb\rc\nd"), "a\nb\nc\nd");
}

}  // namespace
}  // namespace msu::app
