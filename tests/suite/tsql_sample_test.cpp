// The SQL Server form of the samples: every row of the SQLite files, in INSERT statements the
// server reads alike in any language, under the schema script of suite/sql.
#include "suite/tsql_sample.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/support/test_files.h"

namespace msu::suite {
namespace {

TEST(TSqlSampleTest, TheScriptCarriesEveryRowOfTheSamplesUnderTheSchemaScript) {
  msu::testing::ScratchFolder folder;
  SampleOptions options;
  options.out_dir = folder.path();
  options.rows = 200;
  const SampleSummary summary = GenerateSampleSet(options);
  const std::string script = SampleTSqlScript(summary, "/var/opt/mssql/data");

  long expected = 0;
  for (const SampleFile& file : summary.files) expected += file.total_rows;
  long rows = 0;
  const std::regex blank_date("'[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:");
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  (", 0) == 0) ++rows;
    EXPECT_FALSE(std::regex_search(line, blank_date)) << "a date the language decides: " << line;
  }
  EXPECT_EQ(rows, expected);

  const std::string schema =
      msu::testing::ReadFile(std::string(ORVANE_SOURCE_DIR) + "/suite/sql/orvane_schema.sql");
  size_t at = 0;
  for (const char* database : {"Fire1", "Fire2", "Split1"}) {
    const std::string head = std::string("CREATE DATABASE [") + database + "]\n  ON (NAME = N'" +
                             database + "', FILENAME = N'/var/opt/mssql/data/" + database +
                             ".mdf')";
    at = script.find(head, at);
    ASSERT_NE(at, std::string::npos) << database;
    at = script.find(schema, at);
    ASSERT_NE(at, std::string::npos) << "the schema script of " << database;
  }
  EXPECT_NE(script.find("SET IDENTITY_INSERT [dbo].[Incidents] ON;"), std::string::npos);
  EXPECT_NE(script.find("'O''Brien"), std::string::npos);

  SampleSummary older = summary;
  older.files[0].version = SchemaVersion::k4_12_00;
  EXPECT_THROW(SampleTSqlScript(older, ""), std::runtime_error);
}

}  // namespace
}  // namespace msu::suite
