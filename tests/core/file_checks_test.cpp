// Only regular files are read: everything else at a path is named, and nothing is opened to
// find out (a pipe with no writer would hang the test).
#include "core/file_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/test_files.h"

namespace msu {
namespace {

TEST(FileChecksTest, WhatIsAtAPath) {
  const testing::ScratchFolder folder;
  testing::WriteFile(folder / "db.mdf", "data");
  std::filesystem::create_directory(folder / "folder.mdf");
  ASSERT_EQ(::mkfifo((folder / "pipe.mdf").c_str(), 0644), 0);
  std::filesystem::create_symlink(folder / "db.mdf", folder / "link.mdf");
  const struct {
    std::string path;
    std::string problem;
  } cases[] = {
      {folder / "db.mdf", ""},
      {folder / "link.mdf", ""},
      {folder / "folder.mdf", "it is a folder"},
      {folder / "pipe.mdf", "it is a pipe"},
      {"/dev/null", "it is a device"},
      {folder / "missing.mdf", "it does not exist"},
      {"", "it does not exist"},
  };
  for (const auto& c : cases) EXPECT_EQ(NotARegularFile(c.path), c.problem) << c.path;
}

}  // namespace
}  // namespace msu
