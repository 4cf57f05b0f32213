// The report viewer: a separate, resizable window that shows the merge check's problem report
// or the help document, with Close, Print and Save.
#pragma once

#include <QWidget>
#include <string>

class QFrame;
class QPushButton;
class QTextEdit;

namespace msu::app {

class frmView : public QWidget {
  Q_OBJECT

 public:
  explicit frmView(QWidget* parent = nullptr);

  // Loads a rich-text document file into rtbProblems. Returns false (and leaves the box as it
  // was) when the file cannot be read.
  bool LoadDocument(const std::string& path);

  QTextEdit* rtbProblems() const { return rtbProblems_; }
  QPushButton* cmdSave() const { return cmdSave_; }
  QPushButton* cmdPrint() const { return cmdPrint_; }
  QPushButton* cmdClose() const { return cmdClose_; }

 private:
  QTextEdit* rtbProblems_;
  QFrame* fraView_;
  QPushButton* cmdClose_;
  QPushButton* cmdPrint_;
  QPushButton* cmdSave_;
};

// The text of an RTF document as it is shown until the viewer renders rich text: control
// words, groups of destinations such as font and colour tables, and braces are removed;
// \par and \line become line breaks and \tab a tab.
QString RtfToPlainText(const QByteArray& rtf);

}  // namespace msu::app
