// Step 5: the merge page (Merge, the merge log and its percentage), the question before a merge
// that looks done before, and the question, on Next, whether to merge the incidents into one.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"
#include "app/wizard_texts.h"
#include "merge/remerge_guard.h"

namespace msu::app {

namespace {

constexpr const char* kMergeNotStarted =
    "Warning, the merge was not started: Database 1 looks merged into Database 2 already.";
// Under a stopped merge's own lines.
constexpr const char* kMergeAgainLine =
    "Warning, nothing was merged: press Back, then Check Databases, to check the databases "
    "again; Merge is enabled by the new check.";
// Under the heading once the merge has run.
constexpr const char* kMergeCompletedState =
    "The merge is complete: the new database is in place. Press Next to go on.";
constexpr const char* kMergeStoppedState =
    "The merge stopped; nothing was placed. Check Databases must run again before a merge.";

}  // namespace

void frmWizard::BuildMergePage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepMerge]);
  layout->addWidget(NewHeading("lblReadyToMerge", "Ready to complete the merging process"));
  lblMergeState_ = NewLabel("lblMergeState");
  QFont bold = lblMergeState_->font();
  bold.setBold(true);
  lblMergeState_->setFont(bold);
  lblMergeState_->hide();
  layout->addWidget(lblMergeState_);
  lblStep_[3] = NewLabel(
      "lblStep3",
      "The final step is to merge the databases. To view the details of actions taken check the "
      "Show Details box. Press the Merge button when ready.");
  layout->addWidget(lblStep_[3]);
  cmdMerge_ = NewButton("cmdMerge", "Merge");
  connect(cmdMerge_, &QPushButton::clicked, this, &frmWizard::cmdMerge_Click);
  layout->addWidget(cmdMerge_, 0, Qt::AlignLeft);
  lstProgress_[2] = NewLogList("lstProgress2");
  chkDetail_ = NewDetailsBox("chkDetail");
  lblStatusMerge_ = NewLabel("lblStatusMerge", "0 %", false);
  layout->addWidget(
      NewProgressGroup("fraMergeProgress", lstProgress_[2], chkDetail_, lblStatusMerge_), 1);
}

void frmWizard::EnterMergePage() {
  // The summary of step 6 is written now, whichever way step 6 is reached afterwards.
  const MergePaths engine = services_ != nullptr ? services_->MergeEnginePaths() : MergePaths{};
  ShowSummary(*lblComplete_[1], MergeSummary(engine));
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = MergeCompleted_;
}

void frmWizard::cmdMerge_Click() {
  EngineRun run(*this);
  cmdMerge_->setEnabled(false);
  if (services_ == nullptr) {
    progress_->AddProgressMerge(kNoServices, false);
    return;
  }
  // The conversion of an old Database 1 runs inside the merge sequence, before CopyTables.
  MergeResult result = services_->RunMerge(false);
  if (result.end == MergeEnd::kMergedBefore) {
    if (!ConfirmRemerge(result.remerge)) {
      // Nothing was changed: the user may still merge after a second look.
      progress_->AddProgressMerge(kMergeNotStarted, false);
      cmdMerge_->setEnabled(true);
      progress_->ScrollToEnd(LogPage::kMerge);
      return;
    }
    result = services_->RunMerge(true);
  }
  ShowVerification(result);
  CompletedMerge(result.end == MergeEnd::kCompleted);
  // The heading above keeps saying what the page is for; the line under it says where the
  // merge stands now.
  if (result.end == MergeEnd::kCompleted) {
    ShowMergeState(kMergeCompletedState, false);
  } else {
    // Its working copies are gone with it: the merge log says what to do, the check page
    // waits for a new check.
    ShowMergeState(kMergeStoppedState, true);
    progress_->AddProgressMerge(kMergeAgainLine, false);
    AskForCheckAgain(kMergeStoppedLine);
  }
  progress_->ScrollToEnd(LogPage::kMerge);
}

void frmWizard::ShowMergeState(const char* text, bool stopped) {
  lblMergeState_->setText(text);
  QPalette palette = lblStep_[3]->palette();
  if (stopped) palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  lblMergeState_->setPalette(palette);
  lblMergeState_->setVisible(text[0] != '\0');
}

bool frmWizard::ConfirmRemerge(const merge::RemergeCounts& counts) {
  const std::string text = merge::RemergeFinding(counts) +
                           "\r\n\r\nMerging them again copies them a second time. Do you want "
                           "to merge anyway?";
  return prompt_.MessageBoxWithDefault(text, "CVN: Merge Again?", Buttons::kYesNo,
                                       Icon::kExclamation, Answer::kNo) == Answer::kYes;
}

void frmWizard::CompletedMerge(bool bStatus) {
  cmdNav_[kNavNext]->setEnabled(bStatus);
  MergeCompleted_ = bStatus;
}

int frmWizard::AskMergeIncidents() {
  const Answer answer = prompt_.MessageBox(
      "Do you want to merge Incidents into a single Incident?\r\n\r\nNote: If merging into "
      "a blank database, select No.",
      "CVN: Merge Incidents?", Buttons::kYesNo, Icon::kQuestion);
  MergeIncidents_ = answer == Answer::kYes;
  return MergeIncidents_ ? kStepMergeIncidents : kStepMergeFinished;
}

}  // namespace msu::app
