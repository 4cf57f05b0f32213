// The merge road of the wizard on a real embedded server, from the operation page to the merge
// page: login with the Warden password, the three paths, Check Databases with the merge
// engine on a generated sample pair, the report full screen, the summary; and at the close the
// working databases gone from the server and the user's files untouched.
#include <unistd.h>
#include <QTextEdit>

#include "core/run_lock.h"
#include "server_routines/run_locks.h"
#include "tests/app/server_wizard_fixture.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWarningLine =
    "Warning, There are differences between databases, press Next to view them";

using CheckPageTest = ServerWizardTest;

TEST_F(CheckPageTest, SamplePairFromTheFirstPageToTheMergePage) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep3("Merged"));
  const std::string new_database = data_ + "/Merged.mdf";
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath2")->text().toStdString(), new_database);
  EXPECT_FALSE(Nav(3)->isEnabled());

  Get<QPushButton>("cmdCheckDB")->click();
  const std::vector<std::string> log = LogTexts(0);
  ASSERT_FALSE(log.empty());
  for (const std::string& line : log) EXPECT_NE(line.rfind("Error", 0), 0u) << line;
  // The logs were cleared once the versions were accepted: the check's own lines only.
  const std::vector<std::string> expected = {
      "Created a working copy of Database 1: " + database1_,
      "Created a working copy of Database 2: " + database2_,
      "Reattaching Source Database",
      "Attaching Work Database A",
      "Attaching Destination Database",
      "Attaching Work Database B",
      "Checking databases for consistency and other problems ...",
      "Loading processing instructions...",
      "Created a working copy of ini for source database: " + database1_,
      "Checking for correct database structure...",
      "Current merge compatibility is merge version: 5.01.00",
      "Source Database version: 5.01.00",
      "Destination Database version: 5.01.00",
      "Consistency Check... ",
      "Consistency check complete.",
      "Warning, There are differences between databases, press Next to view them"};
  EXPECT_EQ(log.front(), expected.front());
  auto at = log.begin();
  for (const std::string& line : expected) {
    at = std::find(at, log.end(), line);
    ASSERT_NE(at, log.end()) << "missing, or out of order: " << line;
  }
  EXPECT_EQ(log.back(), expected.back());
  QTreeWidget* list = Get<QTreeWidget>("lstProgress0");
  QTreeWidgetItem* last = list->topLevelItem(list->topLevelItemCount() - 1);
  EXPECT_EQ(last->foreground(0).color(), QColor(0, 0, 255));
  EXPECT_TRUE(last->font(0).bold());

  EXPECT_TRUE(wizard_->CheckCompleted());
  EXPECT_TRUE(Nav(3)->isEnabled());
  EXPECT_TRUE(Get<QPushButton>("cmdCheckDB")->isEnabled());
  EXPECT_EQ(prompt_.BusyDepth(), 0);
  // The report is loaded, not yet shown.
  ASSERT_NE(wizard_->Viewer(), nullptr);
  EXPECT_FALSE(wizard_->Viewer()->isVisible());
  const QString hidden = Get<QTextEdit>("rtbProblems")->toPlainText();
  EXPECT_TRUE(hidden.contains("Orvane Merge Problem Report"));
  EXPECT_TRUE(hidden.contains("Fire1.mdf"));
  EXPECT_FALSE(hidden.contains('\\'));

  // A second check makes the working copies anew while the first engine still holds them.
  Get<QPushButton>("cmdCheckDB")->click();
  ASSERT_TRUE(wizard_->CheckCompleted());
  EXPECT_EQ(LogTexts(0), log);
  EXPECT_TRUE(server_services_->ProblemsToCorrect());
  EXPECT_EQ(server_services_->MergeEnginePaths(),
            (MergePaths{database1_, database2_, new_database}));

  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 5);
  frmView* viewer = wizard_->Viewer();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->windowState() & Qt::WindowMaximized);
  EXPECT_TRUE(viewer->cmdSave()->isEnabled());
  EXPECT_EQ(viewer->rtbProblems()->toPlainText(), hidden);
  EXPECT_EQ(SummaryText("lblComplete1"),
            "Database 1:             " + database1_ + "\n\nDatabase 2:             " + database2_ +
                "\n\nNew database:   " + new_database + "\n\nPress Finish to exit.");
  EXPECT_EQ(Buttons(), (NavState{false, true, false}));
  EXPECT_TRUE(Get<QPushButton>("cmdMerge")->isEnabled());

  EXPECT_EQ(AttachedNames(),
            (std::vector<std::string>{"Fire1", "Fire2", "W_O_R_K_A", "W_O_R_K_B"}));

  // Closing ends the engine's connections before the working databases are detached.
  wizard_->close();
  EXPECT_TRUE(prompt_.Boxes().empty()) << prompt_.Boxes().front().text;
  ASSERT_NE(server_services_->Engine(), nullptr);
  EXPECT_EQ(server_services_->Engine()->SourceConnection(), nullptr);
  EXPECT_EQ(server_services_->Engine()->DestinationConnection(), nullptr);
  EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"Fire1", "Fire2"}));
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }
}

TEST_F(CheckPageTest, AFailedInitializeAllowsAnotherCheckAndTheErrorFlagStopsOne) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep3());
  QPushButton* check = Get<QPushButton>("cmdCheckDB");
  QPushButton* next = Nav(3);

  // Without its instruction file the engine cannot start: the button comes back at once.
  fs::rename(app_ + "/CVN_4x.txt", app_ + "/CVN_4x.bak");
  check->click();
  EXPECT_EQ(LogTexts(0).back(), "Unable to find instructions");
  EXPECT_TRUE(check->isEnabled());
  EXPECT_FALSE(next->isEnabled());
  EXPECT_FALSE(wizard_->CheckCompleted());
  EXPECT_FALSE(server_services_->ProblemsToCorrect());

  // An error logged meanwhile (the error log raises the flag) stops the check; the flag is
  // lowered for the next one, and a path must be edited to try again.
  fs::rename(app_ + "/CVN_4x.bak", app_ + "/CVN_4x.txt");
  context_->ErrorFlag = true;
  check->click();
  EXPECT_FALSE(context_->ErrorFlag);
  EXPECT_FALSE(check->isEnabled());
  EXPECT_FALSE(next->isEnabled());
  EXPECT_FALSE(wizard_->CheckCompleted());
  EXPECT_NE(LogTexts(0).back(), kWarningLine);

  // Back, an edited path, and the check runs again: the first engine's connections do not
  // count as a use of the working databases.
  Back();
  ASSERT_EQ(wizard_->CurrentStep(), 2);
  Get<QLineEdit>("txtDataBasePath2")->setText(QString::fromStdString(data_ + "/Other.mdf"));
  Next();
  ASSERT_EQ(wizard_->CurrentStep(), 3) << LabelText("lblIDMessage");
  EXPECT_TRUE(check->isEnabled());
  check->click();
  EXPECT_TRUE(wizard_->CheckCompleted());
  EXPECT_EQ(LogTexts(0).back(), kWarningLine);
  EXPECT_EQ(server_services_->MergeEnginePaths().new_database, data_ + "/Other.mdf");
}

// The user closes the window, or presses Back and then Next, while Check Databases runs: the
// click arrives inside one of the engine's progress calls, as it does during processEvents.
// The check stops at its next step and unwinds; only then does the window clean up and close,
// or move.
struct ClickDuringCheck {
  const char* line;  // the click comes with the first line that starts so
  const char* click;
};

class ClickDuringCheckTest : public CheckPageTest,
                             public ::testing::WithParamInterface<ClickDuringCheck> {};

TEST_P(ClickDuringCheckTest, TheCheckStopsFirstAndNothingIsLeftBehind) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep3());
  const std::string click = GetParam().click;
  bool clicked = false;
  hooked_->after_line = [&](LogPage, const std::string& line) {
    if (clicked || line.rfind(GetParam().line, 0) != 0) return;
    clicked = true;
    if (click == "cancel") Nav(1)->click();
    if (click == "close") wizard_->close();
    if (click == "back-next") {
      Back();
      Next();
    }
    // Nothing has happened yet: the engine is still at work.
    EXPECT_EQ(wizard_->CurrentStep(), 3);
    EXPECT_TRUE(wizard_->isVisible());
  };
  Get<QPushButton>("cmdCheckDB")->click();
  ASSERT_TRUE(clicked);
  EXPECT_FALSE(wizard_->CheckCompleted());
  EXPECT_NE(LogTexts(0).back(), kWarningLine);
  EXPECT_EQ(prompt_.BusyDepth(), 0);
  if (click == "back-next") {
    // Back was taken once the check had stopped; Next was disabled on the check page then. The
    // stopped check left no working copy behind.
    EXPECT_EQ(wizard_->CurrentStep(), 2);
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"Fire1", "Fire2"}));
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 3) << LabelText("lblIDMessage");
    Get<QPushButton>("cmdCheckDB")->click();
    EXPECT_EQ(LogTexts(0).back(), kWarningLine);
    wizard_->close();
  }
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"Fire1", "Fire2"}));
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini", ".msu-run.lock"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, ClickDuringCheckTest,
    ::testing::Values(ClickDuringCheck{"Created a working copy of Database 1", "cancel"},
                      ClickDuringCheck{"Looking for differences in standard records", "close"},
                      ClickDuringCheck{"Consistency Check", "back-next"}),
    [](const ::testing::TestParamInfo<ClickDuringCheck>& info) {
      std::string name = info.param.click;
      std::erase(name, '-');
      return name;
    });

// The window holds the application folder only while it has working copies: another run in the
// folder does not keep it from logging in, only its check is refused, naming that run, with
// nothing changed. Once its check has made working copies another run is told they are the
// window's; going back to the database page removes them and frees the folder, and the check
// page then waits for a new check.
TEST_F(CheckPageTest, TheFolderIsHeldOnlyWhileTheWindowHasWorkingCopies) {
  const std::string lock_file = app_ + "/.msu-run.lock";
  LockHolder holder;
  std::unique_ptr<RunLock> other = RunLock::TryTake(lock_file, &holder, "msu merge");
  ASSERT_NE(other, nullptr);
  ASSERT_NO_FATAL_FAILURE(WalkToStep3());
  QPushButton* check = Get<QPushButton>("cmdCheckDB");
  check->click();
  const std::string us = "(process " + std::to_string(::getpid()) + ")";
  EXPECT_EQ(LogTexts(0).back(), "Error, the check cannot start: msu merge " + us +
                                    " is running a merge or split in this application folder.");
  EXPECT_TRUE(check->isEnabled());
  EXPECT_FALSE(Nav(3)->isEnabled());
  EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"Fire1", "Fire2"}));

  other.reset();
  check->click();
  ASSERT_TRUE(wizard_->CheckCompleted());
  EXPECT_EQ(RunLock::TryTake(lock_file, &holder), nullptr);
  EXPECT_EQ(server_routines::FolderBusyMessage(holder),
            "the Orvane Merge/Split window " + us +
                " is running a merge or split in this application folder; it lets go once its "
                "merge or split has run, or when it goes back to its database page or closes");

  Back();
  ASSERT_EQ(wizard_->CurrentStep(), 2) << LabelText("lblMessage");
  EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"Fire1", "Fire2"}));
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }
  EXPECT_NE(RunLock::TryTake(lock_file, &holder), nullptr);
  Next();
  ASSERT_EQ(wizard_->CurrentStep(), 3);
  EXPECT_EQ(LogTexts(0).back(),
            "Warning, the working copies were removed: run Check Databases again.");
  EXPECT_FALSE(Nav(3)->isEnabled());
  check->click();
  EXPECT_EQ(LogTexts(0).back(), kWarningLine);
  EXPECT_TRUE(Nav(3)->isEnabled());
}

}  // namespace
}  // namespace msu::app::testing
