// The fixed texts of the pages, the progress logs and percentage labels, Help, and what closing
// the window leaves behind.
#include <QFont>
#include <QHelpEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QToolTip>
#include <fstream>

#include "tests/app/wizard_fixture.h"

namespace msu::app::testing {
namespace {

TEST_F(WizardTest, EveryCaptionAndInstructionHasItsText) {
  EXPECT_EQ(wizard_->windowTitle(), "Orvane Merge/Split Utility 5.01.00");
  EXPECT_EQ(VersionSuffix(4, 13, 2), "4.013.02");
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"fraStep0", "Specify Operation"},
      {"fraStep1", "Identify Orvane Databases"},
      {"fraStep2", "Identify Orvane Databases"},
      {"fraStep3", "Check Databases"},
      {"fraStep4", "Problems"},
      {"fraStep5", "Merging"},
      {"fraStep6", "Merge Finished!"},
      {"fraStep7", "Identify Split DB"},
      {"fraStep8", "Identify Incidents"},
      {"fraStep9", "Split"},
      {"fraStep10", "Split Finished"},
      {"fraStep11", "Identify Incidents"},
      {"cmdNav0", "Help"},
      {"cmdNav1", "Cancel"},
      {"cmdNav2", "< &Back"},
      {"cmdNav3", "&Next >"},
      {"cmdNav4", "&Finish"},
      {"cmdBrowse0", "Browse ..."},
      {"cmdBrowse4", "Browse ..."},
      {"optSplitMerge0", "Split one or more Incidents from an Orvane database "},
      {"optSplitMerge1", "Merge two Orvane databases into a single database"},
      {"cmdCheckDB", "Check Databases"},
      {"cmdMerge", "Merge"},
      {"cmdSplit", "Split"},
      {"chkCheckDetail", "Show Details"},
      {"chkDetail", "Show Details"},
      {"chkSplitDetails", "Show Details"},
      {"lblComplete0", "Merge Process Completed"},
      {"lblComplete2", "Split Process Completed"},
      {"lblStatus", "0 %"},
      {"lblStatusMerge", "0 %"},
      {"lblStep0", "Welcome to Orvane Merge/Split"},
      {"lblInstructions",
       "With this application you can merge two Orvane databases into a single database or split "
       "out incidents from an Orvane database into a new database. The database(s) being merged "
       "or split must be attached to the server. Select one of the following options:"},
      {"lblStep4",
       "CVN must be run on the machine where the server and database(s) reside.You must use the "
       "Warden password for this utility."},
      {"lblStep1",
       "Database 1 and Database 2 will be merged into a new database.  The Database 2 lookup "
       "tables will be used in case of duplicates or differences.  A report will be generated to "
       "document these differences.  Database 1 and Database 2 must be attached to perform a "
       "merge.  Press Next to continue."},
      {"lblCheckDBInst",
       "This step will check the databases to ensure they are the correct structure and identify "
       "consistency problems between the databases.  This step must be done before completing "
       "the merge.  Press Check Databases to begin."},
      {"lblStep2",
       "These problems can not be resolved by this program and will require follow up action "
       "after the merge is complete.  Please print or save the following report for this "
       "purpose.  Press Next to complete the merging process. "},
      {"lblStep3",
       "The final step is to merge the databases. To view the details of actions taken check the "
       "Show Details box. Press the Merge button when ready."},
      {"lblSplitIDdb",
       "Split enables you to create a new database composed of one of more incidents from the "
       "database identified to split. After you have specified the databases below press Next "
       "to proceed to the next step."},
      {"lblSelectIncs",
       "Place a check mark next to each incident that you wish to retain in the resulting "
       "database. You must select at least one incident.  Press Split to proceed."},
      {"lblSplit",
       "The final step is to split the incidents you have chosen into the resulting database.  "
       "The split process will make a copy of your orignal database and then remove the "
       "incidents not checked.  Press Split to proceed."},
      {"lblSelectIncInst", "Check the incident to merge into then click \"Next\""},
  };
  for (const auto& [name, text] : texts) {
    SCOPED_TRACE(name);
    QWidget* widget = Get<QWidget>(name);
    ASSERT_NE(widget, nullptr);
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
      EXPECT_EQ(frame->title().toStdString(), text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text().toStdString(), text);
    } else {
      EXPECT_EQ(LabelText(name), text);
    }
  }
  for (const char* list : {"lstIncidents", "lstMergeInc"}) {
    QTreeWidgetItem* header = Get<QTreeWidget>(list)->headerItem();
    EXPECT_EQ(header->text(0) + "/" + header->text(1), "Incident/Status");
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Get<QTreeWidget>("lstProgress" + std::to_string(i))->headerItem()->text(0),
              "Message");
  }
  EXPECT_EQ(LogTexts(0), std::vector<std::string>{"Press Check Databases to proceed."});
  EXPECT_EQ(LogTexts(2), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_TRUE(LogTexts(1).empty());
}

TEST_F(WizardTest, LinesAreColouredByTheirFirstKeywordAndPage) {
  QtProgress& progress = wizard_->progress();
  const std::string warning =
      "Warning, There are differences between databases, press Next to view them";
  const QColor red(255, 0, 0), blue(0, 0, 255), black(0, 0, 0);
  struct Case {
    LogPage page;
    const char* list;
    std::string text;
    QColor colour;
    bool bold;
  };
  const std::vector<Case> cases = {
      {LogPage::kCheck, "lstProgress0", warning, blue, true},
      {LogPage::kMerge, "lstProgress2", warning, blue, false},
      {LogPage::kSplit, "lstProgress1", warning, blue, false},
      {LogPage::kCheck, "lstProgress0",
       "Done, no differences found. Press Next to complete the merge", black, true},
      {LogPage::kMerge, "lstProgress2", "Copying done with one error", red, false},
      {LogPage::kSplit, "lstProgress1", "an error in lower case", red, false},
      {LogPage::kSplit, "lstProgress1", "Copying incidents", black, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    progress.Add(c.page, c.text, false);
    QTreeWidget* list = Get<QTreeWidget>(c.list);
    QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    EXPECT_EQ(item->text(0).toStdString(), c.text);
    EXPECT_EQ(item->foreground(0).color(), c.colour);
    EXPECT_EQ(item->font(0).bold(), c.bold);
  }
}

TEST_F(WizardTest, DetailLinesNeedTheirPagesBoxAtTheMomentTheyArrive) {
  QtProgress& progress = wizard_->progress();
  const auto add_details = [&](const std::string& suffix) {
    progress.AddProgress("check detail" + suffix, true);
    progress.AddProgressMerge("merge detail" + suffix, true);
    progress.AddProgressSplit("split detail" + suffix, true);
  };
  add_details("");
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2).size(), 1u);
  EXPECT_TRUE(LogTexts(1).empty());

  // Each page has its own box; ticking one does not show the others' lines.
  Get<QCheckBox>("chkDetail")->setChecked(true);
  add_details(" 2");
  EXPECT_EQ(LogTexts(0).size(), 1u);
  EXPECT_EQ(LogTexts(2), (std::vector<std::string>{"Press Merge to proceed.", "merge detail 2"}));
  EXPECT_TRUE(LogTexts(1).empty());

  Get<QCheckBox>("chkCheckDetail")->setChecked(true);
  Get<QCheckBox>("chkSplitDetails")->setChecked(true);
  add_details(" 3");
  EXPECT_EQ(LogTexts(0),
            (std::vector<std::string>{"Press Check Databases to proceed.", "check detail 3"}));
  EXPECT_EQ(LogTexts(1), std::vector<std::string>{"split detail 3"});
}

// Every log is made by NewLogList.
TEST_F(WizardTest, ALogLineCutShortShowsItsWholeTextAsItsTooltip) {
  std::unique_ptr<QTreeWidget> list(NewLogList("lstProgress"));
  list->resize(240, 120);
  list->show();
  const QString long_line = "Copying W_O_R_K_B.tmp to " + QString(200, 'x') + "/Merged.mdf";
  for (const QString& text : {QString("Almost Done ..."), long_line}) {
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
  }
  const auto tooltip_of = [&](int row) {
    QToolTip::hideText();
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
    QHelpEvent event(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tooltip_of(1), long_line);
  EXPECT_EQ(tooltip_of(0), QString());
  // Wide enough, the long line is shown whole and needs none.
  list->resize(4000, 120);
  EXPECT_EQ(tooltip_of(1), QString());
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
  At(0, NavState{false, false, true});
}

TEST_F(WizardTest, CancelClosesTheViewerAndCleansUpOnce) {
  std::ofstream(folder_ / "CVMergeSplitHelp.rtf") << "plain help";
  wizard_->show();
  Press(0);
  ASSERT_TRUE(wizard_->Viewer()->isVisible());
  Press(1);
  EXPECT_EQ(services_.cleanups, 1);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_FALSE(wizard_->Viewer()->isVisible());
  wizard_->show();
  wizard_->close();
  EXPECT_EQ(services_.cleanups, 1);
}

TEST_F(WizardTest, BrowseFillsTheBoxUnlessCancelled) {
  LogIn();
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

  // The box of a file still to be made offers a save dialog, where a new name can be typed.
  for (const char* button : {"cmdBrowse0", "cmdBrowse2"}) {
    prompt_.QueueFile(std::nullopt);
    Get<QPushButton>(button)->click();
  }
  EXPECT_EQ(prompt_.SaveDialogs(), (std::vector<bool>{false, false, false, true}));
}

// The summaries keep the suite's words; the page lines their values up in one column, whatever
// the blanks before them.
TEST_F(WizardTest, SummariesLineTheirValuesUp) {
  QLabel label;
  ShowSummary(label, MergeSummary({"/db/Fire1.mdf", "/db/Fire2.mdf", "/db/New & Old.mdf"}));
  EXPECT_EQ(label.accessibleDescription().toStdString(),
            "Database 1:             /db/Fire1.mdf\n\nDatabase 2:             /db/Fire2.mdf\n\n"
            "New database:   /db/New & Old.mdf\n\nPress Finish to exit.");
  QTextDocument shown;
  shown.setHtml(label.text());
  ASSERT_EQ(shown.rootFrame()->childFrames().size(), 1);
  auto* table = qobject_cast<QTextTable*>(shown.rootFrame()->childFrames()[0]);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->columns(), 2);
  const auto cell = [&](int row, int column) {
    const QTextTableCell at = table->cellAt(row, column);
    QTextCursor cursor = at.firstCursorPosition();
    cursor.setPosition(at.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText().toStdString();
  };
  // Rows: Database 1, blank, Database 2, blank, New database, blank, Press Finish to exit.
  ASSERT_EQ(table->rows(), 7);
  EXPECT_EQ(cell(0, 0), "Database 1:");
  EXPECT_EQ(cell(0, 1), "/db/Fire1.mdf");
  EXPECT_EQ(cell(2, 0), "Database 2:");
  EXPECT_EQ(cell(4, 0), "New database:");
  EXPECT_EQ(cell(4, 1), "/db/New & Old.mdf");
  EXPECT_EQ(table->cellAt(6, 0).columnSpan(), 2);
  EXPECT_EQ(cell(6, 0), "Press Finish to exit.");
}

// The overwrite question keeps the suite's words; the page's label names the file while it is
// asked, and is empty again once it is answered.
TEST_F(WizardTest, TheOverwriteQuestionIsAskedWithTheFileNamedBesideIt) {
  services_.existing_new_database = "/db/New.mdf";
  services_.label_now = [this] { return LabelText("lblIDMessage"); };
  services_.merge_paths = {false, ""};
  LogIn();
  Get<QLineEdit>("txtDataBasePath0")->setText("/db/Fire1.mdf");
  Get<QLineEdit>("txtDataBasePath1")->setText("/db/Fire2.mdf");
  Get<QLineEdit>("txtDataBasePath2")->setText("/db/New.mdf");
  Next();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(services_.notes_during_question,
            std::vector<std::string>{"/db/New.mdf exists. Yes replaces it with the new database "
                                     "once the merge has run; No keeps it and stays on this "
                                     "page."});
  EXPECT_EQ(LabelText("lblIDMessage"), "");
}

}  // namespace
}  // namespace msu::app::testing
