// The structure of suite databases: the SQL Server script and the embedded schema define the
// same tables and columns, and the older versions differ exactly where the conversions expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "suite/schema.h"
#include "suite_test_util.h"

namespace msu::suite {
namespace {

using msu::testing::ReadFile;
using msu::testing::WriteFile;
using testing::Db;
using testing::ScratchDir;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Unbracket(std::string name) {
  if (name.rfind("[dbo].", 0) == 0) name = name.substr(6);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  return name;
}

struct Column {
  std::string name;
  std::string type;  // lower case, blanks removed
  bool operator==(const Column&) const = default;
};
using TableColumns = std::map<std::string, std::vector<Column>>;  // lower-case table name

std::string NormalType(std::string type) {
  type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
  return Lower(type);
}

// The CREATE TABLE statements of the T-SQL script, read the way SQL Server reads them: the
// column list between the outer parentheses, split at commas outside parentheses; items that
// start with CONSTRAINT or PRIMARY KEY are table constraints.
TableColumns ParseTSql(const std::string& script) {
  TableColumns tables;
  size_t at = 0;
  while ((at = script.find("CREATE TABLE ", at)) != std::string::npos) {
    size_t open = script.find('(', at);
    std::string name = Unbracket(std::string(script.begin() + static_cast<long>(at) + 13,
                                             script.begin() + static_cast<long>(open)));
    name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    name = Unbracket(name);
    int depth = 0;
    size_t close = open;
    std::vector<std::string> items;
    std::string item;
    for (size_t i = open; i < script.size(); ++i) {
      char c = script[i];
      if (c == '(') {
        if (depth++ == 0) continue;
      } else if (c == ')') {
        if (--depth == 0) {
          close = i;
          break;
        }
      }
      if (c == ',' && depth == 1) {
        items.push_back(item);
        item.clear();
      } else {
        item += c;
      }
    }
    items.push_back(item);
    std::vector<Column>& columns = tables[Lower(name)];
    for (std::string text : items) {
      std::istringstream words(text);
      std::string column, type;
      words >> column >> type;
      if (column == "CONSTRAINT" || column == "PRIMARY") continue;
      columns.push_back({Unbracket(column), NormalType(type)});
    }
    at = close;
  }
  return tables;
}

// The tables of an embedded database as SQLite reports them, identity columns (declared
// INTEGER, the only way SQLite assigns keys) read as int.
TableColumns ReadEmbedded(Db& db) {
  TableColumns tables;
  for (const std::string& name :
       db.Rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
               "AND name <> 'orvane_procedures'")) {
    std::vector<Column>& columns = tables[Lower(name)];
    for (const std::string& row :
         db.Rows("SELECT name, type, pk FROM pragma_table_info('" + name + "')")) {
      std::string column = row.substr(0, row.find('|'));
      std::string type = row.substr(row.find('|') + 1);
      type = type.substr(0, type.rfind('|'));
      type = NormalType(type);
      if (type == "integer") type = "int";
      columns.push_back({column, type});
    }
  }
  return tables;
}

const std::string kScript = std::string(ORVANE_SOURCE_DIR) + "/suite/sql/orvane_schema.sql";

TEST(SchemaTest, ServerScriptAndEmbeddedSchemaDefineTheSameTablesAndColumns) {
  ScratchDir dir;
  CreateEmptyDatabase(dir.File("a.mdf"), SchemaVersion::k5_01_00);
  Db db(dir.File("a.mdf"));
  TableColumns embedded = ReadEmbedded(db);
  TableColumns server = ParseTSql(ReadFile(kScript));
  ASSERT_GE(server.size(), 40u) << "the script was not read";
  for (const auto& [table, columns] : server) {
    ASSERT_TRUE(embedded.count(table)) << table << " is only in the server script";
    std::vector<Column> mine = embedded[table];
    ASSERT_EQ(columns.size(), mine.size()) << table;
    for (size_t i = 0; i < columns.size(); ++i) {
      EXPECT_EQ(Lower(columns[i].name), Lower(mine[i].name)) << table << " column " << i;
      EXPECT_EQ(columns[i].type, mine[i].type) << table << "." << columns[i].name;
    }
  }
  for (const auto& [table, columns] : embedded) {
    EXPECT_TRUE(server.count(table)) << table << " is only in the embedded schema";
  }
}

TEST(SchemaTest, ServerScriptCountsTheSameKeysAsTheEmbeddedSchema) {
  std::string script = ReadFile(kScript);
  size_t from = script.find("INSERT INTO [dbo].[NextNumber]");
  size_t to = script.find("GO", from);
  ASSERT_NE(from, std::string::npos);
  std::string values = script.substr(from, to - from);
  std::vector<std::string> counters;
  for (const TableInfo& t : SchemaTables(SchemaVersion::k5_01_00)) {
    if (t.counter_field.empty()) continue;
    counters.push_back(t.name);
    std::string pair = "('" + t.name + "', '" + t.counter_field + "')";
    EXPECT_NE(values.find(pair), std::string::npos) << pair << " missing in the script";
  }
  size_t pairs = 0;
  for (size_t at = 0; (at = values.find("('", at)) != std::string::npos; ++at) ++pairs;
  EXPECT_EQ(pairs, counters.size()) << "the script counts keys the embedded schema does not";
  EXPECT_NE(script.find("CREATE PROCEDURE [dbo].[usp_syncNextNumber]"), std::string::npos);
}

TEST(SchemaTest, EveryVersionCarriesItsVersionRowsAndTheSyncProcedure) {
  for (SchemaVersion v :
       {SchemaVersion::k3_21_00, SchemaVersion::k4_12_00, SchemaVersion::k5_01_00}) {
    ScratchDir dir;
    CreateEmptyDatabase(dir.File("v.mdf"), v);
    Db db(dir.File("v.mdf"));
    EXPECT_EQ(
        db.Rows("SELECT UPPER(module), version FROM version ORDER BY 1"),
        (std::vector<std::string>{"DATABASE|" + VersionText(v), "MERGEVERSION|" + VersionText(v)}));
    EXPECT_EQ(db.Text("SELECT body FROM orvane_procedures WHERE name = 'USP_SYNCNEXTNUMBER'"),
              SyncNextNumberBody(v));
    EXPECT_EQ(db.Text("PRAGMA integrity_check"), "ok");
  }
}

TEST(SchemaTest, OlderVersionsDifferWhereTheConversionsExpectThem) {
  ScratchDir dir;
  CreateEmptyDatabase(dir.File("old.mdf"), SchemaVersion::k4_12_00);
  CreateEmptyDatabase(dir.File("new.mdf"), SchemaVersion::k5_01_00);
  Db old_db(dir.File("old.mdf"));
  Db new_db(dir.File("new.mdf"));
  auto columns = [](Db& db, const std::string& table) {
    // SQLite reports the standard type names (INT, REAL ...) in capitals.
    return db.Rows("SELECT name || ' ' || lower(type) || ' ' || pk FROM pragma_table_info('" +
                   table + "')");
  };
  EXPECT_EQ(columns(old_db, "Quals"),
            (std::vector<std::string>{"PersonID int 0", "KindCode varchar(10) 0",
                                      "ResourceID int 0", "Trainee char(1) 0"}));
  EXPECT_EQ(columns(new_db, "Quals"),
            (std::vector<std::string>{"PersonID int 0", "KindCode varchar(10) 0",
                                      "ResourceID int 0", "Trainee bit 0"}));
  EXPECT_EQ(old_db.Int("SELECT COUNT(*) FROM pragma_table_info('Resources') "
                       "WHERE name IN ('RRDate', 'MobDate')"),
            1);
  EXPECT_EQ(old_db.Text("SELECT name FROM pragma_table_info('Resources') WHERE cid = 11"),
            "RRDate");
  EXPECT_EQ(new_db.Text("SELECT name FROM pragma_table_info('Resources') WHERE cid = 11"),
            "MobDate");

  // The eighteen form tables whose identity the pre-merge conversion removes are identity
  // tables before 4.13 and plain tables afterwards.
  const char* forms[] = {"203_Assignments.ID",
                         "203_Template.TemplateID",
                         "204_Com.ID",
                         "204_Resources.ResourcesID",
                         "204_Template.TemplateID",
                         "205_Channels.ID",
                         "206_Medical.ID",
                         "220_Helicopters.HelicoptersID",
                         "220_PersFreq.PersFreqID",
                         "220_Task.TaskID",
                         "ICS202.FormID",
                         "ICS203.FormID",
                         "ICS204.FormID",
                         "ICS205.FormID",
                         "ICS206.FormID",
                         "ICS220.FormID",
                         "MasterFrequency.ID",
                         "Shift.ShiftID"};
  for (const std::string form : forms) {
    const std::string table = form.substr(0, form.find('.')), key = form.substr(form.find('.') + 1);
    const std::string ddl_query = "SELECT sql FROM sqlite_master WHERE name = '" + table + "'";
    const std::string old_ddl = old_db.Text(ddl_query);
    EXPECT_NE(old_ddl.find("[" + key + "] INTEGER NOT NULL CONSTRAINT [PK_" + table +
                           "] PRIMARY KEY AUTOINCREMENT"),
              std::string::npos)
        << old_ddl;
    EXPECT_EQ(new_db.Text(ddl_query).find("AUTOINCREMENT"), std::string::npos) << table;
    EXPECT_EQ(new_db.Text("SELECT lower(type) FROM pragma_table_info('" + table +
                          "') WHERE name = '" + key + "'"),
              "int");
  }
  EXPECT_EQ(old_db.Int("SELECT COUNT(*) FROM pragma_table_info('Persons') WHERE name = "
                       "'Leader'"),
            0);
  EXPECT_EQ(new_db.Int("SELECT COUNT(*) FROM pragma_table_info('Persons') WHERE name = "
                       "'Leader'"),
            1);
}

TEST(SchemaTest, OlderVersionsHoldNoColumnTheNewerOneLacks) {
  // The merge copies rows by column name from Database 1 into a 5.01.00 database; a column
  // only the old database has would stop it, except the ones the pre-merge conversion renames.
  std::vector<TableInfo> newest = SchemaTables(SchemaVersion::k5_01_00);
  for (SchemaVersion v : {SchemaVersion::k3_21_00, SchemaVersion::k4_12_00}) {
    for (const TableInfo& t : SchemaTables(v)) {
      const TableInfo* now = FindTable(newest, t.name);
      ASSERT_NE(now, nullptr) << t.name;
      for (const ColumnInfo& c : t.columns) {
        if (t.name == "Resources" && c.name == "RRDate") continue;
        EXPECT_NE(now->FindColumn(c.name), nullptr) << t.name << "." << c.name;
      }
    }
  }
}

TEST(SchemaTest, LookupTablesCarryStandardAndTextComparesWithoutCase) {
  ScratchDir dir;
  CreateEmptyDatabase(dir.File("a.mdf"), SchemaVersion::k5_01_00);
  Db db(dir.File("a.mdf"));
  for (const TableInfo& t : SchemaTables(SchemaVersion::k5_01_00)) {
    if (t.role != TableRole::kLookup) continue;
    EXPECT_EQ(
        db.Text("SELECT type FROM pragma_table_info('" + t.name + "') WHERE name = 'Standard'"),
        "bit")
        << t.name;
  }
  db.Exec("INSERT INTO L_Kind (KindCode, Description, Standard) VALUES ('ENG1', 'x', 1)");
  EXPECT_EQ(db.Int("SELECT COUNT(*) FROM L_Kind WHERE KindCode = 'eng1'"), 1);
  EXPECT_THROW(db.Exec("INSERT INTO L_Kind (KindCode, Standard) VALUES ('Eng1', 0)"),
               std::runtime_error)
      << "a lookup code differing only in case is the same code";
  // Core tables keep their keys: a second row with a key already held is refused. (The
  // merge's in-place key shift goes through the embedded server, which checks the key once
  // per statement.)
  db.Exec("INSERT INTO Persons (PersonID) VALUES (1), (2)");
  EXPECT_THROW(db.Exec("INSERT INTO Persons (PersonID) VALUES (2)"), std::runtime_error);
}

TEST(SchemaTest, CreatingADatabaseNeverOverwritesAFile) {
  ScratchDir dir;
  std::string path = dir.File("Fire1.mdf");
  WriteFile(path, "user data");
  try {
    CreateEmptyDatabase(path, SchemaVersion::k5_01_00);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "A file already exists at " + path + "; it was left untouched.");
  }
  EXPECT_EQ(ReadFile(path), "user data");
}

TEST(SchemaTest, VersionTextsAreParsed) {
  SchemaVersion v;
  ASSERT_TRUE(ParseVersion("4.12.00", &v));
  EXPECT_EQ(v, SchemaVersion::k4_12_00);
  ASSERT_TRUE(ParseVersion("3.21", &v));
  EXPECT_EQ(v, SchemaVersion::k3_21_00);
  EXPECT_FALSE(ParseVersion("4.13.00", &v));
}

}  // namespace
}  // namespace msu::suite
