// The controls the wizard's pages are built from, made the same way on every page: labels that
// show their text as typed, buttons that never take Enter for themselves, the incident lists
// with check boxes and the "Progress" group of the working pages.
#pragma once

#include <QString>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QGroupBox;
class QTreeWidget;

namespace msu::app {

// A plain-text label aligned to the top left, wrapping its text unless `wrap` is false.
QLabel* NewLabel(const char* object_name, const QString& text = {}, bool wrap = true);
// A page's bold heading, a little larger than the window's font.
QLabel* NewHeading(const char* object_name, const char* text);
// A page's message label, in red, empty until a step is refused.
QLabel* NewMessageLabel(const char* object_name);
QPushButton* NewButton(const char* object_name, const char* text);
// A list with the columns "Incident" and "Status", the first taking the width.
QTreeWidget* NewIncidentList(const char* object_name);
// The "Show Details" box of a working page's log.
QCheckBox* NewDetailsBox(const char* object_name);
// The "Progress" group of a working page: the log, its "Show Details" box and, when `status`
// is not null, the percentage label at the right of the box.
QGroupBox* NewProgressGroup(const char* object_name, QTreeWidget* list, QCheckBox* details,
                            QLabel* status);

// The text of a box.
std::string BoxText(const QLineEdit* box);
// The object name of one control of a control array: "txtDataBasePath" and 3 give
// "txtDataBasePath3".
std::string IndexedName(const char* base, int index);

}  // namespace msu::app
