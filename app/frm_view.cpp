#include "app/frm_view.h"

#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>
#include <cctype>

namespace msu::app {

frmView::frmView(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmView");
  setWindowTitle("Orvane Split/Merge");
  resize(760, 560);

  rtbProblems_ = new QTextEdit;
  rtbProblems_->setObjectName("rtbProblems");
  rtbProblems_->setReadOnly(true);
  // Lines wrap at the width they will have on paper (6.5 inches at 96 dots per inch).
  rtbProblems_->setLineWrapMode(QTextEdit::FixedPixelWidth);
  rtbProblems_->setLineWrapColumnOrWidth(624);

  fraView_ = new QFrame;
  fraView_->setObjectName("fraView");
  cmdClose_ = new QPushButton("Close");
  cmdClose_->setObjectName("cmdClose");
  cmdPrint_ = new QPushButton("Print");
  cmdPrint_->setObjectName("cmdPrint");
  cmdSave_ = new QPushButton("Save");
  cmdSave_->setObjectName("cmdSave");
  auto* buttons = new QHBoxLayout(fraView_);
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->addWidget(cmdClose_);
  buttons->addWidget(cmdPrint_);
  buttons->addWidget(cmdSave_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(13, 13, 13, 7);
  layout->setSpacing(13);
  layout->addWidget(rtbProblems_, 1);
  layout->addWidget(fraView_, 0, Qt::AlignRight);

  connect(cmdClose_, &QPushButton::clicked, this, &QWidget::hide);
}

bool frmView::LoadDocument(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray content = file.readAll();
  if (content.startsWith("{\\rtf")) {
    rtbProblems_->setPlainText(RtfToPlainText(content));
  } else {
    rtbProblems_->setPlainText(QString::fromLocal8Bit(content));
  }
  return true;
}

QString RtfToPlainText(const QByteArray& rtf) {
  QString out;
  // Depth of braces at which a skipped destination (fonttbl, colortbl, stylesheet, info,
  // pict, \*) began; -1 while text is shown.
  int depth = 0;
  int skip_from = -1;
  const qsizetype n = rtf.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char c = rtf[i];
    if (c == '{') {
      ++depth;
      continue;
    }
    if (c == '}') {
      if (depth == skip_from) skip_from = -1;
      --depth;
      continue;
    }
    if (c == '\\') {
      if (i + 1 >= n) break;
      const char next = rtf[i + 1];
      if (next == '\\' || next == '{' || next == '}') {
        if (skip_from < 0) out += QChar(next);
        ++i;
        continue;
      }
      if (next == '\'') {
        if (i + 3 < n && skip_from < 0) {
          bool ok = false;
          const int code = rtf.mid(i + 2, 2).toInt(&ok, 16);
          if (ok) out += QChar(code);
        }
        i += 3;
        continue;
      }
      if (next == '*') {
        if (skip_from < 0) skip_from = depth;
        ++i;
        continue;
      }
      qsizetype j = i + 1;
      while (j < n && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
      const QByteArray word = rtf.mid(i + 1, j - i - 1);
      while (j < n && (rtf[j] == '-' || std::isdigit(static_cast<unsigned char>(rtf[j])))) ++j;
      if (j < n && rtf[j] == ' ') ++j;  // the delimiter belongs to the control word
      i = j - 1;
      if (skip_from >= 0) continue;
      if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" ||
          word == "pict") {
        skip_from = depth;
      } else if (word == "par" || word == "line") {
        out += '\n';
      } else if (word == "tab") {
        out += '\t';
      }
      continue;
    }
    if (skip_from >= 0 || c == '\r' || c == '\n') continue;
    out += QChar::fromLatin1(c);
  }
  return out;
}

}  // namespace msu::app
