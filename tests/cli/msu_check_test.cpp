// msu check: command lines, login, paths, versions, instructions, reports and one run at a time.
#include "tests/cli/msu_world.h"

namespace msu::cli {
namespace {

using namespace msu::cli::testing;

class MsuCheckTest : public MsuWorld {};

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
  // The number and the suite's words, then what they mean here.
  login("secret\n", other, 3,
        "Error, number -2147220991\nNo server named NOSUCH on this machine. Known servers: "
        "ORVANE.\n");
  instance->Stop();
  login("secret\n", args, 3,
        "The server is stopped.\nThe server ORVANE is not running; start it with: msu-server "
        "--root " +
            root.path() + " start ORVANE\n");
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
  // The lines that name the window's buttons say what the command does; the loader's listing
  // waits for --details; the last line says where the report is.
  EXPECT_EQ(lines[lines.size() - 2],
            "Warning, There are differences between databases: the problem report is kept in " +
                report + " and " + pdf);
  EXPECT_EQ(lines.back(), "msu check: differences found; the problem report is in " + report +
                              " and " + pdf + ".");
  EXPECT_FALSE(run.Has(kProblemsLine));
  EXPECT_FALSE(run.Has(kDetailPrefix, true));
  EXPECT_FALSE(run.Has("- Adding LU table/key object(s): ", true));
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
                             "it?\n(answered Yes)\n",
                             args, CopyProgram(), data.path());
  EXPECT_EQ(run.Lines().front(), "Created a working copy of Database 1: " + fire1);
  EXPECT_TRUE(run.Has(kDetailPrefix, true)) << run.out;
  EXPECT_TRUE(run.Has("- Adding LU table/key object(s): ", true)) << run.out;
  const std::vector<std::string> lines = run.Lines();
  EXPECT_EQ(lines[lines.size() - 2],
            "Warning, There are differences between databases: --report FILE keeps the problem "
            "report");
  EXPECT_EQ(lines.back(), "msu check: differences found; the problem report was not kept.");
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
  const std::vector<std::string> lines = run.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Done, no differences found.");
  EXPECT_EQ(lines.back(), "msu check: no differences found; nothing was written.");
}

// msu merge of the sample pair: a dry run writes no target; the merge exits 0, attaches the new
// database under its name with the incidents of both, verifies, writes JSON that agrees with
// its log and leaves the user's files as they were; merging Database 1 again into the result
// is refused.

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
  // A run that gave its name is named: the window, with a word on when it lets go.
  {
    LockHolder holder;
    const std::unique_ptr<RunLock> window =
        RunLock::TryTake(app / ".msu-run.lock", &holder, "the Orvane Merge/Split window");
    ASSERT_NE(window, nullptr);
    Expect(5,
           "the Orvane Merge/Split window" + us.substr(0, us.size() - 1) +
               " is running a merge or split in this application folder; it lets go once its "
               "merge or split has run, or when it goes back to its database page or closes\n",
           args, program);
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
  EXPECT_TRUE(
      run.Has("Warning, There are differences between databases: --report FILE keeps "
              "the problem report"));
  EXPECT_EQ(Attached(), (std::vector<std::string>{"Fire1", "Fire2"}));
  EXPECT_TRUE(instance->PendingAttachments().empty());
}

}  // namespace
}  // namespace msu::cli
