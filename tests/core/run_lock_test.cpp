// One run at a time: a second lock of the same file is refused with the holder's process, a
// lock ends without leaving its file, and the lock of a process that died is taken over.
#include "core/run_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_files.h"

namespace msu {
namespace {

using testing::ScratchFolder;

TEST(RunLockTest, OneHolderAtATimeAndNothingLeftBehind) {
  const ScratchFolder folder;
  const std::string path = folder / "run.lock";
  long holder = -1;
  std::unique_ptr<RunLock> first = RunLock::TryTake(path, &holder);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(RunLock::TryTake(path, &holder), nullptr);
  EXPECT_EQ(holder, static_cast<long>(::getpid()));
  first.reset();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_NE(RunLock::TryTake(path, &holder), nullptr);
  EXPECT_THROW(RunLock::TryTake(folder / "missing/run.lock", &holder), std::runtime_error);
}

// A run that gives its name is refused to the next under that name; one line only, whatever
// the name holds.
TEST(RunLockTest, TheHolderIsNamedAsItNamedItself) {
  const ScratchFolder folder;
  const std::string path = folder / "run.lock";
  LockHolder holder;
  std::unique_ptr<RunLock> first = RunLock::TryTake(path, &holder, "msu merge");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(RunLock::TryTake(path, &holder, "the Orvane Merge/Split window"), nullptr);
  EXPECT_EQ(holder.process, static_cast<long>(::getpid()));
  EXPECT_EQ(holder.name, "msu merge");
  first.reset();

  first = RunLock::TryTake(path, &holder, "msu split\n12345");
  EXPECT_EQ(RunLock::TryTake(path, &holder), nullptr);
  EXPECT_EQ(holder.name, "msu split");
  first.reset();
  // A holder that gave no name.
  first = RunLock::TryTake(path, &holder);
  EXPECT_EQ(RunLock::TryTake(path, &holder, "msu check"), nullptr);
  EXPECT_EQ(holder.process, static_cast<long>(::getpid()));
  EXPECT_EQ(holder.name, "");
}

TEST(RunLockTest, TheLockOfAKilledProcessIsTakenOver) {
  const ScratchFolder folder;
  const std::string path = folder / "run.lock";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    long ignored = 0;
    std::unique_ptr<RunLock> lock = RunLock::TryTake(path, &ignored);
    (void)!::write(ready[1], "x", 1);
    ::pause();  // killed while it holds the lock: its file stays, its lock does not
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  long holder = 0;
  EXPECT_EQ(RunLock::TryTake(path, &holder), nullptr);
  EXPECT_EQ(holder, static_cast<long>(child));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_NE(RunLock::TryTake(path, &holder), nullptr);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
}  // namespace msu
