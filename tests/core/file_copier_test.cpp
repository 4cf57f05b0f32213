// The system's copy of a whole file: every byte, the permissions asked for, the window kept
// alive through a long copy and its wait for the disk, and the system's error when it fails.
#include "core/file_copier.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/test_files.h"

namespace msu {
namespace {

TEST(FileCopierTest, CopiesEveryByteSyncedAndKeepsTheWindowAlive) {
  const testing::ScratchFolder folder;
  // Two full chunks of 16 MiB and an odd tail, each byte telling its place.
  std::string bytes((size_t{32} << 20) + 4097, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xff);
  testing::WriteFile(folder / "from.mdf", bytes);
  testing::WriteFile(folder / "to.mdf", "an older, longer file that the copy replaces whole");
  ::chmod((folder / "from.mdf").c_str(), 0644);

  int beats = 0;
  const std::error_code error =
      SystemFileCopier().Copy(folder / "from.mdf", folder / "to.mdf",
                              {.private_file = true, .sync = true, .keep_alive = [&] { ++beats; }});
  ASSERT_FALSE(error) << error.message();
  EXPECT_TRUE(testing::ReadFile(folder / "to.mdf") == bytes);
  EXPECT_GE(beats, 2);
  struct stat status {};
  ASSERT_EQ(::stat((folder / "to.mdf").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A small copy runs without a beat, and the same way without a window to keep alive.
  testing::WriteFile(folder / "small.mdf", "small");
  beats = 0;
  EXPECT_FALSE(SystemFileCopier().Copy(
      folder / "small.mdf", folder / "copy.mdf",
      {.private_file = true, .sync = true, .keep_alive = [&] { ++beats; }}));
  EXPECT_EQ(beats, 0);
  EXPECT_FALSE(SystemFileCopier().Copy(folder / "small.mdf", folder / "copy2.mdf",
                                       {.private_file = true, .sync = true, .keep_alive = {}}));
  EXPECT_EQ(testing::ReadFile(folder / "copy2.mdf"), "small");
}

TEST(FileCopierTest, FailuresAreTheSystemsErrors) {
  const testing::ScratchFolder folder;
  testing::WriteFile(folder / "from.mdf", "data");
  EXPECT_EQ(SystemFileCopier().Copy(folder / "missing.mdf", folder / "to.mdf", {}),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(SystemFileCopier().Copy(folder / "from.mdf", folder / "no/such/folder.mdf", {}),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(SystemFileCopier().Copy(folder.path(), folder / "to.mdf", {}),
            std::errc::invalid_argument);
  EXPECT_TRUE(IsDiskFull(std::make_error_code(std::errc::no_space_on_device)));
  EXPECT_FALSE(IsDiskFull(std::make_error_code(std::errc::permission_denied)));
}

}  // namespace
}  // namespace msu
