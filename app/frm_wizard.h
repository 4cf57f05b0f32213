// The wizard window: twelve pages (steps) shown one at a time in a fixed frame, the five
// navigation buttons below them, and the step machine SetStep that moves between the pages.
//
// frm_wizard.cpp holds the step machine (start-up, SetStep and its entry table, the navigation
// buttons, the clean-up); each page's controls, entry procedure and handlers live in the page
// file named beside its step below.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/qt_progress.h"
#include "app/wizard_services.h"
#include "core/prompt.h"
#include "page_rules/login_check.h"
#include "reports/problem_report.h"
#include "split/incident_list.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
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
class ReportPrinter;

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
// A summary as its page shows it: a table whose rows are the summary's lines, a line "Name:"
// with a run of blanks and a value split in two columns, so that the values line up in any
// font; the words and their order are the summary's.
QString SummaryHtml(const std::string& summary);
// Shows `summary` in `label` as SummaryHtml, with DisplayText(summary) as the label's
// accessible description.
void ShowSummary(QLabel& label, const std::string& summary);

// The steps, by the number SetStep takes and the frame "fraStep<n>" shows. A merge runs
// 0, 1, 2, 3, (4), 5, then 6, or 11 and 6; a split 0, 1, (2), 7, 8, 9, 10.
enum WizardStep : int {
  kStepOperation = 0,        // merge or split                  page_operation.cpp
  kStepServer = 1,           // server and Warden password      page_server.cpp
  kStepMergePaths = 2,       // Database 1, 2 and the new one   page_merge_paths.cpp
  kStepCheck = 3,            // Check Databases                 page_merge_paths.cpp
  kStepProblems = 4,         // the problem report; redirects   page_problems.cpp
  kStepMerge = 5,            // Merge                           page_merge.cpp
  kStepMergeFinished = 6,    // the merge's summary             page_finish.cpp
  kStepSplitPaths = 7,       // database to split and result    page_split.cpp
  kStepSplitSelect = 8,      // the incidents to keep           page_split.cpp
  kStepSplit = 9,            // Split                           page_split.cpp
  kStepSplitFinished = 10,   // the split's summary             page_split.cpp
  kStepMergeIncidents = 11,  // the incident to merge into      page_merge_incidents.cpp
};
inline constexpr int kStepCount = 12;

// The navigation buttons, by their index in cmdNav ("cmdNav<n>").
enum NavButton : int { kNavHelp = 0, kNavCancel = 1, kNavBack = 2, kNavNext = 3, kNavFinish = 4 };
inline constexpr int kNavCount = 5;

// The direction of a move is kMoveByProgram, kMoveBack or kMoveNext (server/login_check.h),
// which the step machine hands on to the login check unchanged.

class frmWizard : public QWidget {
  Q_OBJECT

 public:
  // `application_folder` holds the help document. `services` may be set later with
  // SetServices; until then every entry procedure that needs one refuses its step.
  frmWizard(std::string application_folder, Prompt& prompt, WizardServices* services = nullptr,
            QWidget* parent = nullptr);
  ~frmWizard() override;

  void SetServices(WizardServices* services);

  // The logs of the check, merge and split pages, for the engines.
  QtProgress& progress() { return *progress_; }

  // Moves to step `iStep` (a WizardStep); `iDirection` is kMoveByProgram, kMoveBack or
  // kMoveNext. An entry procedure may refuse the step (nothing changes) or move elsewhere.
  void SetStep(int iStep, int iDirection);
  // The check of step 3 finished (true) or was reset (false); Next follows it on step 3.
  void CompletedCheck(bool bStatus);
  // The merge of step 5 finished (true) or was reset (false); Next follows it.
  void CompletedMerge(bool bStatus);
  void SetStatus(int iValue, int iValue2 = 0) { progress_->SetStatus(iValue, iValue2); }
  void SetStatusMerge(int iValue, int iValue2 = 0) { progress_->SetStatusMerge(iValue, iValue2); }

  // The click handler of the five navigation buttons; `index` is a NavButton.
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
  // An engine is at work (the check, the split's Initialize or Execute): clicks and the
  // window's close wait for it (see EngineRun).
  bool EngineRunning() const { return engine_runs_ > 0; }
  const std::string& HelpFile() const { return HelpFile_; }
  // The viewer, once Help, the Full Screen action or a report has created it.
  frmView* Viewer() const { return viewer_.get(); }
  // Where the report writer hands a closed problem report: it is loaded into this window's
  // hidden rtbProblems and into the viewer's (created when needed). Failures are ignored.
  reports::ReportViewer& ProblemReportViewer() { return report_boxes_; }
  // The viewer's Print: prints the problem report page by page through the hidden rtbProblems.
  ReportPrinter& Printing() { return *report_printer_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The five database path boxes: three on the merge database page, two on the split's.
  enum PathBox : int {
    kBoxDatabase1 = 0,
    kBoxDatabase2 = 1,
    kBoxNewDatabase = 2,
    kBoxSplitSource = 3,
    kBoxSplitTarget = 4,
  };

  // The step machine (frm_wizard.cpp). Every builder fills the frame of its step.
  void BuildPages();
  QGroupBox* NewFrame(int step, const char* caption);
  // Adds incidents to a list with check boxes without the tick handlers taking them for the
  // user's ticks.
  void FillIncidentList(QTreeWidget* list, const std::vector<IncidentItem>& incidents);
  void RunCleanUp();
  // The page's message label names the existing resulting database `path` while the question
  // whether to overwrite it is on screen; empty text clears it.
  void ShowOverwriteNote(const std::string& path);
  // The one viewer of the run, created on first use, with this window's icon.
  frmView& EnsureViewer();

  // Step 0 (page_operation.cpp).
  void BuildOperationPage();
  void EnterOperationPage();

  // Step 1 (page_server.cpp).
  void BuildServerPage();
  bool EnterServerPage();

  // Steps 2 and 3 and the path boxes of steps 2 and 7 (page_merge_paths.cpp). Entering step 2
  // runs the server page's login and becomes step 7 for a split, through `iStep`.
  void BuildMergePathsPage();
  void BuildCheckPage();
  // A path box with its caption above it and its Browse button beside it, at `row` of `grid`.
  void AddPathRow(QGridLayout* grid, int row, PathBox box, const char* caption);
  bool EnterMergePaths(int iDirection, int& iStep);
  bool EnterCheckPage();
  void cmdBrowse_Click(int index);
  void PathEdited(int index);
  void cmdCheckDB_Click();
  // The working copies of the last check are gone: `line` goes to the check log, Check
  // Databases is enabled and Next on the check page waits for it (check_again_).
  void AskForCheckAgain(const char* line);

  // Step 4 (page_problems.cpp): never shown; entering it moves on to step 5 or back to 3.
  void BuildProblemsPage();
  void RedirectProblemsPage(int iDirection);

  // Step 5 (page_merge.cpp). Next on it asks whether to merge the incidents into one and
  // gives the step to move to.
  void BuildMergePage();
  void EnterMergePage();
  void cmdMerge_Click();
  // Shows the figures of the re-merge guard and asks whether to merge all the same (default
  // No). True for Yes.
  bool ConfirmRemerge(const merge::RemergeCounts& counts);
  // The line under the merge page's heading: `text` (red when `stopped`); none when empty.
  void ShowMergeState(const char* text, bool stopped);
  int AskMergeIncidents();

  // Step 6 (page_finish.cpp). In split mode it hands over to the server page and refuses.
  void BuildMergeFinishedPage();
  bool EnterMergeFinished();
  // Writes the verification of a completed merge under the summary.
  void ShowVerification(const MergeResult& result);
  // Writes what the folding of the incidents into `kept` (the text of the ticked item) did
  // under the verification; red when its verification did not pass.
  void ShowConsolidation(const ConsolidationResult& result, const std::string& kept);
  // How the user attaches the database file `path` again: "run: " and the server's command, or
  // a plain request when there is none.
  QString AttachAgainText(const std::string& path);

  // Steps 7 to 10 (page_split.cpp).
  void BuildSplitPathsPage();
  void BuildSplitSelectPage();
  void BuildSplitPage();
  void BuildSplitFinishedPage();
  void EnterSplitPaths();
  bool EnterSplitSelection(int iDirection);
  void EnterSplitPage();
  void EnterSplitFinished();
  void IncidentTicked(QTreeWidgetItem* item);
  void cmdSplit_Click();

  // Step 11 (page_merge_incidents.cpp). Next on it folds the incidents into the ticked one.
  void BuildMergeIncidentsPage();
  void EnterMergeIncidents(int iDirection);
  void MergeIncidentTicked(QTreeWidgetItem* item);
  void FinishMergeIncidents();

  // The split selection page's list and count label, as the split engine fills, reads and
  // marks them (page_split.cpp). The item's tag is kept as its data.
  class SplitListView : public split::IncidentList {
   public:
    explicit SplitListView(frmWizard& wizard) : wizard_(wizard) {}
    void Clear() override;
    void AddItem(const std::string& text, const std::string& tag) override;
    int Count() const override;
    std::string Text(int index) const override;
    std::string Tag(int index) const override;
    bool Checked(int index) const override;
    void SetStatus(int index, const std::string& status, bool bold) override;
    void SetEnabled(bool enabled) override;
    void SetSelectedCaption(const std::string& caption) override;

   private:
    QTreeWidgetItem* Item(int index) const;
    frmWizard& wizard_;
  };

  // Held by every handler that runs an engine, for as long as the engine runs: the check
  // (cmdCheckDB_Click), the merge (cmdMerge_Click), and Back and Next for the whole move, since
  // the page left or entered may run one (the consolidation: IncSplitInit filling lstMergeInc,
  // FinishCopyTables); the split holds one the same way.
  //
  // The engines keep the window alive by letting pending window events run inside their
  // progress calls, so the user's clicks reach the window in the middle of an engine's work.
  // While an EngineRun is held, closing the window (Cancel, Finish, the title bar), Back and
  // Next therefore do not act at once: they ask the engine to stop at its next step
  // (WizardServices::SetStopRequest) and are carried out once the last EngineRun is gone,
  // that is after the engine has unwound and the handler has finished: a close first (it runs
  // the clean-up and drops the moves), otherwise each move in the order given, as a click on
  // its button then (a button disabled by then does nothing).
  class EngineRun {
   public:
    explicit EngineRun(frmWizard& wizard);
    ~EngineRun();
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

   private:
    frmWizard& wizard_;
  };
  // A close or a move asked for while an engine runs.
  void DeferWhileEngineRuns(int nav_button);
  void CarryOutDeferred();

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
  std::unique_ptr<ReportPrinter> report_printer_;
  ReportBoxes report_boxes_{*this};
  SplitListView split_list_{*this};

  int CurrentStep_ = kStepOperation;
  bool FinishEnabled_ = false;
  bool NextEnabled_ = false;
  bool BackEnabled_ = false;
  int IncidentsChecked_ = 0;
  bool SplitDone_ = false;
  bool SplitSourceChecked_ = false;
  bool CheckCompleted_ = false;
  // The check completed, but its working copies are gone (a merge stopped, or Back removed
  // them): Next on the check page waits for a new check. Cleared by a check and by a path edit.
  bool check_again_ = false;
  bool MergeCompleted_ = false;
  bool MergeIncidents_ = false;
  long MergeIntoIncident_ = 0;
  MergePaths merge_paths_;
  std::string split_source_;
  std::string split_target_;
  bool cleaned_up_ = false;
  // Engines running now (EngineRun), and what the user asked for meanwhile.
  int engine_runs_ = 0;
  bool close_deferred_ = false;
  std::vector<int> moves_deferred_;
  // The verification's closing line of the last split, for the final page.
  std::string split_verification_;
  // The last split placed its resulting database.
  bool split_placed_ = false;
  // Set while the window fills an incident list or unticks items itself, so that only the
  // user's ticks reach the tick handlers.
  bool ticking_ = false;

  // The step machine's controls.
  std::array<QGroupBox*, kStepCount> fraStep_{};
  std::array<QPushButton*, kNavCount> cmdNav_{};
  // Controls that several pages index as one array.
  std::array<QLabel*, 5> lblStep_{};             // 0 step 0, 1 step 2, 2 step 4, 3 step 5, 4 step 1
  std::array<QLineEdit*, 5> txtDataBasePath_{};  // by PathBox
  std::array<QPushButton*, 5> cmdBrowse_{};      // by PathBox
  std::array<QTreeWidget*, 3> lstProgress_{};    // 0 check, 1 split, 2 merge
  std::array<QLabel*, 3> lblComplete_{};         // 0, 1 step 6; 2 step 10
  // Step 0.
  QLabel* lblInstructions_ = nullptr;
  std::array<QRadioButton*, 2> optSplitMerge_{};  // 0 split, 1 merge
  // Step 1.
  QComboBox* cboServers_ = nullptr;
  QLineEdit* txtPassword_ = nullptr;
  QLabel* lblMessage_ = nullptr;
  QLabel* lblMessageDetail_ = nullptr;  // what a refused login's number means
  // Steps 2 and 3.
  QLabel* lblIDMessage_ = nullptr;
  QLabel* lblCheckDBInst_ = nullptr;
  QPushButton* cmdCheckDB_ = nullptr;
  QCheckBox* chkCheckDetail_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  // Step 4.
  QTextEdit* rtbProblems_ = nullptr;
  QPushButton* cmdView_ = nullptr;
  // Step 5.
  QPushButton* cmdMerge_ = nullptr;
  QLabel* lblMergeState_ = nullptr;  // where the merge stands, once it has run
  QCheckBox* chkDetail_ = nullptr;
  QLabel* lblStatusMerge_ = nullptr;
  // Steps 7 to 10.
  QLabel* lblSplitIDdb_ = nullptr;
  QLabel* lblSplitIDmsg_ = nullptr;
  QLabel* lblSelectIncs_ = nullptr;
  QTreeWidget* lstIncidents_ = nullptr;
  QLabel* lblIncSelected_ = nullptr;
  QLabel* lblSplit_ = nullptr;
  QPushButton* cmdSplit_ = nullptr;
  QCheckBox* chkSplitDetails_ = nullptr;
  QLabel* lblSplitComplete_ = nullptr;
  QLabel* lblSplitVerification_ = nullptr;
  QLabel* lblSplitAttachedNote_ = nullptr;  // the split's result stays on the server
  // Step 6, beyond the summary.
  QLabel* lblVerification_ = nullptr;
  QLabel* lblConsolidation_ = nullptr;  // what the folding of the incidents did
  QLabel* lblDetachNote_ = nullptr;     // the new database leaves the server with the window
  // Step 11.
  QLabel* lblSelectIncInst_ = nullptr;
  QTreeWidget* lstMergeInc_ = nullptr;
  QLabel* lblSelectedInc_ = nullptr;
};

}  // namespace msu::app
