// The surroundings of an administration routine under test: a fresh application folder, a
// folder of the user's database files, a fake server, the progress log and the message boxes.
// Every test ends by checking that the user's files are byte for byte what they were and that
// no administration connection was left open.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/context.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::testing {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RoutineWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"/app", "/data", "/out"}) fs::create_directories(root_ + folder);
    context_ = std::make_unique<Context>(root_ + "/app", progress_, prompt_, server_);
  }

  void TearDown() override {
    for (const auto& [path, bytes] : user_files_) {
      EXPECT_EQ(ReadFile(path), bytes) << path << " of the user changed";
      EXPECT_EQ(fs::last_write_time(path), user_times_[path]) << path << " was written";
    }
    EXPECT_EQ(server_.open_connections, 0) << "an administration connection was left open";
    EXPECT_EQ(server_.abandoned_connections, 0) << "a connection ended without Disconnect";
    EXPECT_EQ(prompt_.BusyDepth(), 0);
  }

  // A user's database file, attached to the server as `name` unless that is empty.
  std::string UserDatabase(const std::string& file, const std::string& name) {
    const std::string path = root_ + "/data/" + file;
    WriteFile(path, "user data of " + file + std::string(4096, static_cast<char>(file.size())));
    user_files_[path] = ReadFile(path);
    user_times_[path] = fs::last_write_time(path);
    if (!name.empty()) server_.databases.push_back({name, path});
    return path;
  }

  std::string AppFile(const std::string& name) const { return context_->AppFile(name); }
  std::string AppFileWith(const std::string& name, const std::string& bytes = "old") {
    WriteFile(AppFile(name), bytes);
    return AppFile(name);
  }
  std::string OutFile(const std::string& name) const { return root_ + "/out/" + name; }

  void LoggedIn() {
    context_->server.ServerName = "ORVANE";
    context_->server.ServerPassword = server_.password;
  }

  // The texts of the message boxes shown, each checked to be a plain OK box without title.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : prompt_.Boxes()) {
      EXPECT_EQ(box.title, "");
      EXPECT_EQ(box.buttons, Buttons::kOk);
      EXPECT_EQ(box.icon, Icon::kNone);
      texts.push_back(box.text);
    }
    return texts;
  }

  const ScratchFolder scratch_;
  const std::string root_ = scratch_.path();
  FakeBackend server_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  std::unique_ptr<Context> context_;
  std::map<std::string, std::string> user_files_;
  std::map<std::string, fs::file_time_type> user_times_;
};

}  // namespace msu::testing
