// Printing from the wizard: the report viewer's Print button prints the closed problem report
// page by page (print/report_printing.h) on the printer the user chooses in Qt's print dialog,
// an installed printer or "Print to File (PDF)" for users without one, while the "Printing
// Report" window offers Cancel. And the printer layout of the report boxes.
#pragma once

#include <QPrinter>
#include <functional>
#include <memory>
#include <string>

#include "core/prompt.h"
#include "print/rich_text_printer.h"

class QTextEdit;
class QWidget;

namespace msu::app {

class frmPrinting;

inline constexpr const char* kPrinterError = "A printer error has occured, check printer";
// Print pressed where no check has written a report (the viewer may show the help).
inline constexpr const char* kNoReportToPrint = "There is no problem report to print: ";

// Lays `box` out for the printer: its lines wrap at `width` twips, where they will wrap on
// paper. Qt lays a box out with the screen's metrics and the printed page with the printer's;
// the report's fixed-pitch font at the same size keeps the same characters on a line on both.
void SetPrinterTarget(QTextEdit& box, int width);

// Qt's print dialog over `printer`: the installed printers and "Print to File (PDF)", with no
// selection and no page range (the whole report prints). True when the user pressed Print; the
// choice is then on `printer`.
bool ShowPrintDialog(QPrinter& printer, QWidget* parent);

// Where `pages` printed pages went: "N pages printed to FILE" for a PDF file, "N pages sent to
// the printer NAME" otherwise ("1 page ..." for one), with "; then Cancel stopped the print"
// when `cancelled`.
std::string PrintedWhere(int pages, const QPrinter& printer, bool cancelled);

class ReportPrinter {
 public:
  using ChoosePrinter = std::function<bool(QPrinter& printer, QWidget* parent)>;

  // Prints the report of `application_folder`; every page is loaded into `report_box` (the
  // wizard's hidden rtbProblems) and printed from there. Messages go to `prompt`.
  ReportPrinter(Prompt& prompt, std::string application_folder, QTextEdit& report_box);
  virtual ~ReportPrinter();
  ReportPrinter(const ReportPrinter&) = delete;
  ReportPrinter& operator=(const ReportPrinter&) = delete;

  // How the user chooses the printer: ShowPrintDialog unless set otherwise.
  void SetChoosePrinter(ChoosePrinter choose) { choose_ = std::move(choose); }

  // Prints the closed problem report: SetupPrinting, then, with the printer's document open,
  // the "Printing Report" window is shown and the report printed page by page until its end or
  // until Cancel (the pages printed so far stay printed), and the window is closed. Without a
  // report nothing is asked: kNoReportToPrint and the path say so. A failure on the way shows
  // kPrinterError (the printer) or what could not be read or written. Does nothing while a
  // print runs. Returns where the pages went, for the viewer's message label (PrintedWhere);
  // empty when nothing was printed.
  std::string PrintReport(QWidget* parent);

  // Clears the cancel flag and lets the user choose the printer. A cancelled dialog sets the
  // flag and returns null, silently. Otherwise opens the printer's document and returns it; a
  // printer that refuses shows kPrinterError and returns null.
  std::unique_ptr<print::PrinterOutput> SetupPrinting(QWidget* parent);

  // Set by a cancelled dialog or by Cancel in the "Printing Report" window; cleared by the next
  // SetupPrinting.
  bool PrintCancelled() const { return print_cancelled_; }
  // The current printer: at first the system's default printer, or a PDF file in the home
  // folder when the system has none; then the user's last choice.
  QPrinter& Printer();
  // The "Printing Report" window while a print runs; null otherwise.
  frmPrinting* PrintingWindow() const { return printing_.get(); }

 protected:
  // After each printed page: lets pending window events run, the window's Cancel among them.
  virtual void LetEventsRun(int pages_printed);

 private:
  Prompt& prompt_;
  std::string application_folder_;
  QTextEdit& report_box_;
  ChoosePrinter choose_;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<frmPrinting> printing_;
  bool print_cancelled_ = false;
};

}  // namespace msu::app
