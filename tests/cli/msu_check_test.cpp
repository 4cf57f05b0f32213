// msu check as an administrator runs it: the built program in a process of its own, against
// an embedded server in a scratch folder, with the sample merge pair. Runs that log in (and so
// hold their program folder for their length) run a copy of the program in a folder of their
// own, except the one run of the staged program that shows it leaves the staged folder as it
// found it.
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

namespace msu::cli {
namespace {

namespace fs = std::filesystem;
using embedded::testing::ExitStatus;
using embedded::testing::MakeDatabaseFile;
using embedded::testing::Program;
using embedded::testing::ReadFile;
using embedded::testing::ScratchFolder;
using embedded::testing::WaitUntil;
using embedded::testing::WriteFile;

constexpr const char* kProblemsLine =
    "Warning, There are differences between databases, press Next to view them";
constexpr const char* kNoProblemsLine =
    "Done, no differences found. Press Next to complete the merge";
constexpr const char* kDetailPrefix = "- Adding parent table/key object: ";

// Runs a program to its end with its standard input on /dev/null and its output in two files;
// returns its exit status.
int RunToEnd(const std::string& program, const std::vector<std::string>& args,
             const std::string& out_file, const std::string& err_file, const std::string& cwd) {
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
std::vector<std::string> Leftovers(const std::string& folder) {
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
std::string InUseMessage(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += " " + name;
  return "There are open connections to the " + joined + " database(s).\n";
}

void Execute(const std::string& database, const std::string& sql) {
  ASSERT_NO_THROW(msu::testing::ExecFile(database, sql));
}

class MsuCheckTest : public ::testing::Test {
 protected:
  MsuCheckTest() {
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

TEST_F(MsuCheckTest, BadCommandLinesAreRefusedWithStatus2) {
  const std::string hint = "\nTry 'msu check --help'.\n";
  // Database 1 is named without its extension, as users often type it.
  const std::vector<std::string> full{"check", "--server", "S",     "--db1",   "/x/a",
                                      "--db2", "/x/b.mdf", "--new", "/x/c.mdf"};
  const auto with = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = full;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // The password is never taken from the command line.
      {with({"--password", "secret"}), "msu check: unknown option --password" + hint},
      {with({"--db1", "/x/d.mdf"}), "msu check: --db1 is given twice" + hint},
      {with({"--root"}), "msu check: --root needs a value" + hint},
      {with({"left-over"}), "msu check: unexpected argument left-over" + hint},
      {with({"--details=yes"}), "msu check: --details takes no value" + hint},
      // The report replaces what it names: never a database, also when written without ".mdf".
      {with({"--report", "/x/a.mdf"}),
       "msu check: --report must not name one of the databases" + hint},
      {with({"--report=/x/c.mdf"}),
       "msu check: --report must not name one of the databases" + hint},
      {with({"--report", "/no/such/folder/r.rtf"}),
       "msu check: the folder of --report does not exist: /no/such/folder" + hint},
      {with({"--report-pdf", "/x/b.mdf"}),
       "msu check: --report-pdf must not name one of the databases" + hint},
      {with({"--report", "/tmp/r", "--report-pdf", "/tmp/../tmp/r"}),
       "msu check: --report and --report-pdf must name different files" + hint},
      {{"check", "--server", "S", "--db1", "a", "--db2", "b"}, "msu check: missing --new" + hint},
      {{"split"}, "msu split: missing --server\nTry 'msu split --help'.\n"},
      {{"merge"}, "msu merge: missing --server\nTry 'msu merge --help'.\n"},
      // Without --password-file the password is asked on the terminal, and there is none here.
      {full,
       "msu: there is no terminal to read the Warden password from; give --password-file "
       "FILE\n"},
  };
  for (const auto& [args, err] : cases) Expect(2, err, args);
  EXPECT_EQ(Run({}).status, 2);
}

TEST_F(MsuCheckTest, HelpNamesEveryExitStatus) {
  const std::string help = Expect(0, "", {"check", "--help"}).out;
  ASSERT_NE(help.find("Exit status:\n"), std::string::npos) << help;
  const std::string statuses = help.substr(help.find("Exit status:\n"));
  for (int status = 0; status <= 11; ++status) {
    const std::string number = std::to_string(status);
    EXPECT_NE(statuses.find("\n  " + number + std::string(4 - number.size(), ' ')),
              std::string::npos)
        << "status " << status << " is not explained:\n"
        << help;
  }
  for (const char* option :
       {"--details", "--report", "--report-pdf", "--password-file", "--root", "--overwrite"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST_F(MsuCheckTest, ARefusedLoginStopsWithStatus3AndItsMessage) {
  MakeDatabaseFile(data / "A.mdf");
  MakeDatabaseFile(data / "B.mdf");
  const std::vector<std::string> args = Args(data / "A.mdf", data / "B.mdf", merged);
  // A run that logs in holds its program folder: the tests that run at the same time keep out
  // of each other's way in folders of their own.
  const std::string program = CopyProgram();
  const auto login = [&](const std::string& password, const std::vector<std::string>& with,
                         int status, const std::string& err) {
    SCOPED_TRACE(password);
    WriteFile(warden, password);
    EXPECT_EQ(Expect(status, err, with, program).out, "");
  };
  login("Secret-not\n", args, 3, "Password incorrect.\n");
  login("\n", args, 3, "Password not specified.\n");
  // Only the first letter's case is lost in the server password: "Secret" logs in as well
  // and the run goes on to the paths, where a missing file stops it.
  login("Secret\r\n", Args(data / "Missing.mdf", data / "B.mdf", merged), 4,
        "Error, Database 1 does not exist\n");
  login("sECRET\n", args, 3, "Password incorrect.\n");
  std::vector<std::string> other = args;
  other[2] = "NOSUCH";
  login("secret\n", other, 3, "Error, number -2147220991\n");
  instance->Stop();
  login("secret\n", args, 3, "The server is stopped.\n");
}

TEST_F(MsuCheckTest, PathRulesStopWithStatus4InThePageOrder) {
  MakeDatabaseFile(data / "A.mdf");
  MakeDatabaseFile(data / "B.mdf");
  const std::string a = data / "A.mdf";
  const std::string b = data / "B.mdf";
  struct Case {
    std::string db1, db2, new_database, message;
  };
  const std::vector<Case> cases = {
      {"", "", "", "Error, Source Database not specified"},
      {a, "", "", "Error, Database 2 not specified"},
      {data / "C.mdf", data / "D.mdf", "", "Error, Database 1 does not exist"},
      {a, data / "D.mdf", "", "Error, Database 2 does not exist"},
      {a, b, "", "Error, Resulting Database not specified"},
      // ".mdf" is appended before the paths are compared.
      {a, data / "A", merged, "Error, Database 1 and Database 2 are the same."},
      {a, b, data / "B", "Error, Database 1 or Database 2 are the same as the new database."},
      {a, b, a, "Error, Database 1 or Database 2 are the same as the new database."},
  };
  const std::string program = CopyProgram();
  for (const Case& c : cases) {
    EXPECT_EQ(Expect(4, c.message + "\n", Args(c.db1, c.db2, c.new_database), program).out, "");
  }

  // An existing new database is kept unless --overwrite says otherwise; nothing was made.
  WriteFile(merged, "not a database");
  Expect(4,
         "Warning: The Resulting database exists.  Do you want to overwrite it?\n"
         "(answered No)\n"
         "msu: " +
             merged + " exists; give --overwrite to accept it\n",
         Args(a, b, merged), program);
  EXPECT_EQ(ReadFile(merged), "not a database");
  EXPECT_TRUE(Attached().empty());
}

TEST_F(MsuCheckTest, ADatabaseInUseStopsWithStatus5AndIsLeftAlone) {
  MakeDatabaseFile(data / "A.mdf");
  MakeDatabaseFile(data / "B.mdf");
  instance->Attach("Alpha", data / "A.mdf");
  instance->Attach("Beta", data / "B.mdf");
  const std::vector<std::string> args = Args(data / "A.mdf", data / "B.mdf", merged);
  const std::string program = CopyProgram();
  {
    Program holder(MSU_SERVER_PROGRAM,
                   {"--root", root.path(), "hold", "ORVANE", "Alpha", "--password-file", warden},
                   logs / "holder.txt");
    ASSERT_TRUE(WaitForSessions(1)) << ReadFile(logs / "holder.txt");
    Expect(5, InUseMessage({"Alpha", "", "", "", ""}), args, program);
    // The suite's connection was not touched.
    EXPECT_EQ(instance->Sessions().size(), 1u);
  }

  // Another run's working copy in use: its file is that run's, and stays.
  fs::copy_file(data / "A.mdf", app / "W_O_R_K_A.tmp");
  instance->Attach("W_O_R_K_A", app / "W_O_R_K_A.tmp");
  Program holder(MSU_SERVER_PROGRAM,
                 {"--root", root.path(), "hold", "ORVANE", "W_O_R_K_A", "--password-file", warden},
                 logs / "holder.txt");
  ASSERT_TRUE(WaitForSessions(1)) << ReadFile(logs / "holder.txt");
  Expect(5, InUseMessage({"", "", "", "", "W_O_R_K_A"}), args, program);
  EXPECT_TRUE(fs::exists(app / "W_O_R_K_A.tmp"));
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Alpha", "Beta", "W_O_R_K_A"}));
  for (const std::string& name : Leftovers(app.path())) fs::remove(app / name);
}

TEST_F(MsuCheckTest, VersionsStopWithStatus6Or7BeforeAnyCopyIsMade) {
  // Database 2 with a merge version older than 5.00.06.
  MakePair([&] {
    Execute(fire2, "UPDATE version SET version = '5.00.05' WHERE module = 'MERGEVERSION'");
  });
  const std::string program = CopyProgram();
  EXPECT_EQ(Expect(6, "", Args(fire1, fire2, merged), program).out,
            "Database 2 must be version 5.01.00 or greater.\n");
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
  EXPECT_TRUE(Leftovers(app.path()).empty());

  // A database without a version table.
  MakeDatabaseFile(data / "Plain.mdf");
  instance->Attach("Plain", data / "Plain.mdf");
  const Outcome run = Expect(6, "", Args(data / "Plain.mdf", fire2, merged), program);
  ASSERT_EQ(run.Lines().size(), 1u) << run.out;
  EXPECT_EQ(run.out.rfind("Error Occured: ", 0), 0u) << run.out;

  // A Database 1 older than any instruction file.
  Execute(fire1, "UPDATE version SET version = '3.20.00' WHERE module = 'DATABASE'");
  EXPECT_EQ(Expect(7, "", Args(fire1, fire2, merged), program).out,
            "The Source Database Version Is Prior To 3.21 and Not Supported.\n");
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2", "Plain"}));
}

TEST_F(MsuCheckTest, AMissingInstructionFileStopsWithStatus7AndCleansUp) {
  MakePair();
  const Outcome run =
      Expect(7, "", Args(fire1, fire2, merged), CopyProgram(/*with_instructions=*/false));
  EXPECT_TRUE(run.Has("Loading processing instructions...")) << run.out;
  EXPECT_EQ(run.Lines().back(), "Unable to find instructions");
  EXPECT_FALSE(run.Has("Checking for correct database structure..."));
  // The working copies were made and are gone again.
  EXPECT_TRUE(run.Has("Attaching Work Database B"));
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
  EXPECT_TRUE(instance->Sessions().empty());
}

// An instruction file that gives no table checks nothing: msu says so rather than "no
// differences". A report is never written over a file of the program's folder.
TEST_F(MsuCheckTest, InstructionsWithoutTablesAndReportsOverTheProgramsFilesAreRefused) {
  MakePair();
  const std::string program = CopyProgram(/*with_instructions=*/false);
  // msu merge runs the same check first; one file is enough to show that it stops too.
  const std::pair<std::string, const char*> cases[] = {
      {std::string(), "check"},
      {std::string(), "merge"},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0",
                   10),
       "check"},
      {std::string("\xff\xfeL\0U\0T\0a\0b\0l\0e\0=\0L\0_\0K\0i\0n\0d\0", 30), "check"}};
  for (const auto& [content, command] : cases) {
    WriteFile(app / "CVN_4x.txt", content);
    std::vector<std::string> args = Args(fire1, fire2, merged);
    args[0] = command;
    const Outcome run = Run(args, program);
    EXPECT_EQ(run.status, 7) << command << run.out << run.err;
    EXPECT_NE(run.err.find("msu: the instruction file CVN_4x.txt gave no table (is it empty, or "
                           "not a text file?); nothing was checked\n"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(merged));
  }
  fs::remove(app / "CVN_4x.txt");

  WriteFile(app / "CVN_4x.txt", "kept\n");
  for (const char* name : {"CVN_4x.txt", "cvn.ini", "tmp_rpt.rtf", "W_O_R_K_A.tmp", "msu"}) {
    std::vector<std::string> args = Args(fire1, fire2, merged);
    args.insert(args.end(), {"--report", app / name});
    Expect(2,
           std::string("msu check: --report must not name a file of the application folder (") +
               name + ")\nTry 'msu check --help'.\n",
           args, program);
  }
  EXPECT_EQ(ReadFile(app / "CVN_4x.txt"), "kept\n");
  fs::remove(app / "CVN_4x.txt");
}

TEST_F(MsuCheckTest, TheSamplePairHasProblemsAndTheStagedFolderIsLeftClean) {
  MakePair();
  const std::string fire1_bytes = ReadFile(fire1);
  const std::string fire2_bytes = ReadFile(fire2);
  const std::string fire1_ini = ReadFile(data / "pair/Fire1.ini");
  const std::string report = data / "report.rtf";
  const std::string pdf = data / "report.pdf";
  WriteFile(report, "an older report");
  WriteFile(pdf, "an older PDF");

  std::vector<std::string> args = Args(fire1, fire2, merged);
  args.insert(args.end(), {"--report", report, "--report-pdf", pdf});
  const Outcome run = Expect(1, "", args);

  // The check page's log, in the wizard's order.
  const std::vector<std::string> lines = run.Lines();
  const std::vector<std::string> head{"Created a working copy of Database 1: " + fire1,
                                      "Created a working copy of Database 2: " + fire2,
                                      "Reattaching Source Database",
                                      "Attaching Work Database A",
                                      "Attaching Destination Database",
                                      "Attaching Work Database B",
                                      "Checking databases for consistency and other problems ...",
                                      "Loading processing instructions..."};
  ASSERT_GE(lines.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
  for (const std::string& line :
       {"Created a working copy of ini for source database: " + fire1,
        std::string("Source Database version: 5.01.00"), std::string("Consistency Check... "),
        std::string("Destination Database version: 5.01.00")}) {
    EXPECT_TRUE(run.Has(line)) << line;
  }
  EXPECT_FALSE(run.Has("Created a working copy of ini for destination database: ", true));
  EXPECT_EQ(lines.back(), kProblemsLine);
  EXPECT_FALSE(run.Has(kDetailPrefix, true));
  EXPECT_FALSE(run.Has("Press Merge to start the final merging process."));

  const std::string saved = ReadFile(report);
  EXPECT_EQ(saved.rfind("{\\rtf1", 0), 0u) << saved.substr(0, 80);
  EXPECT_NE(saved.find("Orvane Merge Problem Report"), std::string::npos);
  EXPECT_NE(saved.find("Fire1.mdf"), std::string::npos);
  // The PDF holds the same pages, printed as the wizard prints them.
  const std::vector<std::string> pages = msu::testing::PdfPageTexts(pdf);
  ASSERT_EQ(msu::testing::PdfPageCount(pdf), std::count(saved.begin(), saved.end(), '\f'));
  ASSERT_EQ(pages.size(), static_cast<size_t>(msu::testing::PdfPageCount(pdf)));
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].find("Orvane Merge Problem Report"), 0u) << pages[i];
    EXPECT_NE(pages[i].find("Source Database: Fire1.mdf"), std::string::npos);
    EXPECT_NE(pages[i].find("Page: " + std::to_string(i + 1) + " Orvane Merge"), std::string::npos);
  }

  // The user's files were only read; the new database is not the check's to make.
  EXPECT_TRUE(ReadFile(fire1) == fire1_bytes);
  EXPECT_TRUE(ReadFile(fire2) == fire2_bytes);
  EXPECT_EQ(ReadFile(data / "pair/Fire1.ini"), fire1_ini);
  EXPECT_FALSE(fs::exists(merged));
  // Nothing of the run is left on the server or in the program's folder.
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
  EXPECT_TRUE(instance->Sessions().empty());
  EXPECT_EQ(Leftovers(fs::path(MSU_PROGRAM).parent_path()), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(report + ".part"));
  EXPECT_FALSE(fs::exists(pdf + ".part"));
}

TEST_F(MsuCheckTest, DetailsRelativePathsAndAnAcceptedNewFile) {
  MakePair();
  WriteFile(merged, "kept");
  // Relative to the working folder, without the extension: the server knows absolute paths.
  std::vector<std::string> args = Args("pair/Fire1", "pair/Fire2.mdf", "Merged.mdf");
  args.insert(args.end(), {"--details", "--overwrite"});
  const Outcome run = Expect(1,
                             "Warning: The Resulting database exists.  Do you want to overwrite "
                             "it?\n(answered Yes)\nmsu: give --report FILE to keep the problem "
                             "report\n",
                             args, CopyProgram(), data.path());
  EXPECT_EQ(run.Lines().front(), "Created a working copy of Database 1: " + fire1);
  EXPECT_TRUE(run.Has(kDetailPrefix, true)) << run.out;
  EXPECT_EQ(run.Lines().back(), kProblemsLine);
  EXPECT_EQ(ReadFile(merged), "kept");
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
}

TEST_F(MsuCheckTest, DatabasesWithoutDifferencesEndWithStatus0) {
  // Database 2 against a copy of itself without the rows users added: the standard rows agree
  // and no user code can collide.
  MakePair([&] {
    fs::copy_file(fire2, data / "Clean.mdf");
    for (const char* table : {"L_Category", "L_Kind", "L_Agency", "L_Status", "L_Position",
                              "L_Location", "L_FreqType"}) {
      Execute(data / "Clean.mdf", std::string("DELETE FROM ") + table + " WHERE standard = 0");
    }
  });
  instance->Attach("Clean", data / "Clean.mdf");
  const Outcome run = Expect(0, "", Args(data / "Clean.mdf", fire2, merged), CopyProgram());
  EXPECT_EQ(run.Lines().back(), kNoProblemsLine);
}

// msu merge of the sample pair: a dry run writes no target; the merge exits 0, attaches the new
// database under its name with the incidents of both, verifies, writes JSON that agrees with
// its log and leaves the user's files as they were; merging Database 1 again into the result
// is refused.
TEST_F(MsuCheckTest, MergeOfTheSamplePairDryRunJsonAndRemergeGuard) {
  MakePair(nullptr, 2000);  // enough persons and resources for the re-merge guard to judge
  const std::string fire1_bytes = ReadFile(fire1);
  const std::string fire2_bytes = ReadFile(fire2);
  const std::string program = CopyProgram();
  const auto merge = [&](const std::string& db2, const std::string& target,
                         const std::vector<std::string>& extra) {
    std::vector<std::string> args = Args(fire1, db2, target);
    args[0] = "merge";
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args, program);
  };
  const auto count = [](const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    const long value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
  };

  const std::string pdf = data / "dry.pdf";
  const Outcome dry = merge(fire2, data / "Dry.mdf", {"--dry-run", "--report-pdf", pdf});
  EXPECT_EQ(dry.status, 0) << dry.out << dry.err;
  EXPECT_GE(msu::testing::PdfPageCount(pdf), 1);
  EXPECT_EQ(Leftovers(app.path()), std::vector<std::string>{});
  EXPECT_EQ(dry.Lines().back(), "Dry run: the new database was not written.");
  EXPECT_FALSE(fs::exists(data / "Dry.mdf"));

  const std::string json_file = data / "figures.json";
  const Outcome run = merge(fire2, merged, {"--json", json_file, "--details"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(run.Has("Press Next to merge incidents or finish."));
  EXPECT_TRUE(run.Has("Verification passed: ", true)) << run.out;
  const auto attached = [&] {
    std::vector<std::string> names = Attached();
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(attached(), (std::vector<std::string>{"Fire1", "Fire2", "Merged"}));
  EXPECT_EQ(count(merged, "SELECT COUNT(*) FROM Incidents"),
            count(fire1, "SELECT COUNT(*) FROM Incidents") +
                count(fire2, "SELECT COUNT(*) FROM Incidents"));
  const nlohmann::json figures = nlohmann::json::parse(ReadFile(json_file));
  EXPECT_TRUE(figures["verification"]["passed"].get<bool>());
  EXPECT_EQ(figures["instruction_file"], "CVN_4x.txt");
  EXPECT_FALSE(figures["recodes"].empty());
  for (const auto& table : figures["rows_copied"]) {
    EXPECT_TRUE(run.Has("Table: " + table["table"].get<std::string>() +
                        " records copied from DB A: " + std::to_string(table["rows"].get<long>())))
        << table;
  }
  EXPECT_TRUE(ReadFile(fire1) == fire1_bytes);
  EXPECT_TRUE(ReadFile(fire2) == fire2_bytes);

  // Consolidation: into an incident of the new database, or refused for one it lacks.
  const Outcome one = merge(fire2, data / "One.mdf", {"--into-incident", "2"});
  EXPECT_EQ(one.status, 0) << one.out << one.err;
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Incidents WHERE IncidentID = 2"), 1);
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Incidents"), 1);
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Persons WHERE IncidentID <> 2"), 0);
  const Outcome none = merge(fire2, data / "None.mdf", {"--into-incident", "99"});
  EXPECT_EQ(none.status, 15) << none.out << none.err;
  EXPECT_NE(none.err.find("--into-incident 99 is no incident of the new database"),
            std::string::npos);

  const Outcome again = merge(merged, data / "Again.mdf", {});
  EXPECT_EQ(again.status, 14) << again.out << again.err;
  EXPECT_NE(again.err.find("looks merged into Database 2 before"), std::string::npos);
  EXPECT_FALSE(fs::exists(data / "Again.mdf"));
  EXPECT_EQ(attached(), (std::vector<std::string>{"Fire1", "Fire2", "Merged", "None", "One"}));
}

// msu split: its command lines, its help, and a split of the sample database listed, refused
// for an incident it does not have, and run with --json; the database to split is only read.
TEST_F(MsuCheckTest, SplitCommandLinesAndHelp) {
  const std::string hint = "\nTry 'msu split --help'.\n";
  const std::vector<std::string> base{"split", "--server", "S", "--db", "/x/a"};
  const auto with = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {with({}), "msu split: missing --new" + hint},
      {with({"--new", "/x/b"}), "msu split: missing --keep" + hint},
      {with({"--new", "/x/b", "--keep", "2,x"}),
       "msu split: --keep needs incident IDs (whole numbers from 1, separated by commas)" + hint},
      {with({"--new", "/x/b", "--keep", "0"}),
       "msu split: --keep needs incident IDs (whole numbers from 1, separated by commas)" + hint},
      {with({"--list", "--keep", "2"}),
       "msu split: --list only lists the incidents; leave out --keep" + hint},
      {with({"--new", "/x/b", "--keep", "2", "--json", "/x/a.mdf"}),
       "msu split: --json must not name one of the databases" + hint},
  };
  for (const auto& [args, err] : cases) Expect(2, err, args);

  const std::string help = Expect(0, "", {"split", "--help"}).out;
  const std::string statuses = help.substr(help.find("Exit status:\n"));
  for (int status : {0, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13, 14, 15, 16}) {
    const std::string number = std::to_string(status);
    EXPECT_NE(statuses.find("\n  " + number + std::string(4 - number.size(), ' ')),
              std::string::npos)
        << "status " << status << " is not explained:\n"
        << help;
  }
  EXPECT_NE(
      Expect(0, "", {"--help"})
          .out.find("\n  split   splits incidents out of a database into a new one (msu split "
                    "--help)\n"),
      std::string::npos);
}

TEST_F(MsuCheckTest, SplitOfTheSampleDatabase) {
  MakePair();
  const std::string split1 = data / "pair/Split1.mdf";
  instance->Attach("Split1", split1);
  const std::string split1_bytes = ReadFile(split1);
  const std::string program = CopyProgram();
  const std::string result = data / "Result.mdf";
  const auto split = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"split",  "--server",  "ORVANE",          "--db", split1,
                                     "--root", root.path(), "--password-file", warden};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args, program);
  };

  const Outcome list = split({"--list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.Lines(),
            (std::vector<std::string>{
                "     1  ID-107-001037, O'Brien Ridge", "     2  CA-114-001074, Cedar Creek",
                "     3  ID-121-001111, Bear Gulch", "     4  CA-128-001148, Pine Flat",
                "     5  ID-135-001185, Dry Lake"}));

  const Outcome unknown = split({"--new", result, "--keep", "2,99"});
  EXPECT_EQ(unknown.status, 15) << unknown.out << unknown.err;
  EXPECT_EQ(unknown.err.rfind("msu: --keep names no incident of the database: 99; nothing was "
                              "written. Its incidents are:\n     1  ID-107-001037",
                              0),
            0u)
      << unknown.err;
  EXPECT_FALSE(fs::exists(result));

  const std::string json_file = data / "split.json";
  const Outcome run = split({"--new", data / "Result", "--keep", "2,4", "--json", json_file});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = run.Lines();
  const std::vector<std::string> expected{
      "Created a working copy of database: " + split1,
      "Created a working copy of ini for database: " + split1,
      "Spliting process initiated ...",
      "Deleting unchecked incident: ID-107-001037, O'Brien Ridge",
      "Deleting unchecked incident: ID-121-001111, Bear Gulch",
      "Deleting unchecked incident: ID-135-001185, Dry Lake",
      "Completed the split process.",
      "Done. Press Next to finish."};
  ASSERT_EQ(lines.size(), expected.size() + 1) << run.out;
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 1), expected);
  EXPECT_EQ(lines.back().rfind("Verification passed: the new database holds exactly the 2 kept "
                               "incidents",
                               0),
            0u)
      << lines.back();
  EXPECT_EQ(msu::testing::QueryFile(result, "SELECT IncidentID FROM Incidents ORDER BY 1"),
            (std::vector<std::string>{"2", "4"}));
  const nlohmann::json figures = nlohmann::json::parse(ReadFile(json_file));
  EXPECT_TRUE(figures["verification"]["passed"].get<bool>());
  EXPECT_EQ(figures["incidents"].size(), 5u);
  EXPECT_TRUE(figures["incidents"][1]["kept"].get<bool>());
  EXPECT_TRUE(figures["incidents"][0]["removed"].get<bool>());
  EXPECT_EQ(figures["exit_status"], 0);

  EXPECT_TRUE(ReadFile(split1) == split1_bytes);
  std::vector<std::string> names = Attached();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Fire1", "Fire2", "Result", "Split1"}));
  EXPECT_TRUE(instance->Sessions().empty());
}

// msu merge of a Database 1 older than 4.13 with a 5.01.00 Database 2: converted before and
// after the copy, it exits 0 and verifies; no retired kind code is left, every request number
// is in ORVA notation, every incident has its administrative office, and every agreement an
// office that exists.
TEST_F(MsuCheckTest, MergeOfALegacyDatabase1ConvertsItAndVerifies) {
  const std::string program = CopyProgram();
  for (const suite::SchemaVersion version :
       {suite::SchemaVersion::k4_12_00, suite::SchemaVersion::k3_21_00}) {
    const std::string name = suite::VersionText(version);
    SCOPED_TRACE(name);
    suite::SampleOptions options;
    options.out_dir = data / name;
    options.rows = 600;
    options.version = version;
    suite::GenerateSampleSet(options);
    const std::string db1 = data / (name + "/Fire1.mdf");
    const std::string db2 = data / (name + "/Fire2.mdf");
    instance->Attach("One" + name, db1);
    instance->Attach("Two" + name, db2);
    const std::string db1_bytes = ReadFile(db1);
    const std::string merged_file = data / (name + "/Merged" + name.substr(0, 1) + ".mdf");

    std::vector<std::string> args = Args(db1, db2, merged_file);
    args[0] = "merge";
    const Outcome run = Run(args, program);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.Has("Applying Pre Conversions To Work Database..."));
    EXPECT_TRUE(run.Has("Applying Post Conversions To Final Database..."));
    EXPECT_TRUE(run.Has("Verification passed: ", true)) << run.out;
    EXPECT_TRUE(ReadFile(db1) == db1_bytes);

    const auto rows = [&](const std::string& sql) {
      return msu::testing::QueryFile(merged_file, sql);
    };
    std::string retired;
    for (const convert::KindCodeChange& change : convert::KindCodeChanges()) {
      for (const std::string& code : change.old_codes) {
        retired += (retired.empty() ? "'" : ", '") + code + "'";
      }
    }
    for (const char* table : convert::kKindCodeTables) {
      EXPECT_EQ(rows(std::string("SELECT COUNT(*) FROM ") + table + " WHERE KindCode IN (" +
                     retired + ")"),
                std::vector<std::string>{"0"})
          << table;
    }
    for (const std::string& number :
         rows("SELECT RequestNumber FROM Resources WHERE RequestNumber IS NOT NULL UNION "
              "SELECT OriginalOrderRequest FROM Resources WHERE OriginalOrderRequest IS NOT NULL "
              "UNION SELECT RequestNumber FROM Persons WHERE RequestNumber IS NOT NULL")) {
      EXPECT_EQ(convert::ConvertRequestNumber(number), number);
    }
    EXPECT_EQ(rows("SELECT COUNT(*) FROM Incidents WHERE IncidentID NOT IN (SELECT AdminOfficeID "
                   "FROM AdminOffice)"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(rows("SELECT COUNT(*) FROM Agreement WHERE AdminOfficeID IS NULL OR AdminOfficeID "
                   "NOT IN (SELECT AdminOfficeID FROM AdminOffice)"),
              std::vector<std::string>{"0"});
  }
}

// One run at a time: a second run in the program's folder, or on the same server, is refused
// before it changes anything. A database that a killed run left detached is attached again by
// the next run, which says so and checks as usual.
TEST_F(MsuCheckTest, OneRunAtATimeAndTheNextRunRepairsAKilledOne) {
  MakePair();
  const std::string program = CopyProgram();
  const std::vector<std::string> args = Args(fire1, fire2, merged);
  const std::string us = " (process " + std::to_string(::getpid()) + ")\n";
  for (const auto& [lock_file, refusal] :
       {std::pair{app / ".msu-run.lock",
                  "another merge or split is running in this application folder" + us},
        std::pair{instance->RunLockFile(),
                  "another merge or split is running on the server ORVANE" + us}}) {
    long holder = 0;
    const std::unique_ptr<RunLock> other = RunLock::TryTake(lock_file, &holder);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Expect(5, refusal, args, program).out, "");
  }
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));

  const long ended = msu::testing::EndedProcess();
  instance->RecordPendingAttachment({"Fire1", fire1, ended, "msu", "2024-05-01 10:00:00"});
  instance->Detach("Fire1");
  const Outcome run = Run(args, program);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  ASSERT_FALSE(run.Lines().empty());
  EXPECT_EQ(run.Lines().front(), "Attached the database Fire1 again under its own name, from " +
                                     fire1 + " (detached by process " + std::to_string(ended) +
                                     ", which stopped before attaching it again).");
  EXPECT_TRUE(run.Has(kProblemsLine));
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
  EXPECT_TRUE(instance->PendingAttachments().empty());
}

}  // namespace
}  // namespace msu::cli
