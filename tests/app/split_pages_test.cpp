// The split road of the wizard on a real embedded server, driven offscreen from the operation
// page to the summary: login, the two paths, the incident list filled by the engine, ticks and
// count, Split, the summary and the verification line; and a Cancel, Back and Next that arrive
// while the split runs, which stop it first and leave nothing behind.
#include <algorithm>

#include "app/server_services.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "suite/sample_generator.h"
#include "tests/app/wizard_fixture.h"
#include "tests/support/hooked_progress.h"
#include "tests/support/sqlite_rows.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWarden = "warden-pass";

class SplitPagesTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    root_ = folder_.string();
    app_ = root_ + "/app";
    fs::create_directories(app_);
    std::ofstream(app_ + "/cvn.ini", std::ios::binary) << "[CVN]\r\nProvider=Orvane.Embedded\r\n";
    for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt"}) {
      fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, fs::path(app_) / file);
    }
    suite::SampleOptions options;
    options.out_dir = root_ + "/data";
    options.rows = 400;
    suite::GenerateSampleSet(options);
    source_ = root_ + "/data/Split1.mdf";
    bytes_ = ReadFile(source_);

    instance_ = embedded::Instance::Create(root_ + "/servers", "ORVANE", kWarden);
    instance_->Attach("Split1", source_);
    backend_ = std::make_unique<embedded::EmbeddedBackend>(root_ + "/servers");
    wizard_ = std::make_unique<frmWizard>(app_, prompt_);
    hooked_ = std::make_unique<msu::testing::HookedProgress>(wizard_->progress());
    context_ = std::make_unique<Context>(app_, *hooked_, prompt_, *backend_);
    services_ = std::make_unique<ServerServices>(*context_);
    wizard_->SetServices(services_.get());
    wizard_->show();
  }

  void TearDown() override {
    EXPECT_TRUE(ReadFile(source_) == bytes_) << "the database to split was written";
    wizard_.reset();
    services_.reset();
    context_.reset();
    hooked_.reset();
    instance_.reset();
    WizardTest::TearDown();
  }

  std::vector<std::string> Attached() {
    std::vector<std::string> names;
    for (const auto& database : instance_->Databases()) names.push_back(database.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  // From the first page to the split page with the incidents of rows 1 and 3 ticked.
  void WalkToStep9() {
    ChooseSplit();
    Next();
    TypePassword(kWarden);
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 7) << LabelText("lblMessage");
    Get<QLineEdit>("txtDataBasePath3")->setText(QString::fromStdString(source_));
    Get<QLineEdit>("txtDataBasePath4")->setText(QString::fromStdString(root_ + "/data/Result"));
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 8) << LabelText("lblSplitIDmsg");
    QTreeWidget* list = Get<QTreeWidget>("lstIncidents");
    ASSERT_EQ(list->topLevelItemCount(), 5);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "CA-114-001074, Cedar Creek");
    EXPECT_EQ(LabelText("lblIncSelected"), "Incidents checked to split: 0");
    EXPECT_EQ(Buttons(), (NavState{false, true, false}));
    Tick("lstIncidents", 1);
    Tick("lstIncidents", 3);
    EXPECT_EQ(LabelText("lblIncSelected"), "Incidents checked to split: 2");
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 9);
  }

  std::string root_, app_, source_, bytes_;
  std::unique_ptr<embedded::Instance> instance_;
  std::unique_ptr<embedded::EmbeddedBackend> backend_;
  std::unique_ptr<msu::testing::HookedProgress> hooked_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<ServerServices> services_;
};

TEST_F(SplitPagesTest, FromTheFirstPageToTheSummary) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep9());
  const std::string result = root_ + "/data/Result.mdf";
  EXPECT_EQ(Get<QLineEdit>("txtDataBasePath4")->text().toStdString(), result);
  Get<QPushButton>("cmdSplit")->click();
  EXPECT_EQ(LogTexts(1), (std::vector<std::string>{
                             "Spliting process initiated ...",
                             "Deleting unchecked incident: ID-107-001037, O'Brien Ridge",
                             "Deleting unchecked incident: ID-121-001111, Bear Gulch",
                             "Deleting unchecked incident: ID-135-001185, Dry Lake",
                             "Completed the split process.", "Done. Press Next to finish."}));
  EXPECT_EQ(Buttons(), (NavState{false, true, true}));  // Finish follows on entering step 9
  // The working copy has served: gone, and the folder free for another run.
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Result", "Split1"}));
  for (const char* name : {"W_O_R_K_A.tmp", ".msu-run.lock"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }
  EXPECT_EQ(msu::testing::QueryFile(result, "SELECT IncidentID FROM Incidents ORDER BY 1"),
            (std::vector<std::string>{"2", "4"}));

  Next();
  EXPECT_EQ(Step(), 10);
  EXPECT_EQ(SummaryText("lblSplitComplete"),
            "Source Database:             " + source_ +
                "\n\nTarget Database:             " + result +
                "\n\nIncidents contained in target database: \n\nCA-114-001074, Cedar Creek\n"
                "CA-128-001148, Pine Flat\n\nPress Finish to exit.");
  EXPECT_EQ(LabelText("lblSplitVerification")
                .rfind("Verification passed: the new database holds exactly the 2 kept "
                       "incidents",
                       0),
            0u)
      << LabelText("lblSplitVerification");
  EXPECT_EQ(LabelText("lblSplitAttachedNote"),
            "The resulting database stays attached to the server as Result when this window "
            "closes.");

  Press(4);  // Finish
  EXPECT_TRUE(wizard_->isHidden());
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Result", "Split1"}));
  EXPECT_FALSE(fs::exists(app_ + "/W_O_R_K_A.tmp"));
  EXPECT_FALSE(fs::exists(app_ + "/W_O_R_K_A.ini"));
}

// The user's clicks reach the window inside the engine's progress calls, as they do during
// processEvents: the split stops before its next incident, and only then does the window close
// and clean up, or move back, from where a second Split completes.
class ClickDuringSplitTest : public SplitPagesTest,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(ClickDuringSplitTest, TheSplitStopsFirstAndNothingIsLeftBehind) {
  ASSERT_NO_FATAL_FAILURE(WalkToStep9());
  const std::string click = GetParam();
  bool clicked = false;
  hooked_->after_line = [&](LogPage, const std::string& line) {
    if (clicked || line.rfind("Deleting unchecked incident", 0) != 0) return;
    clicked = true;
    if (click == "cancel") Press(1);
    if (click == "back-next") {
      Back();
      Next();
    }
    EXPECT_EQ(Step(), 9);
    EXPECT_TRUE(wizard_->isVisible());
  };
  Get<QPushButton>("cmdSplit")->click();
  ASSERT_TRUE(clicked);
  EXPECT_EQ(prompt_.BusyDepth(), 0);
  if (click == "back-next") {
    // Back was taken once the split had stopped; Next was disabled on the split page then.
    EXPECT_EQ(Step(), 8);
    EXPECT_EQ(Attached(), (std::vector<std::string>{"Split1", "W_O_R_K_A"}));
    Tick("lstIncidents", 3, false);  // a change of the ticks enables Split again
    Tick("lstIncidents", 3);
    Next();
    ASSERT_EQ(Step(), 9);
    Get<QPushButton>("cmdSplit")->click();
    EXPECT_EQ(LogTexts(1).back(), "Done. Press Next to finish.");
    EXPECT_EQ(msu::testing::QueryFile(root_ + "/data/Result.mdf",
                                      "SELECT IncidentID FROM Incidents ORDER BY 1"),
              (std::vector<std::string>{"2", "4"}));
    wizard_->close();
  } else {
    EXPECT_EQ(LogTexts(1).back(),
              "Error, copying and compacting database: Stopped at the user's request.");
  }
  EXPECT_TRUE(wizard_->isHidden());
  const std::vector<std::string> attached = click == "cancel"
                                                ? std::vector<std::string>{"Split1"}
                                                : std::vector<std::string>{"Result", "Split1"};
  EXPECT_EQ(Attached(), attached);
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_A.ini", ".msu-run.lock"}) {
    EXPECT_FALSE(fs::exists(app_ + "/" + name)) << name;
  }
  EXPECT_TRUE(instance_->Sessions().empty());
}

// A database file the server does not know: the page says so and how to attach it, and
// nothing is copied.
TEST_F(SplitPagesTest, ADatabaseNotAttachedIsNamedWithTheWayToAttachIt) {
  ChooseSplit();
  Next();
  TypePassword(kWarden);
  Next();
  ASSERT_EQ(wizard_->CurrentStep(), 7) << LabelText("lblMessage");
  const std::string loose = root_ + "/data/Loose.mdf";
  fs::copy_file(source_, loose);
  Get<QLineEdit>("txtDataBasePath3")->setText(QString::fromStdString(loose));
  Get<QLineEdit>("txtDataBasePath4")->setText(QString::fromStdString(root_ + "/data/Result"));
  Next();
  EXPECT_EQ(Step(), 7);
  EXPECT_EQ(LabelText("lblSplitIDmsg"),
            "Error, the database to split is not attached to the server ORVANE: no database "
            "there uses the file " +
                loose + ". Attach it first, for example with: msu-server --root " + root_ +
                "/servers attach ORVANE Loose " + loose);
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Split1"}));
  EXPECT_FALSE(fs::exists(app_ + "/W_O_R_K_A.tmp"));
  // The refusal goes with the path it was about.
  Get<QLineEdit>("txtDataBasePath3")->setText(QString::fromStdString(source_));
  EXPECT_EQ(LabelText("lblSplitIDmsg"), "");
  fs::remove(loose);
}

INSTANTIATE_TEST_SUITE_P(Clicks, ClickDuringSplitTest, ::testing::Values("cancel", "back-next"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace msu::app::testing
