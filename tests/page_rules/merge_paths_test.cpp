// The merge database page's path rules, apart from the server: the completion of a name typed
// without its extension, and the order and exactness of the comparisons.
#include "page_rules/merge_paths.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_files.h"

namespace msu {
namespace {

TEST(MergePathsTest, OnlyANameWithoutMdfAnywhereIsCompleted) {
  struct Case {
    std::string typed, completed;
  };
  for (const Case& c : std::vector<Case>{{"C:\\Data\\Fire1", "C:\\Data\\Fire1.mdf"},
                                         {"/data/fire1.MDF", "/data/fire1.MDF"},
                                         {"/data/x.mdf.bak", "/data/x.mdf.bak"},
                                         {"/data/x.Mdfx", "/data/x.Mdfx"},
                                         {"/data/fire1.ldf", "/data/fire1.ldf.mdf"},
                                         {"", ""},
                                         {"   ", "   "}}) {
    std::string box = c.typed;
    server_routines::AppendMdfExtension(box);
    EXPECT_EQ(box, c.completed) << c.typed;
  }
}

TEST(MergePathsTest, TheFirstBrokenRuleDecidesAndComparisonsAreExact) {
  const testing::ScratchFolder scratch;
  const std::string& folder = scratch.path();
  const std::string a = folder + "/A.mdf";
  const std::string b = folder + "/B.mdf";
  const std::string lower_a = folder + "/a.mdf";
  for (const std::string& file : {a, b, lower_a}) std::ofstream(file) << "x";

  // A one-character name counts as not given, even when a file of that name exists.
  EXPECT_EQ(MergePathsMessage("x", "", ""), kMsgSourceNotSpecified);
  // Names are tested before files, and the new database's name only after both files.
  EXPECT_EQ(MergePathsMessage(folder + "/none.mdf", "", ""), kMsgDatabase2NotSpecified);
  EXPECT_EQ(MergePathsMessage(folder + "/none.mdf", folder + "/none2.mdf", ""),
            kMsgDatabase1Missing);
  EXPECT_EQ(MergePathsMessage(a, folder + "/none2.mdf", ""), kMsgDatabase2Missing);
  EXPECT_EQ(MergePathsMessage(a, a, ""), kMsgResultNotSpecified);
  EXPECT_EQ(MergePathsMessage(a, a, b), kMsgSameDatabases);
  EXPECT_EQ(MergePathsMessage(a, b, a), kMsgSameAsNewDatabase);
  EXPECT_EQ(MergePathsMessage(a, b, b), kMsgSameAsNewDatabase);
  // Letter case counts, as on the page.
  EXPECT_EQ(MergePathsMessage(a, lower_a, folder + "/New.mdf"), "");
  EXPECT_EQ(MergePathsMessage(a, b, folder + "/b.mdf"), "");
}

// Beyond the exact comparisons: every name of one file is that file, and only regular files are
// databases (a pipe would hang the check, a folder would be deleted as an old new database).
TEST(MergePathsTest, TwoNamesOfOneFileAreTheSameAndOnlyFilesAreDatabases) {
  const testing::ScratchFolder scratch;
  const std::string& folder = scratch.path();
  const std::string a = folder + "/A.mdf", b = folder + "/B.mdf", fresh = folder + "/New.mdf";
  for (const std::string& file : {a, b}) std::ofstream(file) << "x";
  std::filesystem::create_symlink(a, folder + "/link.mdf");
  std::filesystem::create_hard_link(a, folder + "/hard.mdf");
  std::filesystem::create_directory(folder + "/folder.mdf");
  ASSERT_EQ(::mkfifo((folder + "/pipe.mdf").c_str(), 0644), 0);
  EXPECT_EQ(MergePathsMessage(a, folder + "/link.mdf", fresh), kMsgSameDatabases);
  EXPECT_EQ(MergePathsMessage(folder + "/./hard.mdf", a, fresh), kMsgSameDatabases);
  EXPECT_EQ(MergePathsMessage(a, b, folder + "/link.mdf"), kMsgSameAsNewDatabase);
  EXPECT_EQ(MergePathsMessage(folder + "/pipe.mdf", b, fresh),
            "Error, Database 1 cannot be used: it is a pipe");
  EXPECT_EQ(MergePathsMessage(a, folder + "/folder.mdf", fresh),
            "Error, Database 2 cannot be used: it is a folder");
  EXPECT_EQ(MergePathsMessage(a, b, folder + "/folder.mdf"),
            "Error, the Resulting Database cannot be used: it is a folder");
}

}  // namespace
}  // namespace msu
