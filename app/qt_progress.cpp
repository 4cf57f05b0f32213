#include "app/qt_progress.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>

namespace msu::app {

namespace {

// Long lines (paths, statements, error texts) are cut at the list's edge; the pointer resting
// on one shows its whole text. A line shown whole needs no tooltip.
class CutLineToolTips : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip ||
        !index.isValid()) {
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    if (sizeHint(option, index).width() > view->visualRect(index).width()) {
      QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view,
                         view->visualRect(index));
    } else {
      QToolTip::hideText();
    }
    return true;
  }
};

}  // namespace

QtProgress::QtProgress(LogWidgets check, LogWidgets merge, LogWidgets split)
    : pages_{check, merge, split} {}

const LogWidgets& QtProgress::Widgets(LogPage page) const {
  return pages_[static_cast<size_t>(page)];
}

void QtProgress::Add(LogPage page, const std::string& message, bool detail) {
  // Engines call this from deep inside their work; a log that cannot draw must not stop it.
  try {
    const LogWidgets& widgets = Widgets(page);
    if (widgets.list == nullptr) return;
    if (detail && (widgets.details == nullptr || !widgets.details->isChecked())) return;

    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(message)});
    const LineStyle style = ClassifyLine(message, page);
    item->setForeground(0, QColor(style.colour.red, style.colour.green, style.colour.blue));
    QFont font = widgets.list->font();
    font.setBold(style.bold);
    item->setFont(0, font);
    widgets.list->addTopLevelItem(item);
    widgets.list->scrollToItem(item);
    // The only thing that keeps the window alive while an engine works on this thread.
    QCoreApplication::processEvents();
  } catch (...) {
  }
}

void QtProgress::Clear(LogPage page) {
  const LogWidgets& widgets = Widgets(page);
  if (widgets.list != nullptr) widgets.list->clear();
}

void QtProgress::SetPercent(LogPage page, int value, int value2) {
  try {
    const LogWidgets& widgets = Widgets(page);
    if (widgets.status == nullptr) return;
    widgets.status->setText(QString::fromStdString(StatusCaption(value, value2)));
    QCoreApplication::processEvents();
  } catch (...) {
  }
}

void QtProgress::KeepAlive() {
  try {
    QCoreApplication::processEvents();
  } catch (...) {
  }
}

void QtProgress::ScrollToEnd(LogPage page) {
  const LogWidgets& widgets = Widgets(page);
  if (widgets.list == nullptr || widgets.list->topLevelItemCount() == 0) return;
  widgets.list->scrollToItem(widgets.list->topLevelItem(widgets.list->topLevelItemCount() - 1));
}

QTreeWidget* NewLogList(const char* object_name) {
  auto* list = new QTreeWidget;
  list->setObjectName(object_name);
  list->setColumnCount(1);
  list->setHeaderLabels({"Message"});
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setUniformRowHeights(true);
  list->setItemDelegate(new CutLineToolTips(list));
  return list;
}

}  // namespace msu::app
