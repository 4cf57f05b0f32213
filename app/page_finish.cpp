// Step 6: the merge's last page, with the summary the merge page wrote into it, and the text
// conversion both summary pages use.
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"

namespace msu::app {

std::string MergeSummary(const MergePaths& engine_paths) {
  return "Database 1:             " + engine_paths.database1 + "\r\r" +
         "Database 2:             " + engine_paths.database2 + "\r\r" +
         "New database:   " + engine_paths.new_database + "\r\r" + "Press Finish to exit.";
}

QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

void frmWizard::BuildMergeFinishedPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepMergeFinished]);
  lblComplete_[0] = NewHeading("lblComplete0", "Merge Process Completed");
  lblComplete_[1] = NewLabel("lblComplete1");
  layout->addWidget(lblComplete_[0]);
  layout->addSpacing(12);
  layout->addWidget(lblComplete_[1]);
  layout->addStretch(1);
}

bool frmWizard::EnterMergeFinished() {
  // In split mode this page leads back to the server page: Back from step 7 lands here.
  if (!optSplitMerge_[1]->isChecked()) {
    SetStep(kStepServer, kMoveByProgram);
    return false;
  }
  FinishEnabled_ = true;
  BackEnabled_ = !MergeIncidents_;
  NextEnabled_ = false;
  return true;
}

}  // namespace msu::app
