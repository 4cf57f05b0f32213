// The lookup consistency check on small hand-made working copies: what it reports about the
// standard rows, how it recodes colliding user codes in A (and only in A), and how it stops.
#include "merge/lookup_check.h"

#include "merge_world.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const char* const kKindTable =
    "CREATE TABLE L_Kind ([KindCode] varchar(10) NOT NULL PRIMARY KEY, [Description] "
    "varchar(50) NULL, [CategoryCode] int NULL, [Standard] bit NULL DEFAULT 0)";
const char* const kLocationTable =
    "CREATE TABLE L_Location ([LocationCode] varchar(10) NOT NULL, [StateCode] char(2) NOT NULL, "
    "[Description] varchar(50) NULL, [Standard] bit NULL, "
    "CONSTRAINT [PK_L_Location] PRIMARY KEY ([LocationCode], [StateCode]))";

const std::string kStandardHeading =
    "\\b Differences between standard records in Source and Destination look up tables \\b0 ";
const std::string kDuplicateHeading =
    "\\b Duplicate codes in non-standard records in Source and Destination lookup tables \\b0 ";

std::string KindLine(const std::string& code) {
  return "Table: " + B("L_Kind") + ", code field(s): " + B("KindCode") + ", value = " + B(code);
}
std::string FieldLine(const std::string& field, const std::string& a, const std::string& b) {
  return "Field: " + B(field) + ", values: A = " + B(a) + " B = " + B(b);
}
std::string RecodeLine(const std::string& field, const std::string& a, const std::string& b,
                       const std::string& changed) {
  return "Field: " + B(field) + " values: A = " + B(a) + " B = " + B(b) +
         " Source Database changed to: " + B(changed);
}

class StandardRecords : public MergeWorld {
 protected:
  // ENG differs in letter case only, DOZR has a NULL in A, CREW differs in two columns, SAME
  // is equal, ONLYA and HELI exist on one side only, USER is a user row; RENO/NV differs by a
  // trailing blank.
  void StandardPair() {
    Pair({kKindTable, kLocationTable},
         {"INSERT INTO L_Kind VALUES ('ENG', 'engine', 1, 1)",
          "INSERT INTO L_Kind VALUES ('DOZR', 'Dozer', NULL, 1)",
          "INSERT INTO L_Kind VALUES ('CREW', 'Hand Crew', 4, 1)",
          "INSERT INTO L_Kind VALUES ('SAME', 'Same', 5, 1)",
          "INSERT INTO L_Kind VALUES ('ONLYA', 'Only in A', 6, 1)",
          "INSERT INTO L_Kind VALUES ('USER', 'User kind', 7, 0)",
          "INSERT INTO L_Location VALUES ('RENO', 'NV', 'Reno ', 1)"},
         {"INSERT INTO L_Kind VALUES ('ENG', 'Engine', 1, 1)",
          "INSERT INTO L_Kind VALUES ('DOZR', 'Dozer', 2, 1)",
          "INSERT INTO L_Kind VALUES ('CREW', 'Crew', 3, 1)",
          "INSERT INTO L_Kind VALUES ('SAME', 'Same', 5, 1)",
          "INSERT INTO L_Kind VALUES ('HELI', 'Helicopter', 8, 1)",
          "INSERT INTO L_Location VALUES ('RENO', 'NV', 'Reno', 1)"});
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
  EXPECT_EQ(std::count(report.begin(), report.end(), KindLine("CREW")), 2);
}

TEST_F(StandardRecords, NoLookupTablesGiveOnlyTheHeadingsAndNoProblems) {
  StandardPair();
  Instructions("");
  ASSERT_TRUE(Check());
  EXPECT_FALSE(problems_);
  EXPECT_THAT(progress_.CaptionHistory(LogPage::kCheck), ElementsAre("Done"));
  EXPECT_THAT(Report(), ElementsAre(" ", kStandardHeading, "Values in Database B will be used.",
                                    " ", kDuplicateHeading, " "));
}

TEST_F(StandardRecords, EqualRowsAndNullsAreNoProblem) {
  Pair({kKindTable},
       {"INSERT INTO L_Kind VALUES ('DOZR', NULL, 2, 1)",
        "INSERT INTO L_Kind VALUES ('SAME', 'Same', 5, 1)"},
       {"INSERT INTO L_Kind VALUES ('DOZR', 'Dozer', NULL, 1)",
        "INSERT INTO L_Kind VALUES ('SAME', 'Same', 5, 1)"});
  Instructions("LUTable=L_Kind.KindCode\r\n");
  ASSERT_TRUE(Check());
  EXPECT_FALSE(problems_);
  EXPECT_THAT(Report(), ElementsAre(" ", kStandardHeading, "Values in Database B will be used.",
                                    " ", kDuplicateHeading, " "));
}

TEST_F(StandardRecords, ATableBCannotReadHasNoRecordsAndTheDuplicatePassStopsOnIt) {
  StandardPair();
  Instructions("LUTable=L_Missing.Code\r\nLUTable=L_Kind.KindCode\r\n");
  EXPECT_FALSE(NewMerge().Initialize());

  const Lines log = LogFrom("Looking for differences in standard records...");
  ASSERT_EQ(log.size(), 8u) << ::testing::PrintToString(log);
  EXPECT_THAT(Lines(log.begin(), log.begin() + 6),
              ElementsAre("Looking for differences in standard records...",
                          "- Inspecting LU table: L_Missing", "no records found in DB B",
                          "- Inspecting LU table: L_Kind",
                          "Looking for duplicate codes in non-standard records",
                          "- Inspecting LU table: L_Missing"));
  EXPECT_EQ(log[6],
            "Error, check stopped, Looking for duplicates in non-standard records, LU table: "
            "L_Missing");
  EXPECT_EQ(log[7], "Error, " + context_->merge.LastError);
  EXPECT_THAT(context_->merge.LastError, ::testing::StartsWith("-2147217900 - "));
  EXPECT_THAT(context_->merge.LastError, HasSubstr("L_Missing"));
  // What the first pass found is in the report, which was closed and shown.
  EXPECT_THAT(viewer_.loaded, ElementsAre(AppFile("tmp_rpt.rtf")));
  EXPECT_THAT(Report(), ::testing::Contains(KindLine("CREW")));
}

TEST_F(StandardRecords, AFailingStatementOnAStopsTheCheckNamingTheTable) {
  // B has standard rows of a table A lacks.
  AttachWorkingCopies(
      MakeDatabase(DataFile("a.mdf"), {kLocationTable}),
      MakeDatabase(DataFile("b.mdf"),
                   {kKindTable, kLocationTable, "INSERT INTO L_Kind VALUES ('ENG', 'E', 1, 1)"}));
  Instructions("LUTable=L_Location.LocationCode+StateCode\r\nLUTable=L_Kind.KindCode\r\n");
  EXPECT_FALSE(NewMerge().Initialize());
  const Lines log = Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2],
            "Error, check stopped, Looking for differences in standard records LU table: L_Kind");
  EXPECT_EQ(log.back(), "Error, " + context_->merge.LastError);
  EXPECT_THAT(context_->merge.LastError, ::testing::StartsWith("-2147217900 - "));
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
  EXPECT_FALSE(NewMerge().Initialize());
  EXPECT_THAT(Log(), ::testing::Contains("Error, check stopped, Looking for differences in "
                                         "standard records LU table: L_Kind"));
  EXPECT_THAT(context_->merge.LastError, ::testing::StartsWith("3265 - "));
  EXPECT_THAT(context_->merge.LastError, HasSubstr("Extra"));
}

// ---------------------------------------------------------------- numeric recoding

const char* const kStatusTable =
    "CREATE TABLE L_Status ([StatusCode] int NOT NULL PRIMARY KEY, [Description] varchar(30) "
    "NULL, [Standard] bit NULL)";

std::string StatusRow(int code, int standard) {
  return "INSERT INTO L_Status VALUES (" + std::to_string(code) + ", 'Status " +
         std::to_string(code) + "', " + std::to_string(standard) + ")";
}

class Recoding : public MergeWorld {};

TEST_F(Recoding, NumericDuplicatesBecomeOneMoreThanBothMaximaAndReferencesFollow) {
  Lines a_rows = {"INSERT INTO Resources VALUES (1, 1)",    "INSERT INTO Resources VALUES (2, 1)",
                  "INSERT INTO Resources VALUES (3, 2)",    "INSERT INTO Resources VALUES (4, 7)",
                  "INSERT INTO Resources VALUES (5, NULL)", "INSERT INTO Persons VALUES (1, 2)",
                  "INSERT INTO Persons VALUES (2, 3)"};
  for (int code = 1; code <= 10; ++code) a_rows.push_back(StatusRow(code, 0));
  Lines b_rows = {"INSERT INTO Resources VALUES (1, 1)"};
  for (int code : {1, 2, 3, 4, 20}) b_rows.push_back(StatusRow(code, 0));
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
    const std::string new_code = std::to_string(old_code + 20);
    expected.push_back(" ");
    expected.push_back("Table: " + B("L_Status") + ", code(s): " + B("StatusCode"));
    expected.push_back(
        RecodeLine("StatusCode", std::to_string(old_code), std::to_string(old_code), new_code));
    expected.push_back("Refering table: " + B("Resources") + ", field: " + B("StatusCode") +
                       " changed to " + B(new_code) + ", Records: " + std::to_string(resources));
    expected.push_back("Refering table: " + B("Persons") + ", field: " + B("Status") +
                       " changed to " + B(new_code) + ", Records: " + std::to_string(persons));
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

TEST_F(Recoding, StandardRowsCountForTheMaximumAndEqualMaximaGiveOneMore) {
  Pair({kStatusTable, "CREATE TABLE L_Other ([Code] int PRIMARY KEY, [Standard] bit)"},
       {StatusRow(5, 0), StatusRow(7, 1), "INSERT INTO L_Other VALUES (3, 0)",
        "INSERT INTO L_Other VALUES (8, 0)"},
       {StatusRow(5, 0), StatusRow(40, 1), "INSERT INTO L_Other VALUES (3, 0)",
        "INSERT INTO L_Other VALUES (8, 1)"});
  Instructions("LUTable=L_Status.StatusCode\r\nLUTable=L_Other.Code\r\n");
  ASSERT_TRUE(Check());
  // No referring tables: a blank line, the table line and the field line only.
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", "Table: " + B("L_Status") + ", code(s): " + B("StatusCode"),
                          RecodeLine("StatusCode", "5", "5", "41"),  //
                          " ", "Table: " + B("L_Other") + ", code(s): " + B("Code"),
                          RecodeLine("Code", "3", "3", "9")));
  EXPECT_THAT(A("SELECT Code FROM L_Other ORDER BY Code"), ElementsAre("8", "9"));
}

TEST_F(Recoding, UserRowsOnOneSideOnlyAreNoDuplicates) {
  Pair({kStatusTable}, {StatusRow(1, 0), StatusRow(2, 1)}, {StatusRow(2, 0), StatusRow(1, 1)});
  Instructions("LUTable=L_Status.StatusCode\r\n");
  ASSERT_TRUE(Check());
  EXPECT_FALSE(problems_);
  EXPECT_THAT(DuplicateReport(), IsEmpty());
  EXPECT_THAT(A("SELECT StatusCode, Standard FROM L_Status ORDER BY StatusCode"),
              ElementsAre("1|0", "2|1"));
}

// ---------------------------------------------------------------- text recoding

TEST_F(Recoding, TextDuplicatesTakeTheFirstFreeRunOfOneCharacter) {
  Pair({"CREATE TABLE L_Agency ([AgencyCode] varchar(3) NOT NULL PRIMARY KEY, [AgencyName] "
        "varchar(50) NULL, [Standard] bit NULL)",
        "CREATE TABLE Incidents ([IncidentID] int PRIMARY KEY, [AgencyCode] varchar(3))"},
       {"INSERT INTO L_Agency VALUES ('VFD', 'Valley', 0)",
        "INSERT INTO L_Agency VALUES ('000', 'Zeros', 1)",
        "INSERT INTO L_Agency VALUES ('ABC', 'Letters', 0)",
        "INSERT INTO Incidents VALUES (1, 'VFD')", "INSERT INTO Incidents VALUES (2, 'ABC')",
        "INSERT INTO Incidents VALUES (3, 'XYZ')"},
       {"INSERT INTO L_Agency VALUES ('VFD', 'Volunteer', 0)",
        "INSERT INTO L_Agency VALUES ('111', 'Ones', 0)",
        "INSERT INTO L_Agency VALUES ('abc', 'letters', 0)",
        "INSERT INTO Incidents VALUES (1, 'VFD')"});
  Instructions("LUTable=L_Agency.AgencyCode\r\nRefTable=Incidents.AgencyCode\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);
  // "000" is taken in A (by a standard row), "111" in B; once VFD has "222", ABC (the same
  // code as "abc" to the server) gets "333".
  EXPECT_THAT(
      DuplicateReport(),
      ElementsAre(
          " ", "Table: " + B("L_Agency") + ", code(s): " + B("AgencyCode"),
          RecodeLine("AgencyCode", "VFD", "VFD", "222"),
          "Using table: " + B("Incidents") + " , field: " + B("AgencyCode") + " to " + B("222"),
          " ", "Table: " + B("L_Agency") + ", code(s): " + B("AgencyCode"),
          RecodeLine("AgencyCode", "ABC", "abc", "333"),
          "Using table: " + B("Incidents") + " , field: " + B("AgencyCode") + " to " + B("333")));
  EXPECT_THAT(A("SELECT AgencyCode, AgencyName FROM L_Agency ORDER BY AgencyCode"),
              ElementsAre("000|Zeros", "222|Valley", "333|Letters"));
  EXPECT_THAT(A("SELECT IncidentID, AgencyCode FROM Incidents ORDER BY IncidentID"),
              ElementsAre("1|222", "2|333", "3|XYZ"));
}

TEST_F(Recoding, EveryCodeFieldMustMatchAsTheServerComparesText) {
  Pair({kLocationTable},
       {"INSERT INTO L_Location VALUES ('CAMP1', 'CA', 'Spring', 0)",
        "INSERT INTO L_Location VALUES ('CAMP2', 'OR', 'School', 0)",
        "INSERT INTO L_Location VALUES ('Base ', 'ID', 'Base', 0)"},
       {"INSERT INTO L_Location VALUES ('camp1', 'CA', 'Fair', 0)",
        "INSERT INTO L_Location VALUES ('CAMP2', 'WA', 'Other state', 0)",
        "INSERT INTO L_Location VALUES ('BASE', 'id', 'Base', 0)"});
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

TEST_F(Recoding, TheCandidateLengthFollowsTheFieldUpToEight) {
  Pair({"CREATE TABLE L_One ([Code] char(1) NOT NULL PRIMARY KEY, [Standard] bit NULL)",
        "CREATE TABLE L_Long ([Code] varchar(20) NOT NULL PRIMARY KEY, [Standard] bit NULL)"},
       {"INSERT INTO L_One VALUES ('X', 0)", "INSERT INTO L_One VALUES ('0', 1)",
        "INSERT INTO L_One VALUES ('1', 0)", "INSERT INTO L_Long VALUES ('LONGCODE1', 0)"},
       {"INSERT INTO L_One VALUES ('X', 0)", "INSERT INTO L_One VALUES ('2', 1)",
        "INSERT INTO L_Long VALUES ('LONGCODE1', 0)"});
  Instructions("LUTable=L_One.Code\r\nLUTable=L_Long.Code\r\n");
  ASSERT_TRUE(Check());
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", "Table: " + B("L_One") + ", code(s): " + B("Code"),
                          RecodeLine("Code", "X", "X", "3"),  //
                          " ", "Table: " + B("L_Long") + ", code(s): " + B("Code"),
                          RecodeLine("Code", "LONGCODE1", "LONGCODE1", "00000000")));
  EXPECT_THAT(A("SELECT Code FROM L_One ORDER BY Code"), ElementsAre("0", "1", "3"));
  EXPECT_THAT(A("SELECT Code FROM L_Long"), ElementsAre("00000000"));
}

TEST_F(Recoding, WhenEveryCandidateIsTakenTheRowIsLeftAndTheReportSaysSo) {
  Lines a_rows = {"INSERT INTO L_One VALUES ('!', 0)", "INSERT INTO Units VALUES (1, '!')"};
  for (int c = 48; c <= 93; ++c) {
    const std::string code = c == '\'' ? "''" : std::string(1, static_cast<char>(c));
    a_rows.push_back("INSERT INTO L_One VALUES ('" + code + "', 1)");
  }
  Pair({"CREATE TABLE L_One ([Code] char(1) NOT NULL PRIMARY KEY, [Standard] bit NULL)",
        "CREATE TABLE Units ([UnitID] int PRIMARY KEY, [Code] char(1))"},
       a_rows, {"INSERT INTO L_One VALUES ('!', 0)"});
  Instructions("LUTable=L_One.Code\r\nRefTable=Units.Code\r\n");
  ASSERT_TRUE(Check());
  EXPECT_TRUE(problems_);
  const std::string warning =
      "Warning, no free code for L_One.Code value !; the row was left unchanged";
  EXPECT_THAT(Log(), ::testing::Contains(warning));
  EXPECT_THAT(Log(), ::testing::Contains("Consistency check complete."));
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", "Table: " + B("L_One") + ", code(s): " + B("Code"), warning));
  EXPECT_THAT(A("SELECT COUNT(*) FROM L_One WHERE Code = '!'"), ElementsAre("1"));
  EXPECT_THAT(A("SELECT Code FROM Units"), ElementsAre("!"));
}

TEST_F(Recoding, CodesWithSingleQuotesAreComparedAndRecoded) {
  Pair({"CREATE TABLE L_Name ([Code] varchar(5) NOT NULL PRIMARY KEY, [Description] "
        "varchar(20) NULL, [Standard] bit NULL)",
        "CREATE TABLE Crews ([CrewID] int PRIMARY KEY, [Code] varchar(5))"},
       {"INSERT INTO L_Name VALUES ('O''B', 'Obrien', 0)",
        "INSERT INTO L_Name VALUES ('D''X', 'Std A', 1)", "INSERT INTO Crews VALUES (1, 'O''B')",
        "INSERT INTO Crews VALUES (2, 'D''X')"},
       {"INSERT INTO L_Name VALUES ('O''B', 'Other', 0)",
        "INSERT INTO L_Name VALUES ('D''X', 'Std B', 1)"});
  Instructions("LUTable=L_Name.Code\r\nRefTable=Crews.Code\r\n");
  ASSERT_TRUE(Check());
  const Lines report = Report();
  EXPECT_THAT(report, ::testing::Contains("Table: " + B("L_Name") + ", code field(s): " +
                                          B("Code") + ", value = " + B("D'X")));
  EXPECT_THAT(report, ::testing::Contains(FieldLine("Description", "Std A", "Std B")));
  EXPECT_THAT(
      DuplicateReport(),
      ElementsAre(" ", "Table: " + B("L_Name") + ", code(s): " + B("Code"),
                  RecodeLine("Code", "O'B", "O'B", "00000"),
                  "Using table: " + B("Crews") + " , field: " + B("Code") + " to " + B("00000")));
  EXPECT_THAT(A("SELECT CrewID, Code FROM Crews ORDER BY CrewID"), ElementsAre("1|00000", "2|D'X"));
}

// ---------------------------------------------------------------- codes that cannot be recoded

TEST_F(Recoding, ASmallIntegerCodeEndsTheCheckWithoutClosingTheReport) {
  Pair({kStatusTable,
        "CREATE TABLE L_Small ([Code] smallint NOT NULL PRIMARY KEY, [Standard] "
        "bit NULL)"},
       {StatusRow(3, 1), StatusRow(9, 0), "INSERT INTO L_Small VALUES (5, 0)"},
       {"INSERT INTO L_Status VALUES (3, 'Changed', 1)", StatusRow(9, 0),
        "INSERT INTO L_Small VALUES (5, 0)"});
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
  EXPECT_THAT(DuplicateReport(),
              ElementsAre(" ", "Table: " + B("L_Small") + ", code(s): " + B("Code")));
  // Nothing after the small integer table was examined: 9 keeps its code in A.
  EXPECT_THAT(A("SELECT StatusCode FROM L_Status ORDER BY StatusCode"), ElementsAre("3", "9"));
}

// ---------------------------------------------------------------- helpers

TEST(CheckHelpers, PercentagesRoundHalvesToEven) {
  EXPECT_EQ(merge::PercentOf(0, 8), 0);
  EXPECT_EQ(merge::PercentOf(1, 8), 12);
  EXPECT_EQ(merge::PercentOf(3, 8), 38);
  EXPECT_EQ(merge::PercentOf(5, 8), 62);
  EXPECT_EQ(merge::PercentOf(7, 8), 88);
  EXPECT_EQ(merge::PercentOf(1, 3), 33);
  EXPECT_EQ(merge::PercentOf(2, 3), 67);
  EXPECT_EQ(merge::PercentOf(1, 200), 0);
  EXPECT_EQ(merge::PercentOf(3, 200), 2);
}

}  // namespace
}  // namespace msu::testing
