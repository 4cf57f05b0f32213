#include "core/progress.h"

#include <gtest/gtest.h>

#include "tests/support/recording_progress.h"

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

TEST(RecordingProgress, DetailLinesFollowTheBoxAtTheMomentOfTheCall) {
  RecordingProgress progress;
  progress.AddProgress("- Inspecting LU table: L_Kind", true);
  EXPECT_TRUE(progress.Lines(LogPage::kCheck).empty());
  progress.SetShowDetails(LogPage::kCheck, true);
  // A line suppressed earlier does not come back.
  EXPECT_TRUE(progress.Lines(LogPage::kCheck).empty());
  progress.AddProgress("- Inspecting LU table: L_Unit", true);
  progress.AddProgressMerge("merge detail", true);
  EXPECT_EQ(progress.Texts(LogPage::kCheck),
            std::vector<std::string>{"- Inspecting LU table: L_Unit"});
  EXPECT_TRUE(progress.Lines(LogPage::kMerge).empty());
  progress.AddProgressSplit("Spliting process initiated ...");
  EXPECT_EQ(progress.Lines(LogPage::kSplit).size(), 1u);
  progress.Clear(LogPage::kSplit);
  EXPECT_TRUE(progress.Lines(LogPage::kSplit).empty());
}

TEST(RecordingProgress, CaptionsStartAtZeroAndFollowTheCalls) {
  RecordingProgress progress;
  EXPECT_EQ(progress.Caption(LogPage::kCheck), "0 %");
  progress.SetStatus(40, 75);
  progress.SetStatusMerge(101);
  EXPECT_EQ(progress.Caption(LogPage::kCheck), "40 % - 75 %");
  EXPECT_EQ(progress.Caption(LogPage::kMerge), "Done");
}

}  // namespace
}  // namespace msu
