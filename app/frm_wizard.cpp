#include "app/frm_wizard.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_view.h"
#include "app/page_widgets.h"
#include "app/print_report.h"
#include "app/wizard_texts.h"
#include "core/text.h"
#include "core/version.h"

namespace msu::app {

namespace {

constexpr const char* kHelpFileName = "CVMergeSplitHelp.rtf";

// Captions of the step frames, by step.
constexpr std::array<const char*, kStepCount> kFrameCaptions = {"Specify Operation",
                                                                "Identify Orvane Databases",
                                                                "Identify Orvane Databases",
                                                                "Check Databases",
                                                                "Problems",
                                                                "Merging",
                                                                "Merge Finished!",
                                                                "Identify Split DB",
                                                                "Identify Incidents",
                                                                "Split",
                                                                "Split Finished",
                                                                "Identify Incidents"};

constexpr std::array<const char*, kNavCount> kNavCaptions = {"Help", "Cancel", "< &Back", "&Next >",
                                                             "&Finish"};

// The frame area is fixed; the window does not grow with its pages.
constexpr int kFrameWidth = 600;
constexpr int kFrameHeight = 400;

}  // namespace

std::string VersionSuffix(int major, int minor, int revision) {
  return std::to_string(major) + ".0" + std::to_string(minor) + ".0" + std::to_string(revision);
}

frmWizard::frmWizard(std::string application_folder, Prompt& prompt, WizardServices* services,
                     QWidget* parent)
    : QWidget(parent),
      application_folder_(application_folder),
      HelpFile_(JoinPath(application_folder, kHelpFileName)),
      prompt_(prompt),
      services_(nullptr) {
  setObjectName("frmWizard");
  // The builders also fill the instruction labels with their texts.
  BuildPages();
  progress_ = std::make_unique<QtProgress>(LogWidgets{lstProgress_[0], chkCheckDetail_, lblStatus_},
                                           LogWidgets{lstProgress_[2], chkDetail_, lblStatusMerge_},
                                           LogWidgets{lstProgress_[1], chkSplitDetails_, nullptr});

  // Window start-up. No page is on screen and none takes input until SetStep shows one.
  for (QGroupBox* frame : fraStep_) {
    frame->hide();
    frame->setEnabled(false);
  }
  FinishEnabled_ = false;
  MergeIncidents_ = false;
  SetPrinterTarget(*rtbProblems_, kPrintLineWidthTwips);
  report_printer_ = std::make_unique<ReportPrinter>(prompt_, application_folder_, *rtbProblems_);
  CompletedCheck(false);
  setWindowTitle(QString("%1 %2").arg(kCaption, QString::fromStdString(VersionSuffix(
                                                    kVersionMajor, kVersionMinor, kVersionPatch))));
  progress_->AddProgress(kPressCheck, false);
  progress_->AddProgressMerge(kPressMerge, false);
  SetServices(services);
  SetStep(kStepOperation, kMoveByProgram);
}

void frmWizard::SetServices(WizardServices* services) {
  services_ = services;
  if (services_ != nullptr) {
    services_->SetOverwriteNote([this](const std::string& path) { ShowOverwriteNote(path); });
  }
}

void frmWizard::ShowOverwriteNote(const std::string& path) {
  // The question's own words are the suite's and do not name the file: the label beside it does.
  QLabel* label = CurrentStep_ == kStepSplitPaths ? lblSplitIDmsg_ : lblIDMessage_;
  const char* run = CurrentStep_ == kStepSplitPaths ? "split" : "merge";
  label->setText(path.empty() ? QString()
                              : QString("%1 exists. Yes replaces it with the new database once the "
                                        "%2 has run; No keeps it and stays on this page.")
                                    .arg(QString::fromStdString(path), run));
  // The question that follows holds the event loop: the label is drawn now.
  label->repaint();
}

frmWizard::~frmWizard() = default;

QGroupBox* frmWizard::NewFrame(int step, const char* caption) {
  auto* frame = new QGroupBox(caption);
  frame->setObjectName(QString::fromStdString(IndexedName("fraStep", step)));
  fraStep_[step] = frame;
  return frame;
}

void frmWizard::BuildPages() {
  auto* frame_area = new QWidget;
  frame_area->setObjectName("fraSteps");
  frame_area->setFixedSize(kFrameWidth, kFrameHeight);
  auto* stack = new QGridLayout(frame_area);
  stack->setContentsMargins(0, 0, 0, 0);
  for (int step = 0; step < kStepCount; ++step) {
    stack->addWidget(NewFrame(step, kFrameCaptions[step]), 0, 0);
  }

  // In step order, which is also the order the Tab key follows through the controls.
  BuildOperationPage();
  BuildServerPage();
  BuildMergePathsPage();
  BuildCheckPage();
  BuildProblemsPage();
  BuildMergePage();
  BuildMergeFinishedPage();
  BuildSplitPathsPage();
  BuildSplitSelectPage();
  BuildSplitPage();
  BuildSplitFinishedPage();
  BuildMergeIncidentsPage();

  // The navigation row: Help alone at the left, the others at the right.
  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < kNavCount; ++i) {
    cmdNav_[i] = NewButton(IndexedName("cmdNav", i).c_str(), kNavCaptions[i]);
    connect(cmdNav_[i], &QPushButton::clicked, this, [this, i] { cmdNav_Click(i); });
    buttons->addWidget(cmdNav_[i]);
    if (i == kNavHelp) buttons->addStretch(1);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(12);
  layout->addWidget(frame_area);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmWizard::SetStep(int iStep, int iDirection) {
  lblIDMessage_->clear();
  lblSplitIDmsg_->clear();

  // The entry procedures set the three button flags. One that refuses its step leaves
  // everything as it is; one that moves elsewhere has called SetStep itself.
  switch (iStep) {
    case kStepOperation:
      EnterOperationPage();
      break;
    case kStepServer:
      if (!EnterServerPage()) return;
      break;
    case kStepMergePaths:
      if (!EnterMergePaths(iDirection, iStep)) return;
      break;
    case kStepCheck:
      if (!EnterCheckPage()) return;
      break;
    case kStepProblems:
      RedirectProblemsPage(iDirection);
      return;
    case kStepMerge:
      EnterMergePage();
      break;
    case kStepMergeFinished:
      if (!EnterMergeFinished()) return;
      break;
    case kStepSplitPaths:
      EnterSplitPaths();
      break;
    case kStepSplitSelect:
      if (!EnterSplitSelection(iDirection)) return;
      break;
    case kStepSplit:
      EnterSplitPage();
      break;
    case kStepSplitFinished:
      EnterSplitFinished();
      break;
    case kStepMergeIncidents:
      EnterMergeIncidents(iDirection);
      break;
    default:
      return;
  }

  fraStep_[CurrentStep_]->setEnabled(false);
  if (iStep != CurrentStep_) fraStep_[CurrentStep_]->hide();
  fraStep_[iStep]->show();
  fraStep_[iStep]->setEnabled(true);

  CurrentStep_ = iStep;
  cmdNav_[kNavFinish]->setEnabled(FinishEnabled_);
  cmdNav_[kNavBack]->setEnabled(BackEnabled_);
  cmdNav_[kNavNext]->setEnabled(NextEnabled_);
  if (iStep == kStepCheck) {
    CompletedCheck(CheckCompleted_);
    // The working copies of that check are gone: Next waits for Check Databases.
    if (check_again_) cmdNav_[kNavNext]->setEnabled(false);
  }

  if (iStep == kStepServer) {
    txtPassword_->setFocus();
  } else if (iStep == kStepMergePaths) {
    txtDataBasePath_[kBoxDatabase1]->setFocus();
  } else if (iStep == kStepSplitPaths) {
    txtDataBasePath_[kBoxSplitSource]->setFocus();
  }
}

void frmWizard::cmdNav_Click(int index) {
  if (engine_runs_ > 0 && index != kNavHelp) {
    DeferWhileEngineRuns(index);
    return;
  }
  switch (index) {
    case kNavHelp:
      if (QFileInfo::exists(QString::fromStdString(HelpFile_))) {
        frmView& viewer = EnsureViewer();
        viewer.cmdSave()->setEnabled(false);
        viewer.SetVersionLine(std::string(kCaption) + " " + kVersion);
        viewer.LoadDocument(HelpFile_);
        viewer.show();
      } else {
        prompt_.MessageBox("Can't find help file", kCaption, Buttons::kOk, Icon::kExclamation);
      }
      break;
    case kNavCancel:
    case kNavFinish:
      close();
      break;
    case kNavBack: {
      // The page left or entered may run an engine (the consolidation's incident list): clicks
      // that arrive meanwhile wait for the whole move, not just for the engine.
      EngineRun run(*this);
      // Back retraces the detours of Next: the consolidation page returns to the merge page,
      // and the split selection page to the merge database page, whose login runs again and
      // then hands over to the split database page.
      int target = CurrentStep_ - 1;
      if (CurrentStep_ == kStepMergeIncidents) target = kStepMerge;
      if (CurrentStep_ == kStepSplitSelect) target = kStepMergePaths;
      SetStep(target, kMoveBack);
      break;
    }
    case kNavNext: {
      EngineRun run(*this);
      int target = CurrentStep_ + 1;
      if (CurrentStep_ == kStepMerge) {
        target = AskMergeIncidents();
      } else if (CurrentStep_ == kStepMergeIncidents) {
        FinishMergeIncidents();
        target = kStepMergeFinished;
      }
      SetStep(target, kMoveNext);
      break;
    }
    default:
      break;
  }
}

void frmWizard::FillIncidentList(QTreeWidget* list, const std::vector<IncidentItem>& incidents) {
  ticking_ = true;
  for (const IncidentItem& incident : incidents) {
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(incident.text),
                                                 QString::fromStdString(incident.status)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(incident.id));
    list->addTopLevelItem(item);
  }
  ticking_ = false;
}

frmView& frmWizard::EnsureViewer() {
  if (!viewer_) {
    viewer_ = std::make_unique<frmView>(prompt_, application_folder_);
    viewer_->SetSaveReport([this](const std::string& target) {
      if (services_ != nullptr) services_->SaveReport(target);
    });
    viewer_->SetPrintReport([this] { return report_printer_->PrintReport(viewer_.get()); });
  }
  viewer_->setWindowIcon(windowIcon());
  return *viewer_;
}

void frmWizard::RunCleanUp() {
  if (cleaned_up_) return;
  cleaned_up_ = true;
  try {
    if (viewer_) viewer_->close();
    if (services_ != nullptr) services_->CleanUpAtExit();
  } catch (...) {
    // Leaving must always succeed; what could not be removed is removed on the next run.
  }
}

void frmWizard::closeEvent(QCloseEvent* event) {
  // The clean-up would close the connections the engine is using, inside its own call stack.
  if (engine_runs_ > 0) {
    DeferWhileEngineRuns(kNavCancel);
    event->ignore();
    return;
  }
  RunCleanUp();
  event->accept();
}

frmWizard::EngineRun::EngineRun(frmWizard& wizard) : wizard_(wizard) {
  if (wizard_.engine_runs_++ == 0 && wizard_.services_ != nullptr) {
    wizard_.services_->SetStopRequest(false);
  }
}

frmWizard::EngineRun::~EngineRun() {
  if (--wizard_.engine_runs_ == 0) wizard_.CarryOutDeferred();
}

void frmWizard::DeferWhileEngineRuns(int nav_button) {
  if (nav_button == kNavCancel || nav_button == kNavFinish) {
    close_deferred_ = true;
  } else {
    moves_deferred_.push_back(nav_button);
  }
  if (services_ != nullptr) services_->SetStopRequest(true);
}

void frmWizard::CarryOutDeferred() {
  if (services_ != nullptr) services_->SetStopRequest(false);
  const std::vector<int> moves = std::move(moves_deferred_);
  moves_deferred_.clear();
  if (close_deferred_) {
    close_deferred_ = false;
    close();
    return;
  }
  for (int index : moves) cmdNav_[index]->click();
}

}  // namespace msu::app
