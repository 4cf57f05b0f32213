#include "print/rich_text_printer.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPrinter>
#include <QTextDocument>
#include <memory>

namespace msu::print {

PrinterOutput::PrinterOutput(QPrinter& printer)
    : PrinterOutput(printer, printer.outputFormat() == QPrinter::NativeFormat) {}

PrinterOutput::PrinterOutput(QPrinter& printer, bool document_per_page)
    : printer_(printer), document_per_page_(document_per_page) {}

PrinterOutput::~PrinterOutput() { Close(false); }

bool PrinterOutput::Open() {
  if (painter_.isActive()) return true;
  sheet_in_document_ = false;
  return painter_.begin(&printer_);
}

QPainter* PrinterOutput::NewSheet() {
  if (!Open()) return nullptr;
  if (sheet_in_document_) printer_.newPage();
  sheet_in_document_ = true;
  ++sheets_drawn_;
  return &painter_;
}

void PrinterOutput::EndReportPage() {
  if (document_per_page_) Close(false);
}

void PrinterOutput::Close(bool cancel) {
  if (!painter_.isActive()) return;
  const bool to_file = printer_.outputFormat() == QPrinter::PdfFormat;
  if (sheet_in_document_ && (!cancel || to_file)) {
    EndDocument();
  } else {
    // Qt's PDF writer cannot drop a document it has begun: the file it made goes instead.
    printer_.abort();
    painter_.end();
    if (to_file) QFile::remove(printer_.outputFileName());
  }
  sheet_in_document_ = false;
}

void PrinterOutput::EndDocument() {
  painter_.end();
  ++documents_ended_;
}

bool PrintRichText(const QTextDocument& box, PrinterOutput& output, const Margins& margins) {
  QPainter* painter = output.NewSheet();
  if (painter == nullptr) return false;
  QPrinter& printer = output.printer();

  // The painter starts at the printable area's corner; the margins are measured from the
  // paper's edges, so the unprintable edge is taken off them.
  const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
  const QPointF offset = printer.pageRect(QPrinter::DevicePixel).topLeft() - paper.topLeft();
  const double dpi_x = printer.logicalDpiX();
  const double dpi_y = printer.logicalDpiY();
  auto to_x = [&](int twips) { return twips * dpi_x / kTwipsPerInch; };
  auto to_y = [&](int twips) { return twips * dpi_y / kTwipsPerInch; };
  const QRectF text(QPointF(to_x(margins.left) - offset.x(), to_y(margins.top) - offset.y()),
                    QPointF(paper.width() - to_x(margins.right) - offset.x(),
                            paper.height() - to_y(margins.bottom) - offset.y()));

  // A copy laid out with the printer's metrics, cut into sheets of the rectangle's size.
  std::unique_ptr<QTextDocument> paged(box.clone());
  paged->documentLayout()->setPaintDevice(&printer);
  paged->setDocumentMargin(0);
  paged->setPageSize(text.size());
  const int sheets = paged->pageCount();
  for (int sheet = 0; sheet < sheets; ++sheet) {
    if (sheet > 0) {
      painter = output.NewSheet();
      if (painter == nullptr) return false;
    }
    const QRectF view(0, sheet * text.height(), text.width(), text.height());
    painter->save();
    painter->translate(text.left(), text.top() - view.top());
    painter->setClipRect(view);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    // Black on paper, whatever the colours of the desktop.
    context.palette.setColor(QPalette::Text, Qt::black);
    paged->documentLayout()->draw(painter, context);
    painter->restore();
  }
  return true;
}

}  // namespace msu::print
