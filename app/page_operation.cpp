// Step 0: the welcome text and the choice between a split and a merge.
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"

namespace msu::app {

void frmWizard::BuildOperationPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepOperation]);
  auto* instructions = new QGroupBox("Instructions");
  instructions->setObjectName("fraInstructions");
  auto* inner = new QVBoxLayout(instructions);
  lblStep_[0] = NewLabel("lblStep0", "Welcome to Orvane Merge/Split");
  QFont welcome = lblStep_[0]->font();
  welcome.setBold(true);
  welcome.setPointSizeF(welcome.pointSizeF() * 1.3);
  lblStep_[0]->setFont(welcome);
  lblInstructions_ = NewLabel(
      "lblInstructions",
      "With this application you can merge two Orvane databases into a single database or split "
      "out incidents from an Orvane database into a new database. The database(s) being merged "
      "or split must be attached to the server. Select one of the following options:");
  inner->addWidget(lblStep_[0]);
  inner->addSpacing(8);
  inner->addWidget(lblInstructions_);
  layout->addWidget(instructions);
  layout->addSpacing(12);
  optSplitMerge_[0] = new QRadioButton("Split one or more Incidents from an Orvane database ");
  optSplitMerge_[0]->setObjectName("optSplitMerge0");
  optSplitMerge_[1] = new QRadioButton("Merge two Orvane databases into a single database");
  optSplitMerge_[1]->setObjectName("optSplitMerge1");
  optSplitMerge_[1]->setChecked(true);
  layout->addWidget(optSplitMerge_[0]);
  layout->addWidget(optSplitMerge_[1]);
  layout->addStretch(1);
}

void frmWizard::EnterOperationPage() {
  FinishEnabled_ = false;
  BackEnabled_ = false;
  NextEnabled_ = true;
}

}  // namespace msu::app
