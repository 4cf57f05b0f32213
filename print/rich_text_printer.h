// Rich text on paper, through Qt's print support: a printer of the system (CUPS on Linux) or a
// PDF file. PrinterOutput owns the printer's open document; PrintRichText lays a text document
// out on the paper and draws it, sheet after sheet, as long as text remains.
#pragma once

#include <QPainter>

class QPrinter;
class QTextDocument;

namespace msu::print {

inline constexpr int kTwipsPerInch = 1440;

// Margins in twips, measured from the paper's edges.
struct Margins {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The document open on a printer. A printer of the system gets a document (a print job) for
// each report page, as the report's pages have always been handed to the spooler one by one; a
// PDF file is one document that holds every page.
class PrinterOutput {
 public:
  // The document policy follows the printer's output format: a document per report page for a
  // printer of the system, one document for a PDF file.
  explicit PrinterOutput(QPrinter& printer);
  PrinterOutput(QPrinter& printer, bool document_per_page);
  // A document still open is closed as Close(false) does.
  virtual ~PrinterOutput();
  PrinterOutput(const PrinterOutput&) = delete;
  PrinterOutput& operator=(const PrinterOutput&) = delete;

  // Opens a document when none is open. False when the printer refuses one (a printer that is
  // gone, a PDF file that cannot be written); nothing is then open.
  bool Open();

  // The painter of a fresh sheet: the first sheet of a document opened when none is open, or a
  // new sheet of the open one. Null when the printer refuses to open a document.
  QPainter* NewSheet();

  // The end of a report page: a printer of the system gets the document of the page.
  void EndReportPage();

  // Ends the open document: it goes to the printer, or the PDF file is written. With `cancel`,
  // a printer of the system drops the document instead; a PDF file keeps the pages drawn before,
  // as a printer keeps the pages already handed to it. A document without a drawn sheet is
  // dropped, so that no blank sheet is printed. Nothing happens when no document is open.
  void Close(bool cancel);

  QPrinter& printer() { return printer_; }
  bool IsOpen() const { return painter_.isActive(); }
  // Documents ended (handed to the printer or written) and sheets drawn, since construction.
  int DocumentsEnded() const { return documents_ended_; }
  int SheetsDrawn() const { return sheets_drawn_; }

 protected:
  // Ends the open document; a test double can count or fail here.
  virtual void EndDocument();

 private:
  QPrinter& printer_;
  bool document_per_page_;
  QPainter painter_;
  bool sheet_in_document_ = false;
  int documents_ended_ = 0;
  int sheets_drawn_ = 0;
};

// Prints the whole of `box` on `output`'s printer inside `margins`: the text rectangle is the
// paper less the margins, placed in the printable area as the printer reports it, so that a
// margin smaller than the printer's unprintable edge reaches that edge. The text is laid out
// with the printer's own metrics and wraps at the rectangle's width; as long as text remains a
// new sheet is started. False when the printer refused to open a document (nothing drawn).
bool PrintRichText(const QTextDocument& box, PrinterOutput& output, const Margins& margins);

}  // namespace msu::print
