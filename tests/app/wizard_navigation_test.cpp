// The step machine driven through the navigation buttons: the merge and split roads, the
// redirects, refused steps and the button states of each page.
#include "tests/app/wizard_fixture.h"

namespace msu::app::testing {
namespace {

constexpr NavState kOffOffOn{false, false, true};
constexpr NavState kOffOnOn{false, true, true};
constexpr NavState kOffOnOff{false, true, false};
constexpr NavState kOnOnOff{true, true, false};

TEST_F(WizardTest, MergeRoadWithProblemsShowsTheReportAndEndsOnTheSummary) {
  At(0, kOffOffOn);
  EXPECT_TRUE(Nav(0)->isEnabled() && Nav(1)->isEnabled());
  EXPECT_EQ(services_.list_servers_calls, 0);
  ChooseMerge();
  Next();
  At(1, kOffOnOn);
  QComboBox* servers = Get<QComboBox>("cboServers");
  ASSERT_EQ(servers->count(), 2);
  EXPECT_EQ(servers->currentText(), "ORVANE");
  EXPECT_TRUE(servers->isEditable());
  EXPECT_EQ(Get<QLineEdit>("txtPassword")->echoMode(), QLineEdit::Password);

  servers->setEditText("OTHER\\SQL");
  TypePassword("warden");
  Next();
  At(2, kOffOnOn);
  EXPECT_TRUE(
      (services_.logins == std::vector<ScriptedServices::LoginCall>{{"OTHER\\SQL", "warden", 2}}));

  Get<QLineEdit>("txtDataBasePath0")->setText("  /db/Fire1.mdf ");
  Get<QLineEdit>("txtDataBasePath1")->setText("/db/Fire2.mdf");
  Get<QLineEdit>("txtDataBasePath2")->setText("/db/New.mdf");
  Next();
  At(3, kOffOnOff);  // Next waits for the check

  services_.problems = true;
  Get<QPushButton>("cmdCheckDB")->click();
  EXPECT_EQ(services_.check_calls, 1);
  EXPECT_EQ(Buttons(), kOffOnOn);
  EXPECT_TRUE(wizard_->CheckCompleted());
  EXPECT_EQ(LogTexts(0).back(),
            "Warning, There are differences between databases, press Next to view them");
  EXPECT_EQ(wizard_->Viewer(), nullptr);

  Next();
  EXPECT_EQ(Step(), 5);  // step 4 is passed over
  ASSERT_NE(wizard_->Viewer(), nullptr);
  EXPECT_TRUE(wizard_->Viewer()->isVisible());
  EXPECT_TRUE(wizard_->Viewer()->findChild<QPushButton*>("cmdSave")->isEnabled());
  EXPECT_EQ(Buttons(), kOffOnOff);
  EXPECT_EQ(SummaryText("lblComplete1"),
            "Database 1:             /db/Fire1.mdf\n\nDatabase 2:             /db/Fire2.mdf\n\n"
            "New database:   /db/New.mdf\n\nPress Finish to exit.");

  Get<QPushButton>("cmdMerge")->click();
  EXPECT_EQ(services_.merges, std::vector<bool>{false});
  EXPECT_EQ(Buttons(), kOffOnOn);
  EXPECT_FALSE(Get<QPushButton>("cmdMerge")->isEnabled());

  prompt_.QueueAnswer(Answer::kNo);
  Next();
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  const ScriptedPrompt::Shown& question = prompt_.Boxes()[0];
  EXPECT_EQ(question.text,
            "Do you want to merge Incidents into a single Incident?\r\n\r\nNote: If merging into "
            "a blank database, select No.");
  EXPECT_EQ(question.title, "CVN: Merge Incidents?");
  EXPECT_EQ(question.buttons, Buttons::kYesNo);
  EXPECT_EQ(question.icon, Icon::kQuestion);
  At(6, kOnOnOff);
  EXPECT_FALSE(wizard_->MergeIncidents());

  Back();
  EXPECT_EQ(Step(), 5);
}

TEST_F(WizardTest, WithoutProblemsNextAndBackPassStepFourAndKeepTheCheck) {
  WalkToCheckedStep3();
  EXPECT_EQ(LogTexts(0).back(), "Done, no differences found. Press Next to complete the merge");
  Next();
  ASSERT_EQ(Step(), 5);
  EXPECT_EQ(wizard_->Viewer(), nullptr);
  Back();
  At(3, kOffOnOn);  // Next follows the completed check
  EXPECT_EQ(services_.validate_merge_calls, 1);

  // Back to step 2 and forward again skips the path validation while the check stands...
  // (The login of the way back removed the check's working copies: Next waits for a new one.)
  Back();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(services_.logins.back().direction, 1);
  Next();
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(services_.validate_merge_calls, 1);
  EXPECT_EQ(LogTexts(0).back(),
            "Warning, the working copies were removed: run Check Databases again.");
  EXPECT_EQ(Buttons(), kOffOnOff);
  EXPECT_TRUE(wizard_->CheckCompleted());
  Get<QPushButton>("cmdCheckDB")->click();
  EXPECT_EQ(Buttons(), kOffOnOn);
  // ...but an edited path voids the check.
  Back();
  Get<QLineEdit>("txtDataBasePath2")->setText("/db/Other.mdf");
  EXPECT_FALSE(wizard_->CheckCompleted());
  Next();
  EXPECT_EQ(services_.validate_merge_calls, 2);
  EXPECT_EQ(Buttons(), kOffOnOff);
}

TEST_F(WizardTest, ConsolidationPageMergesIntoTheOneTickedIncident) {
  WalkToCheckedStep3();
  Next();
  Get<QPushButton>("cmdMerge")->click();
  prompt_.QueueAnswer(Answer::kYes);
  Next();
  EXPECT_EQ(Step(), 11);
  EXPECT_TRUE(wizard_->MergeIncidents());
  EXPECT_EQ(Buttons(), kOffOnOff);
  EXPECT_EQ(services_.list_merge_incident_calls, 1);
  QTreeWidget* list = Get<QTreeWidget>("lstMergeInc");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0), "22-7, Fire");
  EXPECT_EQ(list->topLevelItem(1)->text(1), "");

  Tick("lstMergeInc", 0);
  EXPECT_EQ(wizard_->MergeIntoIncident(), 11);
  EXPECT_EQ(Buttons(), kOffOnOn);
  Tick("lstMergeInc", 1);
  EXPECT_EQ(wizard_->MergeIntoIncident(), 12);
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
  Tick("lstMergeInc", 1, false);
  EXPECT_EQ(wizard_->MergeIntoIncident(), 0);
  EXPECT_EQ(Buttons(), kOffOnOff);

  // Back goes to the merge page; Next asks again and reloads the list.
  Back();
  EXPECT_EQ(Step(), 5);
  prompt_.QueueAnswer(Answer::kYes);
  Next();
  EXPECT_EQ(Step(), 11);
  EXPECT_EQ(services_.list_merge_incident_calls, 2);
  EXPECT_EQ(list->topLevelItemCount(), 2);

  Tick("lstMergeInc", 1);
  Next();
  EXPECT_EQ(services_.finish_copy_tables, std::vector<long>{12});
  At(6, NavState{true, false, false});  // no way back after consolidating
  // The page names the incident kept and what went into it, and says what becomes of the new
  // database when the window closes.
  EXPECT_EQ(LabelText("lblConsolidation"),
            "All incidents were merged into 22-7, Fire (key 12): 1 incident was folded into it, "
            "40 rows moved.\nVerification of the folding passed.");
  EXPECT_EQ(LabelText("lblDetachNote"),
            "The new database is detached from the server when this window closes; its file "
            "stays at /db/New.mdf. To attach it again, use the server's own tools to attach that "
            "file.");
}

TEST_F(WizardTest, CheckOutcomesDecideWhichButtonsComeBack) {
  WalkToCheckedStep3();
  QPushButton* check = Get<QPushButton>("cmdCheckDB");
  QPushButton* merge = Get<QPushButton>("cmdMerge");
  // The merge page is not on screen, so its button counts as enabled for its own frame.
  QGroupBox* merge_page = Get<QGroupBox>("fraStep5");
  EXPECT_TRUE(check->isEnabled());
  EXPECT_TRUE(merge->isEnabledTo(merge_page));

  services_.check_outcome = CheckOutcome::kInitializeFailed;
  check->click();
  EXPECT_TRUE(check->isEnabled());
  EXPECT_FALSE(merge->isEnabledTo(merge_page));
  EXPECT_EQ(Buttons(), kOffOnOff);

  // Another run holds the folder: nothing was done, and the check may be tried again.
  services_.check_outcome = CheckOutcome::kBusy;
  check->click();
  EXPECT_TRUE(check->isEnabled());
  EXPECT_EQ(Buttons(), kOffOnOff);

  services_.check_outcome = CheckOutcome::kStopped;
  check->click();
  EXPECT_FALSE(check->isEnabled());
  EXPECT_FALSE(wizard_->CheckCompleted());
  // Editing a path is the way out of a stopped check.
  Get<QLineEdit>("txtDataBasePath0")->setText("/db/Fire3.mdf");
  EXPECT_TRUE(check->isEnabled());
  EXPECT_EQ(LogTexts(0), std::vector<std::string>{"Press Check Databases to proceed."});
  EXPECT_EQ(LogTexts(2), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_EQ(prompt_.BusyDepth(), 0);

  // A failed merge keeps Next off.
  services_.check_outcome = CheckOutcome::kCompleted;
  check->click();
  Next();
  services_.merge_result.end = MergeEnd::kStopped;
  merge->click();
  At(5, kOffOnOff);
  EXPECT_FALSE(wizard_->MergeCompleted());
  // Its working copies went with it: both pages say a check must run again, and Next on the
  // check page waits for it; the merge page of that check starts afresh.
  EXPECT_EQ(LabelText("lblMergeState"),
            "The merge stopped; nothing was placed. Check Databases must run again before a "
            "merge.");
  EXPECT_EQ(LogTexts(2).back(),
            "Warning, nothing was merged: press Back, then Check Databases, to check the "
            "databases again; Merge is enabled by the new check.");
  Back();
  At(3, kOffOnOff);
  EXPECT_EQ(LogTexts(0).back(), "Warning, the merge was stopped: run Check Databases again.");
  EXPECT_TRUE(check->isEnabled());
  Next();
  EXPECT_EQ(Step(), 3);
  wizard_->SetStatusMerge(60, 20);
  check->click();
  At(3, kOffOnOn);
  EXPECT_EQ(LabelText("lblStatusMerge"), "0 %");
  EXPECT_TRUE(Get<QLabel>("lblMergeState")->isHidden());
  Next();
  EXPECT_TRUE(merge->isEnabled());
}

TEST_F(WizardTest, AMergeDoneBeforeIsAskedAboutAndTheFinishPageShowsTheVerification) {
  WalkToCheckedStep3();
  Next();
  QPushButton* merge = Get<QPushButton>("cmdMerge");
  services_.merged_before = merge::RemergeCounts{40, 39, 25, 25};
  services_.merge_result.verification = "Verification found 7 problems (...)";
  for (int i = 1; i <= 7; ++i) {
    services_.merge_result.verification_findings.push_back("problem " + std::to_string(i));
  }

  // No, the default, starts nothing and leaves Merge for a second look.
  prompt_.QueueAnswer(Answer::kNo);
  merge->click();
  EXPECT_EQ(services_.merges, std::vector<bool>{false});
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "Database 1 looks merged into Database 2 already: 39 of 40 persons and 25 of 25 "
            "resources of Database 1 stand in Database 2 under the same incident number and "
            "name.\r\n\r\nMerging them again copies them a second time. Do you want to merge "
            "anyway?");
  EXPECT_EQ(prompt_.Boxes()[0].default_answer, Answer::kNo);
  EXPECT_EQ(LogTexts(2).back(),
            "Warning, the merge was not started: Database 1 looks merged into Database 2 "
            "already.");
  At(5, kOffOnOff);
  EXPECT_TRUE(merge->isEnabled());

  prompt_.QueueAnswer(Answer::kYes);
  merge->click();
  EXPECT_EQ(services_.merges, (std::vector<bool>{false, false, true}));
  At(5, kOffOnOn);
  EXPECT_FALSE(merge->isEnabled());

  prompt_.QueueAnswer(Answer::kNo);
  Next();
  At(6, kOnOnOff);
  EXPECT_EQ(LabelText("lblVerification"),
            "Verification found 7 problems (...)\n- problem 1\n- problem 2\n- problem 3\n"
            "- problem 4\n- problem 5\n- and 2 more on the merge log");
  EXPECT_EQ(Get<QLabel>("lblVerification")->palette().color(QPalette::WindowText),
            QColor(255, 0, 0));
}

TEST_F(WizardTest, RefusedLoginLeavesEverythingAsItWas) {
  Next();
  TypePassword("");
  services_.login = {false, "Password not specified."};
  Next();
  At(1, kOffOnOn);
  EXPECT_EQ(LabelText("lblMessage"), "Password not specified.");

  services_.login = {true, ""};
  TypePassword("warden");
  Next();
  EXPECT_EQ(Step(), 2);
  EXPECT_EQ(LabelText("lblMessage"), "");
}

TEST_F(WizardTest, RefusedMergePathsShowTheReasonAndTakeRewrittenBoxes) {
  LogIn();
  Get<QLineEdit>("txtDataBasePath0")->setText("/db/Fire1");
  Get<QLineEdit>("txtDataBasePath1")->setText("/db/Fire1");
  services_.rewritten_paths = MergePaths{"/db/Fire1.mdf", "/db/Fire1.mdf", ""};
  services_.merge_paths = {false, "Error, Resulting Database not specified"};
  Next();
  At(2, kOffOnOn);
  EXPECT_EQ(LabelText("lblIDMessage"), "Error, Resulting Database not specified");
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath0")->text(), "/db/Fire1.mdf");
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath1")->text(), "/db/Fire1.mdf");
  // The next move clears the message first.
  Back();
  EXPECT_EQ(LabelText("lblIDMessage"), "");
}

TEST_F(WizardTest, SplitRoadSkipsTheMergePagesAndListsTheKeptIncidents) {
  LogIn(true);
  At(7, kOffOnOn);  // step 2 becomes 7 after the login
  EXPECT_EQ(services_.logins.size(), 1u);

  Get<QLineEdit>("txtDataBasePath3")->setText("/db/Big.mdf");
  Get<QLineEdit>("txtDataBasePath4")->setText("/db/Small.mdf");
  Next();
  At(8, kOffOnOff);
  EXPECT_EQ(services_.validate_split_calls, 1);
  EXPECT_EQ(services_.accept_split_calls, 1);
  EXPECT_EQ(services_.split_starts, std::vector<std::string>{"/db/Big.mdf"});
  EXPECT_EQ(LabelText("lblIncSelected"), "Incidents checked to split: 0");
  EXPECT_EQ(prompt_.BusyDepth(), 0);

  Tick("lstIncidents", 0);
  Tick("lstIncidents", 2);
  Tick("lstIncidents", 3);
  EXPECT_EQ(LabelText("lblIncSelected"), "Incidents checked to split: 3");
  EXPECT_EQ(wizard_->IncidentsChecked(), 3);
  EXPECT_EQ(Buttons(), kOffOnOn);

  Next();
  At(9, kOffOnOff);
  Back();  // keeps the ticks and does not restart the split
  At(8, kOffOnOn);
  EXPECT_EQ(services_.split_starts.size(), 1u);
  EXPECT_EQ(Get<QTreeWidget>("lstIncidents")->topLevelItem(2)->checkState(0), Qt::Checked);
  Next();
  Get<QPushButton>("cmdSplit")->click();
  ASSERT_EQ(services_.splits.size(), 1u);
  EXPECT_EQ(services_.splits[0], (std::vector<std::string>{"     1", "     3", "     4"}));
  EXPECT_TRUE(wizard_->SplitDone());
  // Marking the kept entries is no tick of the user's: Split stays off.
  EXPECT_FALSE(Get<QPushButton>("cmdSplit")->isEnabled());
  EXPECT_EQ(Get<QTreeWidget>("lstIncidents")->topLevelItem(2)->text(1), "Split");
  EXPECT_TRUE(Get<QTreeWidget>("lstIncidents")->topLevelItem(2)->font(0).bold());
  EXPECT_FALSE(Get<QTreeWidget>("lstIncidents")->isEnabled());
  EXPECT_TRUE(Nav(3)->isEnabled());

  Next();
  At(10, kOnOnOff);
  EXPECT_EQ(SummaryText("lblSplitComplete"),
            "Source Database:             /db/Big.mdf\n\nTarget Database:             "
            "/db/Small.mdf\n\nIncidents contained in target database: \n\nStorm\nFire\nFlood\n\n"
            "Press Finish to exit.");
  EXPECT_EQ(LabelText("lblSplitVerification"), "Verification passed: all of it.");

  Back();
  At(9, NavState{true, true, true});  // a split has run
}

TEST_F(WizardTest, BackFromTheSplitPathsReturnsToAFreshServerPage) {
  ChooseSplit();
  Next();
  Get<QComboBox>("cboServers")->setCurrentIndex(1);
  TypePassword("warden");
  Next();
  ASSERT_EQ(Step(), 7);
  Back();  // through step 6, which sends split mode to the server page
  At(1, kOffOnOn);
  EXPECT_EQ(services_.list_servers_calls, 2);
  EXPECT_EQ(Get<QComboBox>("cboServers")->currentText(), "ORVANE");
}

TEST_F(WizardTest, BackFromTheSelectionRepeatsTheLogin) {
  WalkToStep8();
  Tick("lstIncidents", 0);
  ASSERT_EQ(Step(), 8);

  services_.login = {false, "Password incorrect."};
  Back();
  At(8, kOffOnOn);
  ASSERT_EQ(services_.logins.size(), 2u);
  EXPECT_EQ(services_.logins[1].direction, 1);
  EXPECT_EQ(LabelText("lblMessage"), "Password incorrect.");

  services_.login = {true, ""};
  Back();
  At(7, kOffOnOn);
  // Forward again with Next restarts the engine on a fresh list; the accepted source is not
  // read again until a path changes.
  Next();
  EXPECT_EQ(Step(), 8);
  EXPECT_EQ(services_.split_starts.size(), 2u);
  EXPECT_EQ(services_.accept_split_calls, 1);
  EXPECT_EQ(Buttons(), kOffOnOff);
  EXPECT_EQ(wizard_->IncidentsChecked(), 0);
  Back();
  Back();  // to the server page through step 6
  ASSERT_EQ(Step(), 1);
  Next();
  Get<QLineEdit>("txtDataBasePath3")->setText("/db/Bigger.mdf");
  EXPECT_EQ(Get<QTreeWidget>("lstIncidents")->topLevelItemCount(), 0);
  Next();
  EXPECT_EQ(services_.accept_split_calls, 2);
}

TEST_F(WizardTest, RefusedSplitPathsStayOnTheSplitDatabasePage) {
  LogIn(true);
  services_.split_paths = {false, "Error, databases are the same name."};
  Next();
  EXPECT_EQ(Step(), 7);
  EXPECT_EQ(LabelText("lblSplitIDmsg"), "Error, databases are the same name.");
  EXPECT_TRUE(services_.split_starts.empty());

  // A refused version stays refused until a path is edited, and is asked again each time.
  services_.split_paths = {true, ""};
  services_.split_source = {false, ""};
  Next();
  Next();
  EXPECT_EQ(Step(), 7);
  EXPECT_EQ(services_.accept_split_calls, 2);
  services_.split_source = {true, ""};
  Next();
  EXPECT_EQ(Step(), 8);
  EXPECT_EQ(prompt_.BusyDepth(), 0);
}

TEST_F(WizardTest, FocusGoesToTheFirstBoxOfEachEntryPage) {
  wizard_->show();
  wizard_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(wizard_.get()));
  Next();
  EXPECT_EQ(QApplication::focusWidget(), Get<QLineEdit>("txtPassword"));
  TypePassword("warden");
  Next();
  EXPECT_EQ(QApplication::focusWidget(), Get<QLineEdit>("txtDataBasePath0"));
  Back();
  ChooseSplit();
  Next();
  EXPECT_EQ(QApplication::focusWidget(), Get<QLineEdit>("txtDataBasePath3"));
}

}  // namespace
}  // namespace msu::app::testing
