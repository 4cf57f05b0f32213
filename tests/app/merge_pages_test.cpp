// A whole merge through the real window on a real embedded server, from the operation page to
// the merge-finished page: Merge with its log and percentages, the question about merging the
// incidents, the incident-choice page, the finish page, and what the new database holds; a
// second merge of the same Database 1 is questioned first.
#include <QCheckBox>
#include <QRegularExpression>
#include <QTimer>

#include "tests/app/server_wizard_fixture.h"
#include "tests/support/sqlite_rows.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr NavState kOffOnOff{false, true, false};
constexpr NavState kOffOnOn{false, true, true};

class MergePagesTest : public ServerWizardTest {
 protected:
  // The one value of a query on a database file.
  std::string Value(const std::string& path, const std::string& sql) {
    const Lines rows = msu::testing::QueryFile(path, sql);
    return rows.empty() ? "no row" : rows[0];
  }
  long Number(const std::string& path, const std::string& sql) {
    return std::stol(Value(path, sql));
  }
  long Both(const std::string& sql) { return Number(database1_, sql) + Number(database2_, sql); }

  // From step 0 through a completed check to the merge page.
  void WalkToStep5() {
    ASSERT_NO_FATAL_FAILURE(WalkToStep3());
    Get<QPushButton>("cmdCheckDB")->click();
    ASSERT_TRUE(wizard_->CheckCompleted()) << ::testing::PrintToString(LogTexts(0));
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 5);
  }

  std::string Merged() const { return data_ + "/Merged.mdf"; }
};

// Enough persons and resources for the re-merge guard to judge.
class MergeTwiceTest : public MergePagesTest {
 protected:
  void SetUp() override {
    sample_rows_ = 2000;
    MergePagesTest::SetUp();
  }
};

TEST_F(MergeTwiceTest, AMergeWithoutConsolidationKeepsEveryIncidentAndAskedAgainSaysWhy) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep5());
  At(5, kOffOnOff);
  EXPECT_EQ(LogTexts(2), Lines{"Press Merge to start the final merging process."});

  // The caption of the percentage label as each line arrives.
  Get<QCheckBox>("chkDetail")->setChecked(true);
  QLabel* percent = Get<QLabel>("lblStatusMerge");
  std::vector<QString> captions;
  const QMetaObject::Connection recorder =
      QObject::connect(Get<QTreeWidget>("lstProgress2")->model(), &QAbstractItemModel::rowsInserted,
                       [&] { captions.push_back(percent->text()); });
  Get<QPushButton>("cmdMerge")->click();
  QObject::disconnect(recorder);

  const Lines log = LogTexts(2);
  for (const std::string& line : log) EXPECT_EQ(line.find("Error"), std::string::npos) << line;
  const Lines expected = {"Merge initiated, copying Source Database into Destination ...",
                          "Creating unique primary keys for source database",
                          "Parent table: Incidents, updating keys(auto increment)",
                          "Parent Table: Resources, updating keys in Source",
                          "- Child table: Persons foreign keys updated",
                          "Key updating completed",
                          "Core table copying started",
                          "Core table copying completed.",
                          "Copying non-standard lookup table records.",
                          "Lookup table copying completed.",
                          "Copying W_O_R_K_B.tmp to " + Merged(),
                          "Almost Done ...",
                          "Press Next to merge incidents or finish."};
  auto at = log.begin();
  for (const std::string& line : expected) {
    at = std::find(at, log.end(), line);
    ASSERT_NE(at, log.end()) << "missing, or out of order: " << line;
  }
  const std::string verification = log.back();
  EXPECT_EQ(verification.rfind("Verification passed: ", 0), 0u) << verification;
  EXPECT_TRUE(std::any_of(captions.begin(), captions.end(), [](const QString& caption) {
    return QRegularExpression("^\\d+ % - \\d+ %$").match(caption).hasMatch();
  }));
  EXPECT_EQ(percent->text(), "100 %");

  At(5, kOffOnOn);
  EXPECT_TRUE(wizard_->MergeCompleted());
  EXPECT_FALSE(Get<QPushButton>("cmdMerge")->isEnabled());
  EXPECT_EQ(LabelText("lblMergeState"),
            "The merge is complete: the new database is in place. Press Next to go on.");
  // The working copies have served: gone from the server and the folder, which is free again.
  EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2", "Merged"}));
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", ".msu-run.lock"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }

  prompt_.QueueAnswer(Answer::kNo);
  Next();
  EXPECT_EQ(prompt_.Boxes().back().title, "CVN: Merge Incidents?");
  EXPECT_EQ(prompt_.Boxes().back().default_answer, Answer::kYes);
  At(6, (NavState{true, true, false}));
  EXPECT_EQ(SummaryText("lblComplete1"),
            "Database 1:             " + database1_ + "\n\nDatabase 2:             " + database2_ +
                "\n\nNew database:   " + Merged() + "\n\nPress Finish to exit.");
  EXPECT_EQ(LabelText("lblVerification"), verification);
  EXPECT_EQ(LabelText("lblConsolidation"), "");
  EXPECT_EQ(LabelText("lblDetachNote"),
            "The new database is detached from the server when this window closes; its file "
            "stays at " +
                Merged() + ". To attach it again, run: msu-server --root " + root_ +
                "/servers attach ORVANE Merged " + Merged());
  for (const char* table : {"Incidents", "Persons", "Resources"}) {
    const std::string count = std::string("SELECT COUNT(*) FROM ") + table;
    EXPECT_EQ(Number(Merged(), count), Both(count)) << table;
  }

  // The same Database 1 once more, into the new database: nearly all of it is there already.
  const std::string merged_bytes = ReadFile(Merged());
  Back();
  Back();
  Back();
  ASSERT_EQ(Step(), 2);
  const std::string again = data_ + "/Again.mdf";
  ASSERT_NO_FATAL_FAILURE(TypePaths(database1_, Merged(), again));
  Get<QPushButton>("cmdCheckDB")->click();
  ASSERT_TRUE(wizard_->CheckCompleted());
  Next();
  prompt_.QueueAnswer(Answer::kNo);
  Get<QPushButton>("cmdMerge")->click();
  const ScriptedPrompt::Shown& question = prompt_.Boxes().back();
  const std::string persons = Value(database1_, "SELECT COUNT(*) FROM Persons");
  const std::string resources = Value(database1_, "SELECT COUNT(*) FROM Resources");
  EXPECT_EQ(question.text, "Database 1 looks merged into Database 2 already: " + persons + " of " +
                               persons + " persons and " + resources + " of " + resources +
                               " resources of Database 1 stand in Database 2 under the same "
                               "incident number and name.\r\n\r\nMerging them again copies them "
                               "a second time. Do you want to merge anyway?");
  EXPECT_EQ(question.title, "CVN: Merge Again?");
  EXPECT_EQ(question.buttons, Buttons::kYesNo);
  EXPECT_EQ(question.icon, Icon::kExclamation);
  EXPECT_EQ(question.default_answer, Answer::kNo);
  EXPECT_EQ(LogTexts(2),
            (Lines{"Press Merge to start the final merging process.",
                   "Warning, the merge was not started: Database 1 looks merged into Database 2 "
                   "already."}));
  At(5, kOffOnOff);
  EXPECT_TRUE(Get<QPushButton>("cmdMerge")->isEnabled());
  EXPECT_FALSE(fs::exists(again));

  // Yes merges all the same, without asking twice.
  prompt_.QueueAnswer(Answer::kYes);
  const size_t boxes = prompt_.Boxes().size();
  Get<QPushButton>("cmdMerge")->click();
  EXPECT_EQ(prompt_.Boxes().size(), boxes + 1);
  At(5, kOffOnOn);
  EXPECT_EQ(Number(again, "SELECT COUNT(*) FROM Persons"),
            Number(database1_, "SELECT COUNT(*) FROM Persons") +
                Number(Merged(), "SELECT COUNT(*) FROM Persons"));
  EXPECT_TRUE(ReadFile(Merged()) == merged_bytes) << "Database 2 was written";

  // The clean-up takes the working databases and the last engine's new database off the
  // server; the first new database stays attached, and both files stay on disk.
  wizard_->close();
  EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2", "Merged"}));
  EXPECT_TRUE(fs::exists(again));
}

TEST_F(MergePagesTest, ConsolidationFoldsEveryIncidentIntoTheOneTicked) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep5());
  Get<QPushButton>("cmdMerge")->click();
  ASSERT_TRUE(wizard_->MergeCompleted()) << ::testing::PrintToString(LogTexts(2));
  prompt_.QueueAnswer(Answer::kYes);
  Next();
  At(11, kOffOnOff);
  EXPECT_TRUE(wizard_->MergeIncidents());
  EXPECT_EQ(prompt_.BusyDepth(), 0);

  // Every incident of both databases, with its identifier right-aligned in six positions, and
  // in its Status where it came from: the incidents of Database 2 keep their keys, those of
  // Database 1 come after them, in their order.
  const Lines incidents = msu::testing::QueryFile(
      Merged(), "SELECT IncidentNumber || ', ' || IncidentName, IncidentID FROM Incidents");
  ASSERT_EQ(static_cast<long>(incidents.size()), Both("SELECT COUNT(*) FROM Incidents"));
  Lines origins;
  for (const auto& [database, path] :
       {std::pair{"Database 2", database2_}, std::pair{"Database 1", database1_}}) {
    for (const std::string& row : msu::testing::QueryFile(
             path, "SELECT IncidentNumber || ', ' || IncidentName, IncidentID FROM Incidents")) {
      origins.push_back(row.substr(0, row.rfind('|')) + " | " + database + ", key " +
                        row.substr(row.rfind('|') + 1));
    }
  }
  QTreeWidget* list = Get<QTreeWidget>("lstMergeInc");
  ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(incidents.size()));
  Lines shown;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const std::string& row = incidents[i];
    const std::string id = row.substr(row.rfind('|') + 1);
    QTreeWidgetItem* item = list->topLevelItem(i);
    EXPECT_EQ(item->text(0).toStdString(), row.substr(0, row.rfind('|')));
    EXPECT_EQ(item->data(0, Qt::UserRole).toString().toStdString(),
              std::string(6 - id.size(), ' ') + id);
    EXPECT_EQ(item->checkState(0), Qt::Unchecked);
    shown.push_back(item->text(0).toStdString() + " | " + item->text(1).toStdString());
  }
  EXPECT_EQ(shown, origins);

  // One incident at a time; none ticked, no way on.
  const std::string kept = incidents[2].substr(incidents[2].rfind('|') + 1);
  Tick("lstMergeInc", 0);
  At(11, kOffOnOn);
  Tick("lstMergeInc", 2);
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(wizard_->MergeIntoIncident(), std::stol(kept));
  Tick("lstMergeInc", 2, false);
  At(11, kOffOnOff);
  EXPECT_EQ(wizard_->MergeIntoIncident(), 0);
  Tick("lstMergeInc", 2);

  // The rows the folding points at the kept incident: those of the children of Incidents in the
  // instruction file that stand on another incident.
  const std::string kept_text = incidents[2].substr(0, incidents[2].rfind('|'));
  long moved = 0;
  for (const char* child : {"AccountingCodes", "Resources", "Persons", "PersonsPost", "Projection",
                            "QuickStats", "ReportRecords", "Contractor", "Shift", "MasterFrequency",
                            "ICS202", "ICS203", "ICS204", "ICS205", "ICS206", "ICS220"}) {
    moved += Number(Merged(), std::string("SELECT COUNT(*) FROM ") + child +
                                  " WHERE IncidentID NOT IN (0, -1, " + kept + ")");
  }
  Next();
  EXPECT_EQ(LabelText("lblSelectedInc"), "Merging Incidents...");
  At(6, (NavState{true, false, false}));
  EXPECT_EQ(LabelText("lblVerification").rfind("Verification passed: ", 0), 0u);
  // The page names the incident kept and what was folded into it.
  const std::string consolidation = LabelText("lblConsolidation");
  EXPECT_EQ(consolidation.substr(0, consolidation.find('\n')),
            "All incidents were merged into " + kept_text + " (key " + kept +
                "): " + std::to_string(incidents.size() - 1) + " incidents were folded into it, " +
                std::to_string(moved) + " rows moved.");
  EXPECT_EQ(consolidation.substr(consolidation.find('\n') + 1)
                .rfind("Verification of the folding passed: ", 0),
            0u);
  EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2", "Merged"}));
  EXPECT_EQ(msu::testing::QueryFile(Merged(), "SELECT IncidentID FROM Incidents"), Lines{kept});
  for (const char* child : {"Resources", "Persons", "AccountingCodes", "Shift", "ICS204"}) {
    const std::string table(child);
    EXPECT_EQ(msu::testing::QueryFile(Merged(), "SELECT DISTINCT IncidentID FROM " + table),
              Lines{kept})
        << table;
    EXPECT_EQ(Number(Merged(), "SELECT COUNT(*) FROM " + table),
              Both("SELECT COUNT(*) FROM " + table))
        << table;
  }

  wizard_->close();
  EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2"}));
  EXPECT_TRUE(fs::exists(Merged()));
}

// The user closes the window, or presses Back and then Next, while the merge or the
// consolidation's incident list runs: the click arrives inside one of the engine's calls that
// let window events run (a merge log line; an item added to lstMergeInc). The engine stops at
// its next step; only then does the window clean up and close, or move.
struct ClickDuringMerge {
  const char* line;  // the click comes with this merge log line; empty: with the first incident
  const char* click;
};

class ClickDuringMergeTest : public MergePagesTest,
                             public ::testing::WithParamInterface<ClickDuringMerge> {};

TEST_P(ClickDuringMergeTest, TheEngineStopsFirstAndNothingIsLeftBehind) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep5());
  const std::string line = GetParam().line;
  const std::string click = GetParam().click;
  bool clicked = false;
  auto user_clicks = [&] {
    clicked = true;
    if (click == "close") wizard_->close();
    if (click == "back-next") {
      Back();
      Next();
    }
    // Nothing has happened yet: the engine is still at work on the merge page.
    EXPECT_EQ(wizard_->CurrentStep(), 5);
    EXPECT_TRUE(wizard_->isVisible());
  };
  hooked_->after_line = [&](LogPage, const std::string& text) {
    if (!line.empty() && !clicked && text.rfind(line, 0) == 0) user_clicks();
  };
  Get<QPushButton>("cmdMerge")->click();
  const long incidents = Both("SELECT COUNT(*) FROM Incidents");
  QTreeWidget* list = Get<QTreeWidget>("lstMergeInc");
  if (line.empty()) {
    ASSERT_TRUE(wizard_->MergeCompleted());
    // The first timer event runs in the event loop of the first item's arrival.
    QTimer::singleShot(0, [&] {
      EXPECT_EQ(list->topLevelItemCount(), 1);
      user_clicks();
    });
    prompt_.QueueAnswer(Answer::kYes);
    prompt_.QueueAnswer(Answer::kYes);
    Next();
  } else {
    EXPECT_FALSE(wizard_->MergeCompleted());
    const Lines log = LogTexts(2);
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& text) {
      return text.ends_with(kStoppedByUser);
    }));
    EXPECT_FALSE(fs::exists(Merged()));
  }
  ASSERT_TRUE(clicked);
  EXPECT_EQ(prompt_.BusyDepth(), 0);

  if (click == "close") {
    EXPECT_FALSE(wizard_->isVisible());
    EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2"}));
    for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", ".msu-run.lock"}) {
      EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
    }
    if (line.empty()) {
      // The list stopped at its next item; the merge that ran to its end stays as it was.
      EXPECT_EQ(list->topLevelItemCount(), 1);
      EXPECT_EQ(Number(Merged(), "SELECT COUNT(*) FROM Incidents"), incidents);
    }
    return;
  }
  if (line.empty()) {
    // Back was taken once the list had stopped, and Next filled it again, whole.
    At(11, kOffOnOff);
    EXPECT_EQ(list->topLevelItemCount(), incidents);
  } else {
    // Back was taken once the merge had stopped (Next was disabled on the merge page). The
    // stopped merge cannot be taken up again: the check page says so and Next waits for a new
    // check, whose merge runs as the first would have, on a merge page that starts afresh.
    ASSERT_EQ(Step(), 3);
    EXPECT_EQ(LogTexts(0).back(), "Warning, the merge was stopped: run Check Databases again.");
    EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2"}));
    Next();
    ASSERT_EQ(Step(), 3);
    EXPECT_FALSE(Nav(3)->isEnabled());
    Get<QPushButton>("cmdCheckDB")->click();
    EXPECT_EQ(LogTexts(2), Lines{"Press Merge to start the final merging process."});
    EXPECT_EQ(LabelText("lblStatusMerge"), "0 %");
    EXPECT_TRUE(Get<QLabel>("lblMergeState")->isHidden());
    ASSERT_TRUE(wizard_->CheckCompleted());
    Next();
    Get<QPushButton>("cmdMerge")->click();
    ASSERT_TRUE(wizard_->MergeCompleted()) << ::testing::PrintToString(LogTexts(2));
    EXPECT_EQ(Number(Merged(), "SELECT COUNT(*) FROM Persons"),
              Both("SELECT COUNT(*) FROM Persons"));
  }
  wizard_->close();
  EXPECT_EQ(AttachedNames(), (Lines{"Fire1", "Fire2"}));
}

INSTANTIATE_TEST_SUITE_P(Clicks, ClickDuringMergeTest,
                         ::testing::Values(ClickDuringMerge{"Core table copying started", "close"},
                                           ClickDuringMerge{"Parent table: Incidents", "back-next"},
                                           ClickDuringMerge{"", "close"},
                                           ClickDuringMerge{"", "back-next"}),
                         [](const ::testing::TestParamInfo<ClickDuringMerge>& info) {
                           std::string name =
                               std::string(*info.param.line ? "Merge" : "IncidentList") +
                               info.param.click;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace msu::app::testing
