// The suite in use: a data connection held by another program (msu-server hold, started from
// the staged application folder) is a process of the server, and killing it ends that
// program's connection. Also runs statements through msu-server sql.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/text.h"
#include "server/admin.h"
#include "server/embedded/backend.h"
#include "server/embedded/instance.h"
#include "tests/server/embedded/instance_test_support.h"

namespace msu::embedded {
namespace {

using testing::kServerPassword;
using testing::kWardenPassword;
using testing::MakeDatabaseFile;
using testing::ReadFile;
using testing::ScratchFolder;

// A run of the staged msu-server with its standard output and error in files.
class Program {
 public:
  Program(const std::vector<std::string>& args, const std::string& output) : output_(output) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> argv{const_cast<char*>(MSU_SERVER_PROGRAM)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(MSU_SERVER_PROGRAM, argv.data());
      ::_exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  // Exit status; -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  pid_t pid() const { return pid_; }
  std::string Output() const { return ReadFile(output_); }

 private:
  pid_t pid_ = -1;
  std::string output_;
};

class HolderTest : public ::testing::Test {
 protected:
  HolderTest() : backend(root.path()) {
    Instance::Create(root.path(), "ORVANE", kWardenPassword);
    MakeDatabaseFile(data / "Alpha.mdf");
    admin = backend.Connect("ORVANE", "VESTRA", kServerPassword);
    admin->AttachDatabase("Alpha", data / "Alpha.mdf");
  }

  // The rows of ListProcesses whose process number is not in `known`, waited for while the
  // other program starts (it gives up after a minute, so a broken program fails the test
  // instead of hanging it).
  std::vector<long> WaitForProcesses(size_t count) {
    for (int attempt = 0; attempt < 600; ++attempt) {
      const data::ResultTable processes = admin->ListProcesses();
      if (static_cast<size_t>(processes.Rows()) >= count) {
        std::vector<long> spids;
        for (long row = 1; row <= processes.Rows(); ++row) {
          spids.push_back(processes.GetColumnLong(row, 1));
        }
        return spids;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
  }

  std::string Run(const std::vector<std::string>& args, int* status) {
    std::vector<std::string> all{"--root", root.path()};
    all.insert(all.end(), args.begin(), args.end());
    Program program(all, data / "run.txt");
    *status = program.Wait();
    return program.Output();
  }

  ScratchFolder root, data;
  EmbeddedBackend backend;
  std::unique_ptr<data::AdminConnection> admin;
};

TEST_F(HolderTest, AKilledHolderEndsItsConnectionAndItsSessionGoes) {
  Program holder({"--root", root.path(), "hold", "orvane", "alpha"}, data / "holder.txt");
  const std::vector<long> spids = WaitForProcesses(1);
  ASSERT_EQ(spids.size(), 1u) << holder.Output();
  const data::ResultTable processes = admin->ListProcesses();
  EXPECT_EQ(Trim(processes.GetColumnString(1, 7)), "Alpha");
  EXPECT_THROW(admin->DetachDatabase("Alpha", false), data::AdminError);

  admin->KillProcess(spids[0]);
  // Detached at once, before the holder has even noticed, as the detach routine does.
  EXPECT_NO_THROW(admin->DetachDatabase("Alpha", false));
  EXPECT_EQ(holder.Wait(), 0) << holder.Output();
  EXPECT_NE(holder.Output().find("The connection ended: "), std::string::npos) << holder.Output();
  EXPECT_EQ(admin->ListProcesses().Rows(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(root / "ORVANE/sessions"));
}

TEST_F(HolderTest, AHolderThatDiedIsNotListed) {
  Program holder({"--root", root.path(), "hold", "ORVANE", "Alpha"}, data / "holder.txt");
  ASSERT_EQ(WaitForProcesses(1).size(), 1u) << holder.Output();
  ::kill(holder.pid(), SIGKILL);
  EXPECT_EQ(holder.Wait(), -1);
  EXPECT_EQ(admin->ListProcesses().Rows(), 0);
  EXPECT_NO_THROW(admin->DetachDatabase("Alpha", false));
}

TEST_F(HolderTest, HoldAndSqlReportFailuresWithANonZeroStatus) {
  int status = 0;
  std::string output = Run({"hold", "ORVANE", "Gamma"}, &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(output.rfind("msu-server: ", 0), 0u) << output;

  Instance::Open(root.path(), "ORVANE")->Stop();
  output = Run({"sql", "ORVANE", "Alpha", "SELECT 1"}, &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(output.rfind("msu-server: ", 0), 0u) << output;
}

TEST_F(HolderTest, SqlPrintsRowsOrTheRowsAffected) {
  int status = 0;
  std::string output =
      Run({"sql", "ORVANE", "Alpha", "UPDATE Incidents SET Name = 'Fire'"}, &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "(1 row affected)\n");
  output = Run({"sql", "ORVANE", "Alpha", "SELECT IncidentID, Name FROM Incidents"}, &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output,
            "IncidentID  Name\n"
            "----------  ----\n"
            "1           Fire\n"
            "(1 row)\n");
  // Its session ended with the program.
  EXPECT_EQ(admin->ListProcesses().Rows(), 0);
}

}  // namespace
}  // namespace msu::embedded
