// Shared by the tests of the instances: scratch folders, real database files, and other
// programs that hold connections.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "data/embedded/instance.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::embedded::testing {

using msu::testing::ReadFile;
using msu::testing::ScratchFolder;
using msu::testing::Thrown;
using msu::testing::WriteFile;

// Writes a small SQLite database with one table and one row.
inline void MakeDatabaseFile(const std::string& path, const std::string& incident = "Flood") {
  msu::testing::ExecFile(path,
                         "CREATE TABLE Incidents(IncidentID INTEGER PRIMARY KEY, Name TEXT);"
                         "INSERT INTO Incidents VALUES(1, '" +
                             incident + "');");
}

// The exit status of a child process; -1 when it did not exit by itself.
inline int ExitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls `done` for up to a minute, so that a broken program fails the test instead of hanging it.
template <typename Done>
bool WaitUntil(Done done) {
  for (int attempt = 0; attempt < 600 && !done(); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

// A run of another program with its standard output and error in a file; killed and reaped
// with the test if it is still running.
class Program {
 public:
  Program(const std::string& program, const std::vector<std::string>& args,
          const std::string& output)
      : output_(output) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  int Wait() {
    const int status = ExitStatus(pid_);
    pid_ = -1;
    return status;
  }
  pid_t pid() const { return pid_; }
  std::string Output() const { return ReadFile(output_); }

 private:
  pid_t pid_ = -1;
  std::string output_;
};

inline constexpr const char* kWardenPassword = "secret";
inline constexpr const char* kServerPassword = "83ecret";  // "S" is 83

}  // namespace msu::embedded::testing
