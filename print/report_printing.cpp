#include "print/report_printing.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/private_files.h"
#include "print/rtf_reader.h"

namespace msu::print {

namespace {

// The report's first line, without its line end: the document head the writer put there.
std::string FirstLine(const std::string& bytes) {
  const size_t end = bytes.find_first_of("\r\n");
  return end == std::string::npos ? bytes : bytes.substr(0, end);
}

// Writes one page as a document of its own: the page text and "\par }" as one line.
bool WritePageFile(const std::string& path, const std::string& page) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  // A page of the report is as private as the report.
  try {
    PreparePrivateFile(path);
  } catch (const std::exception&) {
    return false;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << page << "\\par }\r\n";
  file.close();
  return static_cast<bool>(file);
}

}  // namespace

ReportPrintResult PrintReportPages(const ReportPrintJob& job) {
  ReportPrintResult result;
  std::string bytes;
  {
    std::ifstream report(job.report_path, std::ios::binary);
    if (report.is_open()) {
      std::ostringstream content;
      content << report.rdbuf();
      bytes = content.str();
    }
    if (!report.is_open() || report.bad()) {
      result.failed = true;
      result.problem = "The problem report cannot be read: " + job.report_path;
    }
  }
  const std::string head = FirstLine(bytes);

  std::string page;  // the first page brings the report's own head with it
  for (size_t at = 0; !result.failed && at < bytes.size(); ++at) {
    if (bytes[at] != '\f') {
      page += bytes[at];
      continue;
    }
    if (!WritePageFile(job.page_file_path, page)) {
      result.failed = true;
      result.problem = "The page file cannot be written: " + job.page_file_path;
    } else if (!LoadDocumentFile(*job.report_box, job.page_file_path, RtfMedium::kPaper)) {
      result.failed = true;
      result.problem = "The page file cannot be read: " + job.page_file_path;
    } else if (!PrintRichText(*job.report_box, *job.output, kReportPageMargins)) {
      result.failed = true;
      result.printer_refused = true;
      result.problem = "The printer refused page " + std::to_string(result.pages + 1);
    } else {
      job.output->EndReportPage();
      ++result.pages;
      page = head;
      if (job.keep_going && !job.keep_going(result.pages)) {
        result.cancelled = true;
        break;
      }
    }
  }
  job.output->Close(result.cancelled);
  return result;
}

std::vector<InstalledPrinter> InstalledPrinters() {
  std::vector<InstalledPrinter> printers;
  for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
    printers.push_back({info.printerName().toStdString(), info.makeAndModel().toStdString()});
  }
  return printers;
}

std::string GetDefaultPrinter() { return QPrinterInfo::defaultPrinterName().toStdString(); }

bool MakeCurrentPrinter(QPrinter& printer, const std::string& device_name) {
  for (const InstalledPrinter& installed : InstalledPrinters()) {
    if (installed.device_name == device_name) {
      printer.setPrinterName(QString::fromStdString(installed.device_name));
      return true;
    }
  }
  return false;
}

}  // namespace msu::print
