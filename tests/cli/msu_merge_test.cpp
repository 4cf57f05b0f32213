// msu merge: whole merges of sample pairs, dry runs, JSON, the re-merge guard and legacy
// databases.
#include "tests/cli/msu_world.h"

namespace msu::cli {
namespace {

using namespace msu::cli::testing;

class MsuMergeTest : public MsuWorld {};

TEST_F(MsuMergeTest, MergeOfTheSamplePairDryRunJsonAndRemergeGuard) {
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
  EXPECT_TRUE(dry.Has("Dry run: the new database was not written."));
  EXPECT_EQ(dry.Lines().back(),
            "msu merge: dry run; nothing was written (the new database "
            "would be " +
                (data / "Dry.mdf") + ").");
  EXPECT_FALSE(fs::exists(data / "Dry.mdf"));

  const std::string json_file = data / "figures.json";
  const Outcome run = merge(fire2, merged, {"--json", json_file, "--details"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // The lines that name the window's buttons say what the command does; the last one where
  // the result is.
  EXPECT_TRUE(run.Has("The new database is in place.")) << run.out;
  EXPECT_FALSE(run.Has("Press Next to merge incidents or finish."));
  EXPECT_FALSE(run.Has("Press Merge to start the final merging process."));
  EXPECT_TRUE(
      run.Has("Warning, There are differences between databases: --report FILE keeps "
              "the problem report"))
      << run.out;
  EXPECT_TRUE(run.Has("Verification passed: ", true)) << run.out;
  EXPECT_EQ(run.Lines().back(),
            "msu merge: merged into " + merged + ", attached to the server ORVANE as Merged.");
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

  // Consolidation: foreseen by a dry run (which needs no --overwrite for an existing file),
  // then done and checked; refused before anything is written for an incident the merged
  // database lacks.
  const std::string preview_json = data / "preview.json";
  WriteFile(data / "One.mdf", "not written by a dry run");
  const Outcome preview =
      merge(fire2, data / "One.mdf", {"--dry-run", "--into-incident", "2", "--json", preview_json});
  EXPECT_EQ(preview.status, 0) << preview.out << preview.err;
  EXPECT_EQ(preview.err.find("overwrite"), std::string::npos) << preview.err;
  EXPECT_EQ(ReadFile(data / "One.mdf"), "not written by a dry run");
  const nlohmann::json foreseen = nlohmann::json::parse(ReadFile(preview_json))["consolidation"];
  EXPECT_EQ(foreseen["into"], 2);
  EXPECT_TRUE(foreseen["foreseen"].get<bool>());
  EXPECT_FALSE(foreseen["folded"].get<bool>());
  const long incidents = count(fire1, "SELECT COUNT(*) FROM Incidents") +
                         count(fire2, "SELECT COUNT(*) FROM Incidents");
  EXPECT_EQ(foreseen["incidents_folded"], incidents - 1);
  EXPECT_TRUE(preview.Has("The folding would point ", true)) << preview.out;
  fs::remove(data / "One.mdf");

  const std::string one_json = data / "one.json";
  const Outcome one = merge(fire2, data / "One.mdf", {"--into-incident", "2", "--json", one_json});
  EXPECT_EQ(one.status, 0) << one.out << one.err;
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Incidents WHERE IncidentID = 2"), 1);
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Incidents"), 1);
  EXPECT_EQ(count(data / "One.mdf", "SELECT COUNT(*) FROM Persons WHERE IncidentID <> 2"), 0);
  EXPECT_TRUE(
      one.Has("Folded " + std::to_string(incidents - 1) + " incidents into incident 2: ", true))
      << one.out;
  EXPECT_TRUE(one.Has("Verification of the folding passed: ", true)) << one.out;
  EXPECT_TRUE(
      one.Has("The new database is in place; its incidents are folded into incident 2 "
              "next."))
      << one.out;
  EXPECT_EQ(one.Lines().back(), "msu merge: merged into " + (data / "One.mdf") +
                                    ", attached to the server ORVANE as One; " +
                                    std::to_string(incidents - 1) +
                                    " incidents folded into incident 2.");
  const nlohmann::json folded = nlohmann::json::parse(ReadFile(one_json))["consolidation"];
  EXPECT_TRUE(folded["folded"].get<bool>());
  EXPECT_EQ(folded["rows_moved"], foreseen["rows_moved"]);
  EXPECT_TRUE(folded["verification"]["passed"].get<bool>());

  const Outcome none = merge(fire2, data / "None.mdf", {"--into-incident", "99"});
  EXPECT_EQ(none.status, 15) << none.out << none.err;
  EXPECT_NE(none.err.find("msu: --into-incident 99 is no incident of the merged database; nothing "
                          "was written. Its incidents are:\n  1  "),
            std::string::npos)
      << none.err;
  EXPECT_NE(none.err.find("msu merge: nothing was placed at " + (data / "None.mdf") + ".\n"),
            std::string::npos)
      << none.err;
  EXPECT_FALSE(fs::exists(data / "None.mdf"));

  const Outcome again = merge(merged, data / "Again.mdf", {});
  EXPECT_EQ(again.status, 14) << again.out << again.err;
  EXPECT_NE(again.err.find("looks merged into Database 2 already: "), std::string::npos);
  EXPECT_FALSE(fs::exists(data / "Again.mdf"));
  EXPECT_EQ(attached(), (std::vector<std::string>{"Fire1", "Fire2", "Merged", "One"}));
}

// msu split: its command lines, its help, and a split of the sample database listed, refused
// for an incident it does not have, and run with --json; the database to split is only read.

TEST_F(MsuMergeTest, MergeOfALegacyDatabase1ConvertsItAndVerifies) {
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

}  // namespace
}  // namespace msu::cli
