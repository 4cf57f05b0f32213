// The password reader of both programs: what a password file gives, and a terminal whose echo
// is off while the password is typed and back on afterwards.
#include "cli/password_input.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/test_files.h"

namespace msu::cli {
namespace {

TEST(PasswordInputTest, TheFirstLineOfTheFileWithoutItsCr) {
  testing::ScratchFolder folder;
  struct Case {
    std::string bytes, password;
  };
  for (const Case& c : std::vector<Case>{
           {"secret\r\nmore\n", "secret"}, {"se cret", "se cret"}, {"\r\n", ""}, {"", ""}}) {
    testing::WriteFile(folder / "warden.txt", c.bytes);
    std::string password = "before";
    EXPECT_EQ(ReadPasswordLine(folder / "warden.txt", "", &password), PasswordRead::kRead);
    EXPECT_EQ(password, c.password);
  }
  std::string password = "before";
  EXPECT_EQ(ReadPasswordLine(folder / "none.txt", "", &password), PasswordRead::kFileUnreadable);
  EXPECT_EQ(password, "");
}

// A password file is read up to a sane length, and only a regular file is read at all: a pipe
// would hang the program, a device (/dev/zero) would never end.
TEST(PasswordInputTest, OnlyAShortLineOfARegularFileIsRead) {
  testing::ScratchFolder folder;
  testing::WriteFile(folder / "long.txt", std::string(kPasswordLimit, 'x') + "\n");
  std::string password;
  EXPECT_EQ(ReadPasswordLine(folder / "long.txt", "", &password), PasswordRead::kRead);
  EXPECT_EQ(password.size(), kPasswordLimit);
  testing::WriteFile(folder / "longer.txt", std::string(kPasswordLimit + 1, 'x'));
  EXPECT_EQ(ReadPasswordLine(folder / "longer.txt", "", &password), PasswordRead::kTooLong);
  EXPECT_EQ(password, "");
  EXPECT_EQ(PasswordProblem(PasswordRead::kTooLong, folder / "longer.txt"),
            "the password is longer than 4096 bytes; is that the right file?");

  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  for (const std::string& path : {folder / "pipe", std::string("/dev/zero"), folder.path()}) {
    EXPECT_EQ(ReadPasswordLine(path, "", &password), PasswordRead::kNotAFile) << path;
  }
  EXPECT_EQ(PasswordProblem(PasswordRead::kNotAFile, "/dev/zero"),
            "the password file /dev/zero is not a regular file (it is a device)");
}

bool Echoes(int fd) {
  termios settings{};
  EXPECT_EQ(::tcgetattr(fd, &settings), 0);
  return (settings.c_lflag & ECHO) != 0;
}

TEST(PasswordInputTest, EchoIsOffForTheObjectsLifeOnly) {
  int controller = -1;
  int terminal = -1;
  ASSERT_EQ(::openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
  ASSERT_TRUE(Echoes(terminal));
  {
    EchoOff first(terminal);
    EXPECT_FALSE(Echoes(terminal));
    {
      EchoOff nested(terminal);  // restores what it found: the echo stays off
    }
    EXPECT_FALSE(Echoes(terminal));
  }
  EXPECT_TRUE(Echoes(terminal));
  ::close(terminal);
  ::close(controller);
  EchoOff no_terminal(-1);  // nothing to change, nothing to restore
}

}  // namespace
}  // namespace msu::cli
