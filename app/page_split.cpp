// Steps 7 to 10: the split database page, the selection of the incidents to keep, the split
// page (Split and the split log) and the split's last page with its summary.
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"
#include "app/wizard_texts.h"
#include "core/text.h"
#include "server_routines/working_files.h"

namespace msu::app {

std::string SplitSummary(const std::string& source, const std::string& target,
                         const std::vector<std::string>& kept_incidents) {
  std::string summary = "Source Database:             " + source + "\r\r" +
                        "Target Database:             " + target + "\r\r" +
                        "Incidents contained in target database: " + "\r\r";
  for (const std::string& incident : kept_incidents) summary += incident + "\r";
  summary += "\rPress Finish to exit.";
  return summary;
}

void frmWizard::BuildSplitPathsPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepSplitPaths]);
  layout->addWidget(NewHeading("lblSplitDatabase", "Identify Orvane Database to Split"));
  lblSplitIDdb_ = NewLabel(
      "lblSplitIDdb",
      "Split enables you to create a new database composed of one of more incidents from the "
      "database identified to split. After you have specified the databases below press Next "
      "to proceed to the next step.");
  layout->addWidget(lblSplitIDdb_);
  auto* grid = new QGridLayout;
  AddPathRow(grid, 0, kBoxSplitSource, "Database to Split");
  AddPathRow(grid, 2, kBoxSplitTarget, "Resulting Database");
  grid->setColumnStretch(0, 1);
  layout->addLayout(grid);
  lblSplitIDmsg_ = NewMessageLabel("lblSplitIDmsg");
  layout->addWidget(lblSplitIDmsg_);
  layout->addStretch(1);
}

void frmWizard::BuildSplitSelectPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepSplitSelect]);
  layout->addWidget(NewHeading("lblSelectIncidents", "Select Incidents"));
  lblSelectIncs_ =
      NewLabel("lblSelectIncs",
               "Place a check mark next to each incident that you wish to retain in the resulting "
               "database. You must select at least one incident.  Press Split to proceed.");
  layout->addWidget(lblSelectIncs_);
  lstIncidents_ = NewIncidentList("lstIncidents");
  connect(lstIncidents_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item) { IncidentTicked(item); });
  layout->addWidget(lstIncidents_, 1);
  lblIncSelected_ = NewLabel("lblIncSelected", {}, false);
  layout->addWidget(lblIncSelected_);
}

void frmWizard::BuildSplitPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepSplit]);
  layout->addWidget(NewHeading("lblSplitSelected", "Split Selected Incidents"));
  lblSplit_ = NewLabel(
      "lblSplit",
      "The final step is to split the incidents you have chosen into the resulting database.  "
      "The split process will make a copy of your orignal database and then remove the "
      "incidents not checked.  Press Split to proceed.");
  layout->addWidget(lblSplit_);
  cmdSplit_ = NewButton("cmdSplit", "Split");
  connect(cmdSplit_, &QPushButton::clicked, this, &frmWizard::cmdSplit_Click);
  layout->addWidget(cmdSplit_, 0, Qt::AlignLeft);
  lstProgress_[1] = NewLogList("lstProgress1");
  chkSplitDetails_ = NewDetailsBox("chkSplitDetails");
  layout->addWidget(
      NewProgressGroup("fraSplitProgress", lstProgress_[1], chkSplitDetails_, nullptr), 1);
}

void frmWizard::BuildSplitFinishedPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepSplitFinished]);
  lblComplete_[2] = NewHeading("lblComplete2", "Split Process Completed");
  lblSplitComplete_ = NewLabel("lblSplitComplete");
  lblSplitVerification_ = NewLabel("lblSplitVerification");
  lblSplitAttachedNote_ = NewLabel("lblSplitAttachedNote");
  layout->addWidget(lblComplete_[2]);
  layout->addSpacing(12);
  layout->addWidget(lblSplitComplete_);
  layout->addSpacing(12);
  layout->addWidget(lblSplitVerification_);
  layout->addStretch(1);
  layout->addWidget(lblSplitAttachedNote_);
}

void frmWizard::EnterSplitPaths() {
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = true;
}

bool frmWizard::EnterSplitSelection(int iDirection) {
  BusyPointer busy(prompt_);
  if (services_ == nullptr) {
    lblSplitIDmsg_->setText(kNoServices);
    return false;
  }
  std::string source = BoxText(txtDataBasePath_[kBoxSplitSource]);
  std::string target = BoxText(txtDataBasePath_[kBoxSplitTarget]);
  if (iDirection == kMoveNext) {
    const std::string typed_source = source;
    const std::string typed_target = target;
    const StepCheck valid = services_->ValidateSplitPaths(source, target);
    if (source != typed_source) {
      txtDataBasePath_[kBoxSplitSource]->setText(QString::fromStdString(source));
    }
    if (target != typed_target) {
      txtDataBasePath_[kBoxSplitTarget]->setText(QString::fromStdString(target));
    }
    if (!valid.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(valid.message));
      return false;
    }
  }
  if (!SplitSourceChecked_) {
    const StepCheck version = services_->AcceptSplitSource(Trim(source));
    if (!version.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(version.message));
      return false;
    }
    SplitSourceChecked_ = true;
  }
  FinishEnabled_ = false;
  BackEnabled_ = true;
  // Coming back from the split page keeps the list and its ticks.
  if (iDirection == kMoveNext) {
    lstIncidents_->clear();
    lstIncidents_->setEnabled(true);
    progress_->Clear(LogPage::kSplit);
    // Next holds the EngineRun of this Initialize for the whole move.
    const SplitStart start =
        services_->StartSplit(BoxText(txtDataBasePath_[kBoxSplitSource]), split_list_);
    IncidentsChecked_ = 0;
    if (!start.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(start.message));
      return false;
    }
  }
  NextEnabled_ = IncidentsChecked_ >= 1;
  return true;
}

void frmWizard::IncidentTicked(QTreeWidgetItem* /*item*/) {
  if (ticking_) return;
  int ticked = 0;
  for (int i = 0; i < lstIncidents_->topLevelItemCount(); ++i) {
    if (lstIncidents_->topLevelItem(i)->checkState(0) == Qt::Checked) ++ticked;
  }
  IncidentsChecked_ = ticked;
  lblIncSelected_->setText(QString("Incidents checked to split: %1").arg(ticked));
  cmdSplit_->setEnabled(ticked > 0);
  cmdNav_[kNavNext]->setEnabled(ticked > 0);
}

void frmWizard::EnterSplitPage() {
  FinishEnabled_ = SplitDone_;
  BackEnabled_ = true;
  NextEnabled_ = SplitDone_;
}

void frmWizard::cmdSplit_Click() {
  BusyPointer busy(prompt_);
  // Held to the end, so that a move the user asked for meanwhile follows this handler's own.
  EngineRun running(*this);
  cmdSplit_->setEnabled(false);
  split_source_ = BoxText(txtDataBasePath_[kBoxSplitSource]);
  split_target_ = BoxText(txtDataBasePath_[kBoxSplitTarget]);
  SplitResult result;
  if (services_ != nullptr) result = services_->RunSplit(split_source_, split_target_);
  split_verification_ = result.verification;
  split_placed_ = result.ok;
  cmdNav_[kNavNext]->setEnabled(result.ok);
  progress_->ScrollToEnd(LogPage::kSplit);
  SplitDone_ = true;
}

void frmWizard::EnterSplitFinished() {
  std::vector<std::string> kept;
  for (int i = 0; i < lstIncidents_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lstIncidents_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) kept.push_back(item->text(0).toStdString());
  }
  ShowSummary(*lblSplitComplete_, SplitSummary(split_source_, split_target_, kept));
  lblSplitVerification_->setText(QString::fromStdString(split_verification_));
  // Unlike a merge's new database, the split's stays on the server when the window closes.
  lblSplitAttachedNote_->setText(
      split_placed_ ? QString("The resulting database stays attached to the server as %1 when "
                              "this window closes.")
                          .arg(QString::fromStdString(
                              server_routines::DatabaseNameOfFile(Trim(split_target_))))
                    : QString());
  FinishEnabled_ = true;
  BackEnabled_ = true;
  NextEnabled_ = false;
}

void frmWizard::SplitListView::Clear() { wizard_.lstIncidents_->clear(); }

void frmWizard::SplitListView::AddItem(const std::string& text, const std::string& tag) {
  wizard_.ticking_ = true;
  auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text), QString()});
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(0, Qt::Unchecked);
  item->setData(0, Qt::UserRole, QString::fromStdString(tag));
  wizard_.lstIncidents_->addTopLevelItem(item);
  wizard_.ticking_ = false;
  QCoreApplication::processEvents();
}

int frmWizard::SplitListView::Count() const { return wizard_.lstIncidents_->topLevelItemCount(); }

QTreeWidgetItem* frmWizard::SplitListView::Item(int index) const {
  return wizard_.lstIncidents_->topLevelItem(index);
}

std::string frmWizard::SplitListView::Text(int index) const {
  return Item(index)->text(0).toStdString();
}

std::string frmWizard::SplitListView::Tag(int index) const {
  return Item(index)->data(0, Qt::UserRole).toString().toStdString();
}

bool frmWizard::SplitListView::Checked(int index) const {
  return Item(index)->checkState(0) == Qt::Checked;
}

void frmWizard::SplitListView::SetStatus(int index, const std::string& status, bool bold) {
  // Not a tick of the user's: the count and the Split button stay as they are.
  wizard_.ticking_ = true;
  QTreeWidgetItem* item = Item(index);
  item->setText(1, QString::fromStdString(status));
  for (int column = 0; column < 2; ++column) {
    QFont font = item->font(column);
    font.setBold(bold);
    item->setFont(column, font);
  }
  wizard_.ticking_ = false;
}

void frmWizard::SplitListView::SetEnabled(bool enabled) {
  wizard_.lstIncidents_->setEnabled(enabled);
}

void frmWizard::SplitListView::SetSelectedCaption(const std::string& caption) {
  wizard_.lblIncSelected_->setText(QString::fromStdString(caption));
}

}  // namespace msu::app
