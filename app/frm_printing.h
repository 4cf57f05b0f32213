// The "Printing Report" window: shown, without blocking, while the problem report prints; its
// Cancel stops the print after the page under way.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace msu::app {

class frmPrinting : public QWidget {
  Q_OBJECT

 public:
  // `print_cancelled` is the print's cancel flag: Form_Load clears it, Cancel sets it.
  explicit frmPrinting(bool& print_cancelled, QWidget* parent = nullptr);

  // On load: lets pending window events run once, then clears the cancel flag, so that nothing
  // clicked before the print began cancels it.
  void Form_Load();
  // Cancel: sets the cancel flag and unloads (hides) the window.
  void cmdCancel_Click();

  QLabel* lblPrintMsg() const { return lblPrintMsg_; }
  QPushButton* cmdCancel() const { return cmdCancel_; }

 private:
  bool& print_cancelled_;
  QLabel* lblPrintMsg_;
  QPushButton* cmdCancel_;
};

}  // namespace msu::app
