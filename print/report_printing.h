// Printing the problem report page by page, for the wizard's Print button and for msu's
// --report-pdf alike: each page of the report, up to the form feed that ends its footer, is
// written to the temporary page file "__TempCM.tmp" as a document of its own (the report's
// document head, the page's text and "\par }"), read back into the report box and printed from
// there. So every printed page is laid out afresh from its own header, whatever the pages before
// it held.
//
// And the printers themselves: the installed ones with their device and driver names, the
// system's default, and choosing one for the output that follows.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "print/rich_text_printer.h"

class QPrinter;
class QTextDocument;

namespace msu::print {

inline constexpr const char* kTempPageFileName = "__TempCM.tmp";

// Each page is printed from 1 twip inside every edge: as far out as the printer can print.
inline constexpr Margins kReportPageMargins{1, 1, 1, 1};

struct ReportPrintJob {
  std::string report_path;              // the closed problem report
  std::string page_file_path;           // the temporary page file; it stays after the print
  QTextDocument* report_box = nullptr;  // each page is loaded here, then printed from here
  PrinterOutput* output = nullptr;
  // Asked after every printed page with the number of pages printed so far; false stops the
  // print there (the user cancelled). Unset: every page is printed.
  std::function<bool(int pages_printed)> keep_going;
};

struct ReportPrintResult {
  int pages = 0;           // report pages printed
  bool cancelled = false;  // keep_going stopped the print
  // The report or the page file could not be read or written, or the printer refused a page;
  // `problem` says which. The pages printed before stay printed.
  bool failed = false;
  bool printer_refused = false;  // the failure was the printer's
  std::string problem;
};

// Prints the report's pages in order and closes the printer's document at the end: ended, or
// cancelled when keep_going stopped the print (see PrinterOutput::Close). The first page starts
// with the report's own document head (its first line); every later one with the same head.
// Text after the last form feed (the closing "\par }") is not printed. Never throws.
ReportPrintResult PrintReportPages(const ReportPrintJob& job);

// An installed printer: its device name (the name the system knows it by) and driver name.
struct InstalledPrinter {
  std::string device_name;
  std::string driver_name;
};

// The printers installed on this machine, in the system's order; none without a print system.
std::vector<InstalledPrinter> InstalledPrinters();

// The name of the system's default printer; empty when there is none.
std::string GetDefaultPrinter();

// Makes the first installed printer whose device name is exactly `device_name` the printer of
// `printer`'s later output. False, with `printer` unchanged, when no installed printer has that
// name.
bool MakeCurrentPrinter(QPrinter& printer, const std::string& device_name);

}  // namespace msu::print
