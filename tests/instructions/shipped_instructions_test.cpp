// The instruction files shipped with the utility load without a single error line, and the
// model holds every instruction line above "[INCIDENTDELETE]".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "core/text.h"
#include "fake_backend.h"
#include "instructions/instruction_loader.h"

namespace msu::instructions {
namespace {

namespace fs = std::filesystem;

// Lines of each kind as a reader of the file counts them.
struct Counts {
  int parents = 0, children = 0, lookups = 0, refs = 0;
  std::string version;
};

Counts CountLines(const fs::path& file) {
  Counts counts;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (UpperCase(line).rfind("[INCIDENTDELETE]", 0) == 0) break;
    if (line.rfind("ParentTable=", 0) == 0) ++counts.parents;
    if (line.rfind("ChildTable=", 0) == 0) ++counts.children;
    if (line.rfind("LUTable=", 0) == 0) ++counts.lookups;
    if (line.rfind("RefTable=", 0) == 0) ++counts.refs;
    if (line.rfind("Version=", 0) == 0) counts.version = Trim(line.substr(8));
  }
  return counts;
}

class ShippedFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedFiles, LoadWithoutErrorAndHoldEveryLine) {
  const fs::path folder = ORVANE_SUITE_FILES;
  if (!fs::exists(folder / GetParam())) GTEST_SKIP() << GetParam() << " is not written yet";

  RecordingProgress progress;
  ScriptedPrompt prompt;
  testing::FakeBackend backend;
  Context context(folder.string(), progress, prompt, backend);
  context.versions.InstructionFileName = GetParam();
  InstructionSet set;
  EXPECT_TRUE(LoadInstructions(context, set));
  for (const std::string& line : progress.Texts(LogPage::kCheck)) {
    EXPECT_EQ(UpperCase(line).find("ERROR"), std::string::npos) << line;
  }
  EXPECT_FALSE(context.ErrorFlag);

  const Counts expected = CountLines(folder / GetParam());
  EXPECT_GT(expected.parents, 0);
  EXPECT_GT(expected.lookups, 0);
  int children = 0, refs = 0;
  for (const PTable& table : set.Tables) children += table.Children().Count();
  for (const LookUp& lookup : set.LookUps) {
    refs += lookup.RefTables().Count();
    EXPECT_GT(lookup.CodeFields().Count(), 0) << lookup.TableName();
    for (const RefTable& ref : lookup.RefTables()) {
      EXPECT_EQ(ref.CodeFields().Count(), lookup.CodeFields().Count())
          << ref.TableName() << " refers to " << lookup.TableName();
    }
  }
  EXPECT_EQ(set.Tables.Count(), expected.parents);
  EXPECT_EQ(children, expected.children);
  EXPECT_EQ(set.LookUps.Count(), expected.lookups);
  EXPECT_EQ(refs, expected.refs);
  EXPECT_EQ(set.mergeVersion, expected.version);
}

INSTANTIATE_TEST_SUITE_P(Suite, ShippedFiles, ::testing::Values("CVN_4x.txt", "CVN_PRE4x.txt"));

}  // namespace
}  // namespace msu::instructions
