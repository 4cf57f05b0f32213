// The problem report printed page by page to Qt's PDF printer, and read back as a reader sees
// it: every report page on a sheet of its own with its title, header block and footer, in the
// report's fixed-pitch font; a print stopped after a page; a printer of the system handed one
// document per page; a report that is not there.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QTextDocument>
#include <filesystem>

#include "core/context.h"
#include "print/report_printing.h"
#include "reports/problem_report.h"
#include "tests/print/print_test_support.h"
#include "tests/support/fake_backend.h"
#include "tests/support/pdf_pages.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::print {
namespace {

using msu::testing::PdfPageCount;
using msu::testing::PdfPageTexts;
using msu::testing::ReadFile;
using testing::App;

class ReportPrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printer_.setOutputFormat(QPrinter::PdfFormat);
    printer_.setOutputFileName(QString::fromStdString(pdf_));
  }

  // A report of `lines` normal body lines, "Line 1 differs" to "Line <lines> differs".
  void WriteReport(int lines) {
    reports::ProblemReport report(
        context_, {"/data/Fire1.mdf", "/data/Fire2.mdf", "/data/Merged.mdf", "4.13"}, nullptr,
        [] { return std::string("12/31/26"); });
    report.OpenReport(9, 18);
    for (int i = 1; i <= lines; ++i) {
      report.WriteReportLine(reports::BoldText("L_Status") + "Line " + std::to_string(i) +
                             " differs");
    }
    report.CloseReport();
  }

  ReportPrintResult Print(PrinterOutput& output, std::function<bool(int)> keep_going = nullptr) {
    ReportPrintJob job;
    job.report_path = folder_ / "tmp_rpt.rtf";
    job.page_file_path = folder_ / "__TempCM.tmp";
    job.report_box = &box_;
    job.output = &output;
    job.keep_going = std::move(keep_going);
    return PrintReportPages(job);
  }

  QGuiApplication& application_ = App();  // before the printer
  msu::testing::ScratchFolder folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  msu::testing::FakeBackend backend_;
  Context context_{folder_.path(), progress_, prompt_, backend_};
  const std::string pdf_ = folder_ / "report.pdf";
  QPrinter printer_{QPrinter::HighResolution};
  QTextDocument box_;
};

// The body lines a page's text holds, by number.
std::vector<int> BodyLines(const std::string& page) {
  std::vector<int> numbers;
  const std::string mark = "L_Status Line ";
  for (size_t at = page.find(mark); at != std::string::npos; at = page.find(mark, at + 1)) {
    numbers.push_back(std::stoi(page.substr(at + mark.size())));
  }
  return numbers;
}

TEST_F(ReportPrintingTest, TwoHundredLinesPrintAsFourSheetsEachWithHeaderAndFooter) {
  WriteReport(200);
  PrinterOutput output(printer_);
  const ReportPrintResult result = Print(output);
  EXPECT_FALSE(result.failed) << result.problem;
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(result.pages, 4);
  // A PDF file is one document of four sheets.
  EXPECT_EQ(output.DocumentsEnded(), 1);
  EXPECT_EQ(output.SheetsDrawn(), 4);
  EXPECT_FALSE(output.IsOpen());

  ASSERT_EQ(PdfPageCount(pdf_), 4);
  const std::vector<std::string> pages = PdfPageTexts(pdf_);
  ASSERT_EQ(pages.size(), 4u);
  // 63 body lines fill a page; the fourth holds the last 11.
  const std::vector<std::pair<int, int>> expected_lines = {
      {1, 63}, {64, 126}, {127, 189}, {190, 200}};
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string& page = pages[i];
    SCOPED_TRACE("sheet " + std::to_string(i + 1));
    for (const char* text : {"Orvane Merge Problem Report", "Source Database: Fire1.mdf",
                             "Destination Database: Fire2.mdf", "Target Database: Merged.mdf",
                             "Merge Version: 4.13", "Date: 12/31/26", "______________________"}) {
      EXPECT_NE(page.find(text), std::string::npos) << text << "\n" << page;
    }
    EXPECT_NE(page.find("Page: " + std::to_string(i + 1) + " Orvane Merge"), std::string::npos);
    const std::vector<int> lines = BodyLines(page);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), expected_lines[i].first);
    EXPECT_EQ(lines.back(), expected_lines[i].second);
    EXPECT_EQ(lines.size(), size_t(expected_lines[i].second - expected_lines[i].first + 1));
    // The title heads the sheet and the footer closes it.
    EXPECT_LT(page.find("Orvane Merge Problem Report"), page.find("Source Database:"));
    EXPECT_GT(page.find("Page: "), page.rfind("differs"));
  }
  // The report's fixed-pitch font, through its metric-compatible stand-in.
  const std::string fonts = msu::testing::CommandOutput("pdffonts '" + pdf_ + "'");
  EXPECT_NE(fonts.find("LiberationMono"), std::string::npos) << fonts;

  // The page file keeps the last page: the report's head, the page, then "\par }".
  const std::string report = ReadFile(folder_ / "tmp_rpt.rtf");
  const std::string head = report.substr(0, report.find("\r\n"));
  const std::string page_file = ReadFile(folder_ / "__TempCM.tmp");
  EXPECT_EQ(
      page_file.rfind(head + "\\par \\fs18      \\fs18 \\b Orvane Merge Problem Report\r\n", 0),
      0u);
  EXPECT_NE(page_file.find("Page: 4  Orvane Merge    \\fs18\\page \\par }\r\n"), std::string::npos);
  EXPECT_EQ(page_file.find('\f'), std::string::npos);
  EXPECT_EQ(page_file.find("Page: 3"), std::string::npos);
}

TEST_F(ReportPrintingTest, AStoppedPrintKeepsThePagesPrintedBeforeIt) {
  WriteReport(200);
  std::vector<int> asked;
  PrinterOutput output(printer_);
  const ReportPrintResult result = Print(output, [&](int pages) {
    asked.push_back(pages);
    return pages < 2;
  });
  EXPECT_TRUE(result.cancelled);
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(result.pages, 2);
  EXPECT_EQ(asked, (std::vector<int>{1, 2}));
  ASSERT_EQ(PdfPageCount(pdf_), 2);
  EXPECT_NE(PdfPageTexts(pdf_)[1].find("Page: 2 Orvane Merge"), std::string::npos);
}

TEST_F(ReportPrintingTest, APrinterOfTheSystemGetsADocumentForEveryPage) {
  WriteReport(130);  // three pages
  // The policy of a printer of the system, on the PDF printer: each document rewrites the file.
  PrinterOutput output(printer_, /*document_per_page=*/true);
  const ReportPrintResult result = Print(output);
  EXPECT_EQ(result.pages, 3);
  EXPECT_EQ(output.DocumentsEnded(), 3);
  ASSERT_EQ(PdfPageCount(pdf_), 1);
  EXPECT_NE(PdfPageTexts(pdf_)[0].find("Page: 3 Orvane Merge"), std::string::npos);
}

TEST_F(ReportPrintingTest, AMissingReportPrintsNothingAndSaysWhy) {
  PrinterOutput output(printer_);
  ASSERT_TRUE(output.Open());
  const ReportPrintResult result = Print(output);
  EXPECT_TRUE(result.failed);
  EXPECT_FALSE(result.printer_refused);
  EXPECT_EQ(result.problem, "The problem report cannot be read: " + (folder_ / "tmp_rpt.rtf"));
  EXPECT_EQ(result.pages, 0);
  // The document opened for it is dropped: no blank sheet, no file.
  EXPECT_EQ(output.DocumentsEnded(), 0);
  EXPECT_FALSE(std::filesystem::exists(pdf_));
}

TEST_F(ReportPrintingTest, ANameNoInstalledPrinterHasLeavesThePrinterAsItWas) {
  EXPECT_FALSE(MakeCurrentPrinter(printer_, "No Such Printer " + folder_.path()));
  EXPECT_EQ(printer_.outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(printer_.outputFileName().toStdString(), pdf_);
  for (const InstalledPrinter& installed : InstalledPrinters()) {
    EXPECT_FALSE(installed.device_name.empty());
  }
}

}  // namespace
}  // namespace msu::print
