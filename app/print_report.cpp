#include "app/print_report.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QTextEdit>

#include "app/frm_printing.h"
#include "app/frm_view.h"
#include "core/text.h"
#include "print/report_printing.h"
#include "reports/problem_report.h"

namespace msu::app {

void SetPrinterTarget(QTextEdit& box, int width) {
  box.setLineWrapMode(QTextEdit::FixedPixelWidth);
  box.setLineWrapColumnOrWidth(TwipsToPixels(width));
}

bool ShowPrintDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  return dialog.exec() == QDialog::Accepted;
}

ReportPrinter::ReportPrinter(Prompt& prompt, std::string application_folder, QTextEdit& report_box)
    : prompt_(prompt),
      application_folder_(std::move(application_folder)),
      report_box_(report_box),
      choose_(ShowPrintDialog) {}

ReportPrinter::~ReportPrinter() = default;

QPrinter& ReportPrinter::Printer() {
  // Made on first use: asking the print system for its printers can take a moment.
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(reports::kReportTitle);
    if (!print::MakeCurrentPrinter(*printer_, print::GetDefaultPrinter())) {
      printer_->setOutputFormat(QPrinter::PdfFormat);
      printer_->setOutputFileName(QDir::home().filePath(QString(reports::kReportTitle) + ".pdf"));
    }
  }
  return *printer_;
}

std::unique_ptr<print::PrinterOutput> ReportPrinter::SetupPrinting(QWidget* parent) {
  print_cancelled_ = false;
  QPrinter& printer = Printer();
  if (!choose_(printer, parent)) {
    print_cancelled_ = true;
    return nullptr;
  }
  auto output = std::make_unique<print::PrinterOutput>(printer);
  if (!output->Open()) {
    prompt_.MessageBox(kPrinterError, "", Buttons::kOk, Icon::kNone);
    return nullptr;
  }
  return output;
}

std::string PrintedWhere(int pages, const QPrinter& printer, bool cancelled) {
  const std::string count = std::to_string(pages) + (pages == 1 ? " page " : " pages ");
  const std::string where = printer.outputFormat() == QPrinter::PdfFormat
                                ? "printed to " + printer.outputFileName().toStdString()
                                : "sent to the printer " + printer.printerName().toStdString();
  return count + where + (cancelled ? "; then Cancel stopped the print" : "");
}

std::string ReportPrinter::PrintReport(QWidget* parent) {
  // Pages print while window events run, so Print can be pressed again meanwhile: one print at a
  // time.
  if (printing_) return {};
  const std::string report = JoinPath(application_folder_, reports::kReportFileName);
  if (!QFileInfo::exists(QString::fromStdString(report))) {
    prompt_.MessageBox(kNoReportToPrint + report, "", Buttons::kOk, Icon::kExclamation);
    return {};
  }
  std::unique_ptr<print::PrinterOutput> output = SetupPrinting(parent);
  if (!output) return {};

  printing_ = std::make_unique<frmPrinting>(print_cancelled_, parent);
  printing_->show();
  printing_->repaint();
  printing_->Form_Load();

  print::ReportPrintJob job;
  job.report_path = report;
  job.page_file_path = JoinPath(application_folder_, print::kTempPageFileName);
  job.report_box = report_box_.document();
  job.output = output.get();
  job.keep_going = [this](int pages_printed) {
    LetEventsRun(pages_printed);
    return !print_cancelled_;
  };
  const print::ReportPrintResult result = print::PrintReportPages(job);
  printing_.reset();
  if (result.failed) {
    prompt_.MessageBox(result.printer_refused ? kPrinterError : result.problem, "", Buttons::kOk,
                       Icon::kNone);
  }
  if (result.pages == 0) return {};
  return PrintedWhere(result.pages, Printer(), result.cancelled);
}

void ReportPrinter::LetEventsRun(int) { QApplication::processEvents(); }

}  // namespace msu::app
