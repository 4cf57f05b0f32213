// Steps 2 and 3: the merge database page (Database 1, Database 2, New Database) and the check
// page (Check Databases). The five path boxes, their Browse buttons and their edit handler are
// built here for the split database page too.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"
#include "app/wizard_texts.h"
#include "core/file_identity.h"
#include "core/text.h"

namespace msu::app {

void frmWizard::BuildMergePathsPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepMergePaths]);
  layout->addWidget(NewHeading("lblMergeDatabases", "Identify Databases to Merge"));
  lblStep_[1] = NewLabel(
      "lblStep1",
      "Database 1 and Database 2 will be merged into a new database.  The Database 2 lookup "
      "tables will be used in case of duplicates or differences.  A report will be generated to "
      "document these differences.  Database 1 and Database 2 must be attached to perform a "
      "merge.  Press Next to continue.");
  layout->addWidget(lblStep_[1]);
  auto* grid = new QGridLayout;
  AddPathRow(grid, 0, kBoxDatabase1, "Database 1");
  AddPathRow(grid, 2, kBoxDatabase2, "Database 2");
  AddPathRow(grid, 4, kBoxNewDatabase, "New Database");
  grid->setColumnStretch(0, 1);
  layout->addLayout(grid);
  // The two halves of the note stand apart, as if separated by a run of blanks.
  layout->addWidget(NewLabel("lblNewDatabaseNote", "Type the name for the new database.", false));
  layout->addWidget(NewLabel(
      "lblNewDatabasePath",
      QString::fromStdString("The default path for the new database is " + DefaultDatabaseFolder()),
      false));
  lblIDMessage_ = NewMessageLabel("lblIDMessage");
  layout->addWidget(lblIDMessage_);
  layout->addStretch(1);
}

void frmWizard::BuildCheckPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepCheck]);
  layout->addWidget(NewHeading("lblReadyToCheck", "Ready to Check Databases"));
  lblCheckDBInst_ = NewLabel(
      "lblCheckDBInst",
      "This step will check the databases to ensure they are the correct structure and identify "
      "consistency problems between the databases.  This step must be done before completing "
      "the merge.  Press Check Databases to begin.");
  layout->addWidget(lblCheckDBInst_);
  cmdCheckDB_ = NewButton("cmdCheckDB", "Check Databases");
  connect(cmdCheckDB_, &QPushButton::clicked, this, &frmWizard::cmdCheckDB_Click);
  layout->addWidget(cmdCheckDB_, 0, Qt::AlignLeft);
  lstProgress_[0] = NewLogList("lstProgress0");
  chkCheckDetail_ = NewDetailsBox("chkCheckDetail");
  lblStatus_ = NewLabel("lblStatus", "0 %", false);
  layout->addWidget(
      NewProgressGroup("fraCheckProgress", lstProgress_[0], chkCheckDetail_, lblStatus_), 1);
}

void frmWizard::AddPathRow(QGridLayout* grid, int row, PathBox box, const char* caption) {
  txtDataBasePath_[box] = new QLineEdit;
  txtDataBasePath_[box]->setObjectName(QString::fromStdString(IndexedName("txtDataBasePath", box)));
  cmdBrowse_[box] = NewButton(IndexedName("cmdBrowse", box).c_str(), "Browse ...");
  connect(cmdBrowse_[box], &QPushButton::clicked, this, [this, box] { cmdBrowse_Click(box); });
  connect(txtDataBasePath_[box], &QLineEdit::textChanged, this, [this, box] { PathEdited(box); });
  grid->addWidget(NewLabel(IndexedName("lblDataBasePath", box).c_str(), caption, false), row, 0, 1,
                  2);
  grid->addWidget(txtDataBasePath_[box], row + 1, 0);
  grid->addWidget(cmdBrowse_[box], row + 1, 1);
}

bool frmWizard::EnterMergePaths(int iDirection, int& iStep) {
  if (services_ == nullptr) {
    lblMessage_->setText(kNoServices);
    return false;
  }
  const StepCheck login = services_->CheckLogin(cboServers_->currentText().toStdString(),
                                                BoxText(txtPassword_), iDirection);
  if (!login.ok) {
    lblMessage_->setText(QString::fromStdString(login.message));
    lblMessageDetail_->setText(QString::fromStdString(login.detail));
    return false;
  }
  lblMessage_->clear();
  lblMessageDetail_->clear();
  // Going back onto this page removed the working copies of the check: the merge needs a new
  // one, and the check page says so.
  if (iDirection == kMoveBack && CheckCompleted_ && optSplitMerge_[1]->isChecked()) {
    AskForCheckAgain(kCopiesRemovedLine);
  }
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = true;
  if (optSplitMerge_[0]->isChecked()) iStep = kStepSplitPaths;
  // Databases the login attached again are named on the page that follows.
  (iStep == kStepSplitPaths ? lblSplitIDmsg_ : lblIDMessage_)
      ->setText(QString::fromStdString(login.message));
  return true;
}

bool frmWizard::EnterCheckPage() {
  if (!CheckCompleted_) {
    if (services_ == nullptr) {
      lblIDMessage_->setText(kNoServices);
      return false;
    }
    MergePaths boxes{BoxText(txtDataBasePath_[kBoxDatabase1]),
                     BoxText(txtDataBasePath_[kBoxDatabase2]),
                     BoxText(txtDataBasePath_[kBoxNewDatabase])};
    const MergePaths typed = boxes;
    const StepCheck valid = services_->ValidateMergePaths(boxes);
    // A rewritten box is an edit like any other: the logs start again.
    if (boxes.database1 != typed.database1) {
      txtDataBasePath_[kBoxDatabase1]->setText(QString::fromStdString(boxes.database1));
    }
    if (boxes.database2 != typed.database2) {
      txtDataBasePath_[kBoxDatabase2]->setText(QString::fromStdString(boxes.database2));
    }
    if (boxes.new_database != typed.new_database) {
      txtDataBasePath_[kBoxNewDatabase]->setText(QString::fromStdString(boxes.new_database));
    }
    if (!valid.ok) {
      lblIDMessage_->setText(QString::fromStdString(valid.message));
      return false;
    }
    merge_paths_ = {Trim(boxes.database1), Trim(boxes.database2), Trim(boxes.new_database)};
  }
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = false;
  return true;
}

void frmWizard::cmdBrowse_Click(int index) {
  FileDialogOptions options;
  options.initial_folder = DefaultDatabaseFolder();
  options.filter = "Orvane Database(*.mdf)|*.mdf";
  options.title = "Open Orvane Database";
  // New Database and Resulting Database name files that do not exist yet: a save dialog lets
  // the user type a new name (the page asks itself before an existing file is replaced).
  const bool new_file = index == kBoxNewDatabase || index == kBoxSplitTarget;
  const std::optional<std::string> file =
      new_file ? prompt_.SaveFile(options) : prompt_.OpenFile(options);
  if (!file) return;
  txtDataBasePath_[index]->setText(QString::fromStdString(*file));
}

void frmWizard::AskForCheckAgain(const char* line) {
  if (!check_again_) progress_->AddProgress(line, false);
  check_again_ = true;
  progress_->ScrollToEnd(LogPage::kCheck);
  cmdCheckDB_->setEnabled(true);
  if (CurrentStep_ == kStepCheck) cmdNav_[kNavNext]->setEnabled(false);
}

void frmWizard::PathEdited(int index) {
  if (index <= kBoxNewDatabase) {
    check_again_ = false;
    ShowMergeState("", false);
    progress_->Clear(LogPage::kCheck);
    progress_->Clear(LogPage::kMerge);
    lblIDMessage_->clear();
    progress_->AddProgress(kPressCheck, false);
    progress_->AddProgressMerge(kPressMerge, false);
    cmdCheckDB_->setEnabled(true);
    CompletedCheck(false);
  } else {
    lstIncidents_->clear();
    // A refusal is about the text that was there: it goes with it, as on the merge page.
    lblSplitIDmsg_->clear();
  }
  SplitSourceChecked_ = false;
}

void frmWizard::cmdCheckDB_Click() {
  BusyPointer busy(prompt_);
  EngineRun run(*this);
  CompletedCheck(false);
  CompletedMerge(false);
  check_again_ = false;
  cmdCheckDB_->setEnabled(false);
  cmdMerge_->setEnabled(false);
  // The merge page starts again with this check: no figure of an earlier merge stays.
  SetStatusMerge(0);
  ShowMergeState("", false);
  lblVerification_->clear();
  if (services_ == nullptr) {
    progress_->AddProgress(kNoServices, false);
    return;
  }
  switch (services_->RunCheck(merge_paths_)) {
    case CheckOutcome::kStopped:
      return;
    case CheckOutcome::kBusy:
    case CheckOutcome::kInitializeFailed:
      cmdCheckDB_->setEnabled(true);
      return;
    case CheckOutcome::kCompleted:
      break;
  }
  // The check's closing line is the engine's, like every line before it.
  progress_->ScrollToEnd(LogPage::kCheck);
  CompletedCheck(true);
  cmdCheckDB_->setEnabled(true);
  cmdMerge_->setEnabled(true);
}

void frmWizard::CompletedCheck(bool bStatus) {
  if (CurrentStep_ == kStepCheck) cmdNav_[kNavNext]->setEnabled(bStatus);
  CheckCompleted_ = bStatus;
}

}  // namespace msu::app
