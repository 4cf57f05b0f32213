#include "app/frm_printing.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/wizard_texts.h"

namespace msu::app {

frmPrinting::frmPrinting(bool& print_cancelled, QWidget* parent)
    : QWidget(parent, Qt::Dialog), print_cancelled_(print_cancelled) {
  setObjectName("frmPrinting");
  setWindowTitle(kCaption);
  lblPrintMsg_ = new QLabel("Printing Report");
  lblPrintMsg_->setObjectName("lblPrintMsg");
  lblPrintMsg_->setAlignment(Qt::AlignCenter);
  cmdCancel_ = new QPushButton("Cancel");
  cmdCancel_->setObjectName("cmdCancel");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 18, 24, 18);
  layout->setSpacing(12);
  layout->addWidget(lblPrintMsg_);
  layout->addWidget(cmdCancel_, 0, Qt::AlignCenter);
  connect(cmdCancel_, &QPushButton::clicked, this, &frmPrinting::cmdCancel_Click);
  setFixedSize(sizeHint().expandedTo(QSize(240, 0)));
}

void frmPrinting::Form_Load() {
  QApplication::processEvents();
  print_cancelled_ = false;
}

void frmPrinting::cmdCancel_Click() {
  print_cancelled_ = true;
  hide();
}

}  // namespace msu::app
