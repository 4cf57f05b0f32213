// The problem report byte for byte: the document head, the header block, line prefixes, page
// breaks for normal and small lines, the filler before each footer, the footer with its form
// feed and the closing line; then saving a copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "core/context.h"
#include "reports/problem_report.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::reports {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// The bytes of a report written with the size 18.
const std::string kHead =
    "{\\rtf1\\ansi\\deff0\\deftab5000{\\fonttbl{\\f0\\fmodern Courier New;}{\\f1\\fmodern"
    "\\fcharset2 Courier New;}{\\f2\\fswiss System;}}{\\colortbl\\red0\\green0\\blue0;}\\f0\\fs18"
    "\\margl200\\margr200\\margt200\\margb200\\par \r\n";
const std::string kLine = "\\par \\fs18      \\fs18 ";
const std::string kSmall = "\\par \\fs18      \\fs16 ";
const std::string kHeader = kLine + "\\b Orvane Merge Problem Report\r\n" + kLine +
                            "\\b0 Source Database: \\b       fire.mdf\r\n" + kLine +
                            "\\b0 Destination Database: \\b       other.mdf\r\n" + kLine +
                            "\\b0 Target Database: \\b  merged.mdf\r\n" + kLine +
                            "\\b0 Merge Version: \\b    3\r\n" + kLine +
                            "\\b0 Date: \\b            12/31/26\r\n" + kLine + "\\b0\\ulth " +
                            std::string(88, '_') + "\\ulth0\r\n" + "\\fs18\r\n";
const std::string kClosing = kLine + "\\par }";

std::string Footer(int page) {
  return kSmall + "Page: " + std::to_string(page) + "  Orvane Merge    \\fs18\\page \f";
}
std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}
std::string Body(const std::string& prefix, int first, int last) {
  std::string out;
  for (int i = first; i <= last; ++i) out += prefix + "line " + std::to_string(i);
  return out;
}
class RecordingViewer : public ReportViewer {
 public:
  void LoadReport(const std::string& path) override {
    loaded.push_back(path);
    if (fail) throw std::runtime_error("the box cannot load RTF");
  }
  std::vector<std::string> loaded;
  bool fail = false;
};

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "app");
    fs::create_directories(folder_ / "saved");
    context_ = std::make_unique<Context>(folder_ / "app", progress_, prompt_, backend_);
    report_ = std::make_unique<ProblemReport>(
        *context_,
        ReportMerge{"D:\\Data\\fire.mdf", "/srv/data/other.mdf", "C:/new\\merged.mdf", "3"},
        &viewer_, [] { return std::string("12/31/26"); });
  }

  std::string Report() const { return folder_ / "app/tmp_rpt.rtf"; }
  std::string Written() const { return ReadFile(Report()); }

  testing::ScratchFolder folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  RecordingViewer viewer_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<ProblemReport> report_;
};

// Normal lines take an eighth of the page, small ones half of that; a page ends once a line
// takes it past 9, and the filler before each footer stops past 8.75.
TEST_F(ReportTest, PageBreaksAndFillerByteForByte) {
  struct Case {
    int normal, small, pages;
    std::string body;  // between the document head's header block and the closing line
  };
  const std::string filled = kHeader + Repeat(kLine, 61);  // an empty page: 1.25 to 8.75
  const Case cases[] = {
      {0, 0, 1, Repeat(kLine, 61) + Footer(1)},
      {62, 0, 1, Body(kLine, 1, 62) + Footer(1)},
      // No filler on page 1 (the position is already 9.125); page 2 holds one line.
      {64, 0, 2,
       Body(kLine, 1, 63) + Footer(1) + kHeader + Body(kLine, 64, 64) + Repeat(kLine, 60) +
           Footer(2)},
      {0, 125, 2, Body(kSmall, 1, 125) + Footer(1) + filled + Footer(2)},
      // 59 normal and one small line end at 8.6875: one blank line takes the page to 8.8125.
      {59, 1, 1, Body(kLine, 1, 59) + Body(kSmall, 60, 60) + kLine + Footer(1)},
      {60, 1, 1, Body(kLine, 1, 60) + Body(kSmall, 61, 61) + Footer(1)},
      {200, 0, 4,
       Body(kLine, 1, 63) + Footer(1) + kHeader + Body(kLine, 64, 126) + Footer(2) + kHeader +
           Body(kLine, 127, 189) + Footer(3) + kHeader + Body(kLine, 190, 200) + Repeat(kLine, 50) +
           Footer(4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.normal) + " normal and " + std::to_string(c.small) + " small");
    WriteFile(Report(), std::string(100000, 'x'));  // the last report, replaced
    report_->OpenReport(9, 18);
    EXPECT_EQ(report_->PagePosition(), 1.25);
    for (int i = 1; i <= c.normal + c.small; ++i) {
      report_->WriteReportLine("line " + std::to_string(i), i > c.normal);
    }
    EXPECT_EQ(report_->PageNumber(), c.pages);
    report_->CloseReport();
    EXPECT_EQ(Written(), kHead + kHeader + c.body + kClosing);
  }
  EXPECT_EQ(context_->merge.CurrentOperation, " Closing Problem Report ");
  EXPECT_EQ(viewer_.loaded, std::vector<std::string>(std::size(cases), Report()));
}

TEST_F(ReportTest, BodyTextIsWrittenUnchangedAndBoldTextWrapsItsValueAsText) {
  EXPECT_EQ(BoldText("KindCodes"), "\\b KindCodes \\b0 ");
  report_->OpenReport(9, 18);
  report_->WriteReportLine("Table " + BoldText("A{b}\\c") + " differs");
  report_->CloseReport();
  EXPECT_NE(Written().find(kLine + "Table \\b A\\{b\\}\\\\c \\b0  differs" + kLine),
            std::string::npos);
}

TEST(RtfText, EscapesGroupsBackslashesControlsAndEveryCharacterAbove127) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text 123", "plain text 123"},
      {"}{\\rtf1 x}", "\\}\\{\\\\rtf1 x\\}"},
      {"caf\u00e9 \u00c9", "caf\\'e9 \\'c9"},  // UTF-8
      {"caf\xe9", "caf\\'e9"},                 // a bare Windows-1252 byte
      {"\u20ac \u0153", "\\'80 \\'9c"},        // Windows-1252 beyond Latin-1
      {"\u4e2d", "\\u20013?"},                 // not in the code page
      {"\U0001F600", "\\u-10179?\\u-8704?"},   // beyond the first plane
      {std::string("a\0b\tc\r\nd\x7f", 9), "a\\u-3?b\\tab c\\u-3?\\u-3?d\\u-3?"},  // controls
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(RtfText(text), escaped) << text;
}

TEST_F(ReportTest, OtherSizesChangeEverySizeWord) {
  report_->OpenReport(1, 10);
  report_->WriteReportLine("x", true);
  report_->CloseReport();
  const std::string bytes = Written();
  std::string head = kHead;
  head.replace(head.find("\\f0\\fs18"), 8, "\\f0\\fs10");
  EXPECT_EQ(bytes.substr(0, head.size()), head);
  EXPECT_NE(bytes.find("\\par \\fs10      \\fs8 x"), std::string::npos);
  EXPECT_NE(bytes.find("Page: 1  Orvane Merge    \\fs10\\page \f"), std::string::npos);
  EXPECT_EQ(bytes.find("fs18"), std::string::npos);
}

TEST_F(ReportTest, AViewerThatFailsIsIgnored) {
  viewer_.fail = true;
  report_->OpenReport(9, 18);
  EXPECT_NO_THROW(report_->CloseReport());
  EXPECT_EQ(viewer_.loaded.size(), 1u);
}

TEST_F(ReportTest, AReportThatCannotBeOpenedFailsAtItsFirstLine) {
  Context elsewhere(folder_ / "missing/folder", progress_, prompt_, backend_);
  ProblemReport report(elsewhere, ReportMerge{}, nullptr, [] { return std::string("d"); });
  EXPECT_NO_THROW(report.OpenReport(9, 18));
  EXPECT_EQ(testing::Thrown<ReportError>([&] { report.WriteReportLine("first"); }),
            std::make_pair(52L, "Bad file name or number: the problem report " +
                                    (folder_ / "missing/folder/tmp_rpt.rtf") + " is not open"));
  EXPECT_THROW(report.CloseReport(), ReportError);
}

TEST(ShortDate, IsTheShortDateOfTheLocale) {
  const char* saved = std::getenv("LC_ALL");
  std::string saved_value = saved ? saved : "";
  ::setenv("LC_ALL", "C", 1);
  const std::string date = ShortDate();
  if (saved) {
    ::setenv("LC_ALL", saved_value.c_str(), 1);
  } else {
    ::unsetenv("LC_ALL");
  }
  EXPECT_TRUE(std::regex_match(date, std::regex("[01][0-9]/[0-3][0-9]/[0-9][0-9]"))) << date;
}

class SaveTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    report_->OpenReport(9, 18);
    report_->WriteReportLine("finding");
    report_->CloseReport();
    report_bytes_ = Written();
  }
  std::string report_bytes_;
};

TEST_F(SaveTest, ANewTargetIsWrittenAndAnExistingOneReplacedOnlyAfterYes) {
  const std::string target = folder_ / "saved/report.rtf";
  SaveReport(*context_, target);
  EXPECT_TRUE(prompt_.Boxes().empty());
  EXPECT_EQ(ReadFile(target), report_bytes_);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "saved"), fs::directory_iterator()), 1);

  WriteFile(target, "the user's older report");
  prompt_.QueueAnswer(Answer::kNo);
  SaveReport(*context_, target);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  const ScriptedPrompt::Shown& box = prompt_.Boxes()[0];
  EXPECT_EQ(box.text, target + " exists. Do you wish to replace it?");
  EXPECT_EQ(box.title, "");
  EXPECT_EQ(box.buttons, Buttons::kYesNo);
  EXPECT_EQ(box.icon, Icon::kExclamation);
  EXPECT_EQ(ReadFile(target), "the user's older report");

  prompt_.QueueAnswer(Answer::kYes);
  SaveReport(*context_, target);
  EXPECT_EQ(prompt_.Boxes().size(), 2u);
  EXPECT_EQ(ReadFile(target), report_bytes_);
  EXPECT_EQ(Written(), report_bytes_);
  // Saving over the report itself asks the question and keeps it.
  SaveReport(*context_, Report());
  EXPECT_EQ(prompt_.Boxes().size(), 3u);
  EXPECT_EQ(Written(), report_bytes_);
}

TEST_F(SaveTest, AFailureIsShownAndLeavesTheTarget) {
  SaveReport(*context_, folder_ / "no/such/folder.rtf");
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "Error while saving file: \r\nError: 75 Path/File access error (No such file or "
            "directory)");
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kOk);
  EXPECT_EQ(prompt_.Boxes()[0].title, "");

  // Without a report there is nothing to save; the old target stays.
  const std::string target = folder_ / "saved/keep.rtf";
  WriteFile(target, "keep me");
  fs::remove(Report());
  prompt_.QueueAnswer(Answer::kYes);
  SaveReport(*context_, target);
  ASSERT_EQ(prompt_.Boxes().size(), 3u);
  EXPECT_EQ(prompt_.Boxes()[2].text,
            "Error while saving file: \r\nError: 53 File not found: " + Report());
  EXPECT_EQ(ReadFile(target), "keep me");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "saved"), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace msu::reports
