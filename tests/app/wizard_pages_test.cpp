// The fixed texts of the pages, the progress logs and percentage labels, Help, and what closing
// the window leaves behind.
#include <QFont>
#include <QTextEdit>
#include <fstream>

#include "app/frm_view.h"
#include "tests/app/wizard_fixture.h"

namespace msu::app::testing {
namespace {

TEST_F(WizardTest, CaptionCarriesTheVersion) {
  EXPECT_EQ(wizard_->windowTitle(), "Orvane Merge/Split Utility 5.01.00");
  EXPECT_EQ(wizard_->objectName(), "frmWizard");
  EXPECT_EQ(VersionSuffix(5, 1, 0), "5.01.00");
  EXPECT_EQ(VersionSuffix(4, 13, 2), "4.013.02");
}

TEST_F(WizardTest, FramesAndButtonsCarryTheirCaptions) {
  const std::vector<std::string> frames = {"Specify Operation",
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
  for (int step = 0; step < kStepCount; ++step) {
    EXPECT_EQ(Get<QGroupBox>("fraStep" + std::to_string(step))->title().toStdString(),
              frames[step]);
  }
  const std::vector<std::string> nav = {"Help", "Cancel", "< &Back", "&Next >", "&Finish"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Nav(i)->text().toStdString(), nav[i]);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Get<QPushButton>("cmdBrowse" + std::to_string(i))->text(), "Browse ...");
  }
  EXPECT_EQ(Get<QRadioButton>("optSplitMerge0")->text(),
            "Split one or more Incidents from an Orvane database ");
  EXPECT_EQ(Get<QRadioButton>("optSplitMerge1")->text(),
            "Merge two Orvane databases into a single database");
  EXPECT_EQ(Get<QPushButton>("cmdCheckDB")->text(), "Check Databases");
  EXPECT_EQ(Get<QPushButton>("cmdMerge")->text(), "Merge");
  EXPECT_EQ(Get<QPushButton>("cmdSplit")->text(), "Split");
  for (const char* box : {"chkCheckDetail", "chkDetail", "chkSplitDetails"}) {
    EXPECT_EQ(Get<QCheckBox>(box)->text(), "Show Details");
  }
  EXPECT_EQ(LabelText("lblComplete0"), "Merge Process Completed");
  EXPECT_EQ(LabelText("lblComplete2"), "Split Process Completed");
  for (const char* list : {"lstIncidents", "lstMergeInc"}) {
    QTreeWidget* tree = Get<QTreeWidget>(list);
    ASSERT_EQ(tree->columnCount(), 2);
    EXPECT_EQ(tree->headerItem()->text(0), "Incident");
    EXPECT_EQ(tree->headerItem()->text(1), "Status");
  }
  for (int i = 0; i < 3; ++i) {
    QTreeWidget* log = Get<QTreeWidget>("lstProgress" + std::to_string(i));
    ASSERT_EQ(log->columnCount(), 1);
    EXPECT_EQ(log->headerItem()->text(0), "Message");
  }
  EXPECT_NE(wizard_->findChild<QTextEdit*>("rtbProblems"), nullptr);
}

TEST_F(WizardTest, InstructionLabelsAreFilledAtStartUp) {
  EXPECT_EQ(LabelText("lblStep0"), "Welcome to Orvane Merge/Split");
  EXPECT_EQ(LabelText("lblInstructions"),
            "With this application you can merge two Orvane databases into a single database or "
            "split out incidents from an Orvane database into a new database. The database(s) "
            "being merged or split must be attached to the server. Select one of the following "
            "options:");
  EXPECT_EQ(LabelText("lblStep4"),
            "CVN must be run on the machine where the server and database(s) reside.You must "
            "use the Warden password for this utility.");
  EXPECT_EQ(LabelText("lblStep1"),
            "Database 1 and Database 2 will be merged into a new database.  The Database 2 "
            "lookup tables will be used in case of duplicates or differences.  A report will be "
            "generated to document these differences.  Database 1 and Database 2 must be "
            "attached to perform a merge.  Press Next to continue.");
  EXPECT_EQ(LabelText("lblCheckDBInst"),
            "This step will check the databases to ensure they are the correct structure and "
            "identify consistency problems between the databases.  This step must be done "
            "before completing the merge.  Press Check Databases to begin.");
  EXPECT_EQ(LabelText("lblStep2"),
            "These problems can not be resolved by this program and will require follow up "
            "action after the merge is complete.  Please print or save the following report for "
            "this purpose.  Press Next to complete the merging process. ");
  EXPECT_EQ(LabelText("lblStep3"),
            "The final step is to merge the databases. To view the details of actions taken "
            "check the Show Details box. Press the Merge button when ready.");
  EXPECT_EQ(LabelText("lblSplitIDdb"),
            "Split enables you to create a new database composed of one of more incidents from "
            "the database identified to split. After you have specified the databases below "
            "press Next to proceed to the next step.");
  EXPECT_EQ(LabelText("lblSelectIncs"),
            "Place a check mark next to each incident that you wish to retain in the resulting "
            "database. You must select at least one incident.  Press Split to proceed.");
  EXPECT_EQ(LabelText("lblSplit"),
            "The final step is to split the incidents you have chosen into the resulting "
            "database.  The split process will make a copy of your orignal database and then "
            "remove the incidents not checked.  Press Split to proceed.");
  EXPECT_EQ(LabelText("lblSelectIncInst"), "Check the incident to merge into then click \"Next\"");
}

TEST_F(WizardTest, LogsStartWithTheirPromptsAndLabelsAtZero) {
  EXPECT_EQ(LogTexts(0), std::vector<std::string>{"Press Check Databases to proceed."});
  EXPECT_EQ(LogTexts(2), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_TRUE(LogTexts(1).empty());
  EXPECT_EQ(LabelText("lblStatus"), "0 %");
  EXPECT_EQ(LabelText("lblStatusMerge"), "0 %");
}

struct Drawn {
  QColor colour;
  bool bold;
};

Drawn LastLine(QTreeWidget* list) {
  QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
  return {item->foreground(0).color(), item->font(0).bold()};
}

TEST_F(WizardTest, LinesAreColouredByTheirFirstKeywordAndPage) {
  QtProgress& progress = wizard_->progress();
  QTreeWidget* check = Get<QTreeWidget>("lstProgress0");
  QTreeWidget* merge = Get<QTreeWidget>("lstProgress2");
  QTreeWidget* split = Get<QTreeWidget>("lstProgress1");
  const QColor red(255, 0, 0), blue(0, 0, 255), black(0, 0, 0);

  const std::string warning =
      "Warning, There are differences between databases, press Next to view them";
  progress.AddProgress(warning);
  EXPECT_EQ(LastLine(check).colour, blue);
  EXPECT_TRUE(LastLine(check).bold);
  progress.AddProgressMerge(warning);
  EXPECT_EQ(LastLine(merge).colour, blue);
  EXPECT_FALSE(LastLine(merge).bold);
  progress.AddProgressSplit(warning);
  EXPECT_FALSE(LastLine(split).bold);

  progress.AddProgress("Done, no differences found. Press Next to complete the merge");
  EXPECT_EQ(LastLine(check).colour, black);
  EXPECT_TRUE(LastLine(check).bold);
  progress.AddProgressMerge("Copying done with one error");
  EXPECT_EQ(LastLine(merge).colour, red);
  EXPECT_FALSE(LastLine(merge).bold);
  progress.AddProgressSplit("an error in lower case");
  EXPECT_EQ(LastLine(split).colour, red);
  progress.AddProgressSplit("Copying incidents");
  EXPECT_EQ(LastLine(split).colour, black);
  EXPECT_FALSE(LastLine(split).bold);
  EXPECT_EQ(LogTexts(1).back(), "Copying incidents");
}

TEST_F(WizardTest, DetailLinesNeedTheirPagesBoxAtTheMomentTheyArrive) {
  QtProgress& progress = wizard_->progress();
  progress.AddProgress("check detail", true);
  progress.AddProgressMerge("merge detail", true);
  progress.AddProgressSplit("split detail", true);
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2).size(), 1u);
  EXPECT_TRUE(LogTexts(1).empty());

  // Each page has its own box; ticking one does not show the others' lines.
  Get<QCheckBox>("chkDetail")->setChecked(true);
  progress.AddProgress("check detail 2", true);
  progress.AddProgressMerge("merge detail 2", true);
  progress.AddProgressSplit("split detail 2", true);
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2), (std::vector<std::string>{"Press Merge to proceed.", "merge detail 2"}));
  EXPECT_TRUE(LogTexts(1).empty());

  Get<QCheckBox>("chkCheckDetail")->setChecked(true);
  Get<QCheckBox>("chkSplitDetails")->setChecked(true);
  progress.AddProgress("check detail 3", true);
  progress.AddProgressSplit("split detail 3", true);
  EXPECT_EQ(LogTexts(0),
            (std::vector<std::string>{"Press Check Databases to proceed.", "check detail 3"}));
  EXPECT_EQ(LogTexts(1), std::vector<std::string>{"split detail 3"});
}

TEST_F(WizardTest, PercentLabelsFollowTheirOwnPage) {
  wizard_->SetStatus(40, 75);
  EXPECT_EQ(LabelText("lblStatus"), "40 % - 75 %");
  EXPECT_EQ(LabelText("lblStatusMerge"), "0 %");
  wizard_->progress().SetStatusMerge(101);
  EXPECT_EQ(LabelText("lblStatusMerge"), "Done");
  EXPECT_EQ(LabelText("lblStatus"), "40 % - 75 %");
}

TEST_F(WizardTest, HelpWithoutTheDocumentSaysSoAndChangesNothing) {
  Press(0);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, "Can't find help file");
  EXPECT_EQ(prompt_.Boxes()[0].title, "Orvane Merge/Split Utility");
  EXPECT_EQ(prompt_.Boxes()[0].icon, Icon::kExclamation);
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kOk);
  EXPECT_EQ(wizard_->Viewer(), nullptr);
  EXPECT_EQ(Step(), 0);
  EXPECT_EQ(Buttons(), (NavState{false, false, true}));
}

TEST_F(WizardTest, HelpShowsTheDocumentInTheViewerWithoutSave) {
  EXPECT_EQ(wizard_->HelpFile(), (folder_ / "CVMergeSplitHelp.rtf").string());
  std::ofstream(folder_ / "CVMergeSplitHelp.rtf")
      << "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\b Merging\\b0\\par Press \\{Next\\}.}";
  Press(0);
  EXPECT_TRUE(prompt_.Boxes().empty());
  frmView* viewer = wizard_->Viewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(viewer->windowTitle(), "Orvane Split/Merge");
  EXPECT_FALSE(viewer->cmdSave()->isEnabled());
  EXPECT_EQ(viewer->rtbProblems()->toPlainText(), "Merging\nPress {Next}.");

  // The Full Screen action of a later check enables Save again in the same window.
  viewer->cmdClose()->click();
  EXPECT_FALSE(viewer->isVisible());
  wizard_->cmdView_Click();
  EXPECT_EQ(wizard_->Viewer(), viewer);
  EXPECT_TRUE(viewer->cmdSave()->isEnabled());
  EXPECT_TRUE(viewer->isVisible());
  viewer->close();
}

TEST_F(WizardTest, ClosingTheWindowCleansUpOnce) {
  wizard_->show();
  Press(0);  // no help file: nothing opens
  wizard_->close();
  EXPECT_EQ(services_.cleanups, 1);
  wizard_->close();
  EXPECT_EQ(services_.cleanups, 1);
}

TEST_F(WizardTest, CancelAndFinishCloseTheViewerAndCleanUp) {
  std::ofstream(folder_ / "CVMergeSplitHelp.rtf") << "plain help";
  wizard_->show();
  Press(0);
  ASSERT_TRUE(wizard_->Viewer()->isVisible());
  Press(1);
  EXPECT_EQ(services_.cleanups, 1);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_FALSE(wizard_->Viewer()->isVisible());
}

TEST_F(WizardTest, BrowseFillsTheBoxUnlessCancelled) {
  Next();
  TypePassword("warden");
  Next();
  prompt_.QueueFile(std::string("/data/Fire1.mdf"));
  Get<QPushButton>("cmdBrowse1")->click();
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath1")->text(), "/data/Fire1.mdf");
  ASSERT_EQ(prompt_.Dialogs().size(), 1u);
  EXPECT_EQ(prompt_.Dialogs()[0].filter, "Orvane Database(*.mdf)|*.mdf");
  EXPECT_EQ(prompt_.Dialogs()[0].title, "Open Orvane Database");
  EXPECT_EQ(prompt_.Dialogs()[0].file_name, "");

  prompt_.QueueFile(std::nullopt);
  Get<QPushButton>("cmdBrowse1")->click();
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath1")->text(), "/data/Fire1.mdf");
}

}  // namespace
}  // namespace msu::app::testing
