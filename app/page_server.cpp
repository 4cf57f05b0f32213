// Step 1: the server and the Warden password. The login itself runs when the next page is
// entered (EnterMergePaths in page_merge_paths.cpp), and its message shows on this page.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"
#include "app/wizard_texts.h"

namespace msu::app {

void frmWizard::BuildServerPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepServer]);
  layout->addWidget(NewHeading("lblSelectServer", "Select a Server"));
  lblStep_[4] = NewLabel("lblStep4",
                         "CVN must be run on the machine where the server and database(s) "
                         "reside.You must use the Warden password for this utility.");
  layout->addWidget(lblStep_[4]);
  auto* grid = new QGridLayout;
  cboServers_ = new QComboBox;
  cboServers_->setObjectName("cboServers");
  cboServers_->setEditable(true);
  cboServers_->setInsertPolicy(QComboBox::NoInsert);
  txtPassword_ = new QLineEdit;
  txtPassword_->setObjectName("txtPassword");
  txtPassword_->setEchoMode(QLineEdit::Password);
  QLabel* servers = NewLabel("lblServers", "Servers", false);
  QLabel* password = NewLabel("lblPassword", "Password", false);
  servers->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  password->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  grid->addWidget(servers, 0, 0);
  grid->addWidget(cboServers_, 0, 1);
  grid->addWidget(password, 1, 0);
  grid->addWidget(txtPassword_, 1, 1);
  grid->setColumnStretch(1, 1);
  layout->addSpacing(12);
  layout->addLayout(grid);
  lblMessage_ = NewMessageLabel("lblMessage");
  layout->addWidget(lblMessage_);
  // The message above is the suite's; this line says what it means here.
  lblMessageDetail_ = NewMessageLabel("lblMessageDetail");
  layout->addWidget(lblMessageDetail_);
  layout->addStretch(1);
}

bool frmWizard::EnterServerPage() {
  if (services_ == nullptr) {
    lblMessage_->setText(kNoServices);
    return false;
  }
  cboServers_->clear();
  for (const std::string& server : services_->ListServers()) {
    cboServers_->addItem(QString::fromStdString(server));
  }
  if (cboServers_->count() > 0) cboServers_->setCurrentIndex(0);
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = true;
  return true;
}

}  // namespace msu::app
