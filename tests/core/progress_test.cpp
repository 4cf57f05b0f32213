#include "core/progress.h"

#include <gtest/gtest.h>

namespace msu {
namespace {

const LineColour kRed{255, 0, 0};
const LineColour kBlue{0, 0, 255};
const LineColour kBlack{0, 0, 0};

TEST(ClassifyLine, FirstKeywordInOrderDecides) {
  EXPECT_EQ(ClassifyLine("Error, check stopped, Opening Source Database", LogPage::kCheck),
            (LineStyle{kRed, false}));
  EXPECT_EQ(ClassifyLine("An ERROR has occurred, x:", LogPage::kMerge), (LineStyle{kRed, false}));
  EXPECT_EQ(ClassifyLine("a lower-case error inside", LogPage::kSplit), (LineStyle{kRed, false}));
  // ERROR wins over DONE wherever they stand.
  EXPECT_EQ(ClassifyLine("Done, but an error", LogPage::kCheck), (LineStyle{kRed, false}));
  EXPECT_EQ(
      ClassifyLine("Done, no differences found. Press Next to complete the merge", LogPage::kCheck),
      (LineStyle{kBlack, true}));
  EXPECT_EQ(ClassifyLine("Press Merge to proceed.", LogPage::kMerge), (LineStyle{kBlack, false}));
}

TEST(ClassifyLine, WarningIsBoldOnlyOnTheCheckPage) {
  const std::string text =
      "Warning, There are differences between databases, press Next to view them";
  EXPECT_EQ(ClassifyLine(text, LogPage::kCheck), (LineStyle{kBlue, true}));
  EXPECT_EQ(ClassifyLine(text, LogPage::kMerge), (LineStyle{kBlue, false}));
  EXPECT_EQ(ClassifyLine(text, LogPage::kSplit), (LineStyle{kBlue, false}));
  // WARNING comes before DONE.
  EXPECT_EQ(ClassifyLine("warning: done", LogPage::kCheck), (LineStyle{kBlue, true}));
}

TEST(StatusCaption, Forms) {
  EXPECT_EQ(StatusCaption(101), "Done");
  EXPECT_EQ(StatusCaption(101, 50), "Done");
  EXPECT_EQ(StatusCaption(0), "0 %");
  EXPECT_EQ(StatusCaption(40, 75), "40 % - 75 %");
  EXPECT_EQ(StatusCaption(7, 0), "7 %");
  EXPECT_EQ(StatusCaption(100), "100 %");
}

}  // namespace
}  // namespace msu
