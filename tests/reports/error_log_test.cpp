// The error log: one line for a plain error, the provider's own entries for a connection that
// holds them, and the error flag that stops the instruction loader.
#include <gtest/gtest.h>

#include "core/context.h"
#include "data/data_access.h"
#include "reports/error_log.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace msu::reports {
namespace {

using Lines = std::vector<std::string>;

// A connection whose only use here is its error collection.
class ErrorsOnlyConnection : public data::Connection {
 public:
  void SetConnectionString(const std::string& text) override { text_ = text; }
  const std::string& ConnectionString() const override { return text_; }
  void SetProperty(const std::string&, long) override {}
  void Open(const std::string&, const std::string&) override {}
  void Close() override {}
  bool IsOpen() const override { return true; }
  void SetCommandTimeout(int) override {}
  int CommandTimeout() const override { return 0; }
  std::unique_ptr<data::Recordset> Execute(const std::string&, long*) override { return nullptr; }
  std::unique_ptr<data::Recordset> OpenRecordset(const std::string&, data::CursorChoice) override {
    return nullptr;
  }
  const std::vector<data::ErrorEntry>& Errors() const override { return errors; }

  std::vector<data::ErrorEntry> errors;

 private:
  std::string text_;
};

class ErrorLogTest : public ::testing::Test {
 protected:
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  Context context_{"/app", progress_, prompt_, backend_};
};

TEST_F(ErrorLogTest, APlainErrorIsOneLineWithATab) {
  HandleError(context_, 457, "This key is already associated with an element of this collection",
              " Loading CVN Table instructions for: Quals", nullptr);
  EXPECT_EQ(progress_.Texts(LogPage::kCheck),
            (Lines{"457\tThis key is already associated with an element of this collection"}));
  EXPECT_TRUE(context_.ErrorFlag);
  // Always a normal line: shown without the detail box.
  EXPECT_EQ(progress_.Lines(LogPage::kCheck)[0].style.colour, LineColour{});
}

TEST_F(ErrorLogTest, AConnectionWithErrorsGivesItsEntries) {
  ErrorsOnlyConnection connection;
  connection.errors = {{-2147217900, "Invalid object name 'version'."},
                       {3621, "The statement has been terminated."}};
  HandleError(context_, 1, "ignored", "Reading versions", &connection);
  EXPECT_EQ(progress_.Texts(LogPage::kCheck), (Lines{"An ERROR has occurred, Reading versions:",
                                                     "-2147217900,Invalid object name 'version'.",
                                                     "3621,The statement has been terminated."}));
  EXPECT_TRUE(context_.ErrorFlag);
}

TEST_F(ErrorLogTest, AConnectionWithoutErrorsGivesThePlainLine) {
  ErrorsOnlyConnection connection;
  HandleError(context_, 94, "Invalid use of Null", "Reading versions", &connection);
  EXPECT_EQ(progress_.Texts(LogPage::kCheck), (Lines{"94\tInvalid use of Null"}));
  EXPECT_TRUE(context_.ErrorFlag);
}

}  // namespace
}  // namespace msu::reports
