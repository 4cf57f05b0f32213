// Sample databases: the merge pair holds every case it promises, whatever the version, and
// the same seed always gives the same content.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "suite/incident_delete_rules.h"
#include "suite/sample_generator.h"
#include "suite_test_util.h"

namespace msu::suite {
namespace {

using msu::testing::ReadFile;
using msu::testing::WriteFile;
using testing::Db;
using testing::ScratchDir;

// The qualification rows the merge's de-duplication selects: kind codes repeated per resource.
const char* kRepeatedQuals =
    "SELECT PersonID, KindCode, ResourceID, Trainee FROM Quals WHERE KindCode IN (SELECT "
    "KindCode FROM Quals AS Tmp GROUP BY KindCode, ResourceID HAVING COUNT(*) > 1 AND "
    "ResourceID = Quals.ResourceID) ORDER BY KindCode, ResourceID, PersonID, Trainee";

SampleSummary Generate(const ScratchDir& dir, SchemaVersion v, long rows = 400, uint64_t seed = 7) {
  SampleOptions options;
  options.out_dir = dir.path();
  options.rows = rows;
  options.seed = seed;
  options.version = v;
  return GenerateSampleSet(options);
}

// The merge pair of the version, generated once per test.
class SamplePairTest : public ::testing::TestWithParam<SchemaVersion> {
 protected:
  ScratchDir dir;
  SampleSummary summary = Generate(dir, GetParam());
  Db a{dir.File("Fire1.mdf")}, b{dir.File("Fire2.mdf")};
};

TEST_P(SamplePairTest, StandardRowsDifferWhereTheSummarySaysSo) {
  struct Case {
    std::string query;
    bool same;
  };
  const std::string kind = "SELECT Description, CategoryCode FROM L_Kind WHERE Standard = 1 AND ";
  const std::string status = "SELECT Description, Available FROM L_Status WHERE StatusCode = ";
  const Case cases[] = {
      {kind + "KindCode = 'ENG3'", false},
      {kind + "KindCode = 'DOZR'", false},
      {kind + "KindCode = 'CRW1'", true},
      {status + "3", false},
      {status + "4", false},
      {"SELECT Section FROM L_Position WHERE PositionCode = 'DIVS'", false},
      {"SELECT Description FROM L_Location WHERE LocationCode = 'RENO'", false},
  };
  for (const Case& c : cases) EXPECT_EQ(a.Text(c.query) == b.Text(c.query), c.same) << c.query;
  const std::string agency = "SELECT AgencyName FROM L_Agency WHERE AgencyCode = ";
  EXPECT_EQ(a.Text(agency + "'USFS'"), "FOREST SERVICE");
  EXPECT_EQ(b.Text(agency + "'USFS'"), "Forest Service");
  EXPECT_EQ(a.Text(agency + "'NPS'"), "NULL");
}

TEST_P(SamplePairTest, UserCodesCollideAndAreReferredTo) {
  a.Exec("ATTACH DATABASE '" + dir.File("Fire2.mdf") + "' AS b");
  auto both = [&](const std::string& table, const std::string& codes) {
    return a.Rows("SELECT " + codes + " FROM main." + table +
                  " WHERE Standard = 0 INTERSECT "
                  "SELECT " +
                  codes + " FROM b." + table + " WHERE Standard = 0 ORDER BY 1");
  };
  EXPECT_EQ(both("L_Status", "StatusCode"), (std::vector<std::string>{"100", "101", "102"}));
  EXPECT_EQ(both("L_Category", "CategoryCode"), (std::vector<std::string>{"50"}));
  EXPECT_EQ(both("L_Kind", "KindCode"), (std::vector<std::string>{"XK1"}));
  EXPECT_EQ(both("L_Agency", "AgencyCode"), (std::vector<std::string>{"VFD"}));
  EXPECT_EQ(both("L_Location", "LocationCode, StateCode"), (std::vector<std::string>{"CAMP1|CA"}));
  EXPECT_EQ(both("L_FreqType", "FreqTypeID"), std::vector<std::string>{});
  // A user code of one database that is a standard code of the other would be copied over
  // a row the destination already has; only the kinds the pre-4.13 conversion turns into
  // standard codes may do that.
  std::vector<std::string> expected_late;
  if (GetParam() != SchemaVersion::k5_01_00) expected_late = {"AOBS", "ATGS", "THSP"};
  EXPECT_EQ(a.Rows("SELECT KindCode FROM main.L_Kind WHERE Standard = 0 INTERSECT SELECT "
                   "KindCode FROM b.L_Kind WHERE Standard = 1 ORDER BY 1"),
            expected_late);
  const std::pair<const char*, const char*> codes[] = {{"L_Status", "StatusCode"},
                                                       {"L_Category", "CategoryCode"},
                                                       {"L_Agency", "AgencyCode"},
                                                       {"L_Position", "PositionCode"},
                                                       {"L_FreqType", "FreqTypeID"}};
  for (const auto& [table, code] : codes) {
    EXPECT_EQ(a.Int(std::string("SELECT COUNT(*) FROM main.") + table +
                    " WHERE Standard = 0 "
                    "AND " +
                    code + " IN (SELECT " + code + " FROM b." + table + " WHERE Standard = 1)"),
              0)
        << table;
  }
  EXPECT_GT(a.Int("SELECT COUNT(*) FROM main.Resources WHERE StatusCode IN (100, 101, 102)"), 0);
  EXPECT_GT(a.Int("SELECT COUNT(*) FROM main.Resources WHERE KindCode = 'XK1'"), 0);
  EXPECT_GT(a.Int("SELECT COUNT(*) FROM main.Resources WHERE CategoryCode = 50"), 0);
  EXPECT_GT(a.Int("SELECT COUNT(*) FROM main.L_Kind WHERE CategoryCode = 50"), 0);
  EXPECT_EQ(a.Text("SELECT LocationCode || '/' || StateCode FROM main.Incidents WHERE "
                   "IncidentID = 1"),
            "CAMP1/CA");
  EXPECT_EQ(a.Int("SELECT COUNT(*) FROM main.L_FreqType WHERE Standard IS NULL"), 1);
}

TEST_P(SamplePairTest, QualificationsRepeatOnlyWherePlanned) {
  const bool legacy = GetParam() != SchemaVersion::k5_01_00;
  const std::string yes = legacy ? "T" : "1";
  const std::string no = legacy ? "F" : "0";
  EXPECT_EQ(a.Rows(kRepeatedQuals),
            (std::vector<std::string>{
                "2|CRW1|2|NULL", "2|CRW1|2|" + no,                     // NULL trainee
                "1|ENG1|1|" + no, "1|ENG1|1|" + no, "1|ENG1|1|" + no,  // three identical
                "2|ENG3|1|" + no, "2|ENG3|1|" + yes,                   // trainee only
                "NULL|ENG6|1|" + yes, "NULL|ENG6|1|" + yes, "1|ENG6|1|" + yes}))
      << "persons 1 and 2 belong to resource 1";
  EXPECT_TRUE(b.Rows(kRepeatedQuals).empty());
  EXPECT_EQ(a.Int("SELECT ResourceID FROM Persons WHERE PersonID = 2"), 1);
}

TEST_P(SamplePairTest, EveryIncidentHasRowsInEveryTableThatBelongsToIt) {
  std::vector<IncidentDeleteRule> rules;
  std::string error;
  ASSERT_TRUE(ReadIncidentDeleteRules(
      std::string(ORVANE_STAGE_DIR) + "/" + InstructionFileFor(GetParam()), &rules, &error))
      << error;
  for (const SampleFile& file : summary.files) {
    Db db(file.path);
    ASSERT_EQ(db.Int("SELECT COUNT(*) FROM Incidents"), file.incidents);
    for (int incident = 1; incident <= file.incidents; ++incident) {
      std::vector<std::string> statements = IncidentDeleteStatements(rules, incident);
      for (size_t i = 0; i < statements.size(); ++i) {
        // The rows a rule would delete are the rows the incident owns through that link.
        std::string count = "SELECT COUNT(*) FROM" + statements[i].substr(11);
        EXPECT_GT(db.Int(count), 0)
            << file.path << " incident " << incident << ": " << statements[i];
      }
    }
  }
}

TEST_P(SamplePairTest, NamesWithQuotesNullsAndOverlappingKeys) {
  for (Db* db : {&a, &b}) {
    for (const char* rows :
         {"Persons WHERE LastName LIKE '%''%'", "Incidents WHERE IncidentName = 'O''Brien Ridge'",
          "Persons WHERE MiddleInitial IS NULL", "Resources WHERE StatusCode IS NULL",
          "Persons WHERE LeaderID IS NULL", "Persons WHERE LeaderID = 0"}) {
      EXPECT_GT(db->Int(std::string("SELECT COUNT(*) FROM ") + rows), 0) << rows;
    }
    EXPECT_EQ(db->Int("SELECT MIN(ResourceID) FROM Resources"), 1);
    EXPECT_EQ(db->Int("SELECT MIN(PersonID) FROM Persons"), 1);
    EXPECT_EQ(db->Text("PRAGMA integrity_check"), "ok");
    // Every incident keeps its default accounting code.
    EXPECT_EQ(db->Int("SELECT COUNT(*) FROM AccountingCodes WHERE IncidentDefault = 1"),
              db->Int("SELECT COUNT(*) FROM Incidents"));
  }
}

TEST_P(SamplePairTest, SourceHasTheShapeOfItsVersion) {
  EXPECT_EQ(b.Text("SELECT version FROM version WHERE module = 'DATABASE'"), "5.01.00");
  EXPECT_EQ(a.Text("SELECT version FROM version WHERE module = 'MERGEVERSION'"),
            VersionText(GetParam()));
  const std::regex current("[OECAS]-[1-9][0-9]*(\\.[1-9][0-9]*)?");
  if (GetParam() == SchemaVersion::k5_01_00) {
    for (const std::string& n : a.Rows("SELECT RequestNumber FROM Resources UNION SELECT "
                                       "OriginalOrderRequest FROM Resources WHERE "
                                       "OriginalOrderRequest IS NOT NULL")) {
      EXPECT_TRUE(std::regex_match(n, current)) << n;
    }
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM Persons WHERE Leader = 1"), 0);
    EXPECT_GT(b.Int("SELECT COUNT(*) FROM AdminOffice"), 0);
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM Resources WHERE MobDate IS NOT NULL"), 0);
  } else {
    std::vector<std::string> numbers = a.Rows("SELECT RequestNumber FROM Resources");
    auto any = [&](const char* pattern) {
      return std::any_of(numbers.begin(), numbers.end(), [&](const std::string& n) {
        return std::regex_match(n, std::regex(pattern));
      });
    };
    EXPECT_TRUE(any("[oecas][0-9]+\\.0[0-9]+")) << "like o12.003";
    EXPECT_TRUE(any("[OECAS]-0[0-9]*\\.0[0-9]+")) << "like E-001.02";
    EXPECT_TRUE(any("[0-9]+\\.[0-9]+")) << "starting with a digit";
    EXPECT_TRUE(any("[oecas][0-9]+")) << "like s7";
    EXPECT_EQ(a.Int("SELECT COUNT(*) FROM Quals WHERE Trainee NOT IN ('T', 'F')"), 0);
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM Quals WHERE Trainee = 'T'"), 0);
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM Resources WHERE RRDate IS NOT NULL"), 0);
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM Resources WHERE KindCode IN ('AAGS', 'CARP', "
                    "'HEM1', 'HEM2', 'OTHR', 'SED', 'TR', 'WHSE', 'AERO', 'BURL')"),
              0);
    EXPECT_GT(a.Int("SELECT COUNT(*) FROM L_Kind WHERE KindCode = 'CARP' AND Standard = 1"), 0);
    EXPECT_EQ(b.Int("SELECT COUNT(*) FROM L_Kind WHERE KindCode = 'CARP'"), 0);
    EXPECT_EQ(b.Int("SELECT COUNT(*) FROM AdminOffice"), 0);
    EXPECT_EQ(b.Int("SELECT COUNT(*) FROM Agreement WHERE AdminOfficeID IS NOT NULL"), 0);
    // The identity the pre-merge conversion removes is in place.
    EXPECT_GT(a.Int("SELECT seq FROM sqlite_sequence WHERE name = 'ICS204'"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllVersions, SamplePairTest,
                         ::testing::Values(SchemaVersion::k5_01_00, SchemaVersion::k4_12_00,
                                           SchemaVersion::k3_21_00),
                         [](const auto& info) {
                           std::string text = VersionText(info.param);
                           std::replace(text.begin(), text.end(), '.', '_');
                           return "v" + text;
                         });

// At every size the samples reach every rule a merge or split must apply: each retired kind
// code and each old request-number notation in a legacy Database 1, rows of every deletion rule
// in every incident, and start dates whose earliest is neither the first incident's nor the
// last key's.
class SampleSizeTest : public ::testing::TestWithParam<long> {};

TEST_P(SampleSizeTest, EveryRuleHasRowsToWorkOn) {
  ScratchDir dir;
  const SampleSummary summary = Generate(dir, SchemaVersion::k4_12_00, GetParam());
  Db a(dir.File("Fire1.mdf")), b(dir.File("Fire2.mdf"));
  for (const char* code :
       {"AAGS", "AERO", "BURL", "BURS", "CARP", "CCOO", "CVH",  "DOZI", "FLET", "FLRS", "HCIN",
        "HCSN", "HECP", "HEL4", "HEM1", "HEM2", "HEM3", "HEMC", "HEMG", "HRCK", "INFS", "INHD",
        "IR",   "IRRC", "MOT",  "PCK1", "OTHR", "RXCM", "RXHS", "RXW1", "RXW2", "SED",  "STPS",
        "SUB",  "TESP", "TPLI", "TR",   "TRAI", "TRPS", "WHFL", "WHSE"}) {
    EXPECT_GT(a.Int(std::string("SELECT (SELECT COUNT(*) FROM Quals WHERE KindCode = '") + code +
                    "') + (SELECT COUNT(*) FROM Resources WHERE KindCode = '" + code + "')"),
              0)
        << code;
  }
  const std::vector<std::string> numbers = a.Rows("SELECT RequestNumber FROM Resources");
  for (const char* notation :
       {"[a-z][0-9]+\\.[0-9]{3}", "[A-Z]-[0-9]{3}\\.[0-9]{2}", "[A-Z]-[0-9]+", "[0-9]+\\.[0-9]+",
        "[A-Z]-[0-9]{4}\\.[0-9]{4}", "[a-z][0-9]+"}) {
    const std::regex pattern(notation);
    EXPECT_TRUE(std::any_of(numbers.begin(), numbers.end(), [&](const std::string& number) {
      return std::regex_match(number, pattern);
    })) << notation;
  }
  std::vector<IncidentDeleteRule> rules;
  std::string error;
  ASSERT_TRUE(
      ReadIncidentDeleteRules(std::string(ORVANE_STAGE_DIR) + "/CVN_PRE4x.txt", &rules, &error))
      << error;
  for (const SampleFile& file : summary.files) {
    if (file.role != SampleRole::kSplit) continue;
    Db db(file.path);
    for (int incident = 1; incident <= file.incidents; ++incident) {
      for (const std::string& statement : IncidentDeleteStatements(rules, incident)) {
        EXPECT_GT(db.Int("SELECT COUNT(*) FROM" + statement.substr(11)), 0)
            << "incident " << incident << ": " << statement;
      }
    }
  }
  const std::string earliest_a = a.Text("SELECT MIN(StartDate) FROM Incidents");
  const std::string earliest_b = b.Text("SELECT MIN(StartDate) FROM Incidents");
  EXPECT_LT(earliest_b, earliest_a);
  EXPECT_EQ(b.Text("SELECT StartDate FROM Incidents ORDER BY IncidentID DESC LIMIT 1"), earliest_b);
  EXPECT_NE(b.Text("SELECT StartDate FROM Incidents ORDER BY IncidentID LIMIT 1"), earliest_b);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SampleSizeTest, ::testing::Values(0L, 50L, 400L, 3000L));

// Everything a database holds, table by table, in key order.
std::vector<std::string> Dump(const std::string& path) {
  Db db(path);
  std::vector<std::string> all;
  for (const std::string& table :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    std::vector<std::string> rows = db.Rows("SELECT * FROM [" + table + "]");
    std::sort(rows.begin(), rows.end());
    for (const std::string& row : rows) all.push_back(table + ": " + row);
  }
  return all;
}

TEST(SampleGeneratorTest, TheSameSeedGivesTheSameContent) {
  ScratchDir one, two, three;
  Generate(one, SchemaVersion::k4_12_00, 3000, 42);
  Generate(two, SchemaVersion::k4_12_00, 3000, 42);
  Generate(three, SchemaVersion::k4_12_00, 3000, 43);
  for (const char* name : {"Fire1.mdf", "Fire2.mdf", "Split1.mdf"}) {
    std::vector<std::string> first = Dump(one.File(name));
    EXPECT_EQ(first, Dump(two.File(name))) << name;
    EXPECT_NE(first, Dump(three.File(name))) << name;
  }
}

TEST(SampleGeneratorTest, RowCountFollowsTheRequestAndTheSummaryCountsRight) {
  for (long rows : {20000L, 60000L}) {
    ScratchDir dir;
    SampleSummary summary = Generate(dir, SchemaVersion::k5_01_00, rows);
    ASSERT_EQ(summary.files.size(), 3u);
    for (const SampleFile& file : summary.files) {
      EXPECT_GT(file.total_rows, rows * 7 / 10) << file.path;
      EXPECT_LT(file.total_rows, rows * 13 / 10) << file.path;
      Db db(file.path);
      long sum = 0;
      for (const TableCount& t : file.tables) {
        EXPECT_EQ(db.Int("SELECT COUNT(*) FROM [" + t.table + "]"), t.rows) << t.table;
        sum += t.rows;
      }
      EXPECT_EQ(sum, file.total_rows);
      EXPECT_GT(file.file_bytes, 0);
    }
    EXPECT_NE(summary.Text().find(dir.File("Split1.mdf")), std::string::npos);
  }
}

TEST(SampleGeneratorTest, SplitDatabaseHasSeveralIncidentsAndFilesBesideIt) {
  ScratchDir dir;
  SampleSummary summary = Generate(dir, SchemaVersion::k5_01_00, 50);
  EXPECT_EQ(summary.files[2].path, dir.File("Split1.mdf"));
  EXPECT_GE(summary.files[2].incidents, 5);
  EXPECT_EQ(summary.files[0].ini_path, dir.File("Fire1.ini"));
  EXPECT_TRUE(summary.files[1].ini_path.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("Fire2.ini")));
  EXPECT_EQ(ReadFile(dir.File("Fire1.ini")).rfind("; Suite settings of the database Fire1\r\n", 0),
            0u);
}

TEST(SampleGeneratorTest, ExistingFilesAreNeverOverwritten) {
  ScratchDir dir;
  WriteFile(dir.File("Split1.ini"), "mine");
  try {
    Generate(dir, SchemaVersion::k5_01_00);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "A file already exists at " + dir.File("Split1.ini") +
                                         "; nothing was written. Choose an empty folder.");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("Fire1.mdf")));
  EXPECT_EQ(ReadFile(dir.File("Split1.ini")), "mine");
}

}  // namespace
}  // namespace msu::suite
