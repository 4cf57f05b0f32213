// msu split: command lines, listing, whole splits of the sample database.
#include "tests/cli/msu_world.h"

namespace msu::cli {
namespace {

using namespace msu::cli::testing;

class MsuSplitTest : public MsuWorld {};

TEST_F(MsuSplitTest, SplitCommandLinesAndHelp) {
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

TEST_F(MsuSplitTest, SplitOfTheSampleDatabase) {
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

  // A dry run lists what the split would keep and remove, with each table's rows now and after
  // it, as the removal on the working copy counted them, and writes nothing.
  const std::string dry_json = data / "dry.json";
  WriteFile(result, "not written by a dry run");
  const Outcome dry = split({"--new", result, "--keep", "2,4", "--dry-run", "--json", dry_json});
  ASSERT_EQ(dry.status, 0) << dry.out << dry.err;
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(ReadFile(result), "not written by a dry run");
  fs::remove(result);
  const std::vector<std::string> dry_lines = dry.Lines();
  const auto line_of = [&](const std::string& text) {
    return std::find(dry_lines.begin(), dry_lines.end(), text) - dry_lines.begin();
  };
  const long keep_at = line_of("Would keep 2 incidents:");
  ASSERT_LT(keep_at + 6, static_cast<long>(dry_lines.size())) << dry.out;
  EXPECT_EQ(
      std::vector<std::string>(dry_lines.begin() + keep_at, dry_lines.begin() + keep_at + 7),
      (std::vector<std::string>{"Would keep 2 incidents:", "  2  CA-114-001074, Cedar Creek",
                                "  4  CA-128-001148, Pine Flat",
                                "Would remove 3 incidents:", "  1  ID-107-001037, O'Brien Ridge",
                                "  3  ID-121-001111, Bear Gulch", "  5  ID-135-001185, Dry Lake"}));
  EXPECT_LT(line_of("Dry run: the resulting database was not written."), keep_at);
  // Each table's rows now, as the database to split holds them, and as printed; what they will
  // be after is checked against the real split below.
  const nlohmann::json dry_figures = nlohmann::json::parse(ReadFile(dry_json));
  EXPECT_TRUE(dry_figures["dry_run"].get<bool>());
  EXPECT_FALSE(dry_figures["split_completed"].get<bool>());
  const auto count_of = [](const std::string& path, const std::string& table) {
    return std::stol(msu::testing::QueryFile(path, "SELECT COUNT(*) FROM [" + table + "]").at(0));
  };
  ASSERT_GE(dry_figures["tables"].size(), 30u);
  for (const auto& table : dry_figures["tables"]) {
    const std::string name = table["table"];
    const long rows = table["rows"].get<long>();
    const long after = table["rows_after"].get<long>();
    EXPECT_EQ(rows, count_of(split1, name)) << name;
    EXPECT_EQ(table["rows_removed"].get<long>(), rows - after) << name;
    std::istringstream printed(
        dry_lines.at(line_of("Rows per table:") + 2 + (&table - &dry_figures["tables"][0])));
    std::string printed_name;
    long now = -1, later = -1, removed = -1;
    printed >> printed_name >> now >> later >> removed;
    EXPECT_EQ(printed_name, name);
    EXPECT_EQ(now, rows) << name;
    EXPECT_EQ(later, after) << name;
    EXPECT_EQ(removed, rows - after) << name;
  }
  EXPECT_EQ(dry_lines.back(),
            "msu split: dry run; nothing was written. " + result + " would hold 2 of 5 incidents.");

  // A database file the server does not know is refused with the command that attaches it.
  const std::string loose = data / "Loose.mdf";
  fs::copy_file(split1, loose);
  const Outcome refused = Run({"split", "--server", "ORVANE", "--db", loose, "--list", "--root",
                               root.path(), "--password-file", warden},
                              program);
  EXPECT_EQ(refused.status, 6);
  EXPECT_EQ(refused.err,
            "Error, the database to split is not attached to the server ORVANE: no database "
            "there uses the file " +
                loose + ". Attach it first, for example with: msu-server --root " + root.path() +
                " attach ORVANE Loose " + loose + "\n");
  fs::remove(loose);

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
      "Done."};
  ASSERT_EQ(lines.size(), expected.size() + 2) << run.out;
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end() - 2), expected);
  EXPECT_EQ(lines[lines.size() - 2].rfind("Verification passed: the new database holds exactly "
                                          "the 2 kept incidents",
                                          0),
            0u)
      << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), "msu split: kept 2 of 5 incidents in " + result +
                              ", attached to the server ORVANE as Result.");
  EXPECT_EQ(msu::testing::QueryFile(result, "SELECT IncidentID FROM Incidents ORDER BY 1"),
            (std::vector<std::string>{"2", "4"}));
  // The dry run foresaw the rows of every table the split left.
  for (const auto& table : dry_figures["tables"]) {
    EXPECT_EQ(table["rows_after"].get<long>(), count_of(result, table["table"])) << table["table"];
  }
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

}  // namespace
}  // namespace msu::cli
