// The lookup consistency check on small hand-made working copies: what it reports about the
// standard rows, how it recodes colliding user codes in A (and only in A), and how it stops.
#include "merge/lookup_check.h"

#include "merge_world.h"

namespace msu::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

const char* const kKindTable =
    "CREATE TABLE L_Kind ([KindCode] varchar(10) NOT NULL PRIMARY KEY, [Description] "
    "varchar(50) NULL, [CategoryCode] int NULL, [Standard] bit NULL DEFAULT 0)";
const char* const kLocationTable =
    "CREATE TABLE L_Location ([LocationCode] varchar(10) NOT NULL, [StateCode] char(2) NOT NULL, "
    "[Description] varchar(50) NULL, [Standard] bit NULL, "
    "CONSTRAINT [PK_L_Location] PRIMARY KEY ([LocationCode], [StateCode]))";
const char* const kStatusTable =
    "CREATE TABLE L_Status ([StatusCode] int NOT NULL PRIMARY KEY, [Description] varchar(30) "
    "NULL, [Standard] bit NULL)";

const std::string kStandardHeading =
    "\\b Differences between standard records in Source and Destination look up tables \\b0 ";
const std::string kDuplicateHeading =
    "\\b Duplicate codes in non-standard records in Source and Destination lookup tables \\b0 ";
const Lines kHeadingsOnly = {" ", kStandardHeading,  "Values in Database B will be used.",
                             " ", kDuplicateHeading, " "};

std::string KindLine(const std::string& code) {
  return "Table: " + B("L_Kind") + ", code field(s): " + B("KindCode") + ", value = " + B(code);
}
std::string FieldLine(const std::string& field, const std::string& a, const std::string& b) {
  return "Field: " + B(field) + ", values: A = " + B(a) + " B = " + B(b);
}
std::string TableLine(const std::string& table, const std::string& code) {
  return "Table: " + B(table) + ", code(s): " + B(code);
}
std::string RecodeLine(const std::string& field, const std::string& a, const std::string& b,
                       const std::string& changed) {
  return "Field: " + B(field) + " values: A = " + B(a) + " B = " + B(b) +
         " Source Database changed to: " + B(changed);
}
std::string UsingLine(const std::string& table, const std::string& field, const std::string& to) {
  return "Using table: " + B(table) + " , field: " + B(field) + " to " + B(to);
}
std::string StatusRow(int code, int standard) {
  return std::to_string(code) + ", 'Status " + std::to_string(code) + "', " +
         std::to_string(standard);
}

class StandardRecords : public MergeWorld {
 protected:
  // ENG differs in letter case only, DOZR has a NULL in A, CREW differs in two columns, SAME
  // is equal, ONLYA and HELI exist on one side only, USER is a user row; RENO/NV differs by a
  // trailing blank.
  void StandardPair() {
    Pair({kKindTable, kLocationTable},
         Insert("L_Kind", {"'ENG', 'engine', 1, 1", "'DOZR', 'Dozer', NULL, 1",
                           "'CREW', 'Hand Crew', 4, 1", "'SAME', 'Same', 5, 1",
                           "'ONLYA', 'Only in A', 6, 1", "'USER', 'User kind', 7, 0"}) +
             Insert("L_Location", {"'RENO', 'NV', 'Reno ', 1"}),
         Insert("L_Kind", {"'ENG', 'Engine', 1, 1", "'DOZR', 'Dozer', 2, 1", "'CREW', 'Crew', 3, 1",
                           "'SAME', 'Same', 5, 1", "'HELI', 'Helicopter', 8, 1"}) +
             Insert("L_Location", {"'RENO', 'NV', 'Reno', 1"}));
  }
  void ExpectStoppedOnKind(const std::string& error, const std::string& mention) {
    EXPECT_FALSE(NewMerge().Initialize());
    const Lines log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2],
              "Error, check stopped, Looking for differences in standard records LU table: L_Kind");
    EXPECT_EQ(log.back(), "Error, " + context_->merge.LastError);
    EXPECT_THAT(context_->merge.LastError, StartsWith(error));
    EXPECT_THAT(context_->merge.LastError, HasSubstr(mention));
  }
};

TEST_F(StandardRecords, DifferencesAreReportedByTableCodesAndColumn) {
  StandardPair();
  Instructions("LUTable=L_Kind.KindCode\r\nLUTable=L_Location.LocationCode+StateCode\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);

  EXPECT_THAT(LogFrom("Consistency Check... "),
              ElementsAre("Consistency Check... ",
                          "Checking for consistency problems in the Lookup tables...",
                          "Looking for differences in standard records...",
                          "- Inspecting LU table: L_Kind", "- Inspecting LU table: L_Location",
                          "Looking for duplicate codes in non-standard records",
                          "- Inspecting LU table: L_Kind", "- Inspecting LU table: L_Location",
                          "Consistency check complete.", "Please wait..."));
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kCheck),
              ElementsAre("0 %", "50 %", "0 %", "50 %", "Done"));
  EXPECT_THAT(viewer_.loaded, ElementsAre(AppFile("tmp_rpt.rtf")));

  EXPECT_THAT(
      Report(),
      ElementsAre(" ", kStandardHeading, "Values in Database B will be used.",  //
                  "", KindLine("ENG"), FieldLine("Description", "engine", "Engine"), "",
                  KindLine("CREW"), FieldLine("Description", "Hand Crew", "Crew"),
                  FieldLine("CategoryCode", "4", "3"),  //
                  "",
                  "Table: " + B("L_Location") + ", code field(s): " + B("LocationCode") +
                      ", value = " + B("RENO") + ", " + B("StateCode") + ", value = " + B("NV"),
                  FieldLine("Description", "Reno ", "Reno"),  //
                  " ", kDuplicateHeading, " "));
  // The first pass only reads.
  EXPECT_THAT(A("SELECT KindCode, Description FROM L_Kind WHERE KindCode = 'ENG'"),
              ElementsAre("ENG|engine"));
}

// Data reaches the report as text only: braces and backslashes cannot open or close a group.
// Dates compare as dates and numbers as numbers, however each database wrote them.
TEST_F(StandardRecords, ValuesAreEscapedAndCompareByTheirFieldsType) {
  Pair({"CREATE TABLE L_Event ([EventCode] varchar(10) NOT NULL PRIMARY KEY, [Started] datetime,"
        " [Rate] decimal(5,2), [Description] varchar(50), [Standard] bit)"},
       Insert("L_Event", {"'E{1}', '2020-01-01', '1.50', '{\\rtf1 evil}', 1",
                          "'E2', '2020-01-01 08:00', 2, 'caf\u00e9', 1"}),
       Insert("L_Event", {"'E{1}', '2020-01-01 00:00:00', '1.5', 'back\\slash }', 1",
                          "'E2', '2020-01-01 08:00:01', 2, 'caf\u00e9', 1"}));
  Instructions("LUTable=L_Event.EventCode\r\n");
  ASSERT_TRUE(Check());
  EXPECT_THAT(Report(),
              ElementsAre(" ", kStandardHeading, "Values in Database B will be used.", "",
                          "Table: " + B("L_Event") + ", code field(s): " + B("EventCode") +
                              ", value = " + B("E{1}"),
                          "Field: \\b Description \\b0 , values: A = \\b \\{\\\\rtf1 evil\\} \\b0  "
                          "B = \\b back\\\\slash \\} \\b0 ",
                          "",
                          "Table: " + B("L_Event") + ", code field(s): " + B("EventCode") +
                              ", value = " + B("E2"),
                          FieldLine("Started", "2020-01-01 08:00", "2020-01-01 08:00:01"), " ",
                          kDuplicateHeading, " "));
}

TEST(CheckHelpers, ValuesOfDateAndNumberFieldsCompareByValue) {
  using data::Value;
  const struct {
    Value a, b;
    int type;
    bool differ;
  } cases[] = {
      {Value::Text("2020-01-01"), Value::Text("2020-01-01 00:00:00"), data::kTypeDBTimeStamp,
       false},
      {Value::Text("2020-01-01T08:30"), Value::Text("2020-01-01 08:30:00.000"), data::kTypeDate,
       false},
      {Value::Text("2020-01-01"), Value::Text("2020-01-02"), data::kTypeDBDate, true},
      {Value::Text("2020-01-01"), Value::Text("2020-01-01 00:00:00"), data::kTypeVarChar, true},
      {Value::Text("soon"), Value::Text("Soon"), data::kTypeDBTimeStamp, true},
      {Value::Text("1.50"), Value::Real(1.5), data::kTypeNumeric, false},
      {Value::Text("007"), Value::Integer(7), data::kTypeInteger, false},
      {Value::Text("1.50"), Value::Text("1.5"), data::kTypeVarChar, true},
      {Value::Text("x"), Value::Text("1"), data::kTypeInteger, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(merge::ValuesDiffer(c.a, c.b, c.type), c.differ)
        << c.a.AsText() << " / " << c.b.AsText() << " type " << c.type;
  }
}

TEST_F(StandardRecords, OnlyAnImmediateRepeatOfATableIsSkippedAndOnlyInTheFirstPass) {
  StandardPair();
  Instructions(
      "LUTable=L_Kind.KindCode\r\nLUTable=L_Kind.KindCode\r\n"
      "LUTable=L_Location.LocationCode+StateCode\r\nLUTable=L_Kind.KindCode\r\n");
  ASSERT_TRUE(Check());

  EXPECT_THAT(LogFrom("Looking for differences in standard records..."),
              ElementsAre("Looking for differences in standard records...",
                          "- Inspecting LU table: L_Kind", "- Skipped 2nd pass LU table: L_Kind",
                          "- Inspecting LU table: L_Location", "- Inspecting LU table: L_Kind",
                          "Looking for duplicate codes in non-standard records",
                          "- Inspecting LU table: L_Kind", "- Inspecting LU table: L_Kind",
                          "- Inspecting LU table: L_Location", "- Inspecting LU table: L_Kind",
                          "Consistency check complete.", "Please wait..."));
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kCheck),
              ElementsAre("0 %", "25 %", "50 %", "75 %", "0 %", "25 %", "50 %", "75 %", "Done"));
  const Lines report = Report();
  EXPECT_EQ(std::count(report.begin(), report.end(), KindLine("ENG")), 2);
}

TEST_F(StandardRecords, EqualRowsNullsAndNoTablesAreNoProblem) {
  // A NULL on either side is no difference.
  Pair({kKindTable}, Insert("L_Kind", {"'DOZR', NULL, 2, 1", "'SAME', 'Same', 5, 1"}),
       Insert("L_Kind", {"'DOZR', 'Dozer', NULL, 1", "'SAME', 'Same', 5, 1"}));
  for (const char* instructions : {"LUTable=L_Kind.KindCode\r\n", ""}) {
    SCOPED_TRACE(instructions);
    Instructions(instructions);
    ASSERT_TRUE(Check());
    EXPECT_FALSE(problems_);
    EXPECT_THAT(Report(), ElementsAreArray(kHeadingsOnly));
  }
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kCheck), ElementsAre("0 %", "0 %", "Done", "Done"));
}

TEST_F(StandardRecords, ATableBCannotReadHasNoRecordsAndTheDuplicatePassStopsOnIt) {
  StandardPair();
  Instructions("LUTable=L_Missing.Code\r\nLUTable=L_Kind.KindCode\r\n");
  EXPECT_FALSE(NewMerge().Initialize());

  EXPECT_THAT(
      LogFrom("Looking for differences in standard records..."),
      ElementsAre(
          "Looking for differences in standard records...", "- Inspecting LU table: L_Missing",
          "no records found in DB B", "- Inspecting LU table: L_Kind",
          "Looking for duplicate codes in non-standard records", "- Inspecting LU table: L_Missing",
          "Error, check stopped, Looking for duplicates in non-standard records, LU "
          "table: L_Missing",
          "Error, " + context_->merge.LastError));
  EXPECT_THAT(context_->merge.LastError, StartsWith("-2147217900 - "));
  EXPECT_THAT(context_->merge.LastError, HasSubstr("L_Missing"));
  // What the first pass found is in the report, which was closed and shown.
  EXPECT_THAT(viewer_.loaded, ElementsAre(AppFile("tmp_rpt.rtf")));
  EXPECT_THAT(Report(), Contains(KindLine("CREW")));
}

// Both failing passes name L_Kind, the table under way, and the server's error.
TEST_F(StandardRecords, AFailingStatementOnAStopsTheCheckNamingTheTable) {
  // B has standard rows of a table A lacks.
  Pair({kLocationTable}, {}, {kKindTable, "INSERT INTO L_Kind VALUES ('ENG', 'E', 1, 1)"});
  Instructions("LUTable=L_Location.LocationCode+StateCode\r\nLUTable=L_Kind.KindCode\r\n");
  ExpectStoppedOnKind("-2147217900 - ", "L_Kind");
  EXPECT_THAT(viewer_.loaded, ElementsAre(AppFile("tmp_rpt.rtf")));
}

TEST_F(StandardRecords, AColumnThatBLacksStopsTheCheck) {
  AttachWorkingCopies(
      MakeDatabase(DataFile("a.mdf"),
                   {"CREATE TABLE L_Kind ([KindCode] varchar(10) PRIMARY KEY, [Extra] int, "
                    "[Standard] bit)",
                    "INSERT INTO L_Kind VALUES ('ENG', 1, 1)"}),
      MakeDatabase(DataFile("b.mdf"),
                   {"CREATE TABLE L_Kind ([KindCode] varchar(10) PRIMARY KEY, [Standard] bit)",
                    "INSERT INTO L_Kind VALUES ('ENG', 1)"}));
  Instructions("LUTable=L_Kind.KindCode\r\n");
  ExpectStoppedOnKind("3265 - ", "Extra");
}

// ---------------------------------------------------------------- numeric recoding

class Recoding : public MergeWorld {};

TEST_F(Recoding, NumericDuplicatesBecomeOneMoreThanBothMaximaAndReferencesFollow) {
  Lines a_rows = Insert("Resources", {"1, 1", "2, 1", "3, 2", "4, 7", "5, NULL"}) +
                 Insert("Persons", {"1, 2", "2, 3"});
  for (int code = 1; code <= 10; ++code)
    a_rows.push_back(Insert("L_Status", {StatusRow(code, 0)})[0]);
  Lines b_rows = Insert("Resources", {"1, 1"});
  for (int code : {1, 2, 3, 4, 20}) b_rows.push_back(Insert("L_Status", {StatusRow(code, 0)})[0]);
  Pair({kStatusTable, "CREATE TABLE Resources ([ResourceID] int PRIMARY KEY, [StatusCode] int)",
        "CREATE TABLE Persons ([PersonID] int PRIMARY KEY, [Status] int)"},
       a_rows, b_rows);
  Instructions(
      "LUTable=L_Status.StatusCode\r\nRefTable=Resources.StatusCode\r\n"
      "RefTable=Persons.Status\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);

  Lines expected;
  const int changed[][3] = {{1, 2, 0}, {2, 1, 1}, {3, 0, 1}, {4, 0, 0}};
  for (const auto& [old_code, resources, persons] : changed) {
    const std::string code = std::to_string(old_code), new_code = std::to_string(old_code + 20);
    expected = expected +
               Lines{" ", TableLine("L_Status", "StatusCode"),
                     RecodeLine("StatusCode", code, code, new_code),
                     "Refering table: " + B("Resources") + ", field: " + B("StatusCode") +
                         " changed to " + B(new_code) + ", Records: " + std::to_string(resources),
                     "Refering table: " + B("Persons") + ", field: " + B("Status") +
                         " changed to " + B(new_code) + ", Records: " + std::to_string(persons)};
  }
  EXPECT_THAT(DuplicateReport(), ElementsAreArray(expected));

  EXPECT_THAT(
      A("SELECT StatusCode, Description FROM L_Status ORDER BY StatusCode"),
      ElementsAre("5|Status 5", "6|Status 6", "7|Status 7", "8|Status 8", "9|Status 9",
                  "10|Status 10", "21|Status 1", "22|Status 2", "23|Status 3", "24|Status 4"));
  EXPECT_THAT(A("SELECT ResourceID, StatusCode FROM Resources ORDER BY ResourceID"),
              ElementsAre("1|21", "2|21", "3|22", "4|7", "5|NULL"));
  EXPECT_THAT(A("SELECT PersonID, Status FROM Persons ORDER BY PersonID"),
              ElementsAre("1|22", "2|23"));
}

TEST_F(Recoding, StandardRowsCountForTheMaximumAndOneSidedUserRowsAreNoDuplicates) {
  Pair({kStatusTable, "CREATE TABLE L_Other ([Code] int PRIMARY KEY, [Standard] bit)"},
       Insert("L_Status", {StatusRow(5, 0), StatusRow(7, 1)}) + Insert("L_Other", {"3, 0", "8, 0"}),
       Insert("L_Status", {StatusRow(5, 0), StatusRow(40, 1)}) +
           Insert("L_Other", {"3, 0", "8, 1"}));
  Instructions("LUTable=L_Status.StatusCode\r\nLUTable=L_Other.Code\r\n");
  ASSERT_TRUE(Check());
  // No referring tables: a blank line, the table line and the field line only.
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", TableLine("L_Status", "StatusCode"),
                          RecodeLine("StatusCode", "5", "5", "41"),  //
                          " ", TableLine("L_Other", "Code"), RecodeLine("Code", "3", "3", "9")));
  EXPECT_THAT(A("SELECT Code FROM L_Other ORDER BY Code"), ElementsAre("8", "9"));
}

// The rows of a table that several recodings change are changed by one statement: each
// recoding still changes and counts the rows its own statement would have, codes compared as
// the server compares them (Solo, which one recoding changes alone, shows how: letter case
// aside, a trailing blank counts), and a recoding that looks for the code an earlier one gave
// waits for it.
TEST_F(Recoding, RecodingsOfOneTableChangeTheRowsEachWouldChangeAlone) {
  const std::string unit_table =
      "CREATE TABLE L_Unit ([Unit] varchar(2) NOT NULL PRIMARY KEY, [Standard] bit NULL)";
  const std::string kind_table =
      "CREATE TABLE L_Kind ([Kind] varchar(2) NOT NULL PRIMARY KEY, [Standard] bit NULL)";
  const Lines units = {"'ab', 'ab '", "'AB ', 'AB'", "'CD', 'x'", "'cd', NULL", "'EF', 'Ab'"};
  Lines a_rows = Insert("L_Unit", {"'AB', 0"}) + Insert("L_Kind", {"'AB', 0", "'CD', 0"}) +
                 Insert("Things", units) +
                 Insert("Solo", {"'ab '", "'AB'", "'x'", "NULL", "'Ab'"}) +
                 Insert("L_First", {"1, 0"}) + Insert("L_Second", {"6, 0"}) +
                 Insert("Chained", {"1", "6", "2"});
  Pair({unit_table, kind_table, "CREATE TABLE Things ([Kind] varchar(2), [Unit] varchar(2))",
        "CREATE TABLE Solo ([Unit] varchar(2))",
        "CREATE TABLE L_First ([Code] int PRIMARY KEY, [Standard] bit)",
        "CREATE TABLE L_Second ([Code] int PRIMARY KEY, [Standard] bit)",
        "CREATE TABLE Chained ([Code] int)"},
       a_rows,
       Insert("L_Unit", {"'AB', 0"}) + Insert("L_Kind", {"'AB', 0", "'CD', 0"}) +
           Insert("L_First", {"1, 0", "5, 0"}) + Insert("L_Second", {"6, 0", "8, 0"}));
  Instructions(
      "LUTable=L_Kind.Kind\r\nRefTable=Things.Kind\r\n"
      "LUTable=L_Unit.Unit\r\nRefTable=Things.Unit\r\nRefTable=Solo.Unit\r\n"
      "LUTable=L_First.Code\r\nRefTable=Chained.Code\r\n"
      "LUTable=L_Second.Code\r\nRefTable=Chained.Code\r\n");
  ASSERT_TRUE(Check());
  EXPECT_THAT(A("SELECT Kind || '|' || COALESCE(Unit, 'NULL') FROM Things ORDER BY rowid"),
              ElementsAre("00|ab ", "AB |00", "11|x", "11|NULL", "EF|00"));
  EXPECT_THAT(A("SELECT COALESCE(Unit, 'NULL') FROM Solo ORDER BY rowid"),
              ElementsAre("ab ", "00", "x", "NULL", "00"));
  // 1 became 6 (one more than both tables of L_First hold), then 6 became 9.
  EXPECT_THAT(A("SELECT Code FROM Chained ORDER BY rowid"), ElementsAre("9", "9", "2"));
  const Lines report = DuplicateReport();
  for (const auto& [code, rows] : {std::pair{"6", "1"}, {"9", "2"}}) {
    EXPECT_THAT(report, Contains("Refering table: " + B("Chained") + ", field: " + B("Code") +
                                 " changed to " + B(code) + ", Records: " + rows));
  }
  EXPECT_THAT(report, Contains(UsingLine("Things", "Unit", "00")));
  EXPECT_THAT(report, Contains(UsingLine("Solo", "Unit", "00")));
}

// ---------------------------------------------------------------- text recoding

// A free code is a run of one character as long as the field, up to eight.
TEST_F(Recoding, TextDuplicatesTakeTheFirstFreeRunOfOneCharacter) {
  Pair({"CREATE TABLE L_Agency ([AgencyCode] varchar(3) NOT NULL PRIMARY KEY, [AgencyName] "
        "varchar(50) NULL, [Standard] bit NULL)",
        "CREATE TABLE Incidents ([IncidentID] int PRIMARY KEY, [AgencyCode] varchar(3))",
        "CREATE TABLE L_One ([Code] char(1) NOT NULL PRIMARY KEY, [Standard] bit NULL)",
        "CREATE TABLE L_Long ([Code] varchar(20) NOT NULL PRIMARY KEY, [Standard] bit NULL)"},
       Insert("L_Agency", {"'VFD', 'Valley', 0", "'000', 'Zeros', 1", "'ABC', 'Letters', 0"}) +
           Insert("Incidents", {"1, 'VFD'", "2, 'ABC'", "3, 'XYZ'"}) +
           Insert("L_One", {"'X', 0", "'0', 1", "'1', 0"}) + Insert("L_Long", {"'LONGCODE1', 0"}),
       Insert("L_Agency", {"'VFD', 'Volunteer', 0", "'111', 'Ones', 0", "'abc', 'letters', 0"}) +
           Insert("Incidents", {"1, 'VFD'"}) + Insert("L_One", {"'X', 0", "'2', 1"}) +
           Insert("L_Long", {"'LONGCODE1', 0"}));
  Instructions(
      "LUTable=L_Agency.AgencyCode\r\nRefTable=Incidents.AgencyCode\r\nLUTable=L_One.Code\r\n"
      "LUTable=L_Long.Code\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);
  // "000" is taken in A (by a standard row), "111" in B; once VFD has "222", ABC (the same
  // code as "abc" to the server) gets "333".
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", TableLine("L_Agency", "AgencyCode"),
                          RecodeLine("AgencyCode", "VFD", "VFD", "222"),
                          UsingLine("Incidents", "AgencyCode", "222"), " ",
                          TableLine("L_Agency", "AgencyCode"),
                          RecodeLine("AgencyCode", "ABC", "abc", "333"),
                          UsingLine("Incidents", "AgencyCode", "333"),                         //
                          " ", TableLine("L_One", "Code"), RecodeLine("Code", "X", "X", "3"),  //
                          " ", TableLine("L_Long", "Code"),
                          RecodeLine("Code", "LONGCODE1", "LONGCODE1", "00000000")));
  EXPECT_THAT(A("SELECT AgencyCode, AgencyName FROM L_Agency ORDER BY AgencyCode"),
              ElementsAre("000|Zeros", "222|Valley", "333|Letters"));
  EXPECT_THAT(A("SELECT IncidentID, AgencyCode FROM Incidents ORDER BY IncidentID"),
              ElementsAre("1|222", "2|333", "3|XYZ"));
  EXPECT_THAT(A("SELECT Code FROM L_One ORDER BY Code"), ElementsAre("0", "1", "3"));
  EXPECT_THAT(A("SELECT Code FROM L_Long"), ElementsAre("00000000"));
}

TEST_F(Recoding, EveryCodeFieldMustMatchAsTheServerComparesText) {
  Pair({kLocationTable},
       Insert("L_Location", {"'CAMP1', 'CA', 'Spring', 0", "'CAMP2', 'OR', 'School', 0",
                             "'Base ', 'ID', 'Base', 0"}),
       Insert("L_Location", {"'camp1', 'CA', 'Fair', 0", "'CAMP2', 'WA', 'Other state', 0",
                             "'BASE', 'id', 'Base', 0"}));
  Instructions("LUTable=L_Location.LocationCode+StateCode\r\n");
  ASSERT_TRUE(Check());
  const std::string table =
      "Table: " + B("L_Location") + ", code(s): " + B("LocationCode") + ", " + B("StateCode");
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", table, RecodeLine("LocationCode", "CAMP1", "camp1", "00000000"), " ",
                          table, RecodeLine("LocationCode", "Base ", "BASE", "11111111")));
  EXPECT_THAT(A("SELECT LocationCode, StateCode FROM L_Location ORDER BY Description"),
              ElementsAre("11111111|ID", "CAMP2|OR", "00000000|CA"));
}

TEST_F(Recoding, WhenEveryCandidateIsTakenTheRowIsLeftAndTheReportSaysSo) {
  Lines a_rows = Insert("L_One", {"'!', 0"}) + Insert("Units", {"1, '!'"});
  for (int c = 48; c <= 93; ++c) {
    const std::string code = c == '\'' ? "''" : std::string(1, static_cast<char>(c));
    a_rows.push_back("INSERT INTO L_One VALUES ('" + code + "', 1)");
  }
  Pair({"CREATE TABLE L_One ([Code] char(1) NOT NULL PRIMARY KEY, [Standard] bit NULL)",
        "CREATE TABLE Units ([UnitID] int PRIMARY KEY, [Code] char(1))"},
       a_rows, Insert("L_One", {"'!', 0"}));
  Instructions("LUTable=L_One.Code\r\nRefTable=Units.Code\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);
  const std::string warning =
      "Warning, no free code for L_One.Code value !; the row was left unchanged";
  EXPECT_THAT(LogFrom(warning),
              ElementsAre(warning, "Consistency check complete.", "Please wait..."));
  EXPECT_THAT(DuplicateReport(), ElementsAre(" ", TableLine("L_One", "Code"), warning));
  EXPECT_THAT(A("SELECT COUNT(*) FROM L_One WHERE Code = '!'"), ElementsAre("1"));
  EXPECT_THAT(A("SELECT Code FROM Units"), ElementsAre("!"));
}

TEST_F(Recoding, CodesWithSingleQuotesAreComparedAndRecoded) {
  Pair({"CREATE TABLE L_Name ([Code] varchar(5) NOT NULL PRIMARY KEY, [Description] "
        "varchar(20) NULL, [Standard] bit NULL)",
        "CREATE TABLE Crews ([CrewID] int PRIMARY KEY, [Code] varchar(5))"},
       Insert("L_Name", {"'O''B', 'Obrien', 0", "'D''X', 'Std A', 1"}) +
           Insert("Crews", {"1, 'O''B'", "2, 'D''X'"}),
       Insert("L_Name", {"'O''B', 'Other', 0", "'D''X', 'Std B', 1"}));
  Instructions("LUTable=L_Name.Code\r\nRefTable=Crews.Code\r\n");
  ASSERT_TRUE(Check());
  const Lines report = Report();
  EXPECT_THAT(report, Contains("Table: " + B("L_Name") + ", code field(s): " + B("Code") +
                               ", value = " + B("D'X")));
  EXPECT_THAT(report, Contains(FieldLine("Description", "Std A", "Std B")));
  EXPECT_THAT(DuplicateReport(), ElementsAre(" ", TableLine("L_Name", "Code"),
                                             RecodeLine("Code", "O'B", "O'B", "00000"),
                                             UsingLine("Crews", "Code", "00000")));
  EXPECT_THAT(A("SELECT CrewID, Code FROM Crews ORDER BY CrewID"), ElementsAre("1|00000", "2|D'X"));
}

TEST_F(Recoding, ASmallIntegerCodeEndsTheCheckWithoutClosingTheReport) {
  Pair(
      {kStatusTable, "CREATE TABLE L_Small ([Code] smallint NOT NULL PRIMARY KEY, [Standard] bit)"},
      Insert("L_Status", {StatusRow(3, 1), StatusRow(9, 0)}) + Insert("L_Small", {"5, 0"}),
      Insert("L_Status", {"3, 'Changed', 1", StatusRow(9, 0)}) + Insert("L_Small", {"5, 0"}));
  Instructions("LUTable=L_Small.Code\r\nLUTable=L_Status.StatusCode\r\n");
  ASSERT_TRUE(Check());
  // The difference of the first pass was found before the check ended.
  EXPECT_TRUE(problems_);
  EXPECT_THAT(LogFrom("Looking for duplicate codes in non-standard records"),
              ElementsAre("Looking for duplicate codes in non-standard records",
                          "- Inspecting LU table: L_Small",
                          "Error, Non-Standard duplicate, field type can not be processed: "
                          "L_Small.Code"));
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kCheck), ElementsAre("0 %", "50 %", "0 %"));
  EXPECT_THAT(viewer_.loaded, IsEmpty());
  EXPECT_THAT(DuplicateReport(), ElementsAre(" ", TableLine("L_Small", "Code")));
  // Nothing after the small integer table was examined: 9 keeps its code in A.
  EXPECT_THAT(A("SELECT StatusCode FROM L_Status ORDER BY StatusCode"), ElementsAre("3", "9"));

  // msu finishes such a report before it copies it: the document is whole.
  NewMerge().Initialize();
  merge_->FinishOpenReport();
  EXPECT_THAT(viewer_.loaded, ElementsAre(AppFile("tmp_rpt.rtf")));
  EXPECT_THAT(ReadFile(AppFile("tmp_rpt.rtf")), HasSubstr("\\par }"));
}

// Codes at the end of the four-byte range, and codes that are no numbers in an integer field.
TEST_F(Recoding, CodesStayInsideTheFourByteRangeAndTextNeverEntersAStatementBare) {
  Pair({kStatusTable, "CREATE TABLE Resources ([ResourceID] int PRIMARY KEY, [StatusCode] int)"},
       Insert("L_Status", {StatusRow(1, 1), StatusRow(5, 0), StatusRow(2147483647, 1)}) +
           Insert("Resources", {"1, 5"}),
       Insert("L_Status", {"'1 OR 1=1', 'Other', 1", StatusRow(5, 0)}));
  Instructions("LUTable=L_Status.StatusCode\r\nRefTable=Resources.StatusCode\r\n");
  ASSERT_TRUE(Check());
  // B's "1 OR 1=1" is no code 1: A's standard row 1 is not compared with it.
  EXPECT_THAT(LogFrom("Looking for duplicate codes in non-standard records"),
              ElementsAre("Looking for duplicate codes in non-standard records",
                          "- Inspecting LU table: L_Status",
                          "Error, no free code for L_Status.StatusCode value 5: the next code "
                          "would pass 2147483647, the largest a code holds"));
  EXPECT_THAT(Report(),
              ElementsAre(" ", kStandardHeading, "Values in Database B will be used.", " ",
                          kDuplicateHeading, " ", " ", TableLine("L_Status", "StatusCode")));
  EXPECT_THAT(A("SELECT ResourceID, StatusCode FROM Resources"), ElementsAre("1|5"));
}

TEST(CheckHelpers, PercentagesRoundHalvesToEven) {
  const int cases[][3] = {{0, 8, 0},  {1, 8, 12}, {3, 8, 38},  {5, 8, 62}, {7, 8, 88},
                          {1, 3, 33}, {2, 3, 67}, {1, 200, 0}, {3, 200, 2}};
  for (const auto& [part, whole, percent] : cases) {
    EXPECT_EQ(merge::PercentOf(part, whole), percent) << part << "/" << whole;
  }
}

}  // namespace
}  // namespace msu::testing
