// The wizard window of WizardTest over the product's services and a real embedded server in a
// scratch root: an application folder with cvn.ini and the instruction file, and a generated
// sample pair Fire1/Fire2 attached as the suite keeps them. Every test ends by checking that
// the user's two files came out byte for byte as they went in.
#pragma once

#include <algorithm>

#include "app/server_services.h"
#include "core/context.h"
#include "data/embedded/instance.h"
#include "data/machine_servers.h"
#include "server_routines/run_locks.h"
#include "suite/sample_generator.h"
#include "tests/app/wizard_fixture.h"
#include "tests/support/hooked_progress.h"

namespace msu::app::testing {

class ServerWizardTest : public WizardTest {
 protected:
  static constexpr const char* kWarden = "warden-pass";

  void SetUp() override {
    namespace fs = std::filesystem;
    WizardTest::SetUp();
    root_ = folder_.string();
    app_ = root_ + "/app";
    data_ = root_ + "/data";
    fs::create_directories(app_);
    std::ofstream(app_ + "/cvn.ini", std::ios::binary) << "[CVN]\r\nProvider=Orvane.Embedded\r\n";
    fs::copy_file(fs::path(ORVANE_SUITE_FILES) / "CVN_4x.txt", app_ + "/CVN_4x.txt");

    suite::SampleOptions options;
    options.out_dir = data_;
    options.rows = sample_rows_;
    suite::GenerateSampleSet(options);
    database1_ = data_ + "/Fire1.mdf";
    database2_ = data_ + "/Fire2.mdf";
    bytes1_ = ReadFile(database1_);
    bytes2_ = ReadFile(database2_);

    // The user's databases are attached to the server, as the suite keeps them.
    instance_ = embedded::Instance::Create(root_ + "/servers", "ORVANE", kWarden);
    instance_->Attach("Fire1", database1_);
    instance_->Attach("Fire2", database2_);

    // The servers as the program sees them, so that the wizard takes the program's own paths.
    servers_ = std::make_unique<data::MachineServers>(root_ + "/servers");
    wizard_ = std::make_unique<frmWizard>(app_, prompt_);
    hooked_ = std::make_unique<msu::testing::HookedProgress>(wizard_->progress());
    context_ = std::make_unique<Context>(app_, *hooked_, prompt_, servers_->backend());
    context_->locks.owner = server_routines::kWindowRunName;
    server_services_ = std::make_unique<ServerServices>(*context_, &wizard_->ProblemReportViewer());
    wizard_->SetServices(server_services_.get());
    wizard_->show();
  }

  void TearDown() override {
    EXPECT_TRUE(ReadFile(database1_) == bytes1_) << "Database 1 was written";
    EXPECT_TRUE(ReadFile(database2_) == bytes2_) << "Database 2 was written";
    wizard_.reset();
    server_services_.reset();
    context_.reset();
    hooked_.reset();
    instance_.reset();
    WizardTest::TearDown();
  }

  std::vector<std::string> AttachedNames() {
    std::vector<std::string> names;
    for (const auto& database :
         embedded::Instance::Open(root_ + "/servers", "ORVANE")->Databases()) {
      names.push_back(database.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The merge road up to the check page, with the sample pair and the new database typed.
  void WalkToStep3(const std::string& new_database = "Merged.mdf") {
    ChooseMerge();
    Next();
    TypePassword(kWarden);
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 2) << LabelText("lblMessage");
    TypePaths(database1_, database2_, data_ + "/" + new_database);
  }

  // Types the three paths of the merge database page and moves on to the check page.
  void TypePaths(const std::string& database1, const std::string& database2,
                 const std::string& new_database) {
    Get<QLineEdit>("txtDataBasePath0")->setText(QString::fromStdString(database1));
    Get<QLineEdit>("txtDataBasePath1")->setText(QString::fromStdString(database2));
    Get<QLineEdit>("txtDataBasePath2")->setText(QString::fromStdString(new_database));
    Next();
    ASSERT_EQ(wizard_->CurrentStep(), 3) << LabelText("lblIDMessage");
  }

  // Rows of each sample database; set before SetUp.
  long sample_rows_ = 400;
  std::string root_, app_, data_;
  std::string database1_, database2_, bytes1_, bytes2_;
  std::unique_ptr<embedded::Instance> instance_;
  std::unique_ptr<data::MachineServers> servers_;
  // The engine's log: the wizard's own, with a place for the user's clicks.
  std::unique_ptr<msu::testing::HookedProgress> hooked_;
  std::unique_ptr<Context> context_;
  std::unique_ptr<ServerServices> server_services_;
};

}  // namespace msu::app::testing
