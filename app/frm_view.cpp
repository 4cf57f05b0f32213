#include "app/frm_view.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>

#include "app/print_report.h"
#include "core/file_checks.h"
#include "print/rtf_reader.h"

namespace msu::app {

namespace {

constexpr int kMarginTwips = 200;      // around the text box, left, top and right
constexpr int kBelowTextTwips = 1200;  // the text box leaves this much of the height
constexpr int kFrameRightTwips = 100;  // between the button frame and the right edge

}  // namespace

int TwipsToPixels(int twips) {
  const int half = kTwipsPerPixel / 2;
  return twips >= 0 ? (twips + half) / kTwipsPerPixel : -((-twips + half) / kTwipsPerPixel);
}

bool LoadDocumentInto(QTextEdit& box, const std::string& path) {
  // A pipe in the document's place would hold the window until something writes to it.
  if (!NotARegularFile(path).empty()) return false;
  if (!print::LoadDocumentFile(*box.document(), path)) return false;
  // A document is read from its start: the title and the header block come first.
  box.moveCursor(QTextCursor::Start);
  box.ensureCursorVisible();
  return true;
}

frmView::frmView(Prompt& prompt, std::string application_folder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      prompt_(prompt),
      application_folder_(std::move(application_folder)) {
  setObjectName("frmView");
  setWindowTitle("Orvane Split/Merge");

  rtbProblems_ = new QTextEdit(this);
  rtbProblems_->setObjectName("rtbProblems");
  rtbProblems_->setReadOnly(true);

  fraView_ = new QFrame(this);
  fraView_->setObjectName("fraView");
  cmdClose_ = new QPushButton("Close");
  cmdClose_->setObjectName("cmdClose");
  cmdPrint_ = new QPushButton("Print");
  cmdPrint_->setObjectName("cmdPrint");
  cmdSave_ = new QPushButton("Save");
  cmdSave_->setObjectName("cmdSave");
  for (QPushButton* button : {cmdClose_, cmdPrint_, cmdSave_}) button->setAutoDefault(false);
  auto* buttons = new QHBoxLayout(fraView_);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->addWidget(cmdClose_);
  buttons->addWidget(cmdPrint_);
  buttons->addWidget(cmdSave_);
  // The frame keeps its size; only its place follows the window.
  fraView_->setFixedSize(fraView_->sizeHint());
  lblVersion_ = new QLabel(this);
  lblVersion_->setObjectName("lblVersion");
  lblVersion_->hide();
  lblViewMessage_ = new QLabel(this);
  lblViewMessage_->setObjectName("lblViewMessage");
  lblViewMessage_->setTextFormat(Qt::PlainText);

  connect(cmdClose_, &QPushButton::clicked, this, &QWidget::hide);
  connect(cmdPrint_, &QPushButton::clicked, this, &frmView::cmdPrint_Click);
  connect(cmdSave_, &QPushButton::clicked, this, &frmView::cmdSave_Click);

  resize(820, 600);
  Form_Resize();
}

void frmView::SetVersionLine(const std::string& text) {
  // Another document, or the same one shown again: the last print is told no more.
  lblViewMessage_->clear();
  lblVersion_->setText(QString::fromStdString(text));
  lblVersion_->setVisible(!text.empty());
}

bool frmView::LoadDocument(const std::string& path) {
  return LoadDocumentInto(*rtbProblems_, path);
}

void frmView::Form_Resize() {
  // Measured from the window's inner area (left and top 0), each distance converted once, so
  // that the margins left, right and above the buttons come out equal in pixels too.
  const int margin = TwipsToPixels(kMarginTwips);
  const int text_width = std::max(0, width() - 2 * margin);
  const int text_height = std::max(0, height() - TwipsToPixels(kBelowTextTwips));
  rtbProblems_->setGeometry(margin, margin, text_width, text_height);
  fraView_->move(width() - fraView_->width() - TwipsToPixels(kFrameRightTwips),
                 margin + text_height + margin);
  // Left of the buttons, on their middle line: the version line of the help document, or
  // where the last print of a report went.
  for (QLabel* label : {lblVersion_, lblViewMessage_}) {
    label->setGeometry(margin, fraView_->y(), std::max(0, fraView_->x() - 2 * margin),
                       fraView_->height());
  }
  SetPrinterTarget(*rtbProblems_, kPrintLineWidthTwips);
}

void frmView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

std::string RtfFileName(const std::string& chosen) {
  const size_t slash = chosen.find_last_of('/');
  const std::string name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
  // A leading dot starts a hidden name, not an extension.
  return name.find('.', 1) == std::string::npos && !name.empty() ? chosen + ".rtf" : chosen;
}

void frmView::cmdSave_Click() {
  FileDialogOptions options;
  options.initial_folder = save_folder_.empty() ? application_folder_ : save_folder_;
  options.title = "Save File";
  options.filter = "Rich Text File(*.rtf)|*.rtf";
  const std::optional<std::string> target = prompt_.SaveFile(options);
  if (!target) return;
  if (save_) save_(RtfFileName(*target));
}

void frmView::cmdPrint_Click() {
  if (!print_) return;
  lblViewMessage_->clear();
  lblViewMessage_->setText(QString::fromStdString(print_()));
}

}  // namespace msu::app
