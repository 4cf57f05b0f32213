// Step 11: the choice of the one incident that every incident of the new database is merged
// into, reached from the merge page when the user asked for it.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"

namespace msu::app {

void frmWizard::BuildMergeIncidentsPage() {
  auto* layout = new QVBoxLayout(fraStep_[kStepMergeIncidents]);
  lblSelectIncInst_ =
      NewLabel("lblSelectIncInst", "Check the incident to merge into then click \"Next\"");
  layout->addWidget(lblSelectIncInst_);
  lstMergeInc_ = NewIncidentList("lstMergeInc");
  connect(lstMergeInc_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item) { MergeIncidentTicked(item); });
  layout->addWidget(lstMergeInc_, 1);
  lblSelectedInc_ = NewLabel("lblSelectedInc", {}, false);
  layout->addWidget(lblSelectedInc_);
}

void frmWizard::EnterMergeIncidents(int iDirection) {
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = false;
  if (iDirection == kMoveNext && services_ != nullptr) {
    BusyPointer busy(prompt_);
    lstMergeInc_->clear();
    FillIncidentList(lstMergeInc_, services_->ListMergeIncidents());
    MergeIntoIncident_ = 0;
  }
}

void frmWizard::MergeIncidentTicked(QTreeWidgetItem* item) {
  if (ticking_) return;
  MergeIntoIncident_ = 0;
  const bool ticked = item->checkState(0) == Qt::Checked;
  const qlonglong tag = item->data(0, Qt::UserRole).toLongLong();
  if (!ticked) {
    cmdNav_[kNavNext]->setEnabled(false);
  } else {
    MergeIntoIncident_ = static_cast<long>(tag);
    cmdNav_[kNavNext]->setEnabled(true);
  }
  // At most one incident can be the one the others are folded into.
  ticking_ = true;
  for (int i = 0; i < lstMergeInc_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* other = lstMergeInc_->topLevelItem(i);
    if (other->checkState(0) == Qt::Checked && other->data(0, Qt::UserRole).toLongLong() != tag) {
      other->setCheckState(0, Qt::Unchecked);
    }
  }
  ticking_ = false;
}

void frmWizard::FinishMergeIncidents() {
  if (services_ != nullptr) services_->FinishCopyTables(MergeIntoIncident_);
}

}  // namespace msu::app
