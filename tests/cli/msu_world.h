// msu as an administrator runs it: the built program in a process of its own, against an
// embedded server in a scratch folder, with the sample databases. Runs that log in (and so hold
// their program folder for their length) run a copy of the program in a folder of their own,
// except the one run of the staged program that shows it leaves the staged folder as it found
// it.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "convert/kind_codes.h"
#include "convert/request_number.h"
#include "core/run_lock.h"
#include "data/embedded/instance.h"
#include "suite/sample_generator.h"
#include "tests/data/embedded/instance_test_support.h"
#include "tests/support/pdf_pages.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::cli::testing {

namespace fs = std::filesystem;
using embedded::testing::ExitStatus;
using embedded::testing::MakeDatabaseFile;
using embedded::testing::Program;
using embedded::testing::ReadFile;
using embedded::testing::ScratchFolder;
using embedded::testing::WaitUntil;
using embedded::testing::WriteFile;

inline constexpr const char* kProblemsLine =
    "Warning, There are differences between databases, press Next to view them";
inline constexpr const char* kNoProblemsLine =
    "Done, no differences found. Press Next to complete the merge";
inline constexpr const char* kDetailPrefix = "- Adding parent table/key object: ";

// Runs a program to its end with its standard input on /dev/null and its output in two files;
// returns its exit status.
inline int RunToEnd(const std::string& program, const std::vector<std::string>& args,
                    const std::string& out_file, const std::string& err_file,
                    const std::string& cwd) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return ExitStatus(pid);
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream stream(out);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
  }
  // Whether a line is `text`, or starts with it when `prefix`.
  bool Has(const std::string& text, bool prefix = false) const {
    for (const std::string& line : Lines()) {
      if (prefix ? line.rfind(text, 0) == 0 : line == text) return true;
    }
    return false;
  }
};

// What a run leaves in a program folder that it should have deleted.
inline std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("W_O_R_K_", 0) == 0 || name == "tmp_rpt.rtf" || name == "Copy.txt" ||
        name == "Error.txt") {
      names.push_back(name);
    }
  }
  return names;
}

// The message of the database page for the names CheckOpenConnections returned, in order.
inline std::string InUseMessage(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += " " + name;
  return "There are open connections to the " + joined + " database(s).\n";
}

inline void Execute(const std::string& database, const std::string& sql) {
  ASSERT_NO_THROW(msu::testing::ExecFile(database, sql));
}

class MsuWorld : public ::testing::Test {
 protected:
  MsuWorld() {
    instance = embedded::Instance::Create(root.path(), "ORVANE", "secret");
    WriteFile(warden, "secret\n");
  }

  // Fire1.mdf (with Fire1.ini) and Fire2.mdf in data/pair; attached unless told otherwise, so
  // that `before` can change a file first.
  void MakePair(const std::function<void()>& before = nullptr, long rows = 300) {
    suite::SampleOptions options;
    options.out_dir = pair;
    options.rows = rows;
    suite::GenerateSampleSet(options);
    if (before) before();
    instance->Attach("Fire1", fire1);
    instance->Attach("Fire2", fire2);
  }

  std::vector<std::string> Args(const std::string& db1, const std::string& db2,
                                const std::string& new_database) const {
    return {"check",      "--server", "ORVANE",    "--db1",           db1,   "--db2", db2, "--new",
            new_database, "--root",   root.path(), "--password-file", warden};
  }

  Outcome Run(const std::vector<std::string>& args, const std::string& program = MSU_PROGRAM,
              const std::string& cwd = "") {
    const int status = RunToEnd(program, args, logs / "out.txt", logs / "err.txt", cwd);
    return {status, ReadFile(logs / "out.txt"), ReadFile(logs / "err.txt")};
  }
  // Runs to the end and expects the exit status and the whole error output.
  Outcome Expect(int status, const std::string& err, const std::vector<std::string>& args,
                 const std::string& program = MSU_PROGRAM, const std::string& cwd = "") {
    Outcome run = Run(args, program, cwd);
    EXPECT_EQ(run.status, status) << run.out << run.err;
    EXPECT_EQ(run.err, err);
    return run;
  }
  // Every run leaves the program folder as it found it.
  void TearDown() override { EXPECT_EQ(Leftovers(app.path()), std::vector<std::string>{}); }

  // A program folder of this test's own, as the staged one but without instruction files
  // when `with_instructions` is false.
  std::string CopyProgram(bool with_instructions = true) {
    const fs::path stage = fs::path(MSU_PROGRAM).parent_path();
    fs::copy_file(MSU_PROGRAM, app / "msu");
    fs::copy_file(stage / "cvn.ini", app / "cvn.ini");
    if (with_instructions) {
      fs::copy_file(stage / "CVN_4x.txt", app / "CVN_4x.txt");
      fs::copy_file(stage / "CVN_PRE4x.txt", app / "CVN_PRE4x.txt");
    }
    return app / "msu";
  }

  std::vector<std::string> Attached() const {
    std::vector<std::string> names;
    for (const embedded::AttachedDatabase& database : instance->Databases()) {
      names.push_back(database.name);
    }
    return names;
  }

  // A program started alongside is slow to connect.
  bool WaitForSessions(size_t count) {
    return WaitUntil([&] { return instance->Sessions().size() >= count; });
  }

  ScratchFolder root, data, logs, app;
  std::unique_ptr<embedded::Instance> instance;
  const std::string warden = logs / "warden.txt";
  const std::string pair = data / "pair";
  const std::string fire1 = data / "pair/Fire1.mdf";
  const std::string fire2 = data / "pair/Fire2.mdf";
  const std::string merged = data / "Merged.mdf";
};

}  // namespace msu::cli::testing
