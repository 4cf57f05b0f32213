// usp_syncNextNumber as the embedded server runs it: the body stored in orvane_procedures,
// statement by statement, moves every key counter past the largest key of its table.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "suite/sample_generator.h"
#include "suite/schema.h"
#include "suite_test_util.h"

namespace msu::suite {
namespace {

using testing::Db;
using testing::ScratchDir;

// The body split at ";" the way the embedded server splits it, each statement run alone.
void RunSyncProcedure(Db& db) {
  std::string body =
      db.Text("SELECT body FROM orvane_procedures WHERE name = 'usp_syncnextnumber'");
  ASSERT_FALSE(body.empty());
  std::stringstream in(body);
  std::string statement;
  while (std::getline(in, statement, ';')) db.Exec(statement);
}

struct Counter {
  std::string table;
  std::string field;
};

std::vector<Counter> Counters(Db& db) {
  std::vector<Counter> counters;
  for (const std::string& row : db.Rows("SELECT TableName, FieldName FROM NextNumber")) {
    counters.push_back({row.substr(0, row.find('|')), row.substr(row.find('|') + 1)});
  }
  return counters;
}

int64_t Largest(Db& db, const Counter& c) {
  return db.Int("SELECT COALESCE(MAX([" + c.field + "]), 0) FROM [" + c.table + "]");
}

int64_t Value(Db& db, const Counter& c) {
  return db.Int("SELECT NextNumber FROM NextNumber WHERE TableName = '" + c.table +
                "' AND FieldName = '" + c.field + "'");
}

class SyncNextNumberTest : public ::testing::TestWithParam<SchemaVersion> {};

TEST_P(SyncNextNumberTest, EveryCounterMovesPastTheLargestKey) {
  ScratchDir dir;
  GenerateSampleDatabase(dir.File("a.mdf"), SampleRole::kSource, GetParam(), 500, 3);
  Db db(dir.File("a.mdf"));
  std::vector<Counter> counters = Counters(db);
  ASSERT_GE(counters.size(), 20u);
  // A generated database starts with counters in step with its keys.
  for (const Counter& c : counters) EXPECT_EQ(Value(db, c), Largest(db, c) + 1) << c.table;

  // As after a merge: rows arrive with keys far past the counters, and some counters lag.
  db.Exec("UPDATE NextNumber SET NextNumber = 1");
  db.Exec("INSERT INTO Persons (PersonID, LastName) VALUES (700001, 'O''Hara')");
  db.Exec("INSERT INTO [203_Assignments] (ID, FormID) VALUES (90000, 1)");
  db.Exec("UPDATE NextNumber SET NextNumber = 5000000 WHERE TableName = 'Resources'");
  // A counter equal to its table's largest key points at a key in use: it must move too.
  const auto equal = std::find_if(counters.begin(), counters.end(), [&](const Counter& c) {
    return c.table != "Persons" && c.table != "Resources" && c.table != "203_Assignments" &&
           Largest(db, c) > 1;
  });
  ASSERT_NE(equal, counters.end());
  const int64_t largest = Largest(db, *equal);
  db.Exec("UPDATE NextNumber SET NextNumber = " + std::to_string(largest) + " WHERE TableName = '" +
          equal->table + "' AND FieldName = '" + equal->field + "'");
  RunSyncProcedure(db);
  EXPECT_EQ(Value(db, *equal), largest + 1) << equal->table;
  for (const Counter& c : counters) {
    if (c.table == "Resources") {
      EXPECT_EQ(Value(db, c), 5000000) << "a counter already past the keys stays";
    } else {
      EXPECT_EQ(Value(db, c), Largest(db, c) + 1) << c.table << "." << c.field;
    }
  }
  EXPECT_EQ(Value(db, {"Persons", "PersonID"}), 700002);
  EXPECT_EQ(Value(db, {"203_Assignments", "ID"}), 90001);

  // Running it again changes nothing.
  std::vector<std::string> before = db.Rows("SELECT * FROM NextNumber ORDER BY 1, 2");
  RunSyncProcedure(db);
  EXPECT_EQ(db.Rows("SELECT * FROM NextNumber ORDER BY 1, 2"), before);
}

TEST_P(SyncNextNumberTest, EveryKeyedTableHasACounterThatAnEmptyTableKeeps) {
  ScratchDir dir;
  CreateEmptyDatabase(dir.File("e.mdf"), GetParam());
  Db db(dir.File("e.mdf"));
  std::vector<TableInfo> tables = SchemaTables(GetParam());
  std::vector<Counter> counters = Counters(db);
  for (const Counter& c : counters) {
    const TableInfo* t = FindTable(tables, c.table);
    ASSERT_NE(t, nullptr) << c.table;
    EXPECT_NE(t->FindColumn(c.field), nullptr) << c.table << "." << c.field;
  }
  for (const TableInfo& t : tables) {
    if (t.role != TableRole::kCore) continue;
    for (const ColumnInfo& column : t.columns) {
      if (!column.primary_key || column.identity) continue;
      bool counted = std::any_of(counters.begin(), counters.end(), [&](const Counter& c) {
        return c.table == t.name && c.field == column.name;
      });
      EXPECT_TRUE(counted) << t.name << "." << column.name << " has no counter";
    }
  }
  // Empty tables keep their counters.
  RunSyncProcedure(db);
  EXPECT_EQ(db.Rows("SELECT DISTINCT NextNumber FROM NextNumber"), std::vector<std::string>{"1"});
}

INSTANTIATE_TEST_SUITE_P(AllVersions, SyncNextNumberTest,
                         ::testing::Values(SchemaVersion::k5_01_00, SchemaVersion::k4_12_00,
                                           SchemaVersion::k3_21_00));

}  // namespace
}  // namespace msu::suite
