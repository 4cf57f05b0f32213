// The problem report byte for byte: the document head, the header block, line prefixes, page
// breaks for normal and small lines, the filler before each footer, the footer with its form
// feed and the closing line; then saving a copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>

#include <unistd.h>

#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "fake_backend.h"
#include "reports/problem_report.h"

namespace msu::reports {
namespace {

namespace fs = std::filesystem;

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
std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
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
    std::random_device seed;
    folder_ = fs::temp_directory_path() /
              ("msu_report_" + std::to_string(::getpid()) + "_" + std::to_string(seed()));
    fs::create_directories(folder_ / "app");
    fs::create_directories(folder_ / "saved");
    context_ = std::make_unique<Context>((folder_ / "app").string(), progress_, prompt_, backend_);
    report_ = std::make_unique<ProblemReport>(
        *context_,
        ReportMerge{"D:\\Data\\fire.mdf", "/srv/data/other.mdf", "C:/new\\merged.mdf", "3"},
        &viewer_, [] { return std::string("12/31/26"); });
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Written() const { return ReadBytes(folder_ / "app" / "tmp_rpt.rtf"); }
  void WriteLines(int count, bool small) {
    for (int i = 1; i <= count; ++i) report_->WriteReportLine("line " + std::to_string(i), small);
  }

  fs::path folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  RecordingViewer viewer_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<ProblemReport> report_;
};

TEST_F(ReportTest, AnEmptyReportIsOneFilledPage) {
  report_->OpenReport(9, 18);
  EXPECT_EQ(report_->PagePosition(), 1.25);
  report_->CloseReport();
  // From 1.25 to 8.75 in eighths: 61 blank lines.
  EXPECT_EQ(Written(), kHead + kHeader + Repeat(kLine, 61) + Footer(1) + kClosing);
  EXPECT_EQ(context_->merge.CurrentOperation, " Closing Problem Report ");
  EXPECT_EQ(viewer_.loaded, (std::vector<std::string>{(folder_ / "app" / "tmp_rpt.rtf").string()}));
  EXPECT_EQ(report_->DocumentHead() + "\r\n", kHead);
  EXPECT_EQ(report_->FileNumber(), 9);
}

TEST_F(ReportTest, SixtyTwoNormalLinesFillOnePageExactly) {
  report_->OpenReport(9, 18);
  WriteLines(62, false);
  EXPECT_EQ(report_->PageNumber(), 1);
  EXPECT_EQ(report_->PagePosition(), 9.0);
  report_->CloseReport();
  EXPECT_EQ(Written(), kHead + kHeader + Body(kLine, 1, 62) + Footer(1) + kClosing);
}

TEST_F(ReportTest, TheSixtyThirdLineEndsThePage) {
  report_->OpenReport(9, 18);
  WriteLines(64, false);
  EXPECT_EQ(report_->PageNumber(), 2);
  report_->CloseReport();
  // No filler on page 1 (the position is already 9.125); page 2 holds one line.
  EXPECT_EQ(Written(), kHead + kHeader + Body(kLine, 1, 63) + Footer(1) + kHeader +
                           Body(kLine, 64, 64) + Repeat(kLine, 60) + Footer(2) + kClosing);
}

TEST_F(ReportTest, SmallLinesTakeHalfAsMuch) {
  report_->OpenReport(9, 18);
  WriteLines(124, true);
  EXPECT_EQ(report_->PageNumber(), 1);
  report_->WriteReportLine("line 125", true);
  EXPECT_EQ(report_->PageNumber(), 2);
  report_->CloseReport();
  EXPECT_EQ(Written(), kHead + kHeader + Body(kSmall, 1, 125) + Footer(1) + kHeader +
                           Repeat(kLine, 61) + Footer(2) + kClosing);
}

TEST_F(ReportTest, TheFillerStopsPast8Point75) {
  // 59 normal and one small line end at 8.6875: one blank line takes the page to 8.8125.
  report_->OpenReport(9, 18);
  WriteLines(59, false);
  report_->WriteReportLine("small", true);
  report_->CloseReport();
  EXPECT_EQ(Written(),
            kHead + kHeader + Body(kLine, 1, 59) + kSmall + "small" + kLine + Footer(1) + kClosing);

  // 60 and one small end at 8.8125: no blank line.
  report_->OpenReport(9, 18);
  WriteLines(60, false);
  report_->WriteReportLine("small", true);
  report_->CloseReport();
  EXPECT_EQ(Written(),
            kHead + kHeader + Body(kLine, 1, 60) + kSmall + "small" + Footer(1) + kClosing);
}

TEST_F(ReportTest, TwoHundredLinesMakeFourPages) {
  report_->OpenReport(9, 18);
  WriteLines(200, false);
  report_->CloseReport();
  const std::string bytes = Written();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\f'), 4);
  EXPECT_NE(bytes.find(Footer(4)), std::string::npos);
  EXPECT_EQ(report_->PageNumber(), 4);
}

TEST_F(ReportTest, BodyTextIsWrittenUnchangedAndBoldTextWrapsIt) {
  EXPECT_EQ(BoldText("KindCodes"), "\\b KindCodes \\b0 ");
  report_->OpenReport(9, 18);
  report_->WriteReportLine("Table " + BoldText("A{b}\\c") + " differs");
  report_->CloseReport();
  EXPECT_NE(Written().find(kLine + "Table \\b A{b}\\c \\b0  differs" + kLine), std::string::npos);
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

TEST_F(ReportTest, OpenReportReplacesTheLastReport) {
  WriteBytes(folder_ / "app" / "tmp_rpt.rtf", std::string(100000, 'x'));
  report_->OpenReport(9, 18);
  report_->CloseReport();
  EXPECT_EQ(Written(), kHead + kHeader + Repeat(kLine, 61) + Footer(1) + kClosing);
}

TEST_F(ReportTest, AViewerThatFailsIsIgnored) {
  viewer_.fail = true;
  report_->OpenReport(9, 18);
  EXPECT_NO_THROW(report_->CloseReport());
  EXPECT_EQ(viewer_.loaded.size(), 1u);
}

TEST_F(ReportTest, AReportThatCannotBeOpenedFailsAtItsFirstLine) {
  Context elsewhere((folder_ / "missing" / "folder").string(), progress_, prompt_, backend_);
  ProblemReport report(elsewhere, ReportMerge{}, nullptr, [] { return std::string("d"); });
  EXPECT_NO_THROW(report.OpenReport(9, 18));
  try {
    report.WriteReportLine("first");
    FAIL() << "a line went nowhere without an error";
  } catch (const ReportError& error) {
    EXPECT_EQ(error.number(), 52);
    EXPECT_EQ(error.description(), "Bad file name or number: the problem report " +
                                       (folder_ / "missing" / "folder" / "tmp_rpt.rtf").string() +
                                       " is not open");
  }
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

TEST_F(SaveTest, ANewTargetIsWrittenWithoutAsking) {
  const fs::path target = folder_ / "saved" / "report.rtf";
  SaveReport(*context_, target.string());
  EXPECT_TRUE(prompt_.Boxes().empty());
  EXPECT_EQ(ReadBytes(target), report_bytes_);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "saved"), fs::directory_iterator()), 1);
}

TEST_F(SaveTest, AnExistingTargetIsReplacedOnlyAfterYes) {
  const fs::path target = folder_ / "saved" / "report.rtf";
  WriteBytes(target, "the user's older report");

  prompt_.QueueAnswer(Answer::kNo);
  SaveReport(*context_, target.string());
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  const ScriptedPrompt::Shown& box = prompt_.Boxes()[0];
  EXPECT_EQ(box.text, target.string() + " exists. Do you wish to replace it?");
  EXPECT_EQ(box.title, "");
  EXPECT_EQ(box.buttons, Buttons::kYesNo);
  EXPECT_EQ(box.icon, Icon::kExclamation);
  EXPECT_EQ(ReadBytes(target), "the user's older report");
  EXPECT_EQ(Written(), report_bytes_);

  prompt_.QueueAnswer(Answer::kYes);
  SaveReport(*context_, target.string());
  EXPECT_EQ(prompt_.Boxes().size(), 2u);
  EXPECT_EQ(ReadBytes(target), report_bytes_);
  EXPECT_EQ(Written(), report_bytes_);
}

TEST_F(SaveTest, AFailureIsShownAndLeavesTheTarget) {
  SaveReport(*context_, (folder_ / "no" / "such" / "folder.rtf").string());
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "Error while saving file: \r\nError: 75 Path/File access error (No such file or "
            "directory)");
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kOk);
  EXPECT_EQ(prompt_.Boxes()[0].title, "");

  // Without a report there is nothing to save; the old target stays.
  const fs::path target = folder_ / "saved" / "keep.rtf";
  WriteBytes(target, "keep me");
  fs::remove(folder_ / "app" / "tmp_rpt.rtf");
  prompt_.QueueAnswer(Answer::kYes);
  SaveReport(*context_, target.string());
  ASSERT_EQ(prompt_.Boxes().size(), 3u);
  EXPECT_EQ(prompt_.Boxes()[2].text, "Error while saving file: \r\nError: 53 File not found: " +
                                         (folder_ / "app" / "tmp_rpt.rtf").string());
  EXPECT_EQ(ReadBytes(target), "keep me");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "saved"), fs::directory_iterator()), 1);
}

TEST_F(SaveTest, SavingOverTheReportItselfKeepsIt) {
  SaveReport(*context_, (folder_ / "app" / "tmp_rpt.rtf").string());
  EXPECT_EQ(prompt_.Boxes().size(), 1u);  // the question only
  EXPECT_EQ(Written(), report_bytes_);
}

}  // namespace
}  // namespace msu::reports
