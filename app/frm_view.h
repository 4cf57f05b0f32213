// The report viewer: a separate, resizable window that shows the merge check's problem report
// or the help document, with Close, Print and Save below the text.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "core/prompt.h"
#include "reports/problem_report.h"

class QFrame;
class QLabel;
class QPushButton;
class QResizeEvent;
class QTextEdit;

namespace msu::app {

// The viewer's layout is measured in twips, as the suite's windows are: 15 twips to a pixel.
inline constexpr int kTwipsPerPixel = 15;
// Lines wrap where they will on paper: 11520 twips (8 inches).
inline constexpr int kPrintLineWidthTwips = 11520;

// Twips to whole pixels, to the nearest pixel.
int TwipsToPixels(int twips);

class frmView : public QWidget, public reports::ReportViewer {
  Q_OBJECT

 public:
  // `application_folder` is where Save starts looking; `prompt` asks for the file and shows
  // messages.
  frmView(Prompt& prompt, std::string application_folder, QWidget* parent = nullptr);

  // What Save does with the chosen path: in the product, the report writer's SaveReport (which
  // asks itself before it replaces a file). Without one, Save does nothing.
  void SetSaveReport(std::function<void(const std::string&)> save) { save_ = std::move(save); }
  // What Print does: in the product, the wizard's ReportPrinter, which returns where the pages
  // went (shown in lblViewMessage; empty when nothing printed). Without one, Print does
  // nothing.
  void SetPrintReport(std::function<std::string()> print) { print_ = std::move(print); }
  // The folder Save starts in: the databases' folder, where the report belongs beside them.
  void SetSaveFolder(std::string folder) { save_folder_ = std::move(folder); }

  // Loads a document file into rtbProblems: RTF through the RTF reader, any other file as
  // plain text. Returns false (and leaves the box as it was) when the file cannot be read.
  bool LoadDocument(const std::string& path);
  // The report writer's hand-over of a closed report. Failures leave the box as it was. A report
  // is shown without the version line.
  void LoadReport(const std::string& report_path) override {
    SetVersionLine("");
    LoadDocument(report_path);
  }
  // The line left of the buttons, lblVersion: the program and its version while the viewer shows
  // the help document; empty (and hidden) while it shows a report. Clears lblViewMessage.
  void SetVersionLine(const std::string& text);

  // Save: asks for a target (initial folder the save folder, else the application folder;
  // title "Save File", filter "Rich Text File(*.rtf)|*.rtf"); a cancelled dialog does nothing. A
  // name typed without an extension gets ".rtf" (RtfFileName).
  void cmdSave_Click();
  // Print: prints the closed problem report (whatever the box shows) on a printer the user
  // chooses, and says in lblViewMessage where the pages went.
  void cmdPrint_Click();
  // Places the text box and the button frame for the window's present size and lays the box
  // out for the printer.
  void Form_Resize();

  QTextEdit* rtbProblems() const { return rtbProblems_; }
  QFrame* fraView() const { return fraView_; }
  QPushButton* cmdSave() const { return cmdSave_; }
  QPushButton* cmdPrint() const { return cmdPrint_; }
  QPushButton* cmdClose() const { return cmdClose_; }
  QLabel* lblVersion() const { return lblVersion_; }
  QLabel* lblViewMessage() const { return lblViewMessage_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  Prompt& prompt_;
  std::string application_folder_;
  std::function<void(const std::string&)> save_;
  std::string save_folder_;
  std::function<std::string()> print_;
  QTextEdit* rtbProblems_;
  QFrame* fraView_;
  QPushButton* cmdClose_;
  QPushButton* cmdPrint_;
  QPushButton* cmdSave_;
  QLabel* lblVersion_;
  // Beside the buttons: where the last print went.
  QLabel* lblViewMessage_;
};

// The file a save writes for the name the user chose: with ".rtf" appended when the file name
// has no extension of its own ("report" becomes "report.rtf"; "report.txt" stays).
std::string RtfFileName(const std::string& chosen);

// Loads `path` into `box` the way the viewer does (RTF or plain text). False when the file
// cannot be read or is not a regular file (a pipe is never opened); the box is then unchanged.
bool LoadDocumentInto(QTextEdit& box, const std::string& path);

}  // namespace msu::app
