// The merge's version rules: the thresholds, the choice of the instruction file and the merge
// version Database 2 needs.
#include "merge/version_rules.h"

#include <gtest/gtest.h>

#include "core/context.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace msu {
namespace {

using Lines = std::vector<std::string>;

// The thresholds read a version as a number that stops at the second dot, blanks ignored.
TEST(VersionThresholds, NumericRulesOnTheDatabaseVersion) {
  EXPECT_FALSE(IsMergeSupported("3.20.99"));
  EXPECT_TRUE(IsMergeSupported("3.21.00"));
  EXPECT_FALSE(IsMergeSupported(""));
  EXPECT_FALSE(IsMergeSupported("unknown"));

  EXPECT_FALSE(server_routines::UsesInstructions4x("4.12.00"));
  EXPECT_TRUE(server_routines::UsesInstructions4x("4.13.00"));
  EXPECT_TRUE(server_routines::UsesInstructions4x(" 4 .13"));
  EXPECT_TRUE(server_routines::UsesInstructions4x("4.2.0"));  // 4.2 is above 4.13
  EXPECT_FALSE(server_routines::UsesInstructions4x("4.1.3"));
  EXPECT_TRUE(NeedsLegacyConversion("4.12.99"));
  EXPECT_FALSE(NeedsLegacyConversion("4.13.00"));
}

// The merge version is compared part by part, each a 16-bit number.
TEST(VersionThresholds, Database2NeedsMergeVersion5_00_06) {
  for (const char* old : {"5.00.05", "5.0", "4.99.99", "0.0.0", "-5.1.0", "5.-1.9"}) {
    EXPECT_TRUE(IsDbVerToOld(old)) << old;
  }
  for (const char* recent : {"5.00.06", "5.01.00", "6.00.00", "5.1", "5.00.06.01", "5.0.7",
                             " 6 . 00 . 00 ", "32767.-32768"}) {
    EXPECT_FALSE(IsDbVerToOld(recent)) << recent;
  }
  // What cannot be compared is refused, a missing row (empty text) included.
  for (const char* unknown :
       {"", "5", "version", "5.x.0", "5.70000.0", "65542.1", "5..7", "6.", "5.1a", "5.1.0x"}) {
    EXPECT_TRUE(IsDbVerToOld(unknown)) << unknown;
  }
}

class ChooseTest : public ::testing::Test {
 protected:
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  Context context_{"/app", progress_, prompt_, backend_};
};

// The source version chooses the file; a source before 3.21 is refused and keeps the name.
TEST_F(ChooseTest, TheSourceVersionChoosesTheFileOrIsRefused) {
  const std::pair<const char*, const char*> cases[] = {{"3.21.00", "CVN_PRE4x.txt"},
                                                       {"4.12.00", "CVN_PRE4x.txt"},
                                                       {"4.13.00", "CVN_4x.txt"},
                                                       {"5.01.00", "CVN_4x.txt"},
                                                       {"4.2.0", "CVN_4x.txt"},
                                                       {"3.20.99", nullptr},
                                                       {"", nullptr},
                                                       {"2", nullptr}};
  for (const auto& [version, file] : cases) {
    SCOPED_TRACE(version);
    progress_.Clear(LogPage::kCheck);
    context_.versions.Database1Version = version;
    context_.versions.InstructionFileName = "unchanged";
    EXPECT_EQ(ChooseInstructionFile(context_), file != nullptr);
    EXPECT_EQ(context_.versions.InstructionFileName, file ? file : "unchanged");
    EXPECT_EQ(
        progress_.Texts(LogPage::kCheck),
        file ? Lines{} : Lines{"The Source Database Version Is Prior To 3.21 and Not Supported."});
  }
}

}  // namespace
}  // namespace msu
