// Step 11: the choice of the one incident that every incident of the new database is merged
// into, reached from the merge page when the user asked for it.
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_wizard.h"
#include "app/page_widgets.h"

namespace msu::app {

namespace {

// The tag of an item: the incident's identifier as the engine wrote it.
constexpr int kTagRole = Qt::UserRole;

// lstMergeInc and lblSelectedInc as the consolidation fills and labels them. `filling` is
// raised while an item is added, so that the tick handler does not take it for the user's.
class MergeIncidentList : public merge::IncidentChoice {
 public:
  MergeIncidentList(QTreeWidget* list, QLabel* caption, bool& filling)
      : list_(list), caption_(caption), filling_(filling) {}

  void Clear() override { list_->clear(); }

  void AddItem(const std::string& text, const std::string& tag) override {
    filling_ = true;
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, kTagRole, QString::fromStdString(tag));
    list_->addTopLevelItem(item);
    filling_ = false;
    // The list grows on screen while the rows arrive.
    QCoreApplication::processEvents();
  }

  void SetOrigin(const std::string& origin) override {
    const int count = list_->topLevelItemCount();
    if (count == 0) return;
    filling_ = true;
    list_->topLevelItem(count - 1)->setText(1, QString::fromStdString(origin));
    filling_ = false;
  }

  void SetSelectedCaption(const std::string& caption) override {
    caption_->setText(QString::fromStdString(caption));
    // The statements that follow keep the event loop waiting; the label is drawn now.
    caption_->repaint();
  }

 private:
  QTreeWidget* list_;
  QLabel* caption_;
  bool& filling_;
};

}  // namespace

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
    MergeIntoIncident_ = 0;
    MergeIncidentList list(lstMergeInc_, lblSelectedInc_, ticking_);
    services_->ListMergeIncidents(list);
  }
}

void frmWizard::MergeIncidentTicked(QTreeWidgetItem* item) {
  if (ticking_) return;
  MergeIntoIncident_ = 0;
  const bool ticked = item->checkState(0) == Qt::Checked;
  const QString tag = item->data(0, kTagRole).toString();
  if (!ticked) {
    cmdNav_[kNavNext]->setEnabled(false);
  } else {
    MergeIntoIncident_ = tag.trimmed().toLong();
    cmdNav_[kNavNext]->setEnabled(true);
  }
  // At most one incident can be the one the others are folded into.
  ticking_ = true;
  for (int i = 0; i < lstMergeInc_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* other = lstMergeInc_->topLevelItem(i);
    if (other->checkState(0) == Qt::Checked && other->data(0, kTagRole).toString() != tag) {
      other->setCheckState(0, Qt::Unchecked);
    }
  }
  ticking_ = false;
}

void frmWizard::FinishMergeIncidents() {
  if (services_ == nullptr) return;
  // The kept incident by the words the user ticked, for the last page.
  std::string kept;
  for (int i = 0; i < lstMergeInc_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lstMergeInc_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) kept = item->text(0).toStdString();
  }
  MergeIncidentList list(lstMergeInc_, lblSelectedInc_, ticking_);
  const ConsolidationResult result = services_->FinishCopyTables(MergeIntoIncident_, list);
  ShowConsolidation(result, kept);
}

}  // namespace msu::app
