// The merge proper on a real embedded server: key offsets, the second key field, the
// auto-increment re-match trap, a repeated lookup, the qualification de-duplication, the exact
// lines of CopyTables, its failure lines, and a whole sample merge that verifies, adds up and
// folds into one incident.
#include "core/server_password.h"
#include "core/text.h"
#include "merge/merge_sequence.h"
#include "merge_world.h"
#include "suite/sample_generator.h"

namespace msu::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const Lines kSchema = {
    "CREATE TABLE Parent ([ID] int NOT NULL PRIMARY KEY, [Other] int NULL, [Name] varchar(30))",
    "CREATE TABLE Kid ([KidID] int NOT NULL PRIMARY KEY, [ParentID] int NULL)",
    "CREATE TABLE Inc ([IncID] int IDENTITY(1,1) PRIMARY KEY, [Name] varchar(30) NULL)",
    "CREATE TABLE IncKid ([RowID] int NOT NULL PRIMARY KEY, [IncID] int NULL)",
    "CREATE TABLE L_Kind ([KindCode] varchar(10) NOT NULL PRIMARY KEY, [Description] "
    "varchar(30) NULL, [Standard] bit NULL)",
    "CREATE TABLE Quals ([PersonID] int NULL, [KindCode] varchar(10) NULL, [ResourceID] int "
    "NULL, [Trainee] bit NULL)",
    "CREATE TABLE NextNumber ([TableName] varchar(50) NOT NULL, [FieldName] varchar(50) NOT "
    "NULL, [NextNumber] int NOT NULL)",
    "INSERT INTO NextNumber VALUES ('Kid', 'KidID', 1)",
};
const Lines kSyncProcedure = {
    "CREATE TABLE orvane_procedures (name varchar(50) PRIMARY KEY, body varchar(2000))",
    "INSERT INTO orvane_procedures VALUES ('usp_syncNextNumber', 'UPDATE NextNumber SET "
    "NextNumber = (SELECT MAX(KidID) + 1 FROM Kid) WHERE TableName = ''Kid''')"};

const char* const kInstructions =
    "Version=5.01.00\r\n[CoreTables]\r\nParentTable=Quals\r\n"
    "ParentTable=Inc.AUTOINCREMENT=IncID\r\nChildTable=IncKid.IncID\r\n"
    "ParentTable=IncKid.RowID\r\nParentTable=Parent.ID+Other\r\nChildTable=Kid.ParentID\r\n"
    "ParentTable=Kid.KidID\r\n[LookUpTables]\r\nLUTable=L_Kind.KindCode\r\n"
    "RefTable=Quals.KindCode\r\nLUTable=L_Kind.KindCode\r\n";

// Source rows: keys from 1 with the markers 0 and -1, three incidents whose new keys meet
// their old ones, and repeated qualifications (a NULL person beside person 1, a quote in a
// kind code, a NULL trainee flag beside 0).
const Lines kSourceRows =
    Insert("Parent", {"1, 1, 'a1'", "0, 0, 'zero'", "-1, -1, 'minus'"}) +
    Insert("Kid", {"1, 1", "2, 0"}) + Insert("Inc (Name)", {"'first'", "'second'", "'third'"}) +
    Insert("IncKid", {"1, 1", "2, 2", "3, 3", "4, 0"}) +
    Insert("L_Kind", {"'ENG', 'Engine', 1", "'LOC', 'Local', 0"}) +
    Insert("Quals", {"1, 'ENG', 40, 0", "1, 'ENG', 40, 0", "1, 'ENG', 40, 0", "2, 'ENG', 40, 0",
                     "2, 'ENG', 40, 1", "NULL, 'ENG', 40, 1", "NULL, 'ENG', 40, 1",
                     "1, 'ENG', 40, 1", "3, 'O''X', 41, NULL", "3, 'O''X', 41, 0"});

Lines DestinationRows(bool with_parents) {
  return (with_parents ? Insert("Parent", {"500, 7, 'b500'", "1, 3, 'b1'"}) : Lines{}) +
         Insert("Kid", {"7, 500"}) + Insert("Inc (Name)", {"'b-one'", "'b-two'"}) +
         Insert("IncKid", {"1, 1"}) + Insert("L_Kind", {"'ENG', 'Engine', 1", "'O''X', 'Odd', 1"}) +
         kSyncProcedure;
}

class CopyTablesTest : public MergeWorld {
 protected:
  void SetUp() override {
    MergeWorld::SetUp();
    context_->server.ServerPassword = DeriveServerPassword("secret");
    context_->merge.NewDatabaseName = "Merged";
    progress_.SetShowDetails(LogPage::kMerge, true);
    fs::create_directories(root_ + "/out");
  }

  // Working copies of the small pair, checked; connections A and B open.
  Merge& Checked(const Lines& b_rows) {
    Pair(kSchema, kSourceRows, b_rows);
    b_bytes_.clear();  // the merge writes copy B
    WriteFile(AppFile("CVN_test.txt"), kInstructions);
    Merge& merge = NewMerge();
    EXPECT_TRUE(merge.Initialize());
    return merge;
  }

  std::unique_ptr<data::Connection> OpenFile(const std::string& path) {
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    return connection;
  }

  std::string Target() const { return root_ + "/out/Merged.mdf"; }
  Lines T(const std::string& sql) const { return Query(Target(), sql); }
  Lines MergeLog() const { return progress_.Texts(LogPage::kMerge); }
};

TEST_F(CopyTablesTest, RenumbersCopiesAndWritesEveryLine) {
  Merge& merge = Checked(DestinationRows(true));
  ASSERT_TRUE(merge.CopyTables());
  EXPECT_EQ(merge.SourceConnection(), nullptr);

  // Largest destination key 500: source key 1 becomes 502, 0 and -1 stay; Other moves by its
  // own offset (largest 7), and the children follow the key.
  EXPECT_THAT(T("SELECT ID, Other, Name FROM Parent ORDER BY ID"),
              ElementsAre("-1|-1|minus", "0|0|zero", "1|3|b1", "500|7|b500", "502|9|a1"));
  EXPECT_THAT(T("SELECT KidID, ParentID FROM Kid ORDER BY KidID"),
              ElementsAre("7|500", "9|502", "10|0"));
  EXPECT_EQ(merge.Tables().Item("Parent").PrimaryKey(), "ID");
  // New incident keys 3, 4, 5 meet the old keys 1, 2, 3: each child still ends with the key
  // of its own incident.
  EXPECT_THAT(T("SELECT IncID, Name FROM Inc ORDER BY IncID"),
              ElementsAre("1|b-one", "2|b-two", "3|first", "4|second", "5|third"));
  EXPECT_THAT(T("SELECT RowID, IncID FROM IncKid ORDER BY RowID"),
              ElementsAre("1|1", "3|3", "4|4", "5|5", "6|0"));
  // The user code is copied once although the lookup is named twice.
  EXPECT_THAT(T("SELECT KindCode FROM L_Kind ORDER BY KindCode"), ElementsAre("ENG", "LOC", "O'X"));
  // Repeats collapse; rows of other persons and rows differing in Trainee stay; a NULL
  // trainee row stays beside the 0 written back for it.
  EXPECT_THAT(T("SELECT IFNULL(PersonID, 'NULL'), KindCode, ResourceID, IFNULL(Trainee, 'NULL') "
                "FROM Quals ORDER BY 1, 2, 4"),
              ElementsAre("1|ENG|40|0", "1|ENG|40|1", "2|ENG|40|0", "2|ENG|40|1", "3|O'X|41|0",
                          "3|O'X|41|NULL", "NULL|ENG|40|1"));
  EXPECT_THAT(T("SELECT NextNumber FROM NextNumber"), ElementsAre("11"));

  EXPECT_THAT(
      MergeLog(),
      ElementsAre("Merge initiated, copying Source Database into Destination ...",
                  "Creating unique primary keys for source database",
                  "Parent Table: Quals, updating keys in Source",
                  "Parent table: Inc, updating keys(auto increment)",
                  "Parent Table: IncKid, updating keys in Source",
                  "Parent Table: Parent, updating keys in Source",
                  "- Child table: Kid foreign keys updated",
                  "Parent Table: Kid, updating keys in Source", "Key updating completed",
                  "Core table copying started", "Table: Quals records copied from DB A: 7",
                  "Table: IncKid records copied from DB A: 4",
                  "Table: Parent records copied from DB A: 3",
                  "Table: Kid records copied from DB A: 2", "Core table copying completed.",
                  "Copying non-standard lookup table records.", "Table: L_Kind records copied: 1",
                  "Skipped 2nd pass LU table: L_Kind", "Lookup table copying completed.",
                  "Syncing the NextNumber table", "Copying W_O_R_K_B.tmp to " + Target(),
                  "Almost Done ...", "Press Next to merge incidents or finish."));
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kMerge), Contains("80 % - 100 %"));

  const merge::MergeFigures& figures = merge.Figures();
  EXPECT_EQ(figures.rows_removed_by_dedup, 3);
  EXPECT_TRUE(figures.verification.Passed());
  EXPECT_THAT(merge::VerificationLines(figures.verification).back(),
              ::testing::StartsWith("Verification passed: 6 tables counted, 2 key references, 1 "
                                    "code references and 1 counters checked"));
  // The new database is attached under its name.
  EXPECT_TRUE(instance_->DatabaseFile("Merged").has_value());
}

TEST_F(CopyTablesTest, AnEmptyDestinationTableLeavesTheKeysAlone) {
  Merge& merge = Checked(DestinationRows(false));
  ASSERT_TRUE(merge.CopyTables());
  EXPECT_THAT(T("SELECT ID, Other FROM Parent ORDER BY ID"), ElementsAre("-1|-1", "0|0", "1|1"));
  EXPECT_THAT(T("SELECT KidID, ParentID FROM Kid ORDER BY KidID"),
              ElementsAre("7|500", "9|1", "10|0"));
}

TEST_F(CopyTablesTest, AFailedSyncStopsWithTwoBlanksAfterTheComma) {
  Merge& merge = Checked(Insert("Kid", {"7, 500"}));
  EXPECT_FALSE(merge.CopyTables());
  const Lines log = MergeLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "Error, merge stopped,  Syncing NextNumber Table ");
  EXPECT_THAT(log.back(), ::testing::StartsWith("Error is -2147217900 - The embedded server does "
                                                "not support the procedure usp_syncNextNumber"));
  EXPECT_FALSE(fs::exists(Target()));
}

// Failures: a statement the server refuses stops the merge with the step under way; a table
// that cannot be copied is reported by the row copy, and a post-merge conversion that fails (a
// Database 1 older than 4.13, here without the suite's tables) by the conversion, and the merge
// goes on; but what it then made lacks rows, so it is kept as Merged.incomplete.mdf, not
// attached, and nothing is placed at the new database's path.
TEST_F(CopyTablesTest, FailuresNameTheStepUnderWay) {
  const struct {
    const char* version;
    const char* extra_instructions;
    bool result;
    Lines lines;  // lines that must stand in the merge log
    Lines a_rows = {};
  } cases[] = {
      // The de-duplication reads keys as 16-bit integers.
      {"5.01.00",
       "",
       false,
       {"Error, merge stopped, Modifying primary key in table: Quals", "Error is 6 - Overflow"},
       Insert("Quals", {"40000, 'X', 1, 0", "40000, 'X', 1, 0"})},
      {"4.12.00",
       "",
       false,
       {"Lookup table copying completed.", "Applying Post Conversions To Final Database...",
        "Error, merge stopped, Post Merge Conversion of Final Database",
        "The merge is incomplete: 1 of its steps failed (the conversion of the copied rows)."}},
      {"5.01.00",
       "ParentTable=Kid2.KidID\r\nChildTable=Kid.NoSuchColumn\r\n",
       false,
       {"Error, merge stopped, Modifying primary key in table: Kid2"}},
      {"5.01.00",
       "ParentTable=Missing\r\n",
       false,
       {"Error, merge stopped, Copying table: Missing",
        "The merge is incomplete: 1 of its steps failed (copying table Missing)."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra_instructions);
    TearDown();
    SetUp();
    progress_.Clear(LogPage::kCheck);
    progress_.Clear(LogPage::kMerge);
    context_->versions.Database1Version = c.version;
    Pair(kSchema + Lines{"CREATE TABLE Kid2 ([KidID] int NOT NULL PRIMARY KEY)"},
         kSourceRows + Insert("Kid2", {"1"}) + c.a_rows,
         DestinationRows(true) + Insert("Kid2", {"5"}));
    b_bytes_.clear();
    WriteFile(AppFile("CVN_test.txt"),
              std::string(kInstructions) + "[CoreTables]\r\n" + c.extra_instructions);
    Merge& merge = NewMerge();
    ASSERT_TRUE(merge.Initialize());
    EXPECT_EQ(merge.CopyTables(), c.result);
    for (const std::string& line : c.lines) EXPECT_THAT(MergeLog(), Contains(line));
    const std::string target = merge.TargetDBPath;
    EXPECT_FALSE(fs::exists(target)) << "nothing is placed after a failed step";
    if (!merge.Figures().failed_steps.empty()) {
      const std::string incomplete = root_ + "/out/Merged.incomplete.mdf";
      EXPECT_EQ(MergeLog().back(), "Nothing was placed at " + target +
                                       "; what the merge made is at " + incomplete +
                                       ", not attached to the server.");
      EXPECT_THAT(Query(incomplete, "PRAGMA integrity_check"), ElementsAre("ok"));
      EXPECT_THAT(instance_->DatabaseFile("Merged"), ::testing::Eq(std::nullopt));
      EXPECT_THAT(instance_->DatabaseFile("Merged.incomplete"), ::testing::Eq(std::nullopt));
    }
  }
}

// The merge sequence converts a Database 1 older than 4.13 before the copy; when that fails,
// nothing is copied.
TEST_F(CopyTablesTest, ALegacyDatabase1ThatCannotBeConvertedIsNotCopied) {
  context_->versions.Database1Version = "4.12.00";
  Merge& merge = Checked(DestinationRows(true));
  progress_.Clear(LogPage::kMerge);
  const merge::MergeOutcome outcome = merge::RunMergeSequence(*context_, merge, {});
  EXPECT_EQ(outcome.stage, merge::MergeStage::kPreConversion);
  EXPECT_THAT(MergeLog(),
              ElementsAre("Applying Pre Conversions To Work Database...",
                          "Error, merge stopped, Pre Conversion of Work Database",
                          ::testing::StartsWith("Error is -2147217900 - no such table")));
  merge.CloseConnections();
  EXPECT_FALSE(fs::exists(Target()));
  EXPECT_THAT(A("SELECT ID FROM Parent ORDER BY ID"), ElementsAre("-1", "0", "1"));
}

// The set-based copy and the copy one row at a time leave the same rows, count and lines, also
// when a row collides halfway: the set-based statement is undone and the rows go one by one.
TEST_F(CopyTablesTest, TheSetBasedCopyFallsBackToTheRowCopyOnAConflictingRow) {
  const Lines schema = {
      "CREATE TABLE T ([ID] int NOT NULL PRIMARY KEY, [Name] varchar(20), [Flag] bit, [Amount] "
      "money, [Day] datetime, [Ratio] float)"};
  const std::string source =
      MakeDatabase(DataFile("s.mdf"),
                   schema + Insert("T", {"1, 'O''Brien', 1, 12.5, '2024-07-01 08:30:00', 0.1",
                                         "2, NULL, "
                                         "NULL, NULL, "
                                         "NULL, NULL",
                                         "3, 'x', 0, -3, NULL, 1e20", "4, 'y', 1, 4, NULL, -2.5"}));
  for (const bool conflict : {false, true}) {
    Lines contents[2];
    Lines logs[2];
    int32_t counts[2];
    for (const merge::RowCopyPath path :
         {merge::RowCopyPath::kRowByRow, merge::RowCopyPath::kSetBased}) {
      const int i = path == merge::RowCopyPath::kSetBased;
      const std::string target =
          MakeDatabase(DataFile("t" + std::to_string(conflict) + std::to_string(i) + ".mdf"),
                       schema + (conflict ? Insert("T", {"3, 'taken', 0, 0, NULL, 0"}) : Lines{}));
      auto a = OpenFile(source);
      auto b = OpenFile(target);
      progress_.Clear(LogPage::kMerge);
      context_->merge.CurrentOperation = "Copying table: T";
      counts[i] = merge::CopyRows(*context_, *a, *b, false, "T", path);
      logs[i] = MergeLog();
      a->Close();
      b->Close();
      contents[i] = Query(target,
                          "SELECT ID, quote(Name), quote(Flag), quote(Amount), quote(Day), "
                          "printf('%!.17g', Ratio), typeof(Amount), typeof(Ratio) FROM T ORDER "
                          "BY rowid");
    }
    EXPECT_EQ(counts[0], conflict ? 0 : 4);
    EXPECT_EQ(counts[1], counts[0]);
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_EQ(contents[1], contents[0]);
    EXPECT_EQ(contents[0].size(), conflict ? 3u : 4u) << ::testing::PrintToString(contents[0]);
    if (conflict) {
      EXPECT_THAT(logs[0], ElementsAre("Error, merge stopped, Copying table: T",
                                       ::testing::StartsWith("Error is -2147217900 - ")));
    }
  }
}

// Every table of a generated source copied into two empty databases, once set-based and once
// row by row: every value of every table is the same, down to its storage class and bits.
TEST_F(CopyTablesTest, BothCopiesLeaveTheSameContentInEveryTableOfASample) {
  suite::SampleOptions options;
  options.out_dir = root_ + "/data";
  options.rows = 300;
  suite::GenerateSampleSet(options);
  const std::string source = DataFile("Fire1.mdf");
  // Values another program may have left: whole and fractional reals in integer, money, real
  // and bit columns, a number beyond any literal's digits, flags other than 0 and 1, numbers
  // and empty text in date columns.
  ExecFile(source,
           "UPDATE Resources SET DailyCost = 3.0 WHERE rowid = 1;"
           "UPDATE Resources SET DailyCost = 2.5, Quantity = 7.0 WHERE rowid = 2;"
           "UPDATE Resources SET DailyCost = 1e17, Quantity = 2.5 WHERE rowid = 3;"
           "UPDATE PersonsPost SET Hours = 8 WHERE rowid = 1;"
           "UPDATE PersonsPost SET Hours = 0.1 + 0.2 WHERE rowid = 2;"
           "UPDATE Persons SET Leader = 1.0 WHERE rowid = 1;"
           "UPDATE Persons SET Leader = 5 WHERE rowid = 2;"
           "UPDATE Persons SET Leader = 'True' WHERE rowid = 3;"
           "UPDATE Persons SET Leader = -1, Weight = 180.0 WHERE rowid = 4;"
           "UPDATE Quals SET Trainee = 0.0 WHERE rowid = 1;"
           "UPDATE Persons SET CheckInDate = 45000.5 WHERE rowid = 5;"
           "UPDATE Resources SET MobDate = 45000, DemobDate = '' WHERE rowid = 5;");
  const std::vector<suite::TableInfo> tables = suite::SchemaTables(suite::SchemaVersion::k5_01_00);
  std::string dumps[2];
  for (const merge::RowCopyPath path :
       {merge::RowCopyPath::kRowByRow, merge::RowCopyPath::kSetBased}) {
    const int i = path == merge::RowCopyPath::kSetBased;
    const std::string target = DataFile("empty" + std::to_string(i) + ".mdf");
    suite::CreateEmptyDatabase(target, suite::SchemaVersion::k5_01_00);
    auto a = OpenFile(source);
    auto b = OpenFile(target);
    for (const suite::TableInfo& table : tables) {
      if (table.role == suite::TableRole::kSystem) continue;
      const bool lookup = table.role == suite::TableRole::kLookup;
      const int32_t count =
          merge::CopyRows(*context_, *a, *b, lookup, "[" + table.name + "]", path);
      EXPECT_EQ(std::to_string(count), Query(source, "SELECT COUNT(*) FROM [" + table.name + "]" +
                                                         (lookup ? " WHERE Standard = 0" : ""))[0])
          << table.name;
    }
    a->Close();
    b->Close();
    for (const suite::TableInfo& table : tables) {
      std::string columns;
      for (const suite::ColumnInfo& column : table.columns) {
        const std::string c = "[" + column.name + "]";
        columns += (columns.empty() ? "" : " || '|' || ") + std::string("typeof(") + c +
                   ") || ':' || IFNULL(CASE typeof(" + c + ") WHEN 'real' THEN hex(" + c +
                   ") || printf('%!.17g', " + c + ") ELSE " + c + " END, '')";
      }
      for (const std::string& row :
           Query(target, "SELECT " + columns + " FROM [" + table.name + "] ORDER BY rowid")) {
        dumps[i] += table.name + ": " + row + "\n";
      }
    }
  }
  EXPECT_THAT(MergeLog(), IsEmpty());
  EXPECT_GT(dumps[0].size(), 10000u);
  EXPECT_TRUE(dumps[1] == dumps[0]);

  // Text in a money column has no literal the server takes: both copies fail on it alike.
  ExecFile(source, "UPDATE Resources SET DailyCost = 'n/a' WHERE rowid = 4");
  Lines failures[2];
  for (const merge::RowCopyPath path :
       {merge::RowCopyPath::kRowByRow, merge::RowCopyPath::kSetBased}) {
    const int i = path == merge::RowCopyPath::kSetBased;
    const std::string target = DataFile("again" + std::to_string(i) + ".mdf");
    suite::CreateEmptyDatabase(target, suite::SchemaVersion::k5_01_00);
    auto a = OpenFile(source);
    auto b = OpenFile(target);
    const size_t before = MergeLog().size();
    merge::CopyRows(*context_, *a, *b, false, "[Resources]", path);
    const Lines log = MergeLog();
    failures[i] = Lines(log.begin() + static_cast<long>(before), log.end());
    a->Close();
    b->Close();
  }
  EXPECT_THAT(failures[0], Contains(HasSubstr("n/a")));
  EXPECT_EQ(failures[1], failures[0]);
}

TEST(RowCopyFormat, ValuesAreWrittenByTheirTypeCode) {
  using data::Value;
  const struct {
    Value value;
    int type;
    std::string text;
  } cases[] = {
      {Value::Null(), data::kTypeBoolean, "NULL"},
      {Value::Null(), data::kTypeInteger, "NULL"},
      {Value::Integer(0), data::kTypeBoolean, "0"},
      {Value::Integer(1), data::kTypeBoolean, "1"},
      {Value::Integer(-42), data::kTypeInteger, "-42"},
      {Value::Real(12.5), data::kTypeCurrency, "12.5"},
      {Value::Real(0.1), data::kTypeDouble, "0.1"},
      {Value::Text("O'Brien"), data::kTypeVarChar, "'O''Brien'"},
      {Value::Text("it's"), data::kTypeDate, "'it's'"},
      {Value::Text("2024-07-01 08:30:00"), data::kTypeDBTimeStamp, "'2024-07-01 08:30:00'"},
      {Value::Integer(7), data::kTypeSmallInt, "'7'"},
  };
  for (const auto& c : cases) EXPECT_EQ(merge::FormatValue(c.value, c.type), c.text) << c.text;
}

TEST_F(CopyTablesTest, NextKeyValueIsOneMoreThanTheLargestOrOne) {
  const std::string path =
      MakeDatabase(DataFile("n.mdf"), {"CREATE TABLE E ([K] int)", "CREATE TABLE F ([K] int)",
                                       "INSERT INTO F VALUES (41)", "INSERT INTO F VALUES (7)"});
  auto b = OpenFile(path);
  EXPECT_EQ(merge::NextKeyValue(*b, "E", "K"), 1);
  EXPECT_EQ(merge::NextKeyValue(*b, "F", "K"), 42);
  EXPECT_EQ(merge::NextKeyValue(*b, "F", "<NONE>"), 1);
  EXPECT_EQ(merge::NextKeyValue(*b, "Missing", "K"), 1);
  b->Close();
}

// The re-merge guard's counts taken beside the check are the ones the guard takes on the
// working copies, and the merge's guard uses them; a check that recodes a field the guard reads
// keeps none, so that the guard counts the copies as the check left them.
TEST_F(CopyTablesTest, TheGuardCountsBesideTheCheckOnlyWhatStillHolds) {
  suite::SampleOptions options;
  options.out_dir = root_ + "/data";
  options.rows = 400;
  suite::GenerateSampleSet(options);
  const std::string fire1 = DataFile("Fire1.mdf"), fire2 = DataFile("Fire2.mdf");
  const std::string instructions =
      ReadFile(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt");
  instance_->Attach("Fire1", fire1);
  instance_->Attach("Fire2", fire2);
  const merge::CheckRun counting{.count_remerge = true};
  std::unique_ptr<merge::Merge> engine;

  // The agency codes collide in the sample pair: their recode now also rewrites last names.
  const std::string agency = "RefTable=Persons.AgencyCode\n";
  ASSERT_NE(instructions.find(agency), std::string::npos);
  std::string renamed = instructions;
  renamed.replace(renamed.find(agency), agency.size(), "RefTable= [persons].LastName\n");
  WriteFile(AppFile("CVN_4x.txt"), renamed);
  ASSERT_EQ(
      merge::RunCheckSequence(*context_, {fire1, fire2, Target()}, engine, nullptr, counting).stage,
      merge::CheckStage::kCompleted);
  bool recoded = false;
  for (const merge::Recode& recode : engine->Figures().recodes) {
    for (const merge::RecodedReference& referring : recode.referring) {
      recoded = recoded || referring.field == "LastName";
    }
  }
  ASSERT_TRUE(recoded);
  EXPECT_FALSE(engine->RemergeCountsKept().has_value());

  WriteFile(AppFile("CVN_4x.txt"), instructions);
  ASSERT_EQ(merge::RunCheckSequence(*context_, {fire1, fire2, Target()}, engine).stage,
            merge::CheckStage::kCompleted);
  EXPECT_FALSE(engine->RemergeCountsKept().has_value()) << "counted without being asked";
  ASSERT_EQ(
      merge::RunCheckSequence(*context_, {fire1, fire2, Target()}, engine, nullptr, counting).stage,
      merge::CheckStage::kCompleted);
  ASSERT_TRUE(engine->RemergeCountsKept().has_value());
  const merge::RemergeCounts kept = *engine->RemergeCountsKept();
  const merge::RemergeCounts counted =
      merge::CountRemergedRows(*engine->SourceConnection(), *engine->DestinationConnection());
  EXPECT_GT(counted.persons_found, 0);
  EXPECT_EQ(std::vector<int64_t>(
                {kept.persons, kept.persons_found, kept.resources, kept.resources_found}),
            std::vector<int64_t>({counted.persons, counted.persons_found, counted.resources,
                                  counted.resources_found}));

  merge::MergeRun run;
  run.engine.dry_run = true;
  const merge::MergeOutcome outcome = merge::RunMergeSequence(*context_, *engine, run);
  ASSERT_EQ(outcome.stage, merge::MergeStage::kCompleted) << ::testing::PrintToString(MergeLog());
  ASSERT_TRUE(outcome.remerge.has_value());
  EXPECT_EQ(outcome.remerge->persons_found, kept.persons_found);
  EXPECT_EQ(outcome.remerge->resources_found, kept.resources_found);
}

// The whole merge of a generated pair as msu runs it: it verifies, its counts add up, and the
// incidents fold into one.
TEST_F(CopyTablesTest, ASamplePairMergesVerifiesAndFoldsIntoOneIncident) {
  suite::SampleOptions options;
  options.out_dir = root_ + "/data";
  options.rows = 400;
  suite::GenerateSampleSet(options);
  const std::string fire1 = DataFile("Fire1.mdf"), fire2 = DataFile("Fire2.mdf");
  const std::string fire1_bytes = ReadFile(fire1), fire2_bytes = ReadFile(fire2);
  fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt", AppFile("CVN_4x.txt"));
  instance_->Attach("Fire1", fire1);
  instance_->Attach("Fire2", fire2);
  const Lines persons = {Query(fire1, "SELECT COUNT(*) FROM Persons")[0],
                         Query(fire2, "SELECT COUNT(*) FROM Persons")[0]};

  std::unique_ptr<merge::Merge> engine;
  const merge::CheckOutcome check =
      merge::RunCheckSequence(*context_, {fire1, fire2, Target()}, engine);
  ASSERT_EQ(check.stage, merge::CheckStage::kCompleted);
  EXPECT_TRUE(check.problems);
  merge::MergeRun run;
  const merge::MergeOutcome outcome = merge::RunMergeSequence(*context_, *engine, run);
  ASSERT_EQ(outcome.stage, merge::MergeStage::kCompleted) << ::testing::PrintToString(MergeLog());
  EXPECT_TRUE(outcome.verification_passed) << ::testing::PrintToString(MergeLog());
  ASSERT_TRUE(outcome.remerge.has_value());
  EXPECT_FALSE(outcome.remerge->LooksMergedBefore());
  EXPECT_EQ(T("SELECT COUNT(*) FROM Persons")[0],
            std::to_string(std::stol(persons[0]) + std::stol(persons[1])));
  EXPECT_EQ(T("SELECT COUNT(*) FROM Incidents")[0], "5");
  EXPECT_EQ(T("SELECT COUNT(*) FROM Quals")[0],
            std::to_string(std::stol(Query(fire1, "SELECT COUNT(*) FROM Quals")[0]) +
                           std::stol(Query(fire2, "SELECT COUNT(*) FROM Quals")[0]) -
                           engine->Figures().rows_removed_by_dedup));
  EXPECT_EQ(engine->Figures().rows_removed_by_dedup, 3);
  EXPECT_EQ(MergeLog().back().rfind("Verification passed: ", 0), 0u);

  class Items : public merge::IncidentChoice {
   public:
    void Clear() override { items.clear(); }
    void AddItem(const std::string& text, const std::string& tag) override {
      items.push_back(tag + "|" + text);
    }
    void SetSelectedCaption(const std::string& text) override { caption = text; }
    Lines items;
    std::string caption;
  } list;
  engine->IncSplitInit(list);
  ASSERT_EQ(list.items.size(), 5u);
  EXPECT_EQ(list.items[0], "     1|" + T("SELECT IncidentNumber || ', ' || IncidentName FROM "
                                         "Incidents WHERE IncidentID = 1")[0]);
  const Lines defaults_of_4 =
      T("SELECT COUNT(*) FROM AccountingCodes WHERE IncidentDefault = 1 AND IncidentID = 4");
  engine->MergeIntoIncident = 4;
  engine->FinishCopyTables(&list);
  EXPECT_EQ(list.caption, "Merging Incidents...");
  EXPECT_THAT(T("SELECT IncidentID FROM Incidents"), ElementsAre("4"));
  for (const char* child : {"Resources", "Persons", "AccountingCodes", "Shift", "ICS204"}) {
    EXPECT_THAT(T(std::string("SELECT DISTINCT IncidentID FROM ") + child), ElementsAre("4"))
        << child;
  }
  // Only the kept incident keeps its default accounting codes.
  EXPECT_EQ(T("SELECT COUNT(*) FROM AccountingCodes WHERE IncidentDefault = 1"), defaults_of_4);
  engine.reset();
  EXPECT_TRUE(ReadFile(fire1) == fire1_bytes);
  EXPECT_TRUE(ReadFile(fire2) == fire2_bytes);
}

}  // namespace
}  // namespace msu::testing
