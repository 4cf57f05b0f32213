// The embedded server's connections on real database files: what the merge, split and
// conversion statements do, errors with their numbers and texts, and files that must not be
// touched.
#include "data/embedded/embedded_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "data/composite_backend.h"
#include "data/data_access.h"
#include "data/embedded/backend.h"
#include "data/embedded/database_file.h"
#include "data/embedded/instance.h"
#include "data/second_reader.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::embedded {
namespace {

using data::DataError;
using data::Value;
using msu::testing::ReadFile;
using Error = std::pair<long, std::string>;
using Lines = std::vector<std::string>;

// The number and description of the DataError `work` throws.
constexpr long kMax = 2147483647;

template <typename Work>
Error Failure(Work work) {
  return msu::testing::Thrown<DataError>(work);
}

// Checks that `work` throws a DataError numbered `number` whose description holds `part`.
template <typename Work>
void ExpectFailure(Work work, long number, const std::string& part) {
  const Error error = Failure(work);
  EXPECT_EQ(error.first, number) << error.second;
  EXPECT_NE(error.second.find(part), std::string::npos) << error.second;
}

class EmbeddedConnectionTest : public ::testing::Test {
 protected:
  EmbeddedConnectionTest() : path_(folder_ / "work.mdf") {
    CreateDatabaseFile(path_);
    db_ = Connect(path_);
  }

  std::unique_ptr<data::Connection> Connect(const std::string& path) {
    auto connection = NewConnection(folder_.path());
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->SetProperty("PROMPT", 4);
    connection->Open();
    return connection;
  }

  long Exec(const std::string& statement) {
    long rows = 0;
    db_->Execute(statement, &rows);
    return rows;
  }

  // Every row of a query, each value in its text form ("NULL" for NULL).
  std::vector<std::string> Rows(const std::string& statement) {
    auto rs = db_->OpenRecordset(statement, data::CursorChoice::kStatic);
    std::vector<std::string> rows;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      std::string row;
      for (int i = 0; i < rs->FieldCount(); ++i) {
        row += (i > 0 ? "|" : "") + (rs->Get(i).IsNull() ? "NULL" : rs->Get(i).AsText());
      }
      rows.push_back(row);
    }
    return rows;
  }

  // SQLite's own check of the file, read past the engine.
  void ExpectIntact() {
    EXPECT_EQ(msu::testing::QueryFile(path_, "PRAGMA integrity_check"),
              std::vector<std::string>{"ok"});
  }

  msu::testing::ScratchFolder folder_;
  std::string path_;
  std::unique_ptr<data::Connection> db_;
};

TEST_F(EmbeddedConnectionTest, FieldsReportTheDeclaredTypeOrTheValueType) {
  Exec(
      "CREATE TABLE T (i int, s smallint, y tinyint, b bigint, f bit, r real, m money, "
      "d decimal(9,2), dt datetime, c char(4), nc nchar(3), v varchar(30), nv nvarchar(20), "
      "vm varchar(max), tx text, nt ntext, g uniqueidentifier, bn binary(8), vb varbinary(16), "
      "im image)");
  Exec("INSERT INTO T (i, f, dt, v) VALUES (7, 'True', '2024-03-01 08:30:00', 'x')");
  Exec("INSERT INTO T (i) VALUES (NULL)");
  auto rs = db_->OpenRecordset("SELECT * FROM T", data::CursorChoice::kStatic);
  // The type codes and defined sizes the copy routines read, column by column.
  const int types[] = {3,   2,   17,  20,  11,  5,   6,  131, 135, 129,
                       130, 200, 202, 201, 201, 203, 72, 128, 204, 205};
  const long sizes[] = {4, 2,  1,  8,    2,    8,          8,  9, 16, 4,
                        3, 30, 20, kMax, kMax, 1073741823, 16, 8, 16, kMax};
  ASSERT_EQ(rs->FieldCount(), 20);
  for (int i = 0; i < rs->FieldCount(); ++i) {
    EXPECT_EQ(rs->Field(i).type, types[i]) << rs->Field(i).name;
    EXPECT_EQ(rs->Field(i).defined_size, sizes[i]) << rs->Field(i).name;
  }
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Get("I"), Value::Integer(7));
  EXPECT_EQ(rs->Get("f"), Value::Integer(1));  // a bit reads as 0 or 1
  EXPECT_EQ(rs->Get("dt"), Value::Text("2024-03-01 08:30:00"));
  EXPECT_TRUE(rs->Get("s").IsNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Get("i").IsNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->IsEOF());
  EXPECT_EQ(Failure([&] { rs->Get(0); }).first, data::kErrNoCurrentRow);
  EXPECT_EQ(Failure([&] { rs->Get("nope"); }).first, data::kErrNotFound);

  auto expressions =
      db_->Execute("SELECT MAX(i) AS MaxNum, COUNT(*), 5000000000, 1.5, 'abc', NULL FROM T");
  const int codes[] = {3, 3, 20, 5, 200, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(expressions->Field(i).type, codes[i]) << i;
  EXPECT_EQ(expressions->Field(0).name, "MaxNum");
  EXPECT_EQ(expressions->Get("maxnum"), Value::Integer(7));
  EXPECT_EQ(expressions->RecordCount(), -1);
}

TEST_F(EmbeddedConnectionTest, TextComparesWithoutRegardToCase) {
  Exec(
      "CREATE TABLE L_Kind (KindCode varchar(10) NOT NULL PRIMARY KEY, Descr nvarchar(40), "
      "standard bit)");
  Exec("INSERT INTO L_Kind VALUES ('ENG', 'Engine', 1)");
  EXPECT_EQ(Rows("SELECT Descr FROM L_Kind WHERE KindCode = 'eng'"), Lines{"Engine"});
  EXPECT_EQ(Rows("SELECT KindCode FROM L_Kind WHERE Descr = 'ENGINE' AND standard = 1"),
            Lines{"ENG"});
  // The key compares the same way.
  EXPECT_EQ(Failure([&] { Exec("INSERT INTO L_Kind VALUES ('Eng', 'x', 0)"); }),
            Error(data::kErrStatement,
                  "UNIQUE constraint failed: L_Kind.KindCode (statement: INSERT INTO L_Kind "
                  "VALUES ('Eng', 'x', 0))"));
}

TEST_F(EmbeddedConnectionTest, FiltersMatchCodeFieldsLikeTheServer) {
  Exec("CREATE TABLE Q (KindCode varchar(8), Seq int, Name varchar(20))");
  Exec("INSERT INTO Q VALUES ('ENG', 3, 'O''Brien')");
  Exec("INSERT INTO Q VALUES ('eng', 4, 'Smith')");
  Exec("INSERT INTO Q VALUES ('CREW', 3, NULL)");
  auto rs = db_->OpenRecordset("SELECT * FROM Q", data::CursorChoice::kOptimistic);
  // A NULL matches no condition; every single match here is O'Brien's row.
  const std::pair<const char*, long> filters[] = {{"[KindCode] = 'Eng' AND [Seq] = 3", 1},
                                                  {"(KindCode = 'ENG ') AND (Seq >= 3.0)", 2},
                                                  {"[Name] = 'o''brien'", 1},
                                                  {"[Name] <> 'Smith'", 1},
                                                  {"[Seq] = 9", 0},
                                                  {"", 3}};
  for (const auto& [filter, count] : filters) {
    rs->SetFilter(filter);
    EXPECT_EQ(rs->RecordCount(), count) << filter;
    EXPECT_EQ(rs->IsEOF() && rs->IsBOF(), count == 0) << filter;
    if (count == 1) {
      EXPECT_EQ(rs->Get("Name"), Value::Text("O'Brien")) << filter;
    }
  }

  for (const std::string bad :
       {"[KindCode] = 'ENG' OR [Seq] = 3", "[Missing] = 1", "[KindCode] = 'ENG", "[Seq] =", "("}) {
    ExpectFailure([&] { rs->SetFilter(bad); }, data::kErrInvalidArgument, "\"" + bad + "\"");
  }
  EXPECT_EQ(rs->RecordCount(), 3);  // a refused filter leaves the rows as they were
}

TEST_F(EmbeddedConnectionTest, OptimisticRecordsetsWriteChangesAndNewRows) {
  Exec(
      "CREATE TABLE Shift (ShiftID int IDENTITY(100,1) PRIMARY KEY, Name varchar(20), "
      "Hours real)");
  Exec("INSERT INTO Shift (Name) VALUES ('Day')");
  auto rs = db_->OpenRecordset("SELECT * FROM Shift", data::CursorChoice::kOptimistic);
  EXPECT_EQ(rs->Field(0).type, data::kTypeInteger);
  EXPECT_EQ(rs->Get("ShiftID"), Value::Integer(100));
  rs->Set("Name", Value::Text("Day'1"));
  rs->Update();
  rs->AddNew();
  rs->Set("Name", Value::Text("Night"));
  rs->Set("Hours", Value::Real(7.5));
  rs->Update();
  EXPECT_EQ(rs->Get("ShiftID"), Value::Integer(101));  // the key the engine assigned
  EXPECT_EQ(rs->Get("Hours"), Value::Real(7.5));
  // A pending change is written when the cursor moves on.
  rs->MoveFirst();
  rs->Set("Hours", Value::Integer(8));
  rs->MoveNext();
  EXPECT_EQ(Rows("SELECT ShiftID, Name, Hours FROM Shift ORDER BY ShiftID"),
            (Lines{"100|Day'1|8", "101|Night|7.5"}));

  // Only a single-table SELECT through an optimistic recordset can be changed.
  auto joined =
      db_->OpenRecordset("SELECT a.Name FROM Shift a, Shift b", data::CursorChoice::kOptimistic);
  EXPECT_EQ(Failure([&] { joined->Set(0, Value::Text("x")); }).first, data::kErrNotUpdatable);
  auto forward = db_->Execute("SELECT * FROM Shift");
  EXPECT_EQ(Failure([&] { forward->AddNew(); }).first, data::kErrNotUpdatable);
  auto counted =
      db_->OpenRecordset("SELECT COUNT(*) AS n FROM Shift", data::CursorChoice::kOptimistic);
  EXPECT_EQ(Failure([&] { counted->Set(0, Value::Integer(1)); }).first, data::kErrNotUpdatable);
  ExpectIntact();
}

TEST_F(EmbeddedConnectionTest, ErrorsCarryNumberDescriptionAndStatement) {
  const Error missing{data::kErrStatement,
                      "no such table: Missing (statement: SELECT * FROM Missing)"};
  EXPECT_EQ(Failure([&] { db_->Execute("SELECT * FROM Missing"); }), missing);
  ASSERT_EQ(db_->Errors().size(), 1u);
  EXPECT_EQ(Error(db_->Errors()[0].number, db_->Errors()[0].description), missing);
  Exec("CREATE TABLE t (a int)");
  EXPECT_TRUE(db_->Errors().empty());

  // A form the server does not know is refused before anything runs.
  Exec("INSERT INTO t VALUES (1)");
  ExpectFailure([&] { db_->Execute("DECLARE @n int; DELETE FROM t"); }, data::kErrStatement,
                "The embedded server does not support ");
  EXPECT_EQ(Rows("SELECT a FROM t"), Lines{"1"});

  // Command time-out.
  db_->SetCommandTimeout(1);
  EXPECT_EQ(Failure([&] {
              db_->Execute(
                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                  "SELECT COUNT(*) FROM c");
            }),
            Error(data::kErrTimeout, "Query timeout expired"));
  EXPECT_EQ(db_->Errors().at(0).number, data::kErrTimeout);
}

TEST_F(EmbeddedConnectionTest, QualsStatementsOfTheMerge) {
  Exec("CREATE TABLE Quals (PersonID int, KindCode varchar(8), ResourceID int, Trainee bit)");
  for (const char* row : {"(12,'ENG',40,0)", "(12,'ENG',40,0)", "(12,'ENG',40,1)",
                          "(NULL,'CREW',41,NULL)", "(13,'CREW',41,0)"}) {
    Exec(std::string("INSERT INTO Quals VALUES ") + row);
  }
  // A statement that changes no row reports 0, whatever the one before it changed.
  EXPECT_EQ(Exec("CREATE TABLE Persons (PersonID int, KindCode varchar(8))"), 0);
  EXPECT_EQ(Exec("DELETE QUALS WHERE PersonID = 12 AND KindCode = 'eng' AND ResourceID = 40 AND "
                 "Trainee = '0'"),
            2);
  EXPECT_EQ(Exec("INSERT INTO QUALS VALUES(12,'ENG',40,'0')"), 1);
  EXPECT_EQ(Rows("SELECT * FROM Quals WHERE PersonID = 12 ORDER BY Trainee"),
            (Lines{"12|ENG|40|0", "12|ENG|40|1"}));
  auto trainee = db_->Execute("SELECT Trainee FROM Quals WHERE PersonID = 12 ORDER BY Trainee");
  EXPECT_EQ(trainee->Get(0), Value::Integer(0));  // stored as a number, not the text '0'

  Exec("INSERT INTO Persons VALUES (1, 'AAGS')");
  Exec("INSERT INTO Persons VALUES (2, 'aags')");
  EXPECT_EQ(Exec("UPDATE Persons SET Persons.KindCode = 'ATGS' WHERE (((Persons.KindCode) = "
                 "'AAGS'));"),
            2);
  EXPECT_EQ(Exec("UPDATE Quals SET Quals.PersonID = 21 WHERE Quals.PersonID = 13"), 1);
  EXPECT_EQ(Rows("SELECT DISTINCT KindCode FROM Persons"), Lines{"ATGS"});
  ExpectIntact();
}

TEST_F(EmbeddedConnectionTest, KeyShiftOnAPrimaryKeyIsCheckedPerStatement) {
  Exec("CREATE TABLE Persons (PersonID int NOT NULL PRIMARY KEY, Name varchar(20))");
  for (int id = -1; id <= 6; ++id) {
    Exec("INSERT INTO Persons VALUES (" + std::to_string(id) + ", 'P" + std::to_string(id) + "')");
  }
  auto rowids = [&] { return Rows("SELECT rowid, PersonID FROM Persons ORDER BY rowid"); };
  std::vector<std::string> before = rowids();
  EXPECT_EQ(Exec("UPDATE Persons SET Persons.PersonID = Persons.PersonID + 501 WHERE NOT "
                 "Persons.PersonID = 0 AND NOT Persons.PersonID = -1"),
            6);
  EXPECT_EQ(Rows("SELECT PersonID, Name FROM Persons ORDER BY PersonID"),
            (Lines{"-1|P-1", "0|P0", "502|P1", "503|P2", "504|P3", "505|P4", "506|P5", "507|P6"}));
  std::vector<std::string> after = rowids();
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(before[i].substr(0, before[i].find('|')), after[i].substr(0, after[i].find('|')));
  }

  // A real collision still fails, and nothing of the statement stays.
  ExpectFailure([&] { Exec("UPDATE Persons SET PersonID = 600 WHERE PersonID > 502"); },
                data::kErrStatement,
                "UNIQUE constraint failed: Persons.PersonID (statement: UPDATE Persons SET "
                "PersonID = 600");
  EXPECT_EQ(Rows("SELECT COUNT(*), MIN(PersonID), MAX(PersonID) FROM Persons WHERE PersonID > "
                 "500"),
            Lines{"6|502|507"});

  // Where the key is the rowid (an identity), the shift works too.
  Exec("CREATE TABLE Shift (ShiftID int IDENTITY(1,1) PRIMARY KEY, Name varchar(9))");
  for (int i = 0; i < 4; ++i)
    Exec("INSERT INTO Shift (Name) VALUES ('S" + std::to_string(i) + "')");
  EXPECT_EQ(Exec("UPDATE Shift SET ShiftID = ShiftID + 1"), 4);
  EXPECT_EQ(Rows("SELECT ShiftID, Name FROM Shift ORDER BY ShiftID"),
            (Lines{"2|S0", "3|S1", "4|S2", "5|S3"}));
  ExpectIntact();
}

TEST_F(EmbeddedConnectionTest, PreConversionRemovesAnIdentityColumn) {
  Exec(
      "CREATE TABLE [203_Template] (TemplateID int IDENTITY(1,1) PRIMARY KEY, Title "
      "varchar(20), RRDate datetime)");
  Exec("CREATE INDEX IX_Title ON [203_Template] (Title)");
  Exec("INSERT INTO [203_Template] (Title) VALUES ('a')");
  Exec("INSERT INTO [203_Template] (Title) VALUES ('b')");
  Exec("ALTER TABLE [203_Template] ADD TemplateID_2 INT");
  Exec("UPDATE [203_Template] SET TemplateID_2 = TemplateID");
  auto keys = db_->OpenRecordset("EXEC sp_pkeys [203_Template]", data::CursorChoice::kStatic);
  ASSERT_EQ(keys->RecordCount(), 1);
  EXPECT_EQ(keys->Get("COLUMN_NAME"), Value::Text("TemplateID"));
  std::string pk_name = keys->Get("pk_name").AsText();
  Exec("ALTER TABLE [203_Template] DROP CONSTRAINT " + pk_name);
  Exec("ALTER TABLE [203_Template] DROP COLUMN TemplateID");
  Exec("EXEC sp_rename '[203_Template].TemplateID_2', 'TemplateID', 'COLUMN'");
  Exec("EXEC sp_rename '203_Template.RRDate', 'MobDate', 'COLUMN'");
  EXPECT_EQ(Rows("SELECT TemplateID, Title, MobDate FROM [203_Template] ORDER BY TemplateID"),
            (Lines{"1|a|NULL", "2|b|NULL"}));
  EXPECT_EQ(db_->OpenRecordset("EXEC sp_pkeys [203_Template]", data::CursorChoice::kStatic)
                ->RecordCount(),
            0);
  // No key any more: a repeated value is accepted, and the index survived the rebuild.
  Exec("INSERT INTO [203_Template] (TemplateID, Title) VALUES (2, 'c')");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM sqlite_schema WHERE name = 'IX_Title'"), Lines{"1"});
  // The key keeps the name its table gave it.
  Exec(
      "CREATE TABLE ICS202 (FormID int IDENTITY(1,1) NOT NULL CONSTRAINT [PK_Form202] PRIMARY "
      "KEY, Title varchar(9))");
  auto named = db_->OpenRecordset("EXEC sp_pkeys ICS202", data::CursorChoice::kStatic);
  EXPECT_EQ(named->Get("PK_NAME"), Value::Text("PK_Form202"));
  Exec("ALTER TABLE ICS202 DROP CONSTRAINT PK_Form202");
  EXPECT_EQ(db_->OpenRecordset("EXEC sp_pkeys ICS202", data::CursorChoice::kStatic)->RecordCount(),
            0);
  ExpectFailure([&] { Exec("ALTER TABLE [203_Template] DROP CONSTRAINT PK_Other"); },
                data::kErrStatement, "'PK_Other' is not a constraint.");
  ExpectIntact();
}

TEST_F(EmbeddedConnectionTest, StoredProceduresRunFromTheDatabaseAsOneUnit) {
  Exec("CREATE TABLE NextNumber (TableName varchar(30) PRIMARY KEY, NextNum int)");
  Exec("CREATE TABLE Persons (PersonID int PRIMARY KEY)");
  Exec(
      "CREATE TABLE orvane_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT "
      "NULL)");
  Exec("INSERT INTO NextNumber VALUES ('Persons', 1)");
  Exec("INSERT INTO Persons VALUES (41)");
  Exec(
      "INSERT INTO orvane_procedures VALUES ('usp_syncNextNumber', "
      "'UPDATE NextNumber SET NextNum = (SELECT IFNULL(MAX(PersonID), 0) + 1 FROM Persons) "
      "WHERE TableName = ''Persons''; -- done\n')");
  Exec(
      "INSERT INTO orvane_procedures VALUES ('usp_broken', "
      "'DELETE FROM Persons; INSERT INTO NoSuchTable VALUES (?1)')");
  Exec("INSERT INTO orvane_procedures VALUES ('usp_add', 'INSERT INTO Persons VALUES (?1)')");

  db_->Execute("usp_syncNextNumber");
  EXPECT_EQ(Rows("SELECT NextNum FROM NextNumber"), Lines{"42"});
  EXPECT_EQ(Exec("EXEC USP_ADD 50"), 1);
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM Persons"), Lines{"2"});

  ExpectFailure([&] { db_->Execute("EXEC usp_broken 1"); }, data::kErrStatement,
                "no such table: NoSuchTable");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM Persons"), Lines{"2"});

  ExpectFailure([&] { db_->Execute("usp_unknown"); }, data::kErrStatement,
                "The embedded server does not support the procedure usp_unknown");
  ExpectIntact();
}

// Integer columns hold the ranges of their types on the suite server: a statement whose
// arithmetic leaves one fails whole, as the suite server's "Arithmetic overflow" does, and
// changes nothing; the same through a recordset and for a key shift.
TEST_F(EmbeddedConnectionTest, IntegerColumnsKeepTheRangesOfTheirTypes) {
  Exec(
      "CREATE TABLE Persons (PersonID int PRIMARY KEY, Age tinyint, Qual smallint, Big bigint,"
      " Name varchar(20))");
  Exec("INSERT INTO Persons VALUES (2147483000, 30, 1, 1, 'a')");
  Exec("INSERT INTO Persons VALUES (5, 255, -32768, 9223372036854775807, 'b')");
  const std::string int_overflow =
      "Arithmetic overflow error converting expression to data type int.";
  ExpectFailure(
      [&] {
        Exec(
            "UPDATE Persons SET Persons.PersonID = Persons.PersonID + 1000 WHERE NOT "
            "Persons.PersonID = 0 AND NOT Persons.PersonID = -1");
      },
      data::kErrStatement, int_overflow + " (table Persons, column PersonID, value 2147484000)");
  ExpectFailure([&] { Exec("INSERT INTO Persons VALUES (2147483648, 1, 1, 1, 'c')"); },
                data::kErrStatement, int_overflow);
  ExpectFailure([&] { Exec("UPDATE Persons SET Age = Age + 1"); }, data::kErrStatement,
                "data type tinyint. (table Persons, column Age, value 256)");
  ExpectFailure([&] { Exec("UPDATE Persons SET Qual = Qual - 1"); }, data::kErrStatement,
                "data type smallint.");
  ExpectFailure([&] { Exec("UPDATE Persons SET Big = Big + 1 WHERE PersonID = 5"); },
                data::kErrStatement, "data type bigint.");
  EXPECT_EQ(Rows("SELECT PersonID, Age, Qual FROM Persons ORDER BY PersonID"),
            (Lines{"5|255|-32768", "2147483000|30|1"}));

  auto rs = db_->OpenRecordset("SELECT * FROM Persons", data::CursorChoice::kOptimistic);
  rs->AddNew();
  rs->Set("PersonID", Value::Integer(int64_t{1} << 31));
  ExpectFailure([&] { rs->Update(); }, data::kErrStatement, int_overflow);
  rs->Close();
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM Persons"), Lines{"2"});
  // Within the range everything is written; text kept in an integer column is not judged.
  Exec("UPDATE Persons SET PersonID = PersonID + 647 WHERE PersonID = 2147483000");
  Exec("INSERT INTO Persons VALUES (-2147483648, 0, 32767, -9223372036854775807, 'd')");
  EXPECT_EQ(Rows("SELECT MAX(PersonID), MIN(PersonID) FROM Persons"),
            (Lines{"2147483647|-2147483648"}));
  // An update of columns without a range leaves the others alone, even one that another
  // program filled beyond its range; writing that one is judged.
  db_->Close();
  msu::testing::ExecFile(path_, "UPDATE Persons SET Age = 300 WHERE PersonID = 5");
  db_ = Connect(path_);
  EXPECT_EQ(Exec("UPDATE Persons SET Name = 'z' WHERE PersonID = 5"), 1);
  ExpectFailure([&] { Exec("UPDATE Persons SET Age = Age, Name = 'y' WHERE PersonID = 5"); },
                data::kErrStatement, "data type tinyint. (table Persons, column Age, value 300)");
  EXPECT_EQ(Rows("SELECT Name FROM Persons WHERE PersonID = 5"), Lines{"z"});
}

// Only the rows a statement wrote are judged, however many it wrote and wherever they lie.
TEST_F(EmbeddedConnectionTest, OnlyTheWrittenRowsAreJudgedForTheirRanges) {
  Exec("CREATE TABLE T (k int, v int, w smallint)");
  db_->Close();
  // 70,000 rows, more than are looked up one by one, and a value no statement of the server
  // could have written, kept by another program in a row of the middle.
  msu::testing::ExecFile(path_,
                         "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                         "70000) INSERT INTO T SELECT i, i, 1 FROM n;"
                         "UPDATE T SET w = 40000 WHERE k = 35000");
  db_ = Connect(path_);
  EXPECT_EQ(Exec("UPDATE T SET v = v + 1 WHERE k IN (1, 70000)"), 2);
  EXPECT_EQ(Exec("UPDATE T SET v = 2147483647 WHERE k = 69999"), 1);
  ExpectFailure([&] { Exec("UPDATE T SET v = v + 1 WHERE k = 69999 OR k = 2"); },
                data::kErrStatement, "data type int. (table T, column v, value 2147483648)");
  // Every row written: read in one pass, and the first column broken is the one named.
  ExpectFailure([&] { Exec("UPDATE T SET v = v + 1, k = k * 40000"); }, data::kErrStatement,
                "data type int. (table T, column k, value 2147520000)");
  ExpectFailure([&] { Exec("UPDATE T SET v = v + 1"); }, data::kErrStatement,
                "data type int. (table T, column v, value 2147483648)");
  EXPECT_EQ(Rows("SELECT SUM(v), MAX(k) FROM T"), Lines{"4597448650|70000"});
}

TEST_F(EmbeddedConnectionTest, AForwardRecordsetKeepsItsRowsWhenTheConnectionWrites) {
  Exec("CREATE TABLE resources (resourceid int PRIMARY KEY, requestnumber varchar(20))");
  for (int i = 1; i <= 5; ++i) {
    Exec("INSERT INTO resources VALUES (" + std::to_string(i) + ", 'o" + std::to_string(i) + "')");
  }
  auto rs = db_->Execute("SELECT resourceid, requestnumber FROM resources");
  std::vector<std::string> seen;
  for (; !rs->IsEOF(); rs->MoveNext()) {
    seen.push_back(rs->Get(1).AsText());
    // Rewriting the rows being read, and adding one, must not show up in this result.
    Exec("UPDATE resources SET requestnumber = 'O-" + rs->Get(0).AsText() +
         "' WHERE resourceid = " + rs->Get(0).AsText());
    Exec("INSERT INTO resources VALUES (" + std::to_string(100 + seen.size()) + ", 'new')");
  }
  EXPECT_EQ(seen, (Lines{"o1", "o2", "o3", "o4", "o5"}));
  EXPECT_FALSE(rs->IsBOF());
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM resources WHERE requestnumber LIKE 'O-%'"), Lines{"5"});

  // Results read to their end, but still held, do not lock out another connection's writes.
  auto empty = db_->Execute("SELECT * FROM resources WHERE resourceid = 0");
  EXPECT_TRUE(empty->IsEOF());
  EXPECT_TRUE(empty->IsBOF());
  auto listed = db_->Execute("SELECT resourceid FROM resources");
  while (!listed->IsEOF()) listed->MoveNext();
  auto other = Connect(path_);
  other->SetCommandTimeout(2);
  other->Execute("INSERT INTO resources VALUES (200, 'other')");

  auto again = db_->Execute("SELECT resourceid FROM resources WHERE resourceid < 3");
  again->MoveNext();
  again->MoveFirst();  // a forward cursor starts over by running its statement again
  EXPECT_EQ(again->Get(0), Value::Integer(1));
  // While a forward cursor is between rows, another connection's write waits, then times out.
  other->SetCommandTimeout(1);
  EXPECT_EQ(Failure([&] { other->Execute("DELETE FROM resources"); }),
            Error(data::kErrTimeout,
                  "Query timeout expired: the database is locked by another connection "
                  "(statement: DELETE FROM resources)"));
  again->Close();
  long rows = 0;
  auto closed = db_->Execute("DELETE FROM resources WHERE resourceid > 100", &rows);
  EXPECT_FALSE(closed->IsOpen());
  EXPECT_EQ(rows, 6);
}

TEST_F(EmbeddedConnectionTest, FilesThatAreNoDatabaseAreRefusedUntouched) {
  const std::string text = folder_ / "notes.mdf";
  {
    std::ofstream(text, std::ios::binary) << "Incident notes, not a database.\n"
                                          << std::string(3000, 'x');
  }
  const std::string bytes = ReadFile(text);
  const std::string empty = folder_ / "empty.mdf";
  { std::ofstream touch(empty); }
  const std::string missing = folder_ / "missing.mdf";
  struct Case {
    std::string path;
    std::string reason;
  };
  for (const Case& c : {Case{text, "the file is not a database."},
                        Case{empty, "the file is empty, not a database."},
                        Case{missing, "the file does not exist."}}) {
    auto connection = NewConnection(folder_.path());
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + c.path);
    EXPECT_EQ(Failure([&] { connection->Open(); }),
              Error(data::kErrConnection,
                    "Cannot open the database file \"" + c.path + "\": " + c.reason));
    EXPECT_FALSE(connection->IsOpen());
    EXPECT_EQ(connection->Errors().size(), 1u);
  }
  EXPECT_EQ(ReadFile(text), bytes);
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_EQ(Failure([&] { CreateDatabaseFile(text); }).first, data::kErrConnection);
  EXPECT_EQ(ReadFile(text), bytes);

  // Opening a database writes nothing to it.
  const std::string before = ReadFile(path_);
  auto reader = Connect(path_);
  reader->Execute("SELECT * FROM sqlite_schema");
  reader->Close();
  EXPECT_EQ(ReadFile(path_), before);
}

TEST_F(EmbeddedConnectionTest, AClosedConnectionRefusesEveryStatement) {
  Exec("CREATE TABLE t (a int)");
  Exec("INSERT INTO t VALUES (1)");
  auto rs = db_->OpenRecordset("SELECT * FROM t", data::CursorChoice::kOptimistic);
  db_->Close();
  EXPECT_FALSE(db_->IsOpen());
  EXPECT_FALSE(rs->IsOpen());  // closing a connection closes its recordsets
  EXPECT_EQ(Failure([&] { rs->Get(0); }).first, data::kErrClosed);
  EXPECT_EQ(Failure([&] { db_->Execute("SELECT * FROM t"); }),
            Error(data::kErrClosed, "Operation is not allowed when the object is closed."));
  EXPECT_EQ(Failure([&] { db_->OpenRecordset("SELECT 1", data::CursorChoice::kStatic); }).first,
            data::kErrClosed);
  auto never_opened = NewConnection(folder_.path());
  EXPECT_EQ(Failure([&] { never_opened->Execute("SELECT 1"); }).first, data::kErrClosed);
  data::Command command;
  command.SetActiveConnection(db_.get());
  command.SetCommandText("SELECT 1");
  EXPECT_EQ(Failure([&] { command.Execute(); }).first, data::kErrClosed);
}

TEST_F(EmbeddedConnectionTest, InstanceDatabasesNeedARunningServerAndALiveSession) {
  const std::string root = folder_ / "instances";
  auto instance = Instance::Create(root, "ORVANE", "secret");
  Exec("CREATE TABLE Incidents (IncidentID int PRIMARY KEY)");
  db_->Close();
  instance->Attach("W_O_R_K_A", path_);
  auto open = [&](const std::string& server, const std::string& database) {
    auto connection = NewConnection(root);
    connection->SetConnectionString("Provider=Orvane.Embedded;Server=" + server +
                                    ";Database=" + database);
    connection->Open();
    return connection;
  };
  auto connection = open("orvane", "w_o_r_k_a");
  EXPECT_EQ(connection->Execute("SELECT COUNT(*) FROM Incidents")->Get(0), Value::Integer(0));
  ASSERT_EQ(instance->Sessions().size(), 1u);
  long spid = instance->Sessions()[0].spid;
  instance->Kill(spid);
  EXPECT_EQ(
      Failure([&] { connection->Execute("SELECT 1"); }),
      Error(data::kErrConnection, "The connection was ended by the server administrator (process " +
                                      std::to_string(spid) + " was killed)."));
  EXPECT_FALSE(connection->IsOpen());

  EXPECT_EQ(Failure([&] { open("orvane", "Nowhere"); }),
            Error(data::kErrConnection,
                  "Cannot open database \"Nowhere\" requested by the login. The login failed."));
  EXPECT_EQ(Failure([&] { open("ELSEWHERE", "X"); }).first, data::kErrConnection);
  instance->Stop();
  EXPECT_EQ(Failure([&] { open("orvane", "W_O_R_K_A"); }),
            Error(data::kErrConnection, "The server orvane is stopped."));
}

// What the incident deletion relies on: a transaction counts whole or not at all, also when
// the connection closes before it ends, and statements that take savepoints nest inside it.
TEST_F(EmbeddedConnectionTest, TransactionsCommitWholeOrRollBack) {
  Exec("CREATE TABLE T (k int NOT NULL PRIMARY KEY, v varchar(10))");
  EXPECT_EQ(db_->BeginTrans(), 1);
  Exec("INSERT INTO T VALUES (1, 'a')");
  Exec("UPDATE T SET k = k + 10");  // a key shift runs in a savepoint of its own
  ExpectFailure([&] { db_->BeginTrans(); }, data::kErrStatement, "already active");
  db_->RollbackTrans();
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM T"), Lines{"0"});

  db_->BeginTrans();
  Exec("INSERT INTO T VALUES (2, 'b')");
  db_->CommitTrans();
  ExpectFailure([&] { db_->CommitTrans(); }, data::kErrStatement, "No transaction is active");
  ExpectFailure([&] { db_->RollbackTrans(); }, data::kErrStatement, "No transaction is active");

  db_->BeginTrans();
  Exec("DELETE FROM T");
  db_->Close();
  EXPECT_EQ(msu::testing::QueryFile(path_, "SELECT k FROM T"), Lines{"2"});
  ExpectIntact();
}

// The verification of a split compares digests of rows: the order does not count, a value, its
// type or one more copy of a row does.
TEST_F(EmbeddedConnectionTest, DigestsOfRowsIgnoreTheirOrderOnly) {
  Exec("CREATE TABLE T (k int, v varchar(10), r real)");
  Exec("INSERT INTO T VALUES (1, 'a', 0.5)");
  Exec("INSERT INTO T VALUES (2, NULL, NULL)");
  const auto digest = [&](const std::string& statement) { return *db_->DigestRows(statement); };
  const data::RowDigest all = digest("SELECT * FROM T");
  EXPECT_EQ(all.rows, 2);
  EXPECT_EQ(all.fields, 3);
  EXPECT_EQ(digest("SELECT * FROM T ORDER BY k DESC"), all);
  Exec("UPDATE T SET v = 'A' WHERE k = 1");
  EXPECT_NE(digest("SELECT * FROM T"), all);
  Exec("UPDATE T SET v = 'a', k = '1' WHERE k = 1");  // text in an int column stays a number
  EXPECT_EQ(digest("SELECT * FROM T"), all);
  Exec("INSERT INTO T VALUES (2, NULL, NULL)");
  EXPECT_NE(digest("SELECT * FROM T").sum, all.sum);
  ExpectFailure([&] { db_->DigestRows("SELECT * FROM Missing"); }, data::kErrStatement,
                "no such table");
}

// The set-based copy keeps the ranges of the integer columns it writes, as every statement
// does: a key its offset pushes past the top, text that the column would store as a number
// too large, a value another program left out of range; the failure names the first, and
// nothing is copied. Up to the edges everything is.
TEST_F(EmbeddedConnectionTest, TheSetBasedCopyKeepsTheRangesOfTheColumnsItWrites) {
  Exec("CREATE TABLE T (k int, s smallint, n varchar(12))");
  const std::string other = folder_ / "other.mdf";
  CreateDatabaseFile(other);
  auto destination = Connect(other);
  destination->Execute("CREATE TABLE T (k int, s smallint, n int)", nullptr);
  destination->Execute("INSERT INTO T VALUES (1, 1, 1)", nullptr);
  std::unique_ptr<data::Recordset> described = db_->Execute("SELECT * FROM T", nullptr);
  const std::vector<data::FieldInfo> fields = {described->Field(0), described->Field(1),
                                               described->Field(2)};
  described->Close();
  const auto copy = [&] {
    return destination->CopyRowsFrom(*db_, "SELECT * FROM T", "T", fields, {{"k", 10, nullptr}});
  };
  const std::string overflow = "Arithmetic overflow error converting expression to data type ";
  for (const auto& [row, failure] :
       {std::pair{"2147483640, 1, '1'", overflow + "int. (table T, column k, value 2147483650)"},
        {"1, 1, ' 2147483648'", overflow + "int. (table T, column n, value 2147483648)"},
        {"1, 1, '-3e9'", overflow + "int. (table T, column n, value -3000000000)"}}) {
    SCOPED_TRACE(row);
    Exec("DELETE FROM T");
    Exec("INSERT INTO T VALUES (5, -32768, 'x5')");
    Exec(std::string("INSERT INTO T VALUES (") + row + ")");
    ExpectFailure(copy, data::kErrStatement, failure);
  }
  Exec("DELETE FROM T");
  msu::testing::ExecFile(path_, "INSERT INTO T VALUES (0, 40000, NULL)");
  ExpectFailure(copy, data::kErrStatement, overflow + "smallint. (table T, column s, value 40000)");
  EXPECT_EQ(msu::testing::QueryFile(other, "SELECT COUNT(*) FROM T"),
            (std::vector<std::string>{"1"}));

  Exec("DELETE FROM T");
  Exec("INSERT INTO T VALUES (2147483637, 32767, '2147483647')");
  Exec("INSERT INTO T VALUES (-1, -32768, 'x')");
  const std::optional<long> copied = copy();
  ASSERT_TRUE(copied.has_value());
  EXPECT_EQ(*copied, 2);
  EXPECT_EQ(msu::testing::QueryFile(other, "SELECT k, s, n, typeof(n) FROM T ORDER BY rowid"),
            (std::vector<std::string>{"1|1|1|integer", "2147483647|32767|2147483647|integer",
                                      "-1|-32768|x|text"}));
}

// Work on a second connection runs on a thread of its own: what it throws reaches the waiting
// side, and a long statement stops once the waiting side's beat asks it to, leaving the
// connection usable.
TEST_F(EmbeddedConnectionTest, AHelperThreadStopsWhenTheWaitingSideAsks) {
  Exec("CREATE TABLE T (k int)");
  Exec("INSERT INTO T VALUES (1)");
  for (int i = 0; i < 10; ++i) Exec("INSERT INTO T SELECT k + 1 FROM T");  // 1,024 rows
  std::unique_ptr<data::Connection> second = Connect(path_);

  {
    data::HelperThread helper(*second, [] { throw std::runtime_error("no such thing"); });
    EXPECT_THROW(helper.Wait({}), std::runtime_error);
  }

  std::optional<std::string> failure;
  int beats = 0;
  {
    data::HelperThread helper(*second, [&] {
      try {
        // About a billion rows: it ends only when stopped.
        data::QueryInteger(*second, "SELECT COUNT(*) FROM T AS a, T AS b, T AS c");
      } catch (const data::DataError& error) {
        failure = error.description();
      }
    });
    helper.Wait([&] { return ++beats >= 3; });
  }
  EXPECT_GE(beats, 3);
  EXPECT_TRUE(failure.has_value());
  EXPECT_EQ(data::QueryInteger(*second, "SELECT COUNT(*) FROM T"), 1024);
}

// The programs reach the embedded server through the machine's composite backend; its
// connections must keep what the merge's set-based copy needs of the embedded ones, or every
// merge silently falls back to moving keys in place and reading the whole result again.
TEST_F(EmbeddedConnectionTest, ConnectionsOfTheCompositeBackendCopyBetweenThemselves) {
  Exec("CREATE TABLE T (k int, v varchar(10))");
  Exec("INSERT INTO T VALUES (1, 'a')");
  Exec("INSERT INTO T VALUES (0, 'zero')");
  const std::string other = folder_ / "other.mdf";
  CreateDatabaseFile(other);
  {
    auto plain = Connect(other);
    plain->Execute("CREATE TABLE T (k int, v varchar(10))", nullptr);
    plain->Execute("INSERT INTO T VALUES (5, 'b')", nullptr);
  }
  EmbeddedBackend embedded(folder_.path());
  data::CompositeBackend machine({&embedded});
  const auto open = [&](const std::string& path) {
    std::unique_ptr<data::Connection> connection = machine.CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->SetProperty("PROMPT", 4);
    connection->Open();
    return connection;
  };
  std::unique_ptr<data::Connection> source = open(path_);
  std::unique_ptr<data::Connection> destination = open(other);
  std::unique_ptr<data::Connection> unopened = machine.CreateConnection();

  EXPECT_TRUE(destination->CanCopyRowsFrom(*source));
  EXPECT_FALSE(destination->CanCopyRowsFrom(*destination));
  EXPECT_FALSE(destination->CanCopyRowsFrom(*unopened));
  const std::optional<int64_t> mark = destination->RowMark("T");
  ASSERT_TRUE(mark.has_value());
  EXPECT_EQ(*mark, 1);
  EXPECT_EQ(destination->RowsAddedSince("t", *mark), "t.rowid > 1");

  const std::vector<data::FieldInfo> fields = {
      source->Execute("SELECT * FROM T", nullptr)->Field(0),
      source->Execute("SELECT * FROM T", nullptr)->Field(1)};
  const std::optional<long> copied =
      destination->CopyRowsFrom(*source, "SELECT * FROM T", "T", fields, {{"k", 10, nullptr}});
  ASSERT_TRUE(copied.has_value());
  EXPECT_EQ(*copied, 2);
  EXPECT_EQ(destination->CopyRowsFrom(*unopened, "SELECT * FROM T", "T", fields), std::nullopt);
  source.reset();
  EXPECT_EQ(msu::testing::QueryFile(other, "SELECT k || v FROM T ORDER BY rowid"),
            (std::vector<std::string>{"5b", "11a", "0zero"}));
}

}  // namespace
}  // namespace msu::embedded
