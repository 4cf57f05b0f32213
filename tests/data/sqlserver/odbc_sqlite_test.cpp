// The ODBC data-access layer on a real driver: Debian's SQLite ODBC driver, with statements
// that SQLite and SQL Server both accept. Type codes, NULLs, rows affected, errors, the three
// cursor choices, filters, AddNew/Update and a closed connection.
#include "data/sqlserver/sqlserver_connection.h"

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace msu::sqlserver {
namespace {

using data::CursorChoice;
using data::DataError;
using data::Value;

template <typename Work>
std::pair<long, std::string> Failure(Work work) {
  return msu::testing::Thrown<DataError>(work);
}

class OdbcSqliteTest : public ::testing::Test {
 protected:
  OdbcSqliteTest() { db_ = Open(); }

  std::unique_ptr<data::Connection> Open() {
    auto connection = NewSqlServerConnection(SystemOdbc(), nullptr);
    connection->SetConnectionString(std::string("Driver=") + SQLITE_ODBC_DRIVER +
                                    ";Database=" + folder_ / "work.db");
    connection->Open();
    return connection;
  }

  long Exec(const std::string& statement) {
    long rows = 0;
    db_->Execute(statement, &rows);
    return rows;
  }

  // The `column` values of `statement`, as text ("NULL" for NULL).
  std::vector<std::string> Column(const std::string& statement, int column = 0) {
    std::vector<std::string> values;
    auto rows = db_->OpenRecordset(statement, CursorChoice::kStatic);
    for (; !rows->IsEOF(); rows->MoveNext()) {
      const Value& value = rows->Get(column);
      values.push_back(value.IsNull() ? "NULL" : value.AsText());
    }
    return values;
  }

  msu::testing::ScratchFolder folder_;
  std::unique_ptr<data::Connection> db_;
};

TEST_F(OdbcSqliteTest, FieldsCarryTheSuiteServersTypeCodesAndValues) {
  Exec(
      "CREATE TABLE t (i int, s smallint, b bit, v varchar(10), c char(5), f float, "
      "d datetime, m money)");
  EXPECT_EQ(Exec("INSERT INTO t VALUES (42, 7, 1, 'O''Brien', 'ab', 2.5, "
                 "'2024-01-02 10:11:12', 12.5)"),
            1);
  EXPECT_EQ(Exec("INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"), 1);
  auto rows = db_->OpenRecordset("SELECT * FROM t", CursorChoice::kStatic);
  struct Expected {
    const char* name;
    int type;
    long size;
    Value value;
  };
  const Expected expected[] = {
      {"i", data::kTypeInteger, 4, Value::Integer(42)},
      {"s", data::kTypeSmallInt, 2, Value::Integer(7)},
      {"b", data::kTypeBoolean, 2, Value::Integer(1)},
      {"v", data::kTypeVarChar, 10, Value::Text("O'Brien")},
      {"c", data::kTypeChar, 5, Value::Text("ab")},
      {"f", data::kTypeDouble, 8, Value::Real(2.5)},
      {"d", data::kTypeDBTimeStamp, 16, Value::Text("2024-01-02 10:11:12")},
      {"m", data::kTypeCurrency, 8, Value::Text("12.5")},
  };
  ASSERT_EQ(rows->FieldCount(), 8);
  EXPECT_EQ(rows->RecordCount(), 2);
  for (int i = 0; i < 8; ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(rows->Field(i).name, e.name);
    EXPECT_EQ(rows->Field(i).type, e.type) << e.name;
    EXPECT_EQ(rows->Field(i).defined_size, e.size) << e.name;
    EXPECT_EQ(rows->Get(i), e.value) << e.name << ": " << rows->Get(i).AsText();
  }
  rows->MoveNext();
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(rows->Get(i).IsNull()) << expected[i].name;
  rows->MoveNext();
  EXPECT_TRUE(rows->IsEOF());
  EXPECT_EQ(Failure([&] { rows->Get(0); }).first, data::kErrNoCurrentRow);
}

TEST_F(OdbcSqliteTest, ExecuteCountsTheRowsAStatementChanged) {
  Exec("CREATE TABLE t (k int PRIMARY KEY, n int)");
  EXPECT_EQ(Exec("INSERT INTO t (k, n) VALUES (1, 10)"), 1);
  Exec("INSERT INTO t (k, n) VALUES (2, 10)");
  Exec("INSERT INTO t (k, n) VALUES (3, 30)");
  EXPECT_EQ(Exec("UPDATE t SET n = n + 1 WHERE n = 10"), 2);
  EXPECT_EQ(Exec("UPDATE t SET n = 0 WHERE k = 99"), 0);
  EXPECT_EQ(Exec("DELETE FROM t WHERE k = 3"), 1);
  long rows = 5;
  auto result = db_->Execute("SELECT k FROM t", &rows);
  EXPECT_EQ(rows, -1);
  EXPECT_TRUE(result->IsOpen());
  EXPECT_EQ(result->RecordCount(), -1);
  EXPECT_FALSE(db_->Execute("UPDATE t SET n = 1")->IsOpen());
}

TEST_F(OdbcSqliteTest, TransactionsCommitOrUndoWhatTheyHold) {
  Exec("CREATE TABLE t (k int)");
  EXPECT_EQ(db_->BeginTrans(), 1);
  Exec("INSERT INTO t (k) VALUES (1)");
  db_->RollbackTrans();
  db_->BeginTrans();
  Exec("INSERT INTO t (k) VALUES (2)");
  db_->CommitTrans();
  EXPECT_EQ(Column("SELECT k FROM t"), std::vector<std::string>{"2"});
  EXPECT_EQ(Failure([&] { db_->CommitTrans(); }).first, data::kErrStatement);
}

TEST_F(OdbcSqliteTest, AFailedStatementGivesTheServersMessageUntilTheNextSuccess) {
  const auto error = Failure([&] { Exec("SELECT * FROM missing"); });
  EXPECT_EQ(error.first, data::kErrStatement);
  EXPECT_NE(error.second.find("no such table: missing"), std::string::npos) << error.second;
  EXPECT_EQ(error.second.find('['), std::string::npos) << "driver prefixes stay out";
  ASSERT_EQ(db_->Errors().size(), 1u);
  EXPECT_EQ(db_->Errors()[0].number, data::kErrStatement);
  EXPECT_EQ(db_->Errors()[0].description, error.second);
  Exec("CREATE TABLE t (k int)");
  EXPECT_TRUE(db_->Errors().empty());
}

TEST_F(OdbcSqliteTest, AForwardRecordsetKeepsItsRowsWhenTheConnectionWritesMeanwhile) {
  Exec("CREATE TABLE t (k int PRIMARY KEY, n int)");
  for (int k = 1; k <= 5; ++k) {
    Exec("INSERT INTO t (k, n) VALUES (" + std::to_string(k) + ", 0)");
  }
  // The merge reads a parent table forward and updates children on the same connection.
  auto rows = db_->Execute("SELECT k, n FROM t ORDER BY k");
  std::vector<int64_t> seen;
  for (; !rows->IsEOF(); rows->MoveNext()) {
    seen.push_back(rows->Get(0).AsInteger());
    EXPECT_EQ(rows->Get(1).AsInteger(), 0) << "the rows as they were when read";
    Exec("UPDATE t SET n = 1");
  }
  EXPECT_EQ(seen, (std::vector<int64_t>{1, 2, 3, 4, 5}));
  rows->MoveFirst();
  EXPECT_EQ(rows->Get(1).AsInteger(), 1) << "a forward cursor starts over by running again";
}

TEST_F(OdbcSqliteTest, FiltersMatchTheWayTheServerCompares) {
  Exec("CREATE TABLE t (code varchar(10), seq int)");
  Exec("INSERT INTO t VALUES ('ENG', 3)");
  Exec("INSERT INTO t VALUES ('eng  ', 3)");
  Exec("INSERT INTO t VALUES ('ENG', 4)");
  Exec("INSERT INTO t VALUES (NULL, 3)");
  auto rows = db_->OpenRecordset("SELECT * FROM t", CursorChoice::kStatic);
  rows->SetFilter("[code] = 'ENG' AND [Seq] = 3");
  EXPECT_EQ(rows->RecordCount(), 2);
  rows->SetFilter("seq <> 3");
  EXPECT_EQ(rows->RecordCount(), 1);
  EXPECT_EQ(rows->Get("seq").AsInteger(), 4);
  rows->SetFilter("");
  EXPECT_EQ(rows->RecordCount(), 4);
  const auto bad = Failure([&] { rows->SetFilter("[nothing] = 1"); });
  EXPECT_EQ(bad.first, data::kErrInvalidArgument);
  EXPECT_NE(bad.second.find("the recordset has no field nothing"), std::string::npos);
}

TEST_F(OdbcSqliteTest, OptimisticRecordsetsWriteRowsThroughTheirTable) {
  Exec(
      "CREATE TABLE parent (id INTEGER PRIMARY KEY AUTOINCREMENT, name varchar(20), "
      "flag bit DEFAULT 1)");
  Exec("INSERT INTO parent (name) VALUES ('first')");
  auto rows = db_->OpenRecordset("SELECT * FROM parent", CursorChoice::kOptimistic);
  rows->AddNew();
  rows->Set("name", Value::Text("O'Brien"));
  rows->Update();
  EXPECT_EQ(rows->Get("id").AsInteger(), 2) << "the key the server assigned";
  EXPECT_EQ(rows->Get("flag").AsInteger(), 1) << "the default the server filled in";
  rows->MoveFirst();
  rows->Set("name", Value::Null());
  rows->Update();
  EXPECT_EQ(Column("SELECT name FROM parent ORDER BY id"),
            (std::vector<std::string>{"NULL", "O'Brien"}));

  // A row that another statement removed cannot be updated.
  Exec("DELETE FROM parent WHERE id = 1");
  rows->Set("name", Value::Text("again"));
  const auto gone = Failure([&] { rows->Update(); });
  EXPECT_EQ(gone.first, data::kErrStatement);
  EXPECT_EQ(gone.second,
            "Row cannot be located for updating. Some values may have been changed since it was "
            "last read.");

  // Without a primary key the row is found by every original value, NULLs included.
  Exec("CREATE TABLE loose (a int, b varchar(5))");
  Exec("INSERT INTO loose VALUES (1, NULL)");
  Exec("INSERT INTO loose VALUES (2, 'x')");
  auto loose = db_->OpenRecordset("SELECT * FROM loose WHERE a = 1", CursorChoice::kOptimistic);
  loose->Set("b", Value::Text("y"));
  loose->Update();
  EXPECT_EQ(Column("SELECT b FROM loose ORDER BY a"), (std::vector<std::string>{"y", "x"}));

  auto read_only = db_->OpenRecordset("SELECT * FROM loose", CursorChoice::kStatic);
  EXPECT_EQ(Failure([&] { read_only->Set("b", Value::Text("z")); }).first, data::kErrNotUpdatable);
}

TEST_F(OdbcSqliteTest, AClosedConnectionRefusesWorkAndClosesItsRecordsets) {
  Exec("CREATE TABLE t (k int)");
  Exec("INSERT INTO t VALUES (1)");
  Exec("INSERT INTO t VALUES (2)");
  auto streaming = db_->Execute("SELECT k FROM t");
  auto held = db_->OpenRecordset("SELECT k FROM t", CursorChoice::kStatic);
  db_->Close();
  EXPECT_FALSE(db_->IsOpen());
  EXPECT_FALSE(streaming->IsOpen());
  EXPECT_FALSE(held->IsOpen());
  const auto error = Failure([&] { Exec("SELECT 1"); });
  EXPECT_EQ(error,
            std::make_pair(data::kErrClosed,
                           std::string("Operation is not allowed when the object is closed.")));
  db_->Open();
  EXPECT_EQ(Column("SELECT COUNT(*) FROM t"), (std::vector<std::string>{"2"}));
}

TEST_F(OdbcSqliteTest, AMissingDriverIsNamedAsSuch) {
  auto connection = NewSqlServerConnection(SystemOdbc(), nullptr);
  connection->SetConnectionString("Driver=/nonexistent/libnodriver.so;Database=x");
  const auto error = Failure([&] { connection->Open(); });
  EXPECT_EQ(error.first, data::kErrProviderNotFound) << error.second;
  EXPECT_FALSE(connection->IsOpen());
}

}  // namespace
}  // namespace msu::sqlserver
