// msu's --report-pdf: the problem report as a PDF file, printed through the wizard's printing
// path (print/report_printing.h) on Qt's PDF printer, without a window.
//
// The report is kept aside first, in a private temporary folder, so that it can be printed
// after the run has taken its working databases off the server and deleted its working files:
// whatever happens while printing, the databases are already as the user left them.
#pragma once

#include <string>

namespace msu::cli {

class ReportPdf {
 public:
  ReportPdf() = default;
  // The temporary folder goes, with the copy and the page file in it.
  ~ReportPdf();
  ReportPdf(const ReportPdf&) = delete;
  ReportPdf& operator=(const ReportPdf&) = delete;

  // Copies the closed report at `report_path` into a new temporary folder. False with `problem`
  // set when it cannot be copied.
  bool Keep(const std::string& report_path, std::string* problem);

  // Prints the kept report page by page to the PDF file `pdf_path`, its temporary page file
  // beside the copy. The PDF is written beside its target first and replaces it only when
  // complete, so a failure leaves a file already there as it was. A QGuiApplication on the
  // offscreen platform is made for the print when the program has none. False with `problem`
  // set on failure (nothing kept, the report unreadable, the PDF not writable).
  bool Print(const std::string& pdf_path, std::string* problem);

 private:
  std::string folder_;
};

}  // namespace msu::cli
