#include "app/page_widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace msu::app {

QLabel* NewLabel(const char* object_name, const QString& text, bool wrap) {
  auto* label = new QLabel(text);
  label->setObjectName(object_name);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wrap);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLabel* NewHeading(const char* object_name, const char* text) {
  QLabel* label = NewLabel(object_name, text, false);
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.15);
  label->setFont(font);
  return label;
}

QLabel* NewMessageLabel(const char* object_name) {
  QLabel* label = NewLabel(object_name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
  label->setPalette(palette);
  return label;
}

QPushButton* NewButton(const char* object_name, const char* text) {
  auto* button = new QPushButton(text);
  button->setObjectName(object_name);
  button->setAutoDefault(false);
  return button;
}

QTreeWidget* NewIncidentList(const char* object_name) {
  auto* list = new QTreeWidget;
  list->setObjectName(object_name);
  list->setColumnCount(2);
  list->setHeaderLabels({"Incident", "Status"});
  list->setRootIsDecorated(false);
  list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  // The status ("Database 1, key 3", "Split") is read whole.
  list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  list->header()->setStretchLastSection(false);
  return list;
}

QCheckBox* NewDetailsBox(const char* object_name) {
  auto* box = new QCheckBox("Show Details");
  box->setObjectName(object_name);
  return box;
}

QGroupBox* NewProgressGroup(const char* object_name, QTreeWidget* list, QCheckBox* details,
                            QLabel* status) {
  auto* group = new QGroupBox("Progress");
  group->setObjectName(object_name);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(list, 1);
  auto* row = new QHBoxLayout;
  row->addWidget(details);
  row->addStretch(1);
  if (status != nullptr) row->addWidget(status);
  layout->addLayout(row);
  return group;
}

std::string BoxText(const QLineEdit* box) { return box->text().toStdString(); }

std::string IndexedName(const char* base, int index) { return base + std::to_string(index); }

}  // namespace msu::app
