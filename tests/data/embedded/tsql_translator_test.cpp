#include "data/embedded/tsql_translator.h"

#include <gtest/gtest.h>

#include "data/data_access.h"

namespace msu::embedded {
namespace {

std::string Sql(const std::string& statement) { return TranslateStatement(statement).sql; }

// The description of the refusal of `statement`, or "not refused".
std::string Refusal(const std::string& statement) {
  try {
    TranslateStatement(statement);
  } catch (const data::DataError& error) {
    EXPECT_EQ(error.number(), data::kErrStatement) << statement;
    return error.description();
  }
  return "not refused";
}

// The merge's statements are run on real files by the embedded connection's tests; only what
// they cannot see is checked here. The subquery's own FROM and GROUP BY stay inside it.
TEST(TsqlTranslatorTest, ASubqueryKeepsItsOwnClauses) {
  EXPECT_NE(
      Sql("SELECT Quals.KindCode, Quals.ResourceID, Quals.PersonID, Quals.Trainee From Quals WHERE "
          "(((Quals.KindCode) In (SELECT [KindCode] FROM [Quals] As Tmp GROUP BY "
          "[KindCode],[ResourceID] HAVING Count(*)>1  And [ResourceID] = [Quals].[ResourceID]))) "
          "ORDER BY Quals.KindCode, Quals.ResourceID")
          .find("FROM [Quals] As Tmp GROUP BY [KindCode], [ResourceID] HAVING"),
      std::string::npos);
}

TEST(TsqlTranslatorTest, UpdateKeepsItsPartsForTheKeyShift) {
  Translation tr = TranslateStatement(
      "UPDATE Persons SET Persons.PersonID = Persons.PersonID + 501 WHERE NOT Persons.PersonID = "
      "0 AND NOT Persons.PersonID = -1");
  EXPECT_EQ(tr.kind, Translation::Kind::kUpdate);
  EXPECT_EQ(tr.table_name, "Persons");
  ASSERT_EQ(tr.targets.size(), 1u);
  EXPECT_EQ(tr.targets[0], "PersonID");
  EXPECT_EQ(tr.values[0], "Persons.PersonID + 501");
  EXPECT_EQ(tr.where, "NOT Persons.PersonID = 0 AND NOT Persons.PersonID = - 1");
  EXPECT_FALSE(tr.has_from);

  Translation join = TranslateStatement(
      "UPDATE agreement SET adminofficeid = incidentid FROM contractor WHERE "
      "contractor.contractorid = agreement.contractorid");
  EXPECT_TRUE(join.has_from);
  EXPECT_EQ(join.sql,
            "UPDATE agreement SET \"adminofficeid\" = incidentid FROM contractor WHERE "
            "contractor.contractorid = agreement.contractorid");
  // A FROM clause naming the updated table again means something else on SQLite.
  EXPECT_NE(Refusal("UPDATE t SET a = 1 FROM t INNER JOIN u ON t.id = u.id").find("FROM naming"),
            std::string::npos);
}

TEST(TsqlTranslatorTest, AdministratorFormsAreTranslated) {
  EXPECT_EQ(Sql("SELECT TOP 5 Name FROM Persons ORDER BY Name"),
            "SELECT Name FROM Persons ORDER BY Name LIMIT 5");
  EXPECT_EQ(Sql("SELECT * FROM (SELECT TOP (2) a FROM t) x WHERE a > 1"),
            "SELECT * FROM (SELECT a FROM t LIMIT 2) x WHERE a > 1");
  EXPECT_EQ(Sql("SELECT ISNULL(a, 0), LEN(b) FROM dbo.t"),
            "SELECT IFNULL(a, 0), LENGTH(RTRIM(b)) FROM t");
  EXPECT_EQ(Sql("SELECT LEN(SUBSTRING(b, 1, LEN(c))) FROM [dbo].[t]"),
            "SELECT LENGTH(RTRIM(SUBSTR(b, 1, LENGTH(RTRIM(c))))) FROM [t]");
  EXPECT_EQ(Sql("UPDATE t SET d = GETDATE()"), "UPDATE t SET \"d\" = datetime('now', 'localtime')");
  EXPECT_EQ(Sql("SELECT N'O''Brien' + 'x' FROM t"), "SELECT 'O''Brien' || 'x' FROM t");
  EXPECT_EQ(Sql("INSERT t (a) VALUES (1)"), "INSERT INTO t(a) VALUES (1)");
  EXPECT_EQ(Sql("TRUNCATE TABLE t"), "DELETE FROM t");
  EXPECT_EQ(Sql("DROP INDEX Persons.IX_Name"), "DROP INDEX \"IX_Name\"");
  EXPECT_EQ(Sql("CREATE UNIQUE NONCLUSTERED INDEX IX_Name ON [dbo].[Persons] ([Name] ASC) WITH "
                "(PAD_INDEX = OFF) ON [PRIMARY]"),
            "CREATE UNIQUE INDEX IX_Name ON [Persons]([Name] ASC)");
}

TEST(TsqlTranslatorTest, UnknownFormsAreRefusedNamingTheForm) {
  struct Case {
    const char* statement;
    const char* form;
  };
  const Case cases[] = {
      {"DECLARE @n int", "DECLARE"},
      {"SET NOCOUNT ON", "SET statements"},
      {"SELECT * FROM t WHERE a = @a", "variables (@a)"},
      {"GO", "GO statements"},
      {"BEGIN TRAN", "BEGIN statements"},
      {"COMMIT TRANSACTION", "COMMIT statements"},
      {"MERGE t USING u ON t.a = u.a WHEN MATCHED THEN DELETE", "MERGE statements"},
      {"DELETE FROM t OUTPUT deleted.a", "OUTPUT clauses"},
      {"SELECT * FROM t WITH (NOLOCK)", "table hints"},
      {"SELECT CONVERT(int, a) FROM t", "CONVERT()"},
      {"SELECT 'a' + b FROM t", "string concatenation"},
      {"EXEC sp_rename 'T.ix', 'ix2', 'INDEX'", "sp_rename of a INDEX"},
      {"ALTER TABLE t ALTER COLUMN a int", "this ALTER TABLE form"},
      {"SELECT a INTO t2 FROM t", "SELECT ... INTO"},
      {"SELECT TOP 10 PERCENT a FROM t", "TOP ... PERCENT"},
      {"DELETE TOP (3) FROM t", "TOP outside SELECT"},
      {"SELECT CAST(a AS datetime) FROM t", "CAST to datetime"},
      {"SELECT 1; SELECT 2", "several statements"},
      {"SELECT 'open", "unterminated quote"},
      {"PRAGMA writable_schema = 1", "PRAGMA statements"},
      {"SELCT * FROM t", "this statement form"},
      {"SELECT * FROM t WHERE a LIKE '[a-c]%'", "LIKE patterns with [ ]"},
  };
  for (const Case& c : cases) {
    std::string description = Refusal(c.statement);
    EXPECT_EQ(description.rfind("The embedded server does not support ", 0), 0u) << description;
    EXPECT_NE(description.find(c.form), std::string::npos) << description;
    EXPECT_NE(description.find(std::string(": ") + c.statement), std::string::npos) << description;
  }
}

TEST(TsqlTranslatorTest, CreateTableKeepsDeclaredTypesAndComparesTextWithoutCase) {
  Translation tr = TranslateStatement(
      "CREATE TABLE [dbo].[Persons] ([PersonID] [int] NOT NULL, [Name] nvarchar(50) NULL, "
      "Notes varchar(max), Code char(4) COLLATE SQL_Latin1_General_CP1_CS_AS, "
      "Added datetime DEFAULT getdate(), "
      "CONSTRAINT [PK_Persons] PRIMARY KEY CLUSTERED ([PersonID] ASC) WITH (PAD_INDEX = OFF) "
      "ON [PRIMARY]) ON [PRIMARY]");
  EXPECT_EQ(tr.sql,
            "CREATE TABLE [Persons] (\"PersonID\" int NOT NULL, \"Name\" nvarchar(50) COLLATE "
            "NOCASE NULL, \"Notes\" \"varchar(max)\" COLLATE NOCASE, \"Code\" char(4) COLLATE "
            "BINARY, \"Added\" datetime DEFAULT (datetime('now', 'localtime')), CONSTRAINT "
            "[PK_Persons] PRIMARY KEY ([PersonID] ASC))");

  Translation identity = TranslateStatement(
      "CREATE TABLE Shift (ShiftID int IDENTITY(100,1) NOT NULL PRIMARY KEY, Name varchar(20))");
  EXPECT_EQ(identity.sql,
            "CREATE TABLE Shift (\"ShiftID\" INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, "
            "\"Name\" varchar(20) COLLATE NOCASE)");
  ASSERT_EQ(identity.follow_up.size(), 1u);
  EXPECT_EQ(identity.follow_up[0],
            "INSERT INTO sqlite_sequence (name, seq) VALUES ('Shift', 100 - 1)");

  EXPECT_EQ(Sql("CREATE TABLE t (ID int IDENTITY(1,1) NOT NULL CONSTRAINT [PK_t] PRIMARY KEY)"),
            "CREATE TABLE t (\"ID\" INTEGER CONSTRAINT [PK_t] PRIMARY KEY AUTOINCREMENT NOT NULL)");
  // The table's key names the identity column: the column becomes the key.
  EXPECT_EQ(Sql("CREATE TABLE t (ID int IDENTITY(1,1), CONSTRAINT PK_t PRIMARY KEY (ID))"),
            "CREATE TABLE t (\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT)");
  EXPECT_NE(Refusal("CREATE TABLE t (ID int IDENTITY(1,1), b int)").find("not the primary key"),
            std::string::npos);
  EXPECT_EQ(Sql("ALTER TABLE [203_Template] ADD TemplateID_2 INT"),
            "ALTER TABLE [203_Template] ADD COLUMN \"TemplateID_2\" INT");
}

TEST(TsqlTranslatorTest, ProceduresRenamesAndKeys) {
  Translation rename = TranslateStatement("EXEC sp_rename 'resources.RRDate', 'MobDate', 'COLUMN'");
  EXPECT_EQ(rename.sql, "ALTER TABLE \"resources\" RENAME COLUMN \"RRDate\" TO \"MobDate\"");
  EXPECT_EQ(Sql("EXEC sp_rename '[203_Assignments].ID_2', 'ID', 'COLUMN'"),
            "ALTER TABLE \"203_Assignments\" RENAME COLUMN \"ID_2\" TO \"ID\"");

  Translation bare = TranslateStatement("usp_syncNextNumber");
  EXPECT_EQ(bare.kind, Translation::Kind::kProcedure);
  EXPECT_EQ(bare.name, "usp_syncNextNumber");
  Translation exec = TranslateStatement("EXEC dbo.usp_move 'A''B', -3, 2.5, NULL");
  EXPECT_EQ(exec.name, "usp_move");
  ASSERT_EQ(exec.arguments.size(), 4u);
  EXPECT_EQ(exec.arguments[0], data::Value::Text("A'B"));
  EXPECT_EQ(exec.arguments[1], data::Value::Integer(-3));
  EXPECT_EQ(exec.arguments[2], data::Value::Real(2.5));
  EXPECT_TRUE(exec.arguments[3].IsNull());

  EXPECT_EQ(TranslateStatement("EXEC usp_x 99999999999999999999").arguments.at(0),
            data::Value::Real(1e20));

  Translation keys = TranslateStatement("EXEC sp_pkeys [204_Com]");
  EXPECT_EQ(keys.kind, Translation::Kind::kPrimaryKeys);
  EXPECT_EQ(keys.table_name, "204_Com");
  Translation drop = TranslateStatement("ALTER TABLE ICS202 DROP CONSTRAINT PK_ICS202");
  EXPECT_EQ(drop.kind, Translation::Kind::kDropConstraint);
  EXPECT_EQ(drop.name, "PK_ICS202");
}

TEST(TsqlTranslatorTest, SingleTableSelectsAreRecognised) {
  SingleTableSelect select;
  ASSERT_TRUE(
      SplitSingleTableSelect("SELECT * FROM L_Kind WHERE standard = 0 ORDER BY a", &select));
  EXPECT_EQ(select.select_list, "*");
  EXPECT_EQ(select.table, "L_Kind");
  EXPECT_EQ(select.rest, "WHERE standard = 0 ORDER BY a");
  EXPECT_FALSE(SplitSingleTableSelect("SELECT * FROM a, b", &select));
  EXPECT_FALSE(SplitSingleTableSelect("SELECT * FROM a JOIN b ON a.x = b.x", &select));
  EXPECT_FALSE(SplitSingleTableSelect("SELECT DISTINCT x FROM a", &select));
  EXPECT_FALSE(SplitSingleTableSelect("SELECT x, COUNT(*) FROM a GROUP BY x", &select));
  EXPECT_TRUE(SplitSingleTableSelect("SELECT x FROM a WHERE x IN (SELECT y FROM b, c)", &select));
}

}  // namespace
}  // namespace msu::embedded
