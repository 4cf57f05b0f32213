// A wizard window over scripted services and a scripted prompt, and the helpers the GUI tests
// share to find its controls and read its state; the one QApplication of every app test.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/frm_view.h"
#include "app/frm_wizard.h"
#include "app/wizard_services.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::app::testing {

// The one QApplication of a test program.
inline QApplication& App() {
  static int argc = 1;
  static char name[] = "app_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

using msu::testing::ReadFile;

// Services that answer from fields the test sets and remember what they were asked.
class ScriptedServices : public WizardServices {
 public:
  struct LoginCall {
    std::string server;
    std::string password;
    int direction;
    bool operator==(const LoginCall&) const = default;
  };

  std::vector<std::string> servers{"ORVANE", "SPARE"};
  StepCheck login{true, ""};
  StepCheck merge_paths{true, ""};
  // When set, ValidateMergePaths rewrites the boxes to these texts.
  std::optional<MergePaths> rewritten_paths;
  CheckOutcome check_outcome = CheckOutcome::kCompleted;
  msu::Progress* progress = nullptr;  // the wizard's logs
  bool problems = false;
  MergePaths engine_paths{"/db/Fire1.mdf", "/db/Fire2.mdf", "/db/New.mdf"};
  MergeResult merge_result{MergeEnd::kCompleted, {}, "Verification passed.", {}};
  // When set, a merge with the re-merge guard finds Database 1 in Database 2 with these figures.
  std::optional<merge::RemergeCounts> merged_before;
  // Texts and tags of the incidents of the new database.
  std::vector<std::pair<std::string, std::string>> merge_incidents{{"21-1, Flood", "    11"},
                                                                   {"22-7, Fire", "    12"}};
  ConsolidationResult consolidation{true, 1, 40, "Verification of the folding passed.", true};
  StepCheck split_paths{true, ""};
  StepCheck split_source{true, ""};
  SplitStart split_start{true, ""};
  // What StartSplit puts into the list, as the engine would: text and tag of each incident.
  std::vector<std::pair<std::string, std::string>> split_incidents{
      {"Storm", "     1"}, {"Quake", "     2"}, {"Fire", "     3"}, {"Flood", "     4"}};
  SplitResult split_result{true, "Verification passed: all of it."};

  int list_servers_calls = 0;
  std::vector<LoginCall> logins;
  int validate_merge_calls = 0;
  int check_calls = 0;
  std::vector<bool> merges;  // allow_remerge of each merge
  int list_merge_incident_calls = 0;
  std::vector<long> finish_copy_tables;
  int validate_split_calls = 0;
  int accept_split_calls = 0;
  std::vector<std::string> split_starts;
  // The tags of the ticked entries at each RunSplit.
  std::vector<std::vector<std::string>> splits;
  split::IncidentList* split_list = nullptr;
  std::vector<std::string> saved_reports;
  int cleanups = 0;
  // When set, ValidateMergePaths asks about this existing new database; `label_now` reads the
  // page's label while the question is up, into `notes_during_question`.
  std::string existing_new_database;
  OverwriteNote overwrite_note;
  std::function<std::string()> label_now;
  std::vector<std::string> notes_during_question;
  std::string LabelNow() { return label_now ? label_now() : std::string(); }

  std::vector<std::string> ListServers() override {
    ++list_servers_calls;
    return servers;
  }
  StepCheck CheckLogin(const std::string& server, const std::string& password,
                       int direction) override {
    logins.push_back({server, password, direction});
    return login;
  }
  StepCheck ValidateMergePaths(MergePaths& boxes) override {
    ++validate_merge_calls;
    if (rewritten_paths) boxes = *rewritten_paths;
    // The path checks name an existing new database while they ask about it.
    if (!existing_new_database.empty() && overwrite_note) {
      overwrite_note(existing_new_database);
      notes_during_question.push_back(LabelNow());
      overwrite_note("");
    }
    return merge_paths;
  }
  void SetOverwriteNote(OverwriteNote note) override { overwrite_note = std::move(note); }
  // Like the engine's check sequence, a completed check ends with its closing line.
  CheckOutcome RunCheck(const MergePaths& /*paths*/) override {
    ++check_calls;
    if (check_outcome == CheckOutcome::kCompleted && progress != nullptr) {
      progress->AddProgress(
          problems ? "Warning, There are differences between databases, press Next to view them"
                   : "Done, no differences found. Press Next to complete the merge");
    }
    return check_outcome;
  }
  bool ProblemsToCorrect() override { return problems; }
  MergePaths MergeEnginePaths() override { return engine_paths; }
  MergeResult RunMerge(bool allow_remerge) override {
    merges.push_back(allow_remerge);
    if (merged_before && !allow_remerge) return {MergeEnd::kMergedBefore, *merged_before, "", {}};
    return merge_result;
  }
  void ListMergeIncidents(merge::IncidentChoice& list) override {
    ++list_merge_incident_calls;
    list.Clear();
    for (const auto& [text, tag] : merge_incidents) list.AddItem(text, tag);
  }
  ConsolidationResult FinishCopyTables(long merge_into_incident,
                                       merge::IncidentChoice& list) override {
    list.SetSelectedCaption("Merging Incidents...");
    finish_copy_tables.push_back(merge_into_incident);
    return consolidation;
  }
  StepCheck ValidateSplitPaths(std::string& /*source*/, std::string& /*target*/) override {
    ++validate_split_calls;
    return split_paths;
  }
  StepCheck AcceptSplitSource(const std::string& /*source*/) override {
    ++accept_split_calls;
    return split_source;
  }
  SplitStart StartSplit(const std::string& source, split::IncidentList& list) override {
    split_starts.push_back(source);
    split_list = &list;
    list.Clear();
    for (const auto& [text, tag] : split_incidents) list.AddItem(text, tag);
    list.SetSelectedCaption("Incidents checked to split: 0");
    return split_start;
  }
  // Marks the ticked entries as the engine does.
  SplitResult RunSplit(const std::string& /*source*/, const std::string& /*target*/) override {
    std::vector<std::string> kept;
    for (int i = 0; i < split_list->Count(); ++i) {
      if (!split_list->Checked(i)) continue;
      kept.push_back(split_list->Tag(i));
      split_list->SetStatus(i, "Split", true);
    }
    split_list->SetEnabled(false);
    splits.push_back(kept);
    return split_result;
  }
  void SaveReport(const std::string& target_path) override { saved_reports.push_back(target_path); }
  void CleanUpAtExit() override { ++cleanups; }
};

// The Finish, Back and Next buttons as the tests compare them.
struct NavState {
  bool finish;
  bool back;
  bool next;
  bool operator==(const NavState&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const NavState& state) {
  return out << "F " << state.finish << " / B " << state.back << " / N " << state.next;
}

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    wizard_ = std::make_unique<frmWizard>(folder_.string(), prompt_, &services_);
    services_.progress = &wizard_->progress();
  }
  void TearDown() override { wizard_.reset(); }

  template <typename T>
  T* Get(const std::string& name) {
    T* widget = wizard_->findChild<T*>(QString::fromStdString(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QPushButton* Nav(int index) { return Get<QPushButton>("cmdNav" + std::to_string(index)); }
  NavState Buttons() { return {Nav(4)->isEnabled(), Nav(2)->isEnabled(), Nav(3)->isEnabled()}; }
  // Presses a navigation button the way the user does; a disabled button does nothing.
  void Press(int index) { Nav(index)->click(); }
  void Next() { Press(3); }
  void Back() { Press(2); }

  // Steps whose frames are on screen and take input.
  std::vector<int> ShownSteps() {
    std::vector<int> shown;
    for (int step = 0; step < kStepCount; ++step) {
      QGroupBox* frame = Get<QGroupBox>("fraStep" + std::to_string(step));
      if (!frame->isHidden() || frame->isEnabled()) shown.push_back(step);
    }
    return shown;
  }
  // The current step, checked against the frames: exactly that one is shown and enabled.
  int Step() {
    const int step = wizard_->CurrentStep();
    EXPECT_EQ(ShownSteps(), std::vector<int>{step});
    QGroupBox* frame = Get<QGroupBox>("fraStep" + std::to_string(step));
    EXPECT_TRUE(!frame->isHidden() && frame->isEnabled()) << "step " << step;
    return step;
  }

  // Expects the current step and its Finish, Back and Next buttons.
  void At(int step, NavState buttons) {
    EXPECT_EQ(Step(), step);
    EXPECT_EQ(Buttons(), buttons) << "step " << step;
  }

  std::string LabelText(const std::string& name) { return Get<QLabel>(name)->text().toStdString(); }
  // A summary label's words, as the summary wrote them (line ends made line breaks); the label
  // itself shows them as a table.
  std::string SummaryText(const std::string& name) {
    return Get<QLabel>(name)->accessibleDescription().toStdString();
  }
  std::vector<std::string> LogTexts(int index) {
    std::vector<std::string> texts;
    QTreeWidget* list = Get<QTreeWidget>("lstProgress" + std::to_string(index));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      texts.push_back(list->topLevelItem(i)->text(0).toStdString());
    }
    return texts;
  }

  void ChooseSplit() { Get<QRadioButton>("optSplitMerge0")->setChecked(true); }
  void ChooseMerge() { Get<QRadioButton>("optSplitMerge1")->setChecked(true); }
  void TypePassword(const char* password) { Get<QLineEdit>("txtPassword")->setText(password); }
  void Tick(const std::string& list, int row, bool ticked = true) {
    Get<QTreeWidget>(list)->topLevelItem(row)->setCheckState(0,
                                                             ticked ? Qt::Checked : Qt::Unchecked);
  }

  // From step 0 through the server page, to step 2 for a merge or step 7 for a split.
  void LogIn(bool split = false) {
    split ? ChooseSplit() : ChooseMerge();
    Next();
    TypePassword("warden");
    Next();
  }
  // From step 0 to the check page of a merge, with a completed check.
  void WalkToCheckedStep3() {
    LogIn();
    Get<QLineEdit>("txtDataBasePath0")->setText("/db/Fire1.mdf");
    Get<QLineEdit>("txtDataBasePath1")->setText("/db/Fire2.mdf");
    Get<QLineEdit>("txtDataBasePath2")->setText("/db/New.mdf");
    Next();
    Get<QPushButton>("cmdCheckDB")->click();
  }
  // From step 0 to the split selection page.
  void WalkToStep8() {
    LogIn(true);
    Get<QLineEdit>("txtDataBasePath3")->setText("/db/Big.mdf");
    Get<QLineEdit>("txtDataBasePath4")->setText("/db/Small.mdf");
    Next();
  }

  const msu::testing::ScratchFolder scratch_;
  const std::filesystem::path folder_ = scratch_.path();
  ScriptedPrompt prompt_;
  ScriptedServices services_;
  std::unique_ptr<frmWizard> wizard_;
};

}  // namespace msu::app::testing
