// Which application folder a copy of the programs uses, and how a user's own folder is made and
// kept in step with the installed kit without ever losing an edit. Layouts are built in scratch
// folders: <prefix>/bin for the programs, <prefix>/share/orvane-msu for the kit.
#include "core/application_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/support/test_files.h"

namespace msu {
namespace {

namespace fs = std::filesystem;
using testing::FileNames;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

unsigned Mode(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

class ApplicationFolderTest : public ::testing::Test {
 protected:
  ApplicationFolderTest() {
    fs::create_directories(bin);
    fs::create_directories(kit);
    WriteKit({{"cvn.ini", "[CVN]\r\n"},
              {"CVN_4x.txt", "4x instructions\r\n"},
              {"CVN_PRE4x.txt", "pre-4x instructions\r\n"},
              {"CVMergeSplitHelp.rtf", "{\\rtf1 help}"}});
  }

  void WriteKit(const std::map<std::string, std::string>& files) {
    for (const auto& [name, text] : files) WriteFile(kit + "/" + name, text);
  }

  ApplicationFolder Installed() const { return LocateApplicationFolder(bin, home / "data"); }

  ScratchFolder prefix, home;
  const std::string bin = prefix / "bin";
  const std::string kit = prefix / "share/orvane-msu";
  const std::string user = home / "data/orvane-msu";
};

TEST_F(ApplicationFolderTest, AnInstalledCopyUsesAFolderOfTheUsersOwn) {
  const ApplicationFolder folder = Installed();
  EXPECT_EQ(folder.kind, ApplicationFolderKind::kUserFolder);
  EXPECT_EQ(folder.path, user);
  EXPECT_EQ(folder.kit_folder, kit);
  // Locating touches nothing.
  EXPECT_FALSE(fs::exists(home / "data"));
  EXPECT_EQ(DescribeApplicationFolder(folder),
            "Application folder: " + user +
                "\n  (your own: this copy is installed; its instruction files, cvn.ini and help\n"
                "  come from " +
                kit + ")\n");
}

TEST_F(ApplicationFolderTest, EveryOtherCopyUsesItsProgramFolder) {
  // A stage folder: the kit beside the programs wins over an installed kit next door.
  WriteFile(bin + "/cvn.ini", "[CVN]\r\n");
  const ApplicationFolder staged = Installed();
  EXPECT_EQ(staged.kind, ApplicationFolderKind::kProgramFolder);
  EXPECT_EQ(staged.path, bin);
  EXPECT_EQ(staged.kit_folder, "");
  EXPECT_EQ(DescribeApplicationFolder(staged),
            "Application folder: " + bin + "\n  (the folder of the programs)\n");
  fs::remove(bin + "/cvn.ini");

  // No kit anywhere (a copy without its files reports them missing where it always has), a
  // kit without cvn.ini, and no known home.
  EXPECT_EQ(LocateApplicationFolder(home.path(), home / "data").path, home.path());
  fs::remove(kit + "/cvn.ini");
  EXPECT_EQ(Installed().kind, ApplicationFolderKind::kProgramFolder);
  WriteKit({{"cvn.ini", "[CVN]\r\n"}});
  EXPECT_EQ(LocateApplicationFolder(bin, "").kind, ApplicationFolderKind::kProgramFolder);

  // Preparing a program folder changes nothing in it.
  EXPECT_EQ(PrepareApplicationFolder(LocateApplicationFolder(bin, "")), std::vector<std::string>{});
  EXPECT_EQ(FileNames(bin), std::vector<std::string>{});
}

TEST_F(ApplicationFolderTest, TheFirstRunMakesThePrivateFolderAndSeedsIt) {
  ::umask(022);
  const std::vector<std::string> copied = PrepareApplicationFolder(Installed());
  EXPECT_EQ(copied, (std::vector<std::string>{"CVMergeSplitHelp.rtf", "CVN_4x.txt", "CVN_PRE4x.txt",
                                              "cvn.ini"}));
  EXPECT_EQ(Mode(user), 0700u);
  // The data home made on the way is private too, as the XDG base folders are made.
  EXPECT_EQ(Mode(home / "data"), 0700u);
  for (const std::string& name : copied) {
    EXPECT_EQ(ReadFile(user + "/" + name), ReadFile(kit + "/" + name)) << name;
    EXPECT_EQ(Mode(user + "/" + name), 0600u) << name;
  }
  EXPECT_EQ(FileNames(user), (std::vector<std::string>{".kit-seeded", "CVMergeSplitHelp.rtf",
                                                       "CVN_4x.txt", "CVN_PRE4x.txt", "cvn.ini"}));
  // The kit stays as it was; a second run has nothing to do.
  EXPECT_EQ(ReadFile(kit + "/CVN_4x.txt"), "4x instructions\r\n");
  EXPECT_EQ(PrepareApplicationFolder(Installed()), std::vector<std::string>{});
}

TEST_F(ApplicationFolderTest, AnEditIsKeptAndAnUnchangedFileFollowsANewKit) {
  PrepareApplicationFolder(Installed());
  WriteFile(user + "/CVN_4x.txt", "edited by the administrator\r\n");
  fs::remove(user + "/CVMergeSplitHelp.rtf");
  // A file of the user's own that the kit brings later is theirs, unless it is the same.
  WriteFile(user + "/CVN_5x.txt", "the user's own\r\n");
  WriteFile(user + "/CVN_6x.txt", "as the kit has it\r\n");

  // The next package: every kit file changed, two new ones.
  WriteKit({{"cvn.ini", "[CVN]\r\nnew=1\r\n"},
            {"CVN_4x.txt", "4x instructions, corrected\r\n"},
            {"CVN_PRE4x.txt", "pre-4x instructions, corrected\r\n"},
            {"CVMergeSplitHelp.rtf", "{\\rtf1 new help}"},
            {"CVN_5x.txt", "5x instructions\r\n"},
            {"CVN_6x.txt", "as the kit has it\r\n"}});
  EXPECT_EQ(PrepareApplicationFolder(Installed()),
            (std::vector<std::string>{"CVMergeSplitHelp.rtf", "CVN_PRE4x.txt", "cvn.ini"}));
  EXPECT_EQ(ReadFile(user + "/CVN_4x.txt"), "edited by the administrator\r\n");
  EXPECT_EQ(ReadFile(user + "/CVN_5x.txt"), "the user's own\r\n");
  EXPECT_EQ(ReadFile(user + "/CVN_PRE4x.txt"), "pre-4x instructions, corrected\r\n");
  EXPECT_EQ(ReadFile(user + "/cvn.ini"), "[CVN]\r\nnew=1\r\n");
  EXPECT_EQ(ReadFile(user + "/CVMergeSplitHelp.rtf"), "{\\rtf1 new help}");

  // CVN_6x.txt, equal to the kit's, is now counted as seeded: it follows the kit from here on.
  // An edit made back to the kit's text is so too.
  WriteKit({{"CVN_6x.txt", "6x, corrected\r\n"}});
  EXPECT_EQ(PrepareApplicationFolder(Installed()), std::vector<std::string>{"CVN_6x.txt"});
  EXPECT_EQ(ReadFile(user + "/CVN_6x.txt"), "6x, corrected\r\n");
  EXPECT_EQ(ReadFile(user + "/CVN_4x.txt"), "edited by the administrator\r\n");
}

TEST_F(ApplicationFolderTest, AnExistingFolderKeepsItsModes) {
  // Widened by an administrator so that a SQL Server's service account reaches the working
  // copies: narrowing it again would lock the server out.
  fs::create_directories(user);
  fs::permissions(user, fs::perms(0750), fs::perm_options::replace);
  PrepareApplicationFolder(Installed());
  EXPECT_EQ(Mode(user), 0750u);
  EXPECT_TRUE(fs::exists(user + "/cvn.ini"));
}

TEST_F(ApplicationFolderTest, AFolderThatCannotBeMadeIsAnErrorNamingIt) {
  fs::create_directories(home / "data");
  WriteFile(user, "a file where the folder goes");
  try {
    PrepareApplicationFolder(Installed());
    ADD_FAILURE() << "no error";
  } catch (const fs::filesystem_error& error) {
    EXPECT_EQ(error.path1(), user);
  }
}

TEST_F(ApplicationFolderTest, AKitFileThatCannotBeReadStopsTheSeedingAndKeepsWhatWasSeeded) {
  // A regular file that opens for anyone, root too, and fails at the first read (EIO): a disk
  // error half-way through a kit file.
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem";
  fs::create_symlink("/proc/self/mem", kit + "/CVN_9x.txt");
  EXPECT_THROW(PrepareApplicationFolder(Installed()), fs::filesystem_error);
  EXPECT_TRUE(fs::exists(user + "/CVN_4x.txt"));
  EXPECT_FALSE(fs::exists(user + "/CVN_9x.txt"));
}

TEST(UserDataHomeTest, XdgDataHomeWhenAbsoluteElseTheHomesLocalShare) {
  const char* saved_data = std::getenv("XDG_DATA_HOME");
  const char* saved_home = std::getenv("HOME");
  const std::string data = saved_data ? saved_data : "";
  const std::string home = saved_home ? saved_home : "";
  ::setenv("HOME", "/home/ann", 1);
  ::setenv("XDG_DATA_HOME", "/srv/ann/data", 1);
  EXPECT_EQ(UserDataHome(), "/srv/ann/data");
  // The base directory specification ignores a relative path, and so an empty one.
  ::setenv("XDG_DATA_HOME", "data", 1);
  EXPECT_EQ(UserDataHome(), "/home/ann/.local/share");
  ::setenv("XDG_DATA_HOME", "", 1);
  EXPECT_EQ(UserDataHome(), "/home/ann/.local/share");
  saved_data ? ::setenv("XDG_DATA_HOME", data.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  saved_home ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace msu
