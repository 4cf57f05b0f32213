// The RTF reader on the two documents the utility shows: a problem report written by the report
// writer itself, over several pages, and the help document shipped in the application folder;
// then the parts of RTF that neither uses but a saved or edited copy may hold.
#include <gtest/gtest.h>

#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <filesystem>

#include "core/context.h"
#include "print/rtf_reader.h"
#include "reports/problem_report.h"
#include "tests/print/print_test_support.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::print {
namespace {

namespace fs = std::filesystem;
using msu::testing::ReadFile;
using testing::App;

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

// "B", "I", "U" and "M" (monospace) for what is set, then the size in half-points.
std::string Format(const RtfRun& run) {
  const RtfCharFormat& f = run.format;
  return std::string(f.bold ? "B" : "") + (f.italic ? "I" : "") + (f.underline ? "U" : "") +
         (f.monospace ? "M" : "") + std::to_string(f.font_size);
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

// Reports written into a scratch folder.
class ReportReadingTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }

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
    return ReadFile(report.Path());
  }

  msu::testing::ScratchFolder folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  msu::testing::FakeBackend backend_;
  std::unique_ptr<Context> context_ =
      std::make_unique<Context>(folder_.path(), progress_, prompt_, backend_);
};

// 70 lines (7 of them small) fill the first page and run onto the second.
TEST_F(ReportReadingTest, EveryPageHasItsBoldCourierHeaderBodyAndSmallFooter) {
  const RtfDocument document = ParseRtf(WriteReport(70));
  ExpectNoMarkup(document.PlainText());

  const std::vector<RtfRun> titles = RunsWith(document, "Orvane Merge Problem Report");
  ASSERT_EQ(titles.size(), 2u);
  EXPECT_EQ(titles[0].text, "Orvane Merge Problem Report");
  EXPECT_EQ(Format(titles[0]), "BM18");  // \f0 is \fmodern in the font table

  // "\b0 Source Database: \b       fire.mdf": the label plain, the name bold, blanks kept.
  const RtfRun label = RunsWith(document, "Source Database:").at(0);
  EXPECT_EQ(label.text + Format(label), "Source Database: M18");
  const RtfRun name = RunsWith(document, "fire.mdf").at(0);
  EXPECT_EQ(name.text + Format(name), "      fire.mdfBM18");
  EXPECT_EQ(RunsWith(document, "other.mdf").at(0).text, "      other.mdf");

  // The thick rule under the header.
  EXPECT_EQ(Format(RunsWith(document, std::string(88, '_')).at(0)), "UM18");

  // Body lines: prefix blanks, then the bold name from BoldText and the rest plain; small lines
  // are two half-points smaller.
  const std::vector<RtfRun> bold_names = RunsWith(document, "L_Status");
  ASSERT_EQ(bold_names.size(), 70u);
  for (const RtfRun& run : bold_names)
    EXPECT_EQ(run.text + Format(run).substr(0, 2), "L_Status BM");
  EXPECT_EQ(Format(RunsWith(document, "differs").at(0)), "M18");
  EXPECT_EQ(Format(RunsWith(document, "Line 10 ").at(0)), "M16");
  EXPECT_EQ(Format(RunsWith(document, "Line 11 ").at(0)), "M18");

  // One \page ends each of the two pages, after the page's small footer.
  EXPECT_EQ(PageBreaks(document), 2);
  const std::vector<RtfRun> footers = RunsWith(document, "Orvane Merge    ");
  ASSERT_EQ(footers.size(), 2u);
  EXPECT_EQ(footers[0].text, "Page: 1  Orvane Merge    ");
  EXPECT_EQ(footers[0].format.font_size, 16);
  EXPECT_EQ(footers[1].text, "Page: 2  Orvane Merge    ");
  size_t first_break = 0;
  while (!document.paragraphs[first_break].page_break_before) ++first_break;
  EXPECT_NE(document.paragraphs[first_break - 1].Text().find("Page: 1"), std::string::npos);
  EXPECT_NE(document.paragraphs[first_break + 1].Text().find("Orvane Merge Problem Report"),
            std::string::npos);

  // The text document shown carries the same formats and page breaks.
  QTextDocument shown;
  BuildRtfDocument(document, shown);
  const QString text = shown.toPlainText();
  ExpectNoMarkup(text.toStdString());
  EXPECT_TRUE(text.contains("Line 70 L_Status differs"));
  int page_breaks = 0, rules = 0;
  for (QTextBlock block = shown.begin(); block.isValid(); block = block.next()) {
    const QTextBlockFormat format = block.blockFormat();
    if (format.pageBreakPolicy().testFlag(QTextFormat::PageBreak_AlwaysBefore)) ++page_breaks;
    if (format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) ++rules;
  }
  EXPECT_EQ(page_breaks, 2);
  EXPECT_EQ(rules, 2);
  const QTextBlock title = shown.find("Orvane Merge Problem Report").block();
  ASSERT_TRUE(title.isValid());
  int title_fragments = 0;
  for (auto fragment = title.begin(); !fragment.atEnd(); ++fragment) {
    if (!fragment.fragment().text().contains("Orvane")) continue;
    ++title_fragments;
    const QTextCharFormat chars = fragment.fragment().charFormat();
    EXPECT_EQ(chars.fontWeight(), static_cast<int>(QFont::Bold));
    EXPECT_DOUBLE_EQ(chars.fontPointSize(), 9.0);
    EXPECT_TRUE(chars.fontFixedPitch());
  }
  EXPECT_EQ(title_fragments, 1);
}

TEST(HelpDocumentTest, TheShippedHelpReadsAsHeadingsAndText) {
  App();
  const std::string bytes = ReadFile(fs::path(ORVANE_SUITE_FILES) / "CVMergeSplitHelp.rtf");
  ASSERT_FALSE(bytes.empty());
  const RtfDocument document = ParseRtf(bytes);
  const std::string text = document.PlainText();
  ExpectNoMarkup(text);
  EXPECT_EQ(text.rfind("Orvane Merge/Split Utility", 0), 0u) << text.substr(0, 80);

  // No font table: the reader's own font, never monospace.
  EXPECT_EQ(Format(RunsWith(document, "Orvane Merge/Split Utility").at(0)), "B32");
  EXPECT_EQ(Format(RunsWith(document, "Specify Operation").at(0)), "BU24");
  EXPECT_EQ(Format(RunsWith(document, "Press Next.").at(0)), "20");

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

TEST(RtfReaderTest, PlainTextKeepsTextAndLineBreaksOnly) {
  EXPECT_EQ(RtfToPlainText("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}{\\*\\generator x;}"
                           "Caf\\'e9\\tab 1\\line 2\\par\n3}"),
            QString("Caf\u00e9\t1\n2\n3"));
  EXPECT_EQ(RtfToPlainText("{\\rtf1 a\\\\b}"), "a\\b");
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
}  // namespace msu::print
