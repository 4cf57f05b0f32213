// The RTF reader on the two documents the utility shows: a problem report written by the report
// writer itself, over several pages, and the help document shipped in the application folder;
// then the parts of RTF that neither uses but a saved or edited copy may hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QTextBlock>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/rtf_reader.h"
#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "fake_backend.h"
#include "reports/problem_report.h"

namespace msu::app {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
  static int argc = 1;
  static char name[] = "rtf_reader_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The runs of a document whose text contains `text`.
std::vector<RtfRun> RunsWith(const RtfDocument& document, const std::string& text) {
  std::vector<RtfRun> found;
  for (const RtfParagraph& paragraph : document.paragraphs) {
    for (const RtfRun& run : paragraph.runs) {
      if (run.text.find(text) != std::string::npos) found.push_back(run);
    }
  }
  return found;
}

int PageBreaks(const RtfDocument& document) {
  int breaks = 0;
  for (const RtfParagraph& paragraph : document.paragraphs) breaks += paragraph.page_break_before;
  return breaks;
}

// Nothing of the markup may reach the reader's eyes.
void ExpectNoMarkup(const std::string& text) {
  EXPECT_EQ(text.find('\\'), std::string::npos);
  EXPECT_EQ(text.find('{'), std::string::npos);
  EXPECT_EQ(text.find('}'), std::string::npos);
  EXPECT_EQ(text.find('\f'), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  for (const char* word :
       {"fs16", "fs18", "fs20", "fs32", "ulth", "rtf1", "Courier", "margl", "red0", "deftab"}) {
    EXPECT_EQ(text.find(word), std::string::npos) << word;
  }
}

class ReportReadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    folder_ = fs::temp_directory_path() / ("rtf_reader_" + std::to_string(::getpid()));
    fs::create_directories(folder_);
    context_ = std::make_unique<Context>(folder_.string(), progress_, prompt_, backend_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  // A report of `lines` body lines, every tenth a small one, each naming a table in bold.
  std::string WriteReport(int lines) {
    reports::ProblemReport report(
        *context_, {"/data/fire.mdf", "D:\\Data\\other.mdf", "/data/merged.mdf", "3"}, nullptr,
        [] { return std::string("12/31/26"); });
    report.OpenReport(9, 18);
    for (int i = 1; i <= lines; ++i) {
      report.WriteReportLine(
          "Line " + std::to_string(i) + " " + reports::BoldText("L_Status") + "differs",
          i % 10 == 0);
    }
    report.CloseReport();
    return ReadBytes(report.Path());
  }

  fs::path folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  msu::testing::FakeBackend backend_;
  std::unique_ptr<Context> context_;
};

TEST_F(ReportReadingTest, ReportHeaderIsBoldWhereTheWriterSaysAndInCourier) {
  const RtfDocument document = ParseRtf(WriteReport(3));
  ExpectNoMarkup(document.PlainText());

  const std::vector<RtfRun> titles = RunsWith(document, "Orvane Merge Problem Report");
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0].text, "Orvane Merge Problem Report");
  EXPECT_TRUE(titles[0].format.bold);
  EXPECT_EQ(titles[0].format.font_size, 18);
  EXPECT_TRUE(titles[0].format.monospace);  // \f0 is \fmodern in the font table

  // "\b0 Source Database: \b       fire.mdf": the label plain, the name bold, blanks kept.
  const std::vector<RtfRun> labels = RunsWith(document, "Source Database:");
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].text, "Source Database: ");
  EXPECT_FALSE(labels[0].format.bold);
  const std::vector<RtfRun> names = RunsWith(document, "fire.mdf");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].text, "      fire.mdf");
  EXPECT_TRUE(names[0].format.bold);
  EXPECT_EQ(RunsWith(document, "other.mdf").at(0).text, "      other.mdf");

  // The thick rule under the header.
  const std::vector<RtfRun> rules = RunsWith(document, std::string(88, '_'));
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_TRUE(rules[0].format.underline);
  EXPECT_FALSE(rules[0].format.bold);

  // Body lines: prefix blanks, then the bold name from BoldText and the rest plain.
  const std::vector<RtfRun> bold_names = RunsWith(document, "L_Status");
  ASSERT_EQ(bold_names.size(), 3u);
  for (const RtfRun& run : bold_names) {
    EXPECT_EQ(run.text, "L_Status ");
    EXPECT_TRUE(run.format.bold);
  }
  const std::vector<RtfRun> rest = RunsWith(document, "differs");
  ASSERT_EQ(rest.size(), 3u);
  EXPECT_FALSE(rest[0].format.bold);
  EXPECT_FALSE(rest[0].format.underline);
}

TEST_F(ReportReadingTest, EveryPageStartsAfterABreakWithItsHeaderAndSmallFooter) {
  // 70 lines (7 of them small) fill the first page and run onto the second.
  const RtfDocument document = ParseRtf(WriteReport(70));
  ExpectNoMarkup(document.PlainText());

  EXPECT_EQ(RunsWith(document, "Orvane Merge Problem Report").size(), 2u);
  // One \page ends each of the two pages.
  EXPECT_EQ(PageBreaks(document), 2);
  const std::vector<RtfRun> footers = RunsWith(document, "Orvane Merge    ");
  ASSERT_EQ(footers.size(), 2u);
  EXPECT_EQ(footers[0].text, "Page: 1  Orvane Merge    ");
  EXPECT_EQ(footers[0].format.font_size, 16);
  EXPECT_EQ(footers[1].text, "Page: 2  Orvane Merge    ");

  // The paragraph after the first break leads into the second page's header.
  size_t first_break = 0;
  while (!document.paragraphs[first_break].page_break_before) ++first_break;
  EXPECT_NE(document.paragraphs[first_break - 1].Text().find("Page: 1"), std::string::npos);
  EXPECT_NE(document.paragraphs[first_break + 1].Text().find("Orvane Merge Problem Report"),
            std::string::npos);

  // Small lines are two half-points smaller, normal ones at the report's size.
  EXPECT_EQ(RunsWith(document, "Line 10 ").at(0).format.font_size, 16);
  EXPECT_EQ(RunsWith(document, "Line 11 ").at(0).format.font_size, 18);
}

TEST_F(ReportReadingTest, TheTextDocumentCarriesFormatsAndPageBreaks) {
  const RtfDocument parsed = ParseRtf(WriteReport(70));
  QTextDocument document;
  BuildRtfDocument(parsed, document);
  const QString text = document.toPlainText();
  ExpectNoMarkup(text.toStdString());
  EXPECT_TRUE(text.contains("Line 70 L_Status differs"));

  int page_breaks = 0;
  int rules = 0;
  bool title_checked = false;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QTextBlockFormat format = block.blockFormat();
    if (format.pageBreakPolicy().testFlag(QTextFormat::PageBreak_AlwaysBefore)) ++page_breaks;
    if (format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) ++rules;
    if (!title_checked && block.text().contains("Orvane Merge Problem Report")) {
      title_checked = true;
      for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
        if (!fragment.fragment().text().contains("Orvane")) continue;
        const QTextCharFormat chars = fragment.fragment().charFormat();
        EXPECT_EQ(chars.fontWeight(), static_cast<int>(QFont::Bold));
        EXPECT_DOUBLE_EQ(chars.fontPointSize(), 9.0);
        EXPECT_TRUE(chars.fontFixedPitch());
      }
    }
  }
  EXPECT_TRUE(title_checked);
  EXPECT_EQ(page_breaks, 2);
  EXPECT_EQ(rules, 2);
}

TEST(HelpDocumentTest, TheShippedHelpReadsAsHeadingsAndText) {
  App();
  const std::string bytes = ReadBytes(fs::path(ORVANE_SUITE_FILES) / "CVMergeSplitHelp.rtf");
  ASSERT_FALSE(bytes.empty());
  const RtfDocument document = ParseRtf(bytes);
  const std::string text = document.PlainText();
  ExpectNoMarkup(text);
  EXPECT_EQ(text.rfind("Orvane Merge/Split Utility", 0), 0u) << text.substr(0, 80);

  const std::vector<RtfRun> title = RunsWith(document, "Orvane Merge/Split Utility");
  ASSERT_FALSE(title.empty());
  EXPECT_TRUE(title[0].format.bold);
  EXPECT_EQ(title[0].format.font_size, 32);
  EXPECT_FALSE(title[0].format.monospace);  // no font table: the reader's own font

  const std::vector<RtfRun> heading = RunsWith(document, "Specify Operation");
  ASSERT_FALSE(heading.empty());
  EXPECT_TRUE(heading[0].format.bold);
  EXPECT_TRUE(heading[0].format.underline);
  EXPECT_EQ(heading[0].format.font_size, 24);

  const std::vector<RtfRun> body = RunsWith(document, "Press Next.");
  ASSERT_FALSE(body.empty());
  EXPECT_FALSE(body[0].format.bold);
  EXPECT_FALSE(body[0].format.underline);
  EXPECT_EQ(body[0].format.font_size, 20);

  // The document is cut into pages where it says so, and a new page starts with its heading.
  EXPECT_EQ(PageBreaks(document), 3);
  for (const RtfParagraph& paragraph : document.paragraphs) {
    if (paragraph.page_break_before) {
      ASSERT_FALSE(paragraph.runs.empty());
      EXPECT_TRUE(paragraph.runs[0].format.bold) << paragraph.Text();
    }
  }

  QTextDocument built;
  BuildRtfDocument(document, built);
  EXPECT_EQ(built.toPlainText().toStdString().find('\\'), std::string::npos);
}

TEST(RtfReaderTest, WhatTheReaderDoesNotKnowIsSkippedNotShown) {
  const RtfDocument document = ParseRtf(
      "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset0 Courier "
      "New;}}{\\stylesheet{\\s0 Normal;}}{\\info{\\title Hidden title}{\\author Someone}}"
      "{\\*\\generator Editor 1.0;}{\\*\\unknowndest with {nested} groups \\b bold}"
      "{\\header Header text\\par}\\viewkind4\\uc1\\pard\\sa200\\sl276\\slmult1\\lang9 "
      "Visible \\fancyword12 text \\bin3 {}}\\f1 mono\\f0  and \\'93quoted\\'94 \\u8364? "
      "\\{braces\\} back\\\\slash\\~end\\par}trailing");
  EXPECT_EQ(document.PlainText(),
            "Visible text mono and \u201Cquoted\u201D \u20AC {braces} back\\slash\u00A0end");
  // Unknown words change no format: only \f1, a Courier font, is fixed-pitch.
  ASSERT_EQ(document.paragraphs.size(), 1u);
  const std::vector<RtfRun>& runs = document.paragraphs[0].runs;
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_FALSE(runs[0].format.bold);
  EXPECT_EQ(runs[0].format.font_size, kRtfDefaultFontSize);
  EXPECT_FALSE(runs[0].format.monospace);
  EXPECT_EQ(runs[1].text, "mono");
  EXPECT_TRUE(runs[1].format.monospace);
  EXPECT_FALSE(runs[2].format.monospace);
}

TEST(RtfReaderTest, GroupsRestoreFormatsAndSwitchesTakeTheirParameters) {
  const RtfDocument document = ParseRtf(
      "{\\rtf1\\fs20 a{\\b\\i\\fs30 b{\\b0 c}d}e\\b1 f\\b0 g\\ul h\\ulnone i\\uldb j\\ul0 k"
      "\\plain l\\line m\\tab n\\par\\par o\\page p}");
  ASSERT_EQ(document.paragraphs.size(), 4u);
  const std::vector<RtfRun>& runs = document.paragraphs[0].runs;
  std::string shape;
  for (const RtfRun& run : runs) {
    shape += run.text + ":" + (run.format.bold ? "B" : "") + (run.format.italic ? "I" : "") +
             (run.format.underline ? "U" : "") + std::to_string(run.format.font_size) + " ";
  }
  EXPECT_EQ(shape,
            "a:20 b:BI30 c:I30 d:BI30 e:20 f:B20 g:20 h:U20 i:20 j:U20 k:20 l\u2028m\tn:24 ");
  EXPECT_EQ(document.paragraphs[1].Text(), "");
  EXPECT_EQ(document.paragraphs[1].mark.font_size, 24);
  EXPECT_EQ(document.paragraphs[2].Text(), "o");
  EXPECT_FALSE(document.paragraphs[2].page_break_before);
  EXPECT_EQ(document.paragraphs[3].Text(), "p");
  EXPECT_TRUE(document.paragraphs[3].page_break_before);
}

TEST(RtfReaderTest, DocumentsCutShortOrEmptyGiveWhatTheyHold) {
  EXPECT_EQ(ParseRtf("{\\rtf1 cut \\b short").PlainText(), "cut short");
  EXPECT_EQ(ParseRtf("{\\rtf1 half an escape \\'9").PlainText(), "half an escape ");
  EXPECT_EQ(ParseRtf("").paragraphs.size(), 0u);
  EXPECT_EQ(ParseRtf("no rtf at all").paragraphs.size(), 0u);
  EXPECT_EQ(ParseRtf("{\\rtf1 a}}}{ b}").PlainText(), "a");
  // Windows-1252 bytes written as they are.
  EXPECT_EQ(ParseRtf("{\\rtf1 Caf\xe9 \x80}").PlainText(), "Caf\u00e9 \u20ac");
}

}  // namespace
}  // namespace msu::app
