// The product services over a scripted server: the real login check reached through the
// wizard, the path checks of the database pages, the refusal of what this build does not
// carry, and the clean-up at exit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "app/frm_wizard.h"
#include "app/server_services.h"
#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "server/admin.h"
#include "server/backend.h"

namespace msu::app {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
  static int argc = 1;
  static char name[] = "server_services_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// A server of attached databases and their users, scripted by the test.
struct ServerScript {
  bool running = true;
  struct Database {
    std::string name;
    std::string file;
  };
  std::vector<Database> databases;
  std::vector<std::string> processes;  // database name of each process
  int connects = 0;
  int detaches = 0;
};

class ScriptedAdmin : public data::AdminConnection {
 public:
  explicit ScriptedAdmin(ServerScript& script) : script_(script) {}
  void Disconnect() override {}
  std::string ReadServerProperty() override { return "scripted"; }
  std::vector<std::string> ListDatabases() override {
    std::vector<std::string> names;
    for (const auto& database : script_.databases) names.push_back(database.name);
    return names;
  }
  data::ResultTable ListDatabaseFiles(const std::string& database) override {
    data::ResultTable table(
        {"fileid", "groupid", "size", "maxsize", "growth", "status", "perf", "name", "filename"});
    for (const auto& entry : script_.databases) {
      if (entry.name == database) {
        table.AddRow({"1", "1", "8", "-1", "10", "0", "0", entry.name, entry.file + "      "});
      }
    }
    return table;
  }
  data::ResultTable ListProcesses() override {
    data::ResultTable table(
        {"spid", "ecid", "status", "loginame", "hostname", "blk", "dbname", "cmd", "request_id"});
    long spid = 51;
    for (const std::string& database : script_.processes) {
      table.AddRow({std::to_string(spid++), "0", "sleeping", "VESTRA", "host", "0",
                    database + "    ", "AWAITING COMMAND", "0"});
    }
    return table;
  }
  void KillProcess(long) override {}
  std::string AttachDatabase(const std::string&, const std::string&) override { return {}; }
  std::string DetachDatabase(const std::string&, bool) override {
    ++script_.detaches;
    return {};
  }

 private:
  ServerScript& script_;
};

class ScriptedBackend : public data::Backend {
 public:
  explicit ScriptedBackend(ServerScript& script) : script_(script) {}
  std::vector<std::string> ListServers() override { return {"ORVANE"}; }
  std::unique_ptr<data::AdminConnection> Connect(const std::string&, const std::string&,
                                                 const std::string&) override {
    ++script_.connects;
    if (!script_.running) {
      throw data::AdminError(data::kErrServerStopped, "The server is not running.");
    }
    return std::make_unique<ScriptedAdmin>(script_);
  }
  std::unique_ptr<data::Connection> CreateConnection() override { return nullptr; }
  std::string DataConnectionString(const std::string&, const std::string&) override { return {}; }

 private:
  ServerScript& script_;
};

class ServerServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    folder_ = std::filesystem::temp_directory_path() /
              ("server_services_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    context_ = std::make_unique<Context>(folder_.string(), progress_, prompt_, backend_);
    context_->server = {"ORVANE", "87arden"};
    services_ = std::make_unique<ServerServices>(*context_);
  }
  void TearDown() override {
    wizard_.reset();
    std::filesystem::remove_all(folder_);
  }

  std::string File(const std::string& name) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path) << "x";
    return path;
  }
  std::string Missing(const std::string& name) { return (folder_ / name).string(); }

  void OpenWizard() {
    context_->server = {};
    wizard_ = std::make_unique<frmWizard>(folder_.string(), prompt_, services_.get());
  }
  template <typename T>
  T* Get(const char* name) {
    return wizard_->findChild<T*>(name);
  }
  void Next() { Get<QPushButton>("cmdNav3")->click(); }

  std::filesystem::path folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  ServerScript server_;
  ScriptedBackend backend_{server_};
  std::unique_ptr<Context> context_;
  std::unique_ptr<ServerServices> services_;
  std::unique_ptr<frmWizard> wizard_;
};

TEST_F(ServerServicesTest, LoginThroughTheWizardReachesTheServer) {
  server_.running = false;
  OpenWizard();
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 1);
  EXPECT_EQ(Get<QComboBox>("cboServers")->currentText(), "ORVANE");

  Next();  // no password: refused before any connection
  EXPECT_EQ(Get<QLabel>("lblMessage")->text(), "Password not specified.");
  EXPECT_EQ(server_.connects, 0);

  Get<QLineEdit>("txtPassword")->setText("warden");
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 1);
  EXPECT_EQ(Get<QLabel>("lblMessage")->text(), "The server is stopped.");
  EXPECT_EQ(context_->server.ServerName, "ORVANE");
  EXPECT_EQ(context_->server.ServerPassword, "87arden");

  server_.running = true;
  Next();
  EXPECT_EQ(wizard_->CurrentStep(), 2);
  EXPECT_EQ(Get<QLabel>("lblMessage")->text(), "");
  EXPECT_EQ(prompt_.BusyDepth(), 0);
}

TEST_F(ServerServicesTest, MergePathsAreRefusedByTheFirstFailingTest) {
  const std::string one = File("Fire1.mdf");
  const std::string two = File("Fire2.mdf");
  struct Case {
    MergePaths boxes;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{" ", two, "New"}, "Error, Source Database not specified"},
      {{one, "", ""}, "Error, Database 2 not specified"},
      {{Missing("Gone.mdf"), Missing("Gone2.mdf"), ""}, "Error, Database 1 does not exist"},
      {{one, Missing("Gone2.mdf"), ""}, "Error, Database 2 does not exist"},
      {{one, two, ""}, "Error, Resulting Database not specified"},
      {{one, " " + one, "New"}, "Error, Database 1 and Database 2 are the same."},
      {{one, two, two}, "Error, Database 1 or Database 2 are the same as the new database."},
  };
  for (const Case& test : cases) {
    MergePaths boxes = test.boxes;
    const StepCheck result = services_->ValidateMergePaths(boxes);
    EXPECT_FALSE(result.ok) << test.message;
    EXPECT_EQ(result.message, test.message);
  }
  EXPECT_EQ(server_.connects, 0);  // no test above needs the server
}

TEST_F(ServerServicesTest, MissingExtensionsAreAddedBeforeTheTests) {
  const std::string one = File("Fire1.mdf");
  const std::string two = File("Fire2.mdf");
  MergePaths boxes{Missing("Fire1"), two, Missing("Fire3.MDF.bak")};
  const StepCheck result = services_->ValidateMergePaths(boxes);
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_EQ(boxes.database1, one);
  EXPECT_EQ(boxes.new_database, Missing("Fire3.MDF.bak"));  // mentions .mdf: left alone
  EXPECT_TRUE(prompt_.Boxes().empty());                     // the new database does not exist

  MergePaths blank{"", "", "   "};
  services_->ValidateMergePaths(blank);
  EXPECT_EQ(blank.database1, "");
  EXPECT_EQ(blank.new_database, "   ");
}

TEST_F(ServerServicesTest, DatabasesInUseAreNamedAndNotOverwrittenWithoutAsking) {
  const std::string one = File("Fire1.mdf");
  const std::string two = File("Fire2.mdf");
  const std::string existing = File("New.mdf");
  server_.databases = {{"Fire1", one}, {"Fire2", two}, {"Other", Missing("Other.mdf")}};
  server_.processes = {"Other", "Fire2"};

  MergePaths boxes{one, two, existing};
  StepCheck result = services_->ValidateMergePaths(boxes);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "There are open connections to the   Fire2    database(s).");

  server_.processes = {};
  prompt_.QueueAnswer(Answer::kNo);
  result = services_->ValidateMergePaths(boxes);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "");
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text,
            "The Resulting database exists.  Do you want to overwrite it?");
  EXPECT_EQ(prompt_.Boxes()[0].title, "Warning");
  EXPECT_EQ(prompt_.Boxes()[0].buttons, Buttons::kYesNo);
  EXPECT_EQ(prompt_.Boxes()[0].icon, Icon::kExclamation);

  prompt_.QueueAnswer(Answer::kYes);
  EXPECT_TRUE(services_->ValidateMergePaths(boxes).ok);
  EXPECT_EQ(prompt_.BusyDepth(), 0);
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
    const StepCheck result = services_->ValidateSplitPaths(source, target);
    EXPECT_FALSE(result.ok) << test.message;
    EXPECT_EQ(result.message, test.message);
  }

  server_.databases = {{"W_O_R_K_A", Missing("W_O_R_K_A.tmp")}};
  server_.processes = {"W_O_R_K_A"};
  std::string source = Missing("Big"), target = small;
  StepCheck result = services_->ValidateSplitPaths(source, target);
  EXPECT_EQ(source, big);
  EXPECT_EQ(result.message, "There are open connections to the    W_O_R_K_A database(s).");

  server_.processes = {};
  prompt_.QueueAnswer(Answer::kNo);
  result = services_->ValidateSplitPaths(source, target);
  EXPECT_FALSE(result.ok);
  ASSERT_EQ(prompt_.Boxes().size(), 1u);
  EXPECT_EQ(prompt_.Boxes()[0].text, "The Resulting database exists. Do you want to overwrite it?");
}

TEST_F(ServerServicesTest, WhatThisBuildDoesNotCarryIsRefusedNotFaked) {
  server_.running = false;
  const StepCheck version = services_->AcceptSplitSource(File("Big.mdf"));
  EXPECT_FALSE(version.ok);
  EXPECT_EQ(version.message, "Error, the version of the database to split could not be read.");

  const SplitStart start = services_->StartSplit(File("Big.mdf"));
  EXPECT_FALSE(start.ok);
  EXPECT_EQ(start.message, "The split is not available in this build.");
  EXPECT_FALSE(services_->RunSplit("a", "b", {1}));
  EXPECT_EQ(progress_.Texts(LogPage::kSplit).back(), "The split is not available in this build.");

  EXPECT_FALSE(services_->RunMerge());
  EXPECT_EQ(progress_.Texts(LogPage::kMerge).back(), "The merge is not available in this build.");
}

TEST_F(ServerServicesTest, ACheckStoppedAtTheVersionsKeepsTheLogsAndMakesNoEngine) {
  server_.running = false;
  progress_.AddProgress("Press Check Databases to proceed.");
  progress_.AddProgressMerge("Press Merge to proceed.");
  EXPECT_EQ(services_->RunCheck({File("A.mdf"), File("B.mdf"), "C.mdf"}), CheckOutcome::kStopped);
  // The logs are cleared only once the versions are accepted: the reason stays on screen.
  const std::vector<std::string> check = progress_.Texts(LogPage::kCheck);
  ASSERT_GE(check.size(), 2u);
  EXPECT_EQ(check.front(), "Press Check Databases to proceed.");
  EXPECT_EQ(check.back().rfind("Error", 0), 0u) << check.back();
  EXPECT_EQ(progress_.Texts(LogPage::kMerge), std::vector<std::string>{"Press Merge to proceed."});
  EXPECT_EQ(services_->Engine(), nullptr);
  EXPECT_FALSE(services_->ProblemsToCorrect());
  EXPECT_EQ(services_->MergeEnginePaths(), MergePaths{});
  EXPECT_FALSE(fs::exists(folder_ / "W_O_R_K_A.tmp"));
}

TEST_F(ServerServicesTest, ClosingBeforeAnyLoginDeletesLeftoversAndDetachesNothing) {
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.ini", "Error.txt"}) File(name);
  const std::string user_file = File("keep.mdf");
  OpenWizard();
  wizard_->show();
  wizard_->close();
  EXPECT_FALSE(std::filesystem::exists(folder_ / "W_O_R_K_A.tmp"));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "W_O_R_K_B.ini"));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "Error.txt"));
  EXPECT_TRUE(std::filesystem::exists(user_file));
  EXPECT_EQ(server_.connects, 0);
  EXPECT_EQ(server_.detaches, 0);
}

}  // namespace
}  // namespace msu::app
