#include "app/qt_prompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace msu::app {

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList qt_filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString("*");
    patterns.replace(';', ' ');
    // The description usually repeats its patterns in brackets; Qt wants them exactly once.
    const qsizetype bracket = description.lastIndexOf('(');
    if (bracket >= 0 && description.endsWith(')')) description = description.left(bracket);
    description = description.trimmed();
    qt_filters << QString("%1 (%2)").arg(description, patterns);
  }
  return qt_filters.join(";;");
}

Answer QtPrompt::MessageBox(const std::string& text, const std::string& title, Buttons buttons,
                            Icon icon) {
  const Answer first =
      (buttons == Buttons::kYesNo || buttons == Buttons::kYesNoCancel) ? Answer::kYes : Answer::kOk;
  return MessageBoxWithDefault(text, title, buttons, icon, first);
}

Answer QtPrompt::MessageBoxWithDefault(const std::string& text, const std::string& title,
                                       Buttons buttons, Icon icon, Answer default_answer) {
  QMessageBox box(parent_);
  // The texts carry the line ends of the suite (CR LF); the box wants plain line breaks.
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  box.setText(shown);
  box.setWindowTitle(QString::fromStdString(title));
  switch (icon) {
    case Icon::kNone:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case Icon::kCritical:
      box.setIcon(QMessageBox::Critical);
      break;
    case Icon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case Icon::kExclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case Icon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
  }
  switch (buttons) {
    case Buttons::kOk:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case Buttons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case Buttons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (default_answer) {
    case Answer::kOk:
      box.setDefaultButton(QMessageBox::Ok);
      break;
    case Answer::kCancel:
      box.setDefaultButton(QMessageBox::Cancel);
      break;
    case Answer::kYes:
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case Answer::kNo:
      box.setDefaultButton(QMessageBox::No);
      break;
  }
  // The busy pointer of a long routine must not hide the arrow the user needs to answer.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int pressed = box.exec();
  if (busy) QApplication::restoreOverrideCursor();
  switch (pressed) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    case QMessageBox::Cancel:
      return Answer::kCancel;
    default:
      // A box closed by its title bar counts as its escape button.
      if (buttons == Buttons::kYesNo) return Answer::kNo;
      if (buttons == Buttons::kOkCancel || buttons == Buttons::kYesNoCancel) {
        return pressed == QMessageBox::Ok ? Answer::kOk : Answer::kCancel;
      }
      return Answer::kOk;
  }
}

std::optional<std::string> QtPrompt::OpenFile(const FileDialogOptions& options) {
  QString start = QString::fromStdString(options.initial_folder);
  if (!options.file_name.empty()) start += "/" + QString::fromStdString(options.file_name);
  const QString file = QFileDialog::getOpenFileName(parent_, QString::fromStdString(options.title),
                                                    start, QtFileFilter(options.filter));
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> QtPrompt::SaveFile(const FileDialogOptions& options) {
  QString start = QString::fromStdString(options.initial_folder);
  if (!options.file_name.empty()) start += "/" + QString::fromStdString(options.file_name);
  // The routines that save ask themselves before replacing a file.
  const QString file = QFileDialog::getSaveFileName(parent_, QString::fromStdString(options.title),
                                                    start, QtFileFilter(options.filter), nullptr,
                                                    QFileDialog::DontConfirmOverwrite);
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

void QtPrompt::SetBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (QApplication::overrideCursor() != nullptr) {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace msu::app
