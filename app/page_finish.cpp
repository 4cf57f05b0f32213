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
  layout->addSpacing(12);
  lblVerification_ = NewLabel("lblVerification");
  layout->addWidget(lblVerification_);
  layout->addStretch(1);
}

void frmWizard::ShowVerification(const MergeResult& result) {
  // The page has room for a few findings; the merge log lists every one of them.
  constexpr size_t kShownFindings = 5;
  QString text = QString::fromStdString(result.verification);
  const std::vector<std::string>& findings = result.verification_findings;
  for (size_t i = 0; i < findings.size() && i < kShownFindings; ++i) {
    text += "\n- " + QString::fromStdString(findings[i]);
  }
  if (findings.size() > kShownFindings) {
    text += QString("\n- and %1 more on the merge log").arg(findings.size() - kShownFindings);
  }
  lblVerification_->setText(text);
  // Problems in red, like the message labels; a passed verification like the summary.
  QPalette palette = lblComplete_[1]->palette();
  if (!findings.empty()) palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  lblVerification_->setPalette(palette);
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
