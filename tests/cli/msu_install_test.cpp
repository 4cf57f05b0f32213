// msu as a package installs it: the programs in <prefix>/bin, the suite kit in
// <prefix>/share/orvane-msu, and the user's own application folder under the data home, where
// the run reads the instruction files and writes its working files. Nothing is written beside
// the programs or into the kit.
#include <sys/stat.h>

#include <cstdlib>

#include "core/version.h"
#include "tests/cli/msu_world.h"

namespace msu::cli::testing {
namespace {

class MsuInstalledTest : public MsuWorld {
 protected:
  MsuInstalledTest() {
    fs::create_directories(bin);
    fs::create_directories(kit);
    const fs::path stage = fs::path(MSU_PROGRAM).parent_path();
    fs::copy_file(MSU_PROGRAM, bin + "/msu");
    for (const char* name : {"cvn.ini", "CVN_4x.txt", "CVN_PRE4x.txt", "CVMergeSplitHelp.rtf"}) {
      fs::copy_file(stage / name, kit + "/" + name);
    }
    saved_data_home_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::setenv("XDG_DATA_HOME", data_home.c_str(), 1);
  }
  ~MsuInstalledTest() override {
    if (saved_data_home_.empty()) {
      ::unsetenv("XDG_DATA_HOME");
    } else {
      ::setenv("XDG_DATA_HOME", saved_data_home_.c_str(), 1);
    }
  }

  // Every file under the prefix, with its bytes.
  std::map<std::string, std::string> Installed() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(prefix.path())) {
      if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path());
    }
    return files;
  }

  ScratchFolder prefix, home;
  const std::string bin = prefix / "bin";
  const std::string kit = prefix / "share/orvane-msu";
  const std::string data_home = home / "data";
  const std::string user = home / "data/orvane-msu";
  std::string saved_data_home_;
};

TEST_F(MsuInstalledTest, ACheckRunsInTheUsersOwnFolderSeededFromTheKit) {
  MakePair();
  const std::string program = bin + "/msu";
  const std::map<std::string, std::string> installed = Installed();

  // --help names the folder in use before it exists.
  const std::string help = Expect(0, "", {"--help"}, program).out;
  EXPECT_NE(help.find("\nApplication folder: " + user +
                      "\n  (your own: this copy is installed; its instruction files, cvn.ini and "
                      "help\n  come from " +
                      kit + ")\n"),
            std::string::npos)
      << help;
  EXPECT_FALSE(fs::exists(user));

  const std::string report = data / "report.rtf";
  std::vector<std::string> args = Args(fire1, fire2, merged);
  args.insert(args.end(), {"--report", report});
  Expect(1, "", args, program);
  struct stat info {};
  ASSERT_EQ(::stat(user.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(ReadFile(user + "/CVN_4x.txt"), ReadFile(kit + "/CVN_4x.txt"));
  EXPECT_EQ(Leftovers(user), std::vector<std::string>{});
  EXPECT_NE(ReadFile(report).find("Orvane Merge Problem Report"), std::string::npos);
  EXPECT_EQ(Installed(), installed);
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));

  // The files of that folder are the utility's own: no report is written over them.
  for (const char* name : {"cvn.ini", "CVN_4x.txt", "tmp_rpt.rtf", ".kit-seeded"}) {
    std::vector<std::string> over = Args(fire1, fire2, merged);
    over.insert(over.end(), {"--report", user + "/" + name});
    Expect(2,
           std::string("msu check: --report must not name a file of the application folder (") +
               name + ")\nTry 'msu check --help'.\n",
           over, program);
  }

  // The instruction file the run reads is the user's copy, as an administrator edited it.
  WriteFile(user + "/CVN_4x.txt", "");
  const Outcome edited = Run(Args(fire1, fire2, merged), program);
  EXPECT_EQ(edited.status, 7) << edited.out << edited.err;
  EXPECT_EQ(ReadFile(user + "/CVN_4x.txt"), "");
  EXPECT_EQ(Installed(), installed);
}

TEST_F(MsuInstalledTest, AFolderThatCannotBeMadeStopsTheRunWithStatus8) {
  MakePair();
  fs::create_directories(data_home);
  WriteFile(user, "a file where the folder goes");
  const Outcome run = Run(Args(fire1, fire2, merged), bin + "/msu");
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(run.err.rfind("msu: the application folder " + user + " could not be prepared: ", 0),
            0u)
      << run.err;
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
}

TEST_F(MsuInstalledTest, EveryProgramPrintsItsVersion) {
  const std::string version = kVersion;
  EXPECT_EQ(version, std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                         std::to_string(kVersionPatch));
  Expect(0, "", {"--version"}, MSU_PROGRAM);
  EXPECT_EQ(Run({"--version"}).out, "msu " + version + "\n");
  EXPECT_EQ(Run({"--version"}, MSU_SERVER_PROGRAM).out, "msu-server " + version + "\n");
#ifdef WIZARD_PROGRAM
  // Answered without a display.
  EXPECT_EQ(Run({"--version"}, WIZARD_PROGRAM).out, "orvane-msu " + version + "\n");
#endif
}

}  // namespace
}  // namespace msu::cli::testing
