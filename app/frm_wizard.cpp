#include "app/frm_wizard.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/frm_view.h"
#include "core/text.h"

namespace msu::app {

namespace {

constexpr const char* kCaption = "Orvane Merge/Split Utility";
constexpr const char* kHelpFileName = "CVMergeSplitHelp.rtf";

constexpr const char* kPressCheck = "Press Check Databases to proceed.";
constexpr const char* kPressMerge = "Press Merge to proceed.";
constexpr const char* kNoServices = "The database server is not available in this build.";

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

// The frame area is fixed; the window does not grow with its pages.
constexpr int kFrameWidth = 600;
constexpr int kFrameHeight = 400;

QLabel* NewLabel(const char* object_name, const QString& text = {}, bool wrap = true) {
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
  list->header()->setStretchLastSection(false);
  return list;
}

std::string Text(const QLineEdit* box) { return box->text().toStdString(); }

std::string Name(const char* base, int index) { return base + std::to_string(index); }

}  // namespace

std::string VersionSuffix(int major, int minor, int revision) {
  return std::to_string(major) + ".0" + std::to_string(minor) + ".0" + std::to_string(revision);
}

std::string MergeSummary(const MergePaths& engine_paths) {
  return "Database 1:             " + engine_paths.database1 + "\r\r" +
         "Database 2:             " + engine_paths.database2 + "\r\r" +
         "New database:   " + engine_paths.new_database + "\r\r" + "Press Finish to exit.";
}

std::string SplitSummary(const std::string& source, const std::string& target,
                         const std::vector<std::string>& kept_incidents) {
  std::string summary = "Source Database:             " + source + "\r\r" +
                        "Target Database:             " + target + "\r\r" +
                        "Incidents contained in target database: " + "\r\r";
  for (const std::string& incident : kept_incidents) summary += incident + "\r";
  summary += "\rPress Finish to exit.";
  return summary;
}

QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

frmWizard::frmWizard(std::string application_folder, Prompt& prompt, WizardServices* services,
                     QWidget* parent)
    : QWidget(parent),
      application_folder_(application_folder),
      HelpFile_(JoinPath(application_folder, kHelpFileName)),
      prompt_(prompt),
      services_(services) {
  setObjectName("frmWizard");
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
  // The report box already wraps its lines at the printed width (see BuildPages).
  CompletedCheck(false);
  setWindowTitle(QString("%1 %2").arg(
      kCaption,
      QString::fromStdString(VersionSuffix(kVersionMajor, kVersionMinor, kVersionRevision))));
  FillInstructionLabels();
  progress_->AddProgress(kPressCheck, false);
  progress_->AddProgressMerge(kPressMerge, false);
  SetStep(0, 0);
}

frmWizard::~frmWizard() = default;

QGroupBox* frmWizard::NewFrame(int step, const char* caption) {
  auto* frame = new QGroupBox(caption);
  frame->setObjectName(QString::fromStdString(Name("fraStep", step)));
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
    QGroupBox* frame = NewFrame(step, kFrameCaptions[step]);
    stack->addWidget(frame, 0, 0);
  }
  for (int i = 0; i < 5; ++i) {
    lblStep_[i] = NewLabel(Name("lblStep", i).c_str());
    txtDataBasePath_[i] = new QLineEdit;
    txtDataBasePath_[i]->setObjectName(QString::fromStdString(Name("txtDataBasePath", i)));
    cmdBrowse_[i] = NewButton(Name("cmdBrowse", i).c_str(), "Browse ...");
    connect(cmdBrowse_[i], &QPushButton::clicked, this, [this, i] { cmdBrowse_Click(i); });
    connect(txtDataBasePath_[i], &QLineEdit::textChanged, this, [this, i] { PathEdited(i); });
  }
  for (int i = 0; i < 3; ++i) {
    lstProgress_[i] = NewLogList(Name("lstProgress", i).c_str());
  }

  // A text box with its caption above and its Browse button beside it.
  auto add_path_row = [this](QGridLayout* grid, int row, int box, const char* caption) {
    grid->addWidget(NewLabel(Name("lblDataBasePath", box).c_str(), caption, false), row, 0, 1, 2);
    grid->addWidget(txtDataBasePath_[box], row + 1, 0);
    grid->addWidget(cmdBrowse_[box], row + 1, 1);
  };
  // The "Progress" group of a working page: the log, its "Show Details" box and, on the check
  // and merge pages, the percentage label.
  auto progress_group = [](const char* name, QTreeWidget* list, QCheckBox* details,
                           QLabel* status) {
    auto* group = new QGroupBox("Progress");
    group->setObjectName(name);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(details);
    row->addStretch(1);
    if (status != nullptr) row->addWidget(status);
    layout->addLayout(row);
    return group;
  };
  auto details_box = [](const char* name) {
    auto* box = new QCheckBox("Show Details");
    box->setObjectName(name);
    return box;
  };

  // Step 0: the operation.
  {
    auto* layout = new QVBoxLayout(fraStep_[0]);
    auto* instructions = new QGroupBox("Instructions");
    instructions->setObjectName("fraInstructions");
    auto* inner = new QVBoxLayout(instructions);
    QFont welcome = lblStep_[0]->font();
    welcome.setBold(true);
    welcome.setPointSizeF(welcome.pointSizeF() * 1.3);
    lblStep_[0]->setFont(welcome);
    lblInstructions_ = NewLabel("lblInstructions");
    inner->addWidget(lblStep_[0]);
    inner->addSpacing(8);
    inner->addWidget(lblInstructions_);
    layout->addWidget(instructions);
    layout->addSpacing(12);
    optSplitMerge_[0] = new QRadioButton("Split one or more Incidents from an Orvane database ");
    optSplitMerge_[0]->setObjectName("optSplitMerge0");
    optSplitMerge_[1] = new QRadioButton("Merge two Orvane databases into a single database");
    optSplitMerge_[1]->setObjectName("optSplitMerge1");
    optSplitMerge_[1]->setChecked(true);
    layout->addWidget(optSplitMerge_[0]);
    layout->addWidget(optSplitMerge_[1]);
    layout->addStretch(1);
  }

  // Step 1: the server and the Warden password.
  {
    auto* layout = new QVBoxLayout(fraStep_[1]);
    layout->addWidget(NewHeading("lblSelectServer", "Select a Server"));
    layout->addWidget(lblStep_[4]);
    auto* grid = new QGridLayout;
    cboServers_ = new QComboBox;
    cboServers_->setObjectName("cboServers");
    cboServers_->setEditable(true);
    cboServers_->setInsertPolicy(QComboBox::NoInsert);
    txtPassword_ = new QLineEdit;
    txtPassword_->setObjectName("txtPassword");
    txtPassword_->setEchoMode(QLineEdit::Password);
    QLabel* servers = NewLabel("lblServers", "Servers", false);
    QLabel* password = NewLabel("lblPassword", "Password", false);
    servers->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    password->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(servers, 0, 0);
    grid->addWidget(cboServers_, 0, 1);
    grid->addWidget(password, 1, 0);
    grid->addWidget(txtPassword_, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addSpacing(12);
    layout->addLayout(grid);
    lblMessage_ = NewMessageLabel("lblMessage");
    layout->addWidget(lblMessage_);
    layout->addStretch(1);
  }

  // Step 2: the merge paths.
  {
    auto* layout = new QVBoxLayout(fraStep_[2]);
    layout->addWidget(NewHeading("lblMergeDatabases", "Identify Databases to Merge"));
    layout->addWidget(lblStep_[1]);
    auto* grid = new QGridLayout;
    add_path_row(grid, 0, 0, "Database 1");
    add_path_row(grid, 2, 1, "Database 2");
    add_path_row(grid, 4, 2, "New Database");
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);
    // The two halves of the note stand apart, as if separated by a run of blanks.
    layout->addWidget(NewLabel("lblNewDatabaseNote", "Type the name for the new database.", false));
    layout->addWidget(NewLabel("lblNewDatabasePath",
                               "The default path for the new database is C:\\Orvane\\database",
                               false));
    lblIDMessage_ = NewMessageLabel("lblIDMessage");
    layout->addWidget(lblIDMessage_);
    layout->addStretch(1);
  }

  // Step 3: the check.
  {
    auto* layout = new QVBoxLayout(fraStep_[3]);
    layout->addWidget(NewHeading("lblReadyToCheck", "Ready to Check Databases"));
    lblCheckDBInst_ = NewLabel("lblCheckDBInst");
    layout->addWidget(lblCheckDBInst_);
    cmdCheckDB_ = NewButton("cmdCheckDB", "Check Databases");
    connect(cmdCheckDB_, &QPushButton::clicked, this, &frmWizard::cmdCheckDB_Click);
    layout->addWidget(cmdCheckDB_, 0, Qt::AlignLeft);
    chkCheckDetail_ = details_box("chkCheckDetail");
    lblStatus_ = NewLabel("lblStatus", "0 %", false);
    layout->addWidget(
        progress_group("fraCheckProgress", lstProgress_[0], chkCheckDetail_, lblStatus_), 1);
  }

  // Step 4: the problem report. Never shown; the report box is where the report is loaded.
  {
    auto* layout = new QVBoxLayout(fraStep_[4]);
    layout->addWidget(NewHeading("lblProblemsFound", "Problems were found"));
    layout->addWidget(lblStep_[2]);
    rtbProblems_ = new QTextEdit;
    rtbProblems_->setObjectName("rtbProblems");
    rtbProblems_->setReadOnly(true);
    // Lines wrap as they will print: 8 inches (11520 twips) at 15 twips to the pixel.
    rtbProblems_->setLineWrapMode(QTextEdit::FixedPixelWidth);
    rtbProblems_->setLineWrapColumnOrWidth(TwipsToPixels(kPrintLineWidthTwips));
    layout->addWidget(rtbProblems_, 1);
    cmdView_ = NewButton("cmdView", "Full Screen");
    connect(cmdView_, &QPushButton::clicked, this, &frmWizard::cmdView_Click);
    layout->addWidget(cmdView_, 0, Qt::AlignRight);
  }

  // Step 5: the merge.
  {
    auto* layout = new QVBoxLayout(fraStep_[5]);
    layout->addWidget(NewHeading("lblReadyToMerge", "Ready to complete the merging process"));
    layout->addWidget(lblStep_[3]);
    cmdMerge_ = NewButton("cmdMerge", "Merge");
    connect(cmdMerge_, &QPushButton::clicked, this, &frmWizard::cmdMerge_Click);
    layout->addWidget(cmdMerge_, 0, Qt::AlignLeft);
    chkDetail_ = details_box("chkDetail");
    lblStatusMerge_ = NewLabel("lblStatusMerge", "0 %", false);
    layout->addWidget(
        progress_group("fraMergeProgress", lstProgress_[2], chkDetail_, lblStatusMerge_), 1);
  }

  // Step 6: the merge summary.
  {
    auto* layout = new QVBoxLayout(fraStep_[6]);
    lblComplete_[0] = NewHeading("lblComplete0", "Merge Process Completed");
    lblComplete_[1] = NewLabel("lblComplete1");
    layout->addWidget(lblComplete_[0]);
    layout->addSpacing(12);
    layout->addWidget(lblComplete_[1]);
    layout->addStretch(1);
  }

  // Step 7: the split paths.
  {
    auto* layout = new QVBoxLayout(fraStep_[7]);
    layout->addWidget(NewHeading("lblSplitDatabase", "Identify Orvane Database to Split"));
    lblSplitIDdb_ = NewLabel("lblSplitIDdb");
    layout->addWidget(lblSplitIDdb_);
    auto* grid = new QGridLayout;
    add_path_row(grid, 0, 3, "Database to Split");
    add_path_row(grid, 2, 4, "Resulting Database");
    grid->setColumnStretch(0, 1);
    layout->addLayout(grid);
    lblSplitIDmsg_ = NewMessageLabel("lblSplitIDmsg");
    layout->addWidget(lblSplitIDmsg_);
    layout->addStretch(1);
  }

  // Step 8: the incidents to keep.
  {
    auto* layout = new QVBoxLayout(fraStep_[8]);
    layout->addWidget(NewHeading("lblSelectIncidents", "Select Incidents"));
    lblSelectIncs_ = NewLabel("lblSelectIncs");
    layout->addWidget(lblSelectIncs_);
    lstIncidents_ = NewIncidentList("lstIncidents");
    connect(lstIncidents_, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item) { IncidentTicked(item); });
    layout->addWidget(lstIncidents_, 1);
    lblIncSelected_ = NewLabel("lblIncSelected", {}, false);
    layout->addWidget(lblIncSelected_);
  }

  // Step 9: the split.
  {
    auto* layout = new QVBoxLayout(fraStep_[9]);
    layout->addWidget(NewHeading("lblSplitSelected", "Split Selected Incidents"));
    lblSplit_ = NewLabel("lblSplit");
    layout->addWidget(lblSplit_);
    cmdSplit_ = NewButton("cmdSplit", "Split");
    connect(cmdSplit_, &QPushButton::clicked, this, &frmWizard::cmdSplit_Click);
    layout->addWidget(cmdSplit_, 0, Qt::AlignLeft);
    chkSplitDetails_ = details_box("chkSplitDetails");
    layout->addWidget(
        progress_group("fraSplitProgress", lstProgress_[1], chkSplitDetails_, nullptr), 1);
  }

  // Step 10: the split summary.
  {
    auto* layout = new QVBoxLayout(fraStep_[10]);
    lblComplete_[2] = NewHeading("lblComplete2", "Split Process Completed");
    lblSplitComplete_ = NewLabel("lblSplitComplete");
    layout->addWidget(lblComplete_[2]);
    layout->addSpacing(12);
    layout->addWidget(lblSplitComplete_);
    layout->addStretch(1);
  }

  // Step 11: the incident to merge into.
  {
    auto* layout = new QVBoxLayout(fraStep_[11]);
    lblSelectIncInst_ = NewLabel("lblSelectIncInst");
    layout->addWidget(lblSelectIncInst_);
    lstMergeInc_ = NewIncidentList("lstMergeInc");
    connect(lstMergeInc_, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item) { MergeIncidentTicked(item); });
    layout->addWidget(lstMergeInc_, 1);
    lblSelectedInc_ = NewLabel("lblSelectedInc", {}, false);
    layout->addWidget(lblSelectedInc_);
  }

  // The navigation row: Help alone at the left, the others at the right.
  constexpr std::array<const char*, 5> kNavCaptions = {"Help", "Cancel", "< &Back", "&Next >",
                                                       "&Finish"};
  auto* buttons = new QHBoxLayout;
  for (int i = 0; i < 5; ++i) {
    cmdNav_[i] = NewButton(Name("cmdNav", i).c_str(), kNavCaptions[i]);
    connect(cmdNav_[i], &QPushButton::clicked, this, [this, i] { cmdNav_Click(i); });
    buttons->addWidget(cmdNav_[i]);
    if (i == 0) buttons->addStretch(1);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(12);
  layout->addWidget(frame_area);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmWizard::FillInstructionLabels() {
  lblStep_[0]->setText("Welcome to Orvane Merge/Split");
  lblInstructions_->setText(
      "With this application you can merge two Orvane databases into a single database or split "
      "out incidents from an Orvane database into a new database. The database(s) being merged "
      "or split must be attached to the server. Select one of the following options:");
  lblStep_[4]->setText(
      "CVN must be run on the machine where the server and database(s) reside.You must use the "
      "Warden password for this utility.");
  lblStep_[1]->setText(
      "Database 1 and Database 2 will be merged into a new database.  The Database 2 lookup "
      "tables will be used in case of duplicates or differences.  A report will be generated to "
      "document these differences.  Database 1 and Database 2 must be attached to perform a "
      "merge.  Press Next to continue.");
  lblCheckDBInst_->setText(
      "This step will check the databases to ensure they are the correct structure and identify "
      "consistency problems between the databases.  This step must be done before completing "
      "the merge.  Press Check Databases to begin.");
  lblStep_[2]->setText(
      "These problems can not be resolved by this program and will require follow up action "
      "after the merge is complete.  Please print or save the following report for this "
      "purpose.  Press Next to complete the merging process. ");
  lblStep_[3]->setText(
      "The final step is to merge the databases. To view the details of actions taken check the "
      "Show Details box. Press the Merge button when ready.");
  lblSplitIDdb_->setText(
      "Split enables you to create a new database composed of one of more incidents from the "
      "database identified to split. After you have specified the databases below press Next "
      "to proceed to the next step.");
  lblSelectIncs_->setText(
      "Place a check mark next to each incident that you wish to retain in the resulting "
      "database. You must select at least one incident.  Press Split to proceed.");
  lblSplit_->setText(
      "The final step is to split the incidents you have chosen into the resulting database.  "
      "The split process will make a copy of your orignal database and then remove the "
      "incidents not checked.  Press Split to proceed.");
  lblSelectIncInst_->setText("Check the incident to merge into then click \"Next\"");
}

void frmWizard::SetStep(int iStep, int iDirection) {
  lblIDMessage_->clear();
  lblSplitIDmsg_->clear();

  switch (iStep) {
    case 0:
      FinishEnabled_ = false;
      BackEnabled_ = false;
      NextEnabled_ = true;
      break;
    case 1:
      if (!EnterServerPage()) return;
      break;
    case 2:
      if (!EnterMergePaths(iDirection, iStep)) return;
      break;
    case 3:
      if (!EnterCheckPage()) return;
      break;
    case 4:
      // The report is read in the viewer, never on this page.
      if (iDirection != 2) {
        SetStep(3, 0);
        return;
      }
      if (services_ != nullptr && services_->ProblemsToCorrect()) cmdView_Click();
      SetStep(5, 0);
      return;
    case 5:
      EnterMergePage();
      break;
    case 6:
      // In split mode this page leads back to the server page: Back from step 7 lands here.
      if (!optSplitMerge_[1]->isChecked()) {
        SetStep(1, 0);
        return;
      }
      FinishEnabled_ = true;
      BackEnabled_ = !MergeIncidents_;
      NextEnabled_ = false;
      break;
    case 7:
      FinishEnabled_ = false;
      BackEnabled_ = true;
      NextEnabled_ = true;
      break;
    case 8:
      if (!EnterSplitSelection(iDirection)) return;
      break;
    case 9:
      FinishEnabled_ = SplitDone_;
      BackEnabled_ = true;
      NextEnabled_ = SplitDone_;
      break;
    case 10:
      EnterSplitFinished();
      break;
    case 11:
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
  cmdNav_[4]->setEnabled(FinishEnabled_);
  cmdNav_[2]->setEnabled(BackEnabled_);
  cmdNav_[3]->setEnabled(NextEnabled_);
  if (iStep == 3) CompletedCheck(CheckCompleted_);

  if (iStep == 1) {
    txtPassword_->setFocus();
  } else if (iStep == 2) {
    txtDataBasePath_[0]->setFocus();
  } else if (iStep == 7) {
    txtDataBasePath_[3]->setFocus();
  }
}

bool frmWizard::EnterServerPage() {
  if (services_ == nullptr) {
    lblMessage_->setText(kNoServices);
    return false;
  }
  cboServers_->clear();
  for (const std::string& server : services_->ListServers()) {
    cboServers_->addItem(QString::fromStdString(server));
  }
  if (cboServers_->count() > 0) cboServers_->setCurrentIndex(0);
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = true;
  return true;
}

bool frmWizard::EnterMergePaths(int iDirection, int& iStep) {
  if (services_ == nullptr) {
    lblMessage_->setText(kNoServices);
    return false;
  }
  const StepCheck login = services_->CheckLogin(cboServers_->currentText().toStdString(),
                                                Text(txtPassword_), iDirection);
  if (!login.ok) {
    lblMessage_->setText(QString::fromStdString(login.message));
    return false;
  }
  lblMessage_->clear();
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = true;
  if (optSplitMerge_[0]->isChecked()) iStep = 7;
  return true;
}

bool frmWizard::EnterCheckPage() {
  if (!CheckCompleted_) {
    if (services_ == nullptr) {
      lblIDMessage_->setText(kNoServices);
      return false;
    }
    MergePaths boxes{Text(txtDataBasePath_[0]), Text(txtDataBasePath_[1]),
                     Text(txtDataBasePath_[2])};
    const MergePaths typed = boxes;
    const StepCheck valid = services_->ValidateMergePaths(boxes);
    // A rewritten box is an edit like any other: the logs start again.
    if (boxes.database1 != typed.database1) {
      txtDataBasePath_[0]->setText(QString::fromStdString(boxes.database1));
    }
    if (boxes.database2 != typed.database2) {
      txtDataBasePath_[1]->setText(QString::fromStdString(boxes.database2));
    }
    if (boxes.new_database != typed.new_database) {
      txtDataBasePath_[2]->setText(QString::fromStdString(boxes.new_database));
    }
    if (!valid.ok) {
      lblIDMessage_->setText(QString::fromStdString(valid.message));
      return false;
    }
    merge_paths_ = {Trim(boxes.database1), Trim(boxes.database2), Trim(boxes.new_database)};
  }
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = false;
  return true;
}

void frmWizard::EnterMergePage() {
  const MergePaths engine = services_ != nullptr ? services_->MergeEnginePaths() : MergePaths{};
  lblComplete_[1]->setText(DisplayText(MergeSummary(engine)));
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = MergeCompleted_;
}

bool frmWizard::EnterSplitSelection(int iDirection) {
  BusyPointer busy(prompt_);
  if (services_ == nullptr) {
    lblSplitIDmsg_->setText(kNoServices);
    return false;
  }
  std::string source = Text(txtDataBasePath_[3]);
  std::string target = Text(txtDataBasePath_[4]);
  if (iDirection == 2) {
    const std::string typed_source = source;
    const std::string typed_target = target;
    const StepCheck valid = services_->ValidateSplitPaths(source, target);
    if (source != typed_source) txtDataBasePath_[3]->setText(QString::fromStdString(source));
    if (target != typed_target) txtDataBasePath_[4]->setText(QString::fromStdString(target));
    if (!valid.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(valid.message));
      return false;
    }
  }
  if (!SplitSourceChecked_) {
    const StepCheck version = services_->AcceptSplitSource(Trim(source));
    if (!version.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(version.message));
      return false;
    }
    SplitSourceChecked_ = true;
  }
  FinishEnabled_ = false;
  BackEnabled_ = true;
  if (iDirection == 2) {
    lstIncidents_->clear();
    lstIncidents_->setEnabled(true);
    progress_->Clear(LogPage::kSplit);
    const SplitStart start = services_->StartSplit(Text(txtDataBasePath_[3]));
    if (!start.ok) {
      lblSplitIDmsg_->setText(QString::fromStdString(start.message));
      return false;
    }
    FillIncidentList(lstIncidents_, start.incidents);
    lstIncidents_->setEnabled(start.list_enabled);
    if (!start.selected_caption.empty()) {
      lblIncSelected_->setText(QString::fromStdString(start.selected_caption));
    }
    IncidentsChecked_ = 0;
  }
  NextEnabled_ = IncidentsChecked_ >= 1;
  return true;
}

void frmWizard::EnterSplitFinished() {
  std::vector<std::string> kept;
  for (int i = 0; i < lstIncidents_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lstIncidents_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) kept.push_back(item->text(0).toStdString());
  }
  lblSplitComplete_->setText(DisplayText(SplitSummary(split_source_, split_target_, kept)));
  FinishEnabled_ = true;
  BackEnabled_ = true;
  NextEnabled_ = false;
}

void frmWizard::EnterMergeIncidents(int iDirection) {
  FinishEnabled_ = false;
  BackEnabled_ = true;
  NextEnabled_ = false;
  if (iDirection == 2 && services_ != nullptr) {
    BusyPointer busy(prompt_);
    lstMergeInc_->clear();
    FillIncidentList(lstMergeInc_, services_->ListMergeIncidents());
    MergeIntoIncident_ = 0;
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

void frmWizard::CompletedCheck(bool bStatus) {
  if (CurrentStep_ == 3) cmdNav_[3]->setEnabled(bStatus);
  CheckCompleted_ = bStatus;
}

void frmWizard::CompletedMerge(bool bStatus) {
  cmdNav_[3]->setEnabled(bStatus);
  MergeCompleted_ = bStatus;
}

void frmWizard::cmdNav_Click(int index) {
  switch (index) {
    case 0:
      if (QFileInfo::exists(QString::fromStdString(HelpFile_))) {
        frmView& viewer = EnsureViewer();
        viewer.cmdSave()->setEnabled(false);
        viewer.LoadDocument(HelpFile_);
        viewer.show();
      } else {
        prompt_.MessageBox("Can't find help file", kCaption, Buttons::kOk, Icon::kExclamation);
      }
      break;
    case 1:
    case 4:
      close();
      break;
    case 2: {
      int target = CurrentStep_ - 1;
      if (CurrentStep_ == 11) target = 5;
      if (CurrentStep_ == 8) target = 2;
      SetStep(target, 1);
      break;
    }
    case 3:
      if (CurrentStep_ == 5) {
        const Answer answer = prompt_.MessageBox(
            "Do you want to merge Incidents into a single Incident?\r\n\r\nNote: If merging into "
            "a blank database, select No.",
            "CVN: Merge Incidents?", Buttons::kYesNo, Icon::kQuestion);
        MergeIncidents_ = answer == Answer::kYes;
        SetStep(MergeIncidents_ ? 11 : 6, 2);
      } else if (CurrentStep_ == 11) {
        if (services_ != nullptr) services_->FinishCopyTables(MergeIntoIncident_);
        SetStep(6, 2);
      } else {
        SetStep(CurrentStep_ + 1, 2);
      }
      break;
    default:
      break;
  }
}

void frmWizard::cmdView_Click() {
  frmView& viewer = EnsureViewer();
  viewer.cmdSave()->setEnabled(true);
  viewer.showMaximized();
  viewer.repaint();
}

frmView& frmWizard::EnsureViewer() {
  if (!viewer_) {
    viewer_ = std::make_unique<frmView>(prompt_, application_folder_);
    viewer_->SetSaveReport([this](const std::string& target) {
      if (services_ != nullptr) services_->SaveReport(target);
    });
  }
  viewer_->setWindowIcon(windowIcon());
  return *viewer_;
}

void frmWizard::ReportBoxes::LoadReport(const std::string& report_path) {
  // The hidden box is the one printing works from; the viewer shows the same document.
  LoadDocumentInto(*wizard_.rtbProblems_, report_path);
  wizard_.EnsureViewer().LoadReport(report_path);
}

void frmWizard::cmdBrowse_Click(int index) {
  FileDialogOptions options;
  options.initial_folder = QDir::homePath().toStdString() + "/Orvane/Databases";
  options.filter = "Orvane Database(*.mdf)|*.mdf";
  options.title = "Open Orvane Database";
  const std::optional<std::string> file = prompt_.OpenFile(options);
  if (!file) return;
  txtDataBasePath_[index]->setText(QString::fromStdString(*file));
}

void frmWizard::PathEdited(int index) {
  if (index <= 2) {
    progress_->Clear(LogPage::kCheck);
    progress_->Clear(LogPage::kMerge);
    lblIDMessage_->clear();
    progress_->AddProgress(kPressCheck, false);
    progress_->AddProgressMerge(kPressMerge, false);
    cmdCheckDB_->setEnabled(true);
    CompletedCheck(false);
  } else {
    lstIncidents_->clear();
  }
  SplitSourceChecked_ = false;
}

void frmWizard::cmdCheckDB_Click() {
  BusyPointer busy(prompt_);
  CompletedCheck(false);
  CompletedMerge(false);
  cmdCheckDB_->setEnabled(false);
  cmdMerge_->setEnabled(false);
  if (services_ == nullptr) {
    progress_->AddProgress(kNoServices, false);
    return;
  }
  switch (services_->RunCheck(merge_paths_)) {
    case CheckOutcome::kStopped:
      return;
    case CheckOutcome::kInitializeFailed:
      cmdCheckDB_->setEnabled(true);
      return;
    case CheckOutcome::kCompleted:
      break;
  }
  // The check's closing line is the engine's, like every line before it.
  progress_->ScrollToEnd(LogPage::kCheck);
  CompletedCheck(true);
  cmdCheckDB_->setEnabled(true);
  cmdMerge_->setEnabled(true);
}

void frmWizard::cmdMerge_Click() {
  cmdMerge_->setEnabled(false);
  const bool merged = services_ != nullptr && services_->RunMerge();
  CompletedMerge(merged);
  progress_->ScrollToEnd(LogPage::kMerge);
}

void frmWizard::cmdSplit_Click() {
  BusyPointer busy(prompt_);
  cmdSplit_->setEnabled(false);
  split_source_ = Text(txtDataBasePath_[3]);
  split_target_ = Text(txtDataBasePath_[4]);
  std::vector<long> keep;
  for (int i = 0; i < lstIncidents_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lstIncidents_->topLevelItem(i);
    if (item->checkState(0) == Qt::Checked) {
      keep.push_back(static_cast<long>(item->data(0, Qt::UserRole).toLongLong()));
    }
  }
  const bool split =
      services_ != nullptr && services_->RunSplit(split_source_, split_target_, keep);
  cmdNav_[3]->setEnabled(split);
  progress_->ScrollToEnd(LogPage::kSplit);
  SplitDone_ = true;
}

void frmWizard::IncidentTicked(QTreeWidgetItem* /*item*/) {
  if (ticking_) return;
  int ticked = 0;
  for (int i = 0; i < lstIncidents_->topLevelItemCount(); ++i) {
    if (lstIncidents_->topLevelItem(i)->checkState(0) == Qt::Checked) ++ticked;
  }
  IncidentsChecked_ = ticked;
  lblIncSelected_->setText(QString("Incidents checked to split: %1").arg(ticked));
  cmdSplit_->setEnabled(ticked > 0);
  cmdNav_[3]->setEnabled(ticked > 0);
}

void frmWizard::MergeIncidentTicked(QTreeWidgetItem* item) {
  if (ticking_) return;
  MergeIntoIncident_ = 0;
  const bool ticked = item->checkState(0) == Qt::Checked;
  const qlonglong tag = item->data(0, Qt::UserRole).toLongLong();
  if (!ticked) {
    cmdNav_[3]->setEnabled(false);
  } else {
    MergeIntoIncident_ = static_cast<long>(tag);
    cmdNav_[3]->setEnabled(true);
  }
  // At most one incident can be the one the others are folded into.
  ticking_ = true;
  for (int i = 0; i < lstMergeInc_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* other = lstMergeInc_->topLevelItem(i);
    if (other->checkState(0) == Qt::Checked && other->data(0, Qt::UserRole).toLongLong() != tag) {
      other->setCheckState(0, Qt::Unchecked);
    }
  }
  ticking_ = false;
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
  RunCleanUp();
  event->accept();
}

}  // namespace msu::app
