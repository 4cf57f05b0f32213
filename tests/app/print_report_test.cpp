// Printing from the wizard: the viewer's Print through the hidden report box to a PDF file, the
// "Printing Report" window's Cancel, Qt's print dialog cancelled, and a printer that refuses.
#include <QPrintDialog>
#include <QPrinter>
#include <QTextEdit>
#include <QTimer>

#include "app/frm_printing.h"
#include "app/print_report.h"
#include "core/context.h"
#include "reports/problem_report.h"
#include "tests/support/fake_backend.h"
#include "tests/support/pdf_pages.h"
#include "tests/support/recording_progress.h"
#include "wizard_fixture.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;
using msu::testing::PdfPageCount;
using msu::testing::PdfPageTexts;

class PrintReportTest : public WizardTest {
 protected:
  // A report of `lines` body lines, handed to `viewer` when one is given.
  void WriteReport(int lines, reports::ReportViewer* viewer = nullptr) {
    RecordingProgress progress;
    msu::testing::FakeBackend backend;
    Context context(folder_.string(), progress, prompt_, backend);
    reports::ProblemReport report(context, {"/d/Fire1.mdf", "/d/Fire2.mdf", "/d/New.mdf", "5"},
                                  viewer, [] { return std::string("12/31/26"); });
    report.OpenReport(9, 18);
    for (int i = 1; i <= lines; ++i) report.WriteReportLine("Line " + std::to_string(i));
    report.CloseReport();
  }

  // The print dialog's stand-in: the user picks "Print to File (PDF)" and names `file`.
  ReportPrinter::ChoosePrinter ChoosePdf(const std::string& file) {
    return [this, file](QPrinter& printer, QWidget*) {
      ++dialogs_;
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString::fromStdString(file));
      return true;
    };
  }

  const std::string pdf_ = (folder_ / "Report.pdf").string();
  int dialogs_ = 0;
};

TEST_F(PrintReportTest, PrintInTheViewerPrintsTheReportPagesToAPdf) {
  WriteReport(130, &wizard_->ProblemReportViewer());
  wizard_->cmdView_Click();
  frmView* viewer = wizard_->Viewer();
  const QString shown = viewer->rtbProblems()->toPlainText();
  wizard_->Printing().SetChoosePrinter(ChoosePdf(pdf_));
  viewer->cmdPrint()->click();

  EXPECT_EQ(dialogs_, 1);
  EXPECT_TRUE(prompt_.Boxes().empty());
  EXPECT_FALSE(wizard_->Printing().PrintCancelled());
  EXPECT_EQ(wizard_->Printing().PrintingWindow(), nullptr);
  ASSERT_EQ(PdfPageCount(pdf_), 3);
  const std::vector<std::string> pages = PdfPageTexts(pdf_);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_NE(pages[2].find("Orvane Merge Problem Report"), std::string::npos);
  EXPECT_NE(pages[2].find("Line 130"), std::string::npos);
  EXPECT_NE(pages[2].find("Page: 3 Orvane Merge"), std::string::npos);
  // The pages went through the window's hidden box, which keeps the last; the viewer keeps the
  // whole report.
  EXPECT_TRUE(Get<QTextEdit>("rtbProblems")->toPlainText().contains("Page: 3"));
  EXPECT_FALSE(Get<QTextEdit>("rtbProblems")->toPlainText().contains("Page: 2"));
  EXPECT_EQ(viewer->rtbProblems()->toPlainText(), shown);
  EXPECT_TRUE(fs::exists(folder_ / "__TempCM.tmp"));
  // The viewer says where the pages went.
  EXPECT_EQ(viewer->lblViewMessage()->text().toStdString(), "3 pages printed to " + pdf_);
  viewer->close();
}

// Presses the "Printing Report" window's Cancel while the second page prints.
class CancellingPrinter : public ReportPrinter {
 public:
  using ReportPrinter::ReportPrinter;
  std::vector<bool> window_shown;

 protected:
  void LetEventsRun(int pages_printed) override {
    frmPrinting* window = PrintingWindow();
    window_shown.push_back(window != nullptr && window->isVisible());
    if (pages_printed == 2) {
      EXPECT_EQ(window->lblPrintMsg()->text(), "Printing Report");
      EXPECT_EQ(window->cmdCancel()->text(), "Cancel");
      QTimer::singleShot(0, window->cmdCancel(), &QPushButton::click);
      PrintReport(nullptr);  // pressed again while it prints: ignored
    }
    ReportPrinter::LetEventsRun(pages_printed);
  }
};

TEST_F(PrintReportTest, CancelInThePrintingWindowStopsAfterThePageUnderWay) {
  WriteReport(200);
  QTextEdit box;
  CancellingPrinter printer(prompt_, folder_.string(), box);
  printer.SetChoosePrinter(ChoosePdf(pdf_));
  EXPECT_EQ(printer.PrintReport(nullptr),
            "2 pages printed to " + pdf_ + "; then Cancel stopped the print");

  EXPECT_TRUE(printer.PrintCancelled());
  EXPECT_EQ(dialogs_, 1);
  EXPECT_EQ(printer.window_shown, (std::vector<bool>{true, true}));
  EXPECT_EQ(printer.PrintingWindow(), nullptr);
  EXPECT_TRUE(prompt_.Boxes().empty());
  // The pages printed before Cancel stay printed; the other two never start.
  ASSERT_EQ(PdfPageCount(pdf_), 2);
  EXPECT_NE(PdfPageTexts(pdf_)[1].find("Page: 2 Orvane Merge"), std::string::npos);

  // The next print starts afresh: the flag is cleared and every page prints.
  ReportPrinter again(prompt_, folder_.string(), box);
  again.SetChoosePrinter(ChoosePdf(pdf_));
  EXPECT_EQ(again.PrintReport(nullptr), "4 pages printed to " + pdf_);
  EXPECT_FALSE(again.PrintCancelled());
  EXPECT_EQ(PdfPageCount(pdf_), 4);
}

TEST_F(PrintReportTest, ACancelledPrintDialogPrintsNothing) {
  WriteReport(10);
  QTextEdit box;
  ReportPrinter printer(prompt_, folder_.string(), box);
  printer.Printer().setOutputFormat(QPrinter::PdfFormat);
  printer.Printer().setOutputFileName(QString::fromStdString(pdf_));
  // Qt's own dialog, answered Cancel as soon as it is up.
  bool offers_pdf = false;
  bool offers_parts = true;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    offers_pdf = dialog->testOption(QAbstractPrintDialog::PrintToFile);
    offers_parts = dialog->testOption(QAbstractPrintDialog::PrintSelection) ||
                   dialog->testOption(QAbstractPrintDialog::PrintPageRange) ||
                   dialog->testOption(QAbstractPrintDialog::PrintCurrentPage);
    dialog->reject();
  });
  closer.start(10);
  EXPECT_EQ(printer.PrintReport(nullptr), "");  // nothing printed, nothing to say

  EXPECT_TRUE(offers_pdf);
  EXPECT_FALSE(offers_parts);
  EXPECT_TRUE(printer.PrintCancelled());
  EXPECT_TRUE(prompt_.Boxes().empty());
  EXPECT_FALSE(fs::exists(pdf_));
  EXPECT_FALSE(fs::exists(folder_ / "__TempCM.tmp"));
}

TEST_F(PrintReportTest, NoReportOrAPrinterThatRefusesIsSaidAndNothingPrints) {
  QTextEdit box;
  ReportPrinter printer(prompt_, folder_.string(), box);
  printer.SetChoosePrinter(ChoosePdf((folder_ / "no such folder" / "Report.pdf").string()));
  printer.PrintReport(nullptr);
  EXPECT_EQ(dialogs_, 0);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "There is no problem report to print: " + (folder_ / "tmp_rpt.rtf").string());

  WriteReport(10);
  EXPECT_EQ(printer.PrintReport(nullptr), "");
  EXPECT_EQ(dialogs_, 1);
  ASSERT_EQ(prompt_.Boxes().size(), 2u);
  EXPECT_EQ(prompt_.Boxes()[1].text, "A printer error has occured, check printer");
  EXPECT_EQ(prompt_.Boxes()[1].buttons, Buttons::kOk);
  EXPECT_FALSE(printer.PrintCancelled());
  EXPECT_FALSE(fs::exists(folder_ / "__TempCM.tmp"));
}

// Where the pages went, as the viewer says it: a PDF file by its name, a printer by its own.
TEST_F(PrintReportTest, ThePlaceOfThePagesIsNamedAsThePrinterKnowsIt) {
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName("/tmp/r.pdf");
  EXPECT_EQ(PrintedWhere(1, printer, false), "1 page printed to /tmp/r.pdf");
  printer.setOutputFormat(QPrinter::NativeFormat);
  printer.setPrinterName("Office");
  if (printer.outputFormat() == QPrinter::NativeFormat) {
    EXPECT_EQ(PrintedWhere(5, printer, true), "5 pages sent to the printer " +
                                                  printer.printerName().toStdString() +
                                                  "; then Cancel stopped the print");
  }
}

}  // namespace
}  // namespace msu::app::testing
