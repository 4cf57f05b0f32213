// The wizard window: twelve pages (steps) shown one at a time in a fixed frame, the five
// navigation buttons below them, and the step machine SetStep that moves between the pages.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/qt_progress.h"
#include "app/wizard_services.h"
#include "core/prompt.h"
#include "reports/problem_report.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace msu::app {

class frmView;

// The version shown in the caption: major, ".0", minor, ".0", revision, each in plain decimal
// (5, 1, 0 give "5.01.00").
std::string VersionSuffix(int major, int minor, int revision);

// The summary of the merge's last page. Lines end in single carriage returns.
std::string MergeSummary(const MergePaths& engine_paths);
// The summary of the split's last page, listing the texts of the kept incidents in order.
std::string SplitSummary(const std::string& source, const std::string& target,
                         const std::vector<std::string>& kept_incidents);
// A text with carriage-return line ends as a label draws it: every CR, or CR LF, becomes a
// line break.
QString DisplayText(const std::string& text);

inline constexpr int kVersionMajor = 5;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;
inline constexpr int kStepCount = 12;

class frmWizard : public QWidget {
  Q_OBJECT

 public:
  // `application_folder` holds the help document. `services` may be set later with
  // SetServices; until then every entry procedure that needs one refuses its step.
  frmWizard(std::string application_folder, Prompt& prompt, WizardServices* services = nullptr,
            QWidget* parent = nullptr);
  ~frmWizard() override;

  void SetServices(WizardServices* services) { services_ = services; }

  // The logs of the check, merge and split pages, for the engines.
  QtProgress& progress() { return *progress_; }

  // Moves to step `iStep`; `iDirection` is 0 for a move by the program, 1 for Back, 2 for
  // Next. An entry procedure may refuse the step (nothing changes) or move elsewhere.
  void SetStep(int iStep, int iDirection);
  // The check of step 3 finished (true) or was reset (false); Next follows it on step 3.
  void CompletedCheck(bool bStatus);
  // The merge of step 5 finished (true) or was reset (false); Next follows it.
  void CompletedMerge(bool bStatus);
  void SetStatus(int iValue, int iValue2 = 0) { progress_->SetStatus(iValue, iValue2); }
  void SetStatusMerge(int iValue, int iValue2 = 0) { progress_->SetStatusMerge(iValue, iValue2); }

  // The click handler of the five navigation buttons.
  void cmdNav_Click(int index);
  // The "Full Screen" action: shows the problem report in the viewer with Save enabled.
  void cmdView_Click();

  int CurrentStep() const { return CurrentStep_; }
  bool CheckCompleted() const { return CheckCompleted_; }
  bool MergeCompleted() const { return MergeCompleted_; }
  bool MergeIncidents() const { return MergeIncidents_; }
  long MergeIntoIncident() const { return MergeIntoIncident_; }
  int IncidentsChecked() const { return IncidentsChecked_; }
  bool SplitDone() const { return SplitDone_; }
  const std::string& HelpFile() const { return HelpFile_; }
  // The viewer, once Help, the Full Screen action or a report has created it.
  frmView* Viewer() const { return viewer_.get(); }
  // Where the report writer hands a closed problem report: it is loaded into this window's
  // hidden rtbProblems and into the viewer's (created when needed). Failures are ignored.
  reports::ReportViewer& ProblemReportViewer() { return report_boxes_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildPages();
  QGroupBox* NewFrame(int step, const char* caption);
  void FillInstructionLabels();

  // Entry procedures; false refuses the step. Steps 4 and 6 redirect instead, through
  // `redirected`.
  bool EnterServerPage();
  bool EnterMergePaths(int iDirection, int& iStep);
  bool EnterCheckPage();
  bool EnterSplitSelection(int iDirection);
  void EnterMergePage();
  void EnterSplitFinished();
  void EnterMergeIncidents(int iDirection);

  void cmdBrowse_Click(int index);
  void PathEdited(int index);
  void cmdCheckDB_Click();
  void cmdMerge_Click();
  void cmdSplit_Click();
  void IncidentTicked(QTreeWidgetItem* item);
  void MergeIncidentTicked(QTreeWidgetItem* item);
  void FillIncidentList(QTreeWidget* list, const std::vector<IncidentItem>& incidents);

  void RunCleanUp();
  // The one viewer of the run, created on first use, with this window's icon.
  frmView& EnsureViewer();

  class ReportBoxes : public reports::ReportViewer {
   public:
    explicit ReportBoxes(frmWizard& wizard) : wizard_(wizard) {}
    void LoadReport(const std::string& report_path) override;

   private:
    frmWizard& wizard_;
  };

  std::string application_folder_;
  std::string HelpFile_;
  Prompt& prompt_;
  WizardServices* services_;
  std::unique_ptr<QtProgress> progress_;
  std::unique_ptr<frmView> viewer_;
  ReportBoxes report_boxes_{*this};

  int CurrentStep_ = 0;
  bool FinishEnabled_ = false;
  bool NextEnabled_ = false;
  bool BackEnabled_ = false;
  int IncidentsChecked_ = 0;
  bool SplitDone_ = false;
  bool SplitSourceChecked_ = false;
  bool CheckCompleted_ = false;
  bool MergeCompleted_ = false;
  bool MergeIncidents_ = false;
  long MergeIntoIncident_ = 0;
  MergePaths merge_paths_;
  std::string split_source_;
  std::string split_target_;
  bool cleaned_up_ = false;
  // Set while the window fills an incident list or unticks items itself, so that only the
  // user's ticks reach the tick handlers.
  bool ticking_ = false;

  std::array<QGroupBox*, kStepCount> fraStep_{};
  std::array<QPushButton*, 5> cmdNav_{};
  std::array<QLabel*, 5> lblStep_{};
  std::array<QRadioButton*, 2> optSplitMerge_{};
  std::array<QLineEdit*, 5> txtDataBasePath_{};
  std::array<QPushButton*, 5> cmdBrowse_{};
  std::array<QTreeWidget*, 3> lstProgress_{};
  std::array<QLabel*, 3> lblComplete_{};
  QLabel* lblInstructions_ = nullptr;
  QComboBox* cboServers_ = nullptr;
  QLineEdit* txtPassword_ = nullptr;
  QLabel* lblMessage_ = nullptr;
  QLabel* lblIDMessage_ = nullptr;
  QLabel* lblCheckDBInst_ = nullptr;
  QPushButton* cmdCheckDB_ = nullptr;
  QCheckBox* chkCheckDetail_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QTextEdit* rtbProblems_ = nullptr;
  QPushButton* cmdView_ = nullptr;
  QPushButton* cmdMerge_ = nullptr;
  QCheckBox* chkDetail_ = nullptr;
  QLabel* lblStatusMerge_ = nullptr;
  QLabel* lblSplitIDdb_ = nullptr;
  QLabel* lblSplitIDmsg_ = nullptr;
  QLabel* lblSelectIncs_ = nullptr;
  QTreeWidget* lstIncidents_ = nullptr;
  QLabel* lblIncSelected_ = nullptr;
  QLabel* lblSplit_ = nullptr;
  QPushButton* cmdSplit_ = nullptr;
  QCheckBox* chkSplitDetails_ = nullptr;
  QLabel* lblSplitComplete_ = nullptr;
  QLabel* lblSelectIncInst_ = nullptr;
  QTreeWidget* lstMergeInc_ = nullptr;
  QLabel* lblSelectedInc_ = nullptr;
};

}  // namespace msu::app
