// The surroundings of a split on a real embedded server: an application folder with the suite's
// cvn.ini and instruction files, a running instance "ORVANE" in a scratch root with the login
// checked, a database to split attached under its own name, the split log and the incident
// list in memory. The engine's data connections can be made to fail. Every test ends by
// checking that the database to split came out byte for byte as it went in, attached under its
// own name.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/server_password.h"
#include "data/embedded/backend.h"
#include "data/embedded/database_file.h"
#include "data/embedded/instance.h"
#include "split/split_sequence.h"
#include "suite/sample_generator.h"
#include "tests/support/fault_injection.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::testing {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class SplitWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ + "/app");
    fs::create_directories(root_ + "/data");
    instance_ = embedded::Instance::Create(root_ + "/servers", "ORVANE", "secret");
    backend_ = std::make_unique<embedded::EmbeddedBackend>(root_ + "/servers");
    faulty_ = std::make_unique<FaultInjectingBackend>(*backend_);
    context_ = std::make_unique<Context>(root_ + "/app", progress_, prompt_, *faulty_);
    for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt"}) {
      fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, AppFile(file));
    }
    WriteFile(AppFile("cvn.ini"), "[CVN]\r\nProvider=Orvane.Embedded\r\n");
    context_->server.ServerName = "ORVANE";
    context_->server.ServerPassword = DeriveServerPassword("secret");
  }

  void TearDown() override {
    engine_.reset();
    if (!source_.empty()) {
      EXPECT_TRUE(ReadFile(source_) == source_bytes_) << "the database to split was written";
      EXPECT_TRUE(Attached(source_name_)) << source_name_ << " is not attached";
    }
    EXPECT_EQ(prompt_.BusyDepth(), 0);
    instance_.reset();
  }

  std::string AppFile(const std::string& name) const { return context_->AppFile(name); }
  std::string DataFile(const std::string& name) const { return root_ + "/data/" + name; }

  // The sample database of several incidents, attached as `name`.
  void SampleSource(long rows = 600, suite::SchemaVersion version = suite::SchemaVersion::k5_01_00,
                    const std::string& name = "Split1") {
    Source(suite::GenerateSampleDatabase(DataFile("Split1.mdf"), suite::SampleRole::kSplit, version,
                                         rows, 3)
               .path,
           name);
  }

  // A hand-made suite database of `statements` (T-SQL), attached as `name`.
  void MadeSource(const Lines& statements, const std::string& name = "Made") {
    const std::string path = DataFile(name + ".mdf");
    embedded::CreateDatabaseFile(path);
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    for (const std::string& statement : statements) connection->Execute(statement);
    connection->Close();
    Source(path, name);
  }

  void Source(const std::string& path, const std::string& name) {
    source_ = path;
    source_name_ = name;
    source_bytes_ = ReadFile(path);
    instance_->Attach(name, path);
  }

  // A new engine whose Initialize ran on the database to split.
  split::StartOutcome Start() { return split::StartSplit(*context_, source_, list_, engine_); }

  // Ticks the entries of `ids` and runs the Split button's sequence into `target`.
  split::SplitOutcome SplitInto(const std::string& target, const std::vector<int64_t>& ids,
                                split::RemovalPath removal = split::RemovalPath::kSetBased) {
    for (int64_t id : ids) EXPECT_TRUE(list_.Tick(id)) << id;
    split::SplitRun run;
    run.removal = removal;
    return split::RunSplitSequence(*context_, *engine_, source_, target, run);
  }

  bool Attached(const std::string& name) const {
    for (const embedded::AttachedDatabase& database : instance_->Databases()) {
      if (database.name == name) return true;
    }
    return false;
  }

  Lines Log() const { return progress_.Texts(LogPage::kSplit); }
  Lines Rows(const std::string& path, const std::string& sql) const { return QueryFile(path, sql); }

  const ScratchFolder scratch_;
  const std::string root_ = scratch_.path();
  std::unique_ptr<embedded::Instance> instance_;
  std::unique_ptr<embedded::EmbeddedBackend> backend_;
  std::unique_ptr<FaultInjectingBackend> faulty_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  std::unique_ptr<Context> context_;
  split::IncidentEntries list_;
  std::unique_ptr<split::Split> engine_;
  std::string source_, source_name_, source_bytes_;
};

}  // namespace msu::testing
