// The product services over a scripted server: the real login check reached through the
// wizard, the path checks of the database pages, the refusal of what this build does not
// carry, and the clean-up at exit.
#include "app/server_services.h"
#include "core/context.h"
#include "tests/app/wizard_fixture.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"

namespace msu::app::testing {
namespace {

namespace fs = std::filesystem;

// The product services over FakeBackend, alone or under the window of WizardTest.
class ServerServicesTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    wizard_.reset();
    context_ = std::make_unique<Context>(folder_.string(), progress_, prompt_, backend_);
    context_->server = {"ORVANE", "87arden"};
    backend_.password = "87arden";
    product_ = std::make_unique<ServerServices>(*context_);
  }

  std::string File(const std::string& name) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path) << "x";
    return path;
  }
  std::string Missing(const std::string& name) { return (folder_ / name).string(); }

  void OpenWizard() {
    context_->server = {};
    wizard_ = std::make_unique<frmWizard>(folder_.string(), prompt_, product_.get());
  }
  size_t Connects() const { return backend_.Calls("Connect").size(); }

  RecordingProgress progress_;
  msu::testing::FakeBackend backend_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<ServerServices> product_;
};

TEST_F(ServerServicesTest, LoginThroughTheWizardReachesTheServer) {
  backend_.running = false;
  OpenWizard();
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 1);
  EXPECT_EQ(Get<QComboBox>("cboServers")->currentText(), "ORVANE");

  Next();  // no password: refused before any connection
  EXPECT_EQ(LabelText("lblMessage"), "Password not specified.");
  EXPECT_EQ(Connects(), 0u);

  TypePassword("warden");
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 1);
  EXPECT_EQ(LabelText("lblMessage"), "The server is stopped.");
  EXPECT_EQ(LabelText("lblMessageDetail"),
            "The server ORVANE does not answer: The server is not running.");
  EXPECT_EQ(context_->server.ServerName, "ORVANE");
  EXPECT_EQ(context_->server.ServerPassword, "87arden");

  backend_.running = true;
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 2);
  EXPECT_EQ(LabelText("lblMessage"), "");
  EXPECT_EQ(LabelText("lblMessageDetail"), "");
  EXPECT_EQ(prompt_.BusyDepth(), 0);
}

// A server that does not answer: the window closes without a box and without asking that
// server again, once for each working database, whether it has any there.
TEST_F(ServerServicesTest, ClosingAfterAFailedLoginShowsNoBoxAndAsksNoServer) {
  backend_.running = false;
  OpenWizard();
  wizard_->show();
  Next();
  TypePassword("warden");
  Next();
  ASSERT_EQ(LabelText("lblMessage"), "The server is stopped.");
  const size_t calls = backend_.calls.size();
  Press(1);
  EXPECT_FALSE(wizard_->isVisible());
  EXPECT_TRUE(prompt_.Boxes().empty()) << prompt_.Boxes().front().text;
  EXPECT_EQ(backend_.calls.size(), calls);
}

// A name no server answers to: the suite's words, and under them the servers there are.
TEST_F(ServerServicesTest, AnUnknownServerIsNamedWithTheKnownOnes) {
  backend_.servers = {"ORVANE", "SUITE"};
  backend_.Fail("Connect", 1, data::kErrServerNotFound, "The server NOWHERE does not exist.");
  OpenWizard();
  Next();
  Get<QComboBox>("cboServers")->setEditText("NOWHERE");
  TypePassword("warden");
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 1);
  EXPECT_EQ(LabelText("lblMessage"), "Error, number -2147220991");
  EXPECT_EQ(LabelText("lblMessageDetail"),
            "No server named NOWHERE on this machine. Known servers: ORVANE, SUITE.");
}

TEST_F(ServerServicesTest, MissingExtensionsAreAddedAndARefusalKeepsItsMessage) {
  const std::string one = File("Fire1.mdf");
  const std::string two = File("Fire2.mdf");
  MergePaths boxes{Missing("Fire1"), two, Missing("Fire3.MDF.bak")};
  const StepCheck result = product_->ValidateMergePaths(boxes);
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_EQ(boxes.database1, one);
  EXPECT_EQ(boxes.new_database, Missing("Fire3.MDF.bak"));  // mentions .mdf: left alone
  EXPECT_TRUE(prompt_.Boxes().empty());                     // the new database does not exist

  // The rules themselves are the shared routine's; a refusal passes its message on, before
  // any connection to the server.
  MergePaths same{one, " " + one, "New"};
  const size_t connects = Connects();
  const StepCheck refused = product_->ValidateMergePaths(same);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.message, "Error, Database 1 and Database 2 are the same.");
  EXPECT_EQ(Connects(), connects);
}

TEST_F(ServerServicesTest, DatabasesInUseAreNamedAndNotOverwrittenWithoutAsking) {
  const std::string one = File("Fire1.mdf");
  const std::string two = File("Fire2.mdf");
  const std::string existing = File("New.mdf");
  backend_.databases = {{"Fire1", one}, {"Fire2", two}, {"Other", Missing("Other.mdf")}};
  backend_.processes = {{51, "Other"}, {52, "Fire2"}};

  MergePaths boxes{one, two, existing};
  StepCheck result = product_->ValidateMergePaths(boxes);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "There are open connections to the   Fire2    database(s).");

  backend_.processes = {};
  prompt_.QueueAnswer(Answer::kNo);
  result = product_->ValidateMergePaths(boxes);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "");
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "The Resulting database exists.  Do you want to overwrite it?");
  EXPECT_EQ(prompt_.Boxes()[0].title, "Warning");
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kYesNo);
  EXPECT_EQ(prompt_.Boxes()[0].icon, Icon::kExclamation);

  prompt_.QueueAnswer(Answer::kYes);
  EXPECT_TRUE(product_->ValidateMergePaths(boxes).ok);
  EXPECT_EQ(prompt_.BusyDepth(), 0);
  // Enter keeps the file; the question's words are the suite's, the file is named beside it.
  EXPECT_EQ(prompt_.Boxes()[0].default_answer, Answer::kNo);
  std::vector<std::string> notes;
  product_->SetOverwriteNote([&](const std::string& path) { notes.push_back(path); });
  prompt_.QueueAnswer(Answer::kNo);
  product_->ValidateMergePaths(boxes);
  EXPECT_EQ(notes, (std::vector<std::string>{existing, ""}));
}

TEST_F(ServerServicesTest, SplitPathsFollowTheSameRulesWithTheirOwnTexts) {
  const std::string big = File("Big.mdf");
  const std::string small = File("Small.mdf");
  struct Case {
    std::string source, target, message;
  };
  const std::vector<Case> cases = {
      {" ", "", "Error, Database to Split not specified"},
      {"x", "", "Error, Database does not exist"},  // "x.mdf" after the extension is added
      {Missing("Gone"), "", "Error, Database does not exist"},
      {big, " ", "Error, Resulting Database not specified"},
      {big, big, "Error, databases are the same name."},
  };
  for (const Case& test : cases) {
    std::string source = test.source, target = test.target;
    const StepCheck result = product_->ValidateSplitPaths(source, target);
    EXPECT_FALSE(result.ok) << test.message;
    EXPECT_EQ(result.message, test.message);
  }

  backend_.databases = {{"W_O_R_K_A", Missing("W_O_R_K_A.tmp")}};
  backend_.processes = {{51, "W_O_R_K_A"}};
  std::string source = Missing("Big"), target = small;
  StepCheck result = product_->ValidateSplitPaths(source, target);
  EXPECT_EQ(source, big);
  EXPECT_EQ(result.message, "There are open connections to the    W_O_R_K_A database(s).");

  backend_.processes = {};
  prompt_.QueueAnswer(Answer::kNo);
  result = product_->ValidateSplitPaths(source, target);
  EXPECT_FALSE(result.ok);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, "The Resulting database exists. Do you want to overwrite it?");
}

TEST_F(ServerServicesTest, WhatThisBuildDoesNotCarryIsRefusedNotFaked) {
  backend_.running = false;
  const StepCheck version = product_->AcceptSplitSource(File("Big.mdf"));
  EXPECT_FALSE(version.ok);
  EXPECT_EQ(version.message, "Error, the version of the database to split could not be read.");

  // A split that cannot start says why, and a split without an engine reports no success.
  split::IncidentEntries list;
  const SplitStart start = product_->StartSplit(File("Big.mdf"), list);
  EXPECT_FALSE(start.ok);
  EXPECT_EQ(start.message.rfind("Error, ", 0), 0u) << start.message;
  EXPECT_FALSE(product_->RunSplit("a", "b").ok);
}

TEST_F(ServerServicesTest, ACheckStoppedAtTheVersionsKeepsTheLogsAndMakesNoEngine) {
  backend_.running = false;
  progress_.AddProgress("Press Check Databases to proceed.");
  progress_.AddProgressMerge("Press Merge to proceed.");
  EXPECT_EQ(product_->RunCheck({File("A.mdf"), File("B.mdf"), "C.mdf"}), CheckOutcome::kStopped);
  // The logs are cleared only once the versions are accepted: the reason stays on screen.
  const std::vector<std::string> check = progress_.Texts(LogPage::kCheck);
  ASSERT_GE(check.size(), 2u);
  EXPECT_EQ(check.front(), "Press Check Databases to proceed.");
  EXPECT_EQ(check.back().rfind("Error", 0), 0u) << check.back();
  EXPECT_EQ(progress_.Texts(LogPage::kMerge), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_EQ(product_->Engine(), nullptr);
  EXPECT_FALSE(product_->ProblemsToCorrect());
  EXPECT_EQ(product_->MergeEnginePaths(), MergePaths{});
  EXPECT_FALSE(fs::exists(folder_ / "W_O_R_K_A.tmp"));
}

TEST_F(ServerServicesTest, ClosingBeforeAnyLoginDeletesLeftoversAndDetachesNothing) {
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.ini", "Error.txt"}) File(name);
  const std::string user_file = File("keep.mdf");
  OpenWizard();
  wizard_->show();
  wizard_->close();
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.ini", "Error.txt"}) {
    EXPECT_FALSE(fs::exists(folder_ / name)) << name;
  }
  EXPECT_TRUE(fs::exists(user_file));
  EXPECT_TRUE(backend_.calls.empty());
}

}  // namespace
}  // namespace msu::app::testing
