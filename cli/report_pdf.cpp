#include "cli/report_pdf.h"

#include <stdlib.h>

#include <QGuiApplication>
#include <QPrinter>
#include <QTextDocument>
#include <filesystem>
#include <memory>

#include "print/report_printing.h"
#include "reports/problem_report.h"

namespace msu::cli {

namespace {

namespace fs = std::filesystem;

// msu's error output is its own: Qt's notes about the platform or the fonts stay out of it.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    fprintf(stderr, "msu: %s\n", message.toLocal8Bit().constData());
  }
}

// A QGuiApplication for the print, when the program has no application object: fonts and the
// PDF printer need one. The offscreen platform needs no display.
class PrintApplication {
 public:
  PrintApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    previous_ = qInstallMessageHandler(QuietQtMessages);
    application_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  ~PrintApplication() {
    if (!application_) return;
    application_.reset();
    qInstallMessageHandler(previous_);
  }
  PrintApplication(const PrintApplication&) = delete;
  PrintApplication& operator=(const PrintApplication&) = delete;

 private:
  char name_[4] = "msu";
  char platform_option_[10] = "-platform";
  char platform_[10] = "offscreen";
  char* argv_[4] = {name_, platform_option_, platform_, nullptr};
  int argc_ = 3;
  QtMessageHandler previous_ = nullptr;
  std::unique_ptr<QGuiApplication> application_;
};

}  // namespace

ReportPdf::~ReportPdf() {
  if (folder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

bool ReportPdf::Keep(const std::string& report_path, std::string* problem) {
  std::error_code error;
  std::string pattern = (fs::temp_directory_path(error) / "msu-report-XXXXXX").string();
  if (error || ::mkdtemp(pattern.data()) == nullptr) {
    *problem = "no temporary folder for the report could be made";
    return false;
  }
  folder_ = pattern;
  fs::copy_file(report_path, fs::path(folder_) / reports::kReportFileName, error);
  if (error) {
    *problem = error.message();
    return false;
  }
  return true;
}

bool ReportPdf::Print(const std::string& pdf_path, std::string* problem) {
  if (folder_.empty()) {
    *problem = "no report was kept";
    return false;
  }
  const std::string part = pdf_path + ".part";
  PrintApplication application;
  print::ReportPrintResult result;
  {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(reports::kReportTitle);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(part));
    print::PrinterOutput output(printer);
    QTextDocument report_box;
    print::ReportPrintJob job;
    job.report_path = (fs::path(folder_) / reports::kReportFileName).string();
    job.page_file_path = (fs::path(folder_) / print::kTempPageFileName).string();
    job.report_box = &report_box;
    job.output = &output;
    if (!output.Open()) {
      result.failed = true;
      result.problem = "the PDF file cannot be written: " + part;
    } else {
      result = print::PrintReportPages(job);
    }
  }
  std::error_code error;
  if (!result.failed && result.pages == 0) {
    result.failed = true;
    result.problem = "the report has no page to print";
  }
  if (!result.failed) fs::rename(part, pdf_path, error);
  if (result.failed || error) {
    *problem = result.failed ? result.problem : error.message();
    fs::remove(part, error);
    return false;
  }
  return true;
}

}  // namespace msu::cli
