// Step 4: the problem report. Its frame is never shown: the report is read full screen in the
// viewer, and the hidden report box is what printing works from.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/frm_view.h"
#include "app/frm_wizard.h"
#include "app/page_widgets.h"
#include "core/file_identity.h"
#include "core/text.h"

namespace msu::app {

void frmWizard::BuildProblemsPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepProblems]);
  layout->addWidget(NewHeading("lblProblemsFound", "Problems were found"));
  lblStep_[2] = NewLabel(
      "lblStep2",
      "These problems can not be resolved by this program and will require follow up action "
      "after the merge is complete.  Please print or save the following report for this "
      "purpose.  Press Next to complete the merging process. ");
  layout->addWidget(lblStep_[2]);
  rtbProblems_ = new QTextEdit;
  rtbProblems_->setObjectName("rtbProblems");
  rtbProblems_->setReadOnly(true);
  layout->addWidget(rtbProblems_, 1);
  cmdView_ = NewButton("cmdView", "Full Screen");
  connect(cmdView_, &QPushButton::clicked, this, &frmWizard::cmdView_Click);
  layout->addWidget(cmdView_, 0, Qt::AlignRight);
}

void frmWizard::RedirectProblemsPage(int iDirection) {
  if (iDirection != kMoveNext) {
    SetStep(kStepCheck, kMoveByProgram);
    return;
  }
  if (services_ != nullptr && services_->ProblemsToCorrect()) cmdView_Click();
  SetStep(kStepMerge, kMoveByProgram);
}

void frmWizard::cmdView_Click() {
  frmView& viewer = EnsureViewer();
  viewer.cmdSave()->setEnabled(true);
  viewer.SetVersionLine("");
  // A saved report belongs beside the databases it is about.
  const std::string folder = FolderOf(merge_paths_.database1);
  viewer.SetSaveFolder(folder.empty() ? DefaultDatabaseFolder() : folder);
  viewer.showMaximized();
  viewer.repaint();
}

void frmWizard::ReportBoxes::LoadReport(const std::string& report_path) {
  // The hidden box is the one printing works from; the viewer shows the same document.
  LoadDocumentInto(*wizard_.rtbProblems_, report_path);
  wizard_.EnsureViewer().LoadReport(report_path);
}

}  // namespace msu::app
