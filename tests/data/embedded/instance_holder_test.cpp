// The suite in use: a data connection held by another program (msu-server hold) is a process
// of the server, and killing it ends that program's connection. Also runs statements through
// msu-server sql.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/text.h"
#include "data/admin.h"
#include "data/embedded/backend.h"
#include "tests/data/embedded/instance_test_support.h"
#include "tests/support/test_files.h"

namespace msu::embedded {
namespace {

using namespace testing;

class HolderTest : public ::testing::Test {
 protected:
  HolderTest() : backend(root.path()) {
    Instance::Create(root.path(), "ORVANE", kWardenPassword);
    WriteFile(data / "warden.txt", std::string(kWardenPassword) + "\n");
    MakeDatabaseFile(data / "Alpha.mdf");
    admin = backend.Connect("ORVANE", "VESTRA", kServerPassword);
    admin->AttachDatabase("Alpha", data / "Alpha.mdf");
  }

  // Runs msu-server to its end; its output, and its exit status in `status`.
  std::string Run(std::vector<std::string> args, int* status) {
    args.insert(args.begin(), {"--root", root.path()});
    args.insert(args.end(), {"--password-file", data / "warden.txt"});
    Program program(MSU_SERVER_PROGRAM, args, data / "run.txt");
    *status = program.Wait();
    return program.Output();
  }

  ScratchFolder root, data;
  EmbeddedBackend backend;
  std::unique_ptr<data::AdminConnection> admin;
};

TEST_F(HolderTest, AKilledHolderEndsItsConnectionAndItsSessionGoes) {
  Program holder(
      MSU_SERVER_PROGRAM,
      {"--root", root.path(), "hold", "orvane", "alpha", "--password-file", data / "warden.txt"},
      data / "holder.txt");
  ASSERT_TRUE(WaitUntil([&] { return admin->ListProcesses().Rows() == 1; })) << holder.Output();
  const data::ResultTable processes = admin->ListProcesses();
  EXPECT_EQ(Trim(processes.GetColumnString(1, 7)), "Alpha");
  EXPECT_THROW(admin->DetachDatabase("Alpha", false), data::AdminError);

  admin->KillProcess(processes.GetColumnLong(1, 1));
  // Detached at once, before the holder has even noticed, as the detach routine does.
  EXPECT_NO_THROW(admin->DetachDatabase("Alpha", false));
  EXPECT_EQ(holder.Wait(), 0) << holder.Output();
  EXPECT_NE(holder.Output().find("The connection ended: "), std::string::npos) << holder.Output();
  EXPECT_EQ(admin->ListProcesses().Rows(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(root / "ORVANE/sessions"));
}

TEST_F(HolderTest, SqlPrintsRowsOrTheRowsAffectedAndFailuresExitNonZero) {
  int status = 0;
  std::string output =
      Run({"sql", "ORVANE", "Alpha", "UPDATE Incidents SET Name = 'Fire'"}, &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "(1 row affected)\n");
  output = Run({"sql", "ORVANE", "Alpha", "SELECT IncidentID, Name FROM Incidents"}, &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "IncidentID  Name\n----------  ----\n1           Fire\n(1 row)\n");
  // Its session ended with the program.
  EXPECT_EQ(admin->ListProcesses().Rows(), 0);

  output = Run({"hold", "ORVANE", "Gamma"}, &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(output.rfind("msu-server: ", 0), 0u) << output;
  Instance::Open(root.path(), "ORVANE")->Stop();
  output = Run({"sql", "ORVANE", "Alpha", "SELECT 1"}, &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(output.rfind("msu-server: ", 0), 0u) << output;
}

}  // namespace
}  // namespace msu::embedded
