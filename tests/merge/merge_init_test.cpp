// Initialising a merge: the instructions, the working copies of the ini files, the version
// lines, the two connections and the check, each failure reported with the step under way;
// and the whole check on a generated sample pair.
#include <set>

#include "core/text.h"
#include "merge_world.h"
#include "suite/sample_generator.h"

namespace msu::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

const char* const kStatusTable =
    "CREATE TABLE L_Status ([StatusCode] int NOT NULL PRIMARY KEY, [Description] varchar(30) "
    "NULL, [Standard] bit NULL)";

class MergeInit : public MergeWorld {
 protected:
  void SmallPair() {
    Pair({kStatusTable}, {"INSERT INTO L_Status VALUES (1, 'Ready', 1)"},
         {"INSERT INTO L_Status VALUES (1, 'Ready', 1)"});
    Instructions("LUTable=L_Status.StatusCode\r\n");
    context_->versions.Database2Version = "4.13.00";
  }
};

TEST_F(MergeInit, CopiesTheIniFilesThatExistAndReportsTheVersions) {
  SmallPair();
  WriteBytes(DataFile("a.ini"), "[Fire]\r\nStation=12\r\n");
  WriteBytes(AppFile("W_O_R_K_B.ini"), "left from an earlier merge");
  ASSERT_TRUE(Check());
  EXPECT_FALSE(problems_);

  EXPECT_EQ(ReadBytes(AppFile("W_O_R_K_A.ini")), "[Fire]\r\nStation=12\r\n");
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_B.ini")));
  EXPECT_EQ(Log().front(), "Loading processing instructions...");
  EXPECT_THAT(
      LogFrom("Created a working copy of ini for source database: " + DataFile("a.mdf")),
      ElementsAre(
          "Created a working copy of ini for source database: " + DataFile("a.mdf"),
          "Checking for correct database structure...",
          "Current merge compatibility is merge version: 5.01.00",
          "Source Database version: 5.01.00", "Destination Database version: 4.13.00",
          "Consistency Check... ", "Checking for consistency problems in the Lookup tables...",
          "Looking for differences in standard records...", "- Inspecting LU table: L_Status",
          "Looking for duplicate codes in non-standard records", "- Inspecting LU table: L_Status",
          "Consistency check complete.", "Please wait..."));
  // The header of the report names the files of the merge.
  const std::string report = ReadBytes(AppFile("tmp_rpt.rtf"));
  EXPECT_NE(report.find("Source Database: \\b       a.mdf"), std::string::npos);
  EXPECT_NE(report.find("Target Database: \\b  Merged.mdf"), std::string::npos);
  EXPECT_NE(report.find("Merge Version: \\b    5.01.00"), std::string::npos);
}

TEST_F(MergeInit, TheConnectionsStayOpenForTheMergeAfterASuccessfulCheck) {
  SmallPair();
  ASSERT_TRUE(NewMerge().Initialize());
  ASSERT_NE(merge_->SourceConnection(), nullptr);
  ASSERT_NE(merge_->DestinationConnection(), nullptr);
  EXPECT_TRUE(merge_->SourceConnection()->IsOpen());
  EXPECT_TRUE(merge_->DestinationConnection()->IsOpen());
  EXPECT_EQ(instance_->Sessions().size(), 2u);
  EXPECT_EQ(merge_->LookUps().Count(), 1);
  merge_->CloseConnections();
  EXPECT_EQ(merge_->SourceConnection(), nullptr);
  EXPECT_THAT(instance_->Sessions(), IsEmpty());
}

TEST_F(MergeInit, AnIniFileThatCannotBeCopiedStopsBeforeAnyConnection) {
  SmallPair();
  fs::create_directories(DataFile("b.ini"));  // something named like the ini file, not a file
  EXPECT_FALSE(NewMerge().Initialize());
  const Lines log = Log();
  EXPECT_THAT(log.back(),
              StartsWith("Error, Creating working copy of ini for destination database: "));
  EXPECT_THAT(log, Not(Contains("Checking for correct database structure...")));
  EXPECT_EQ(merge_->SourceConnection(), nullptr);
}

TEST_F(MergeInit, AMissingInstructionFileOpensNothing) {
  SmallPair();
  context_->versions.InstructionFileName = "CVN_none.txt";
  EXPECT_FALSE(NewMerge().Initialize());
  EXPECT_THAT(Log(),
              ElementsAre("Loading processing instructions...", "Unable to find instructions"));
  EXPECT_EQ(merge_->SourceConnection(), nullptr);
  EXPECT_THAT(instance_->Sessions(), IsEmpty());
  EXPECT_FALSE(fs::exists(AppFile("tmp_rpt.rtf")));
}

TEST_F(MergeInit, AFailingDestinationConnectionIsReportedAsOpeningTheSource) {
  Instructions("LUTable=L_Status.StatusCode\r\n");
  fs::copy_file(MakeDatabase(DataFile("a.mdf"), {kStatusTable}), AppFile("W_O_R_K_A.tmp"));
  instance_->Attach("W_O_R_K_A", AppFile("W_O_R_K_A.tmp"));
  EXPECT_FALSE(NewMerge().Initialize());
  const Lines log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "Destination Database version: 5.01.00");
  EXPECT_EQ(log[log.size() - 2], "Error, check stopped, Opening Source Database");
  EXPECT_EQ(log.back(), "Error, " + context_->merge.LastError);
  EXPECT_THAT(context_->merge.LastError, StartsWith("-2147467259 - "));
  EXPECT_THAT(context_->merge.LastError, ::testing::HasSubstr("W_O_R_K_B"));
  // The source connection opened so far stays open; nothing was checked.
  ASSERT_NE(merge_->SourceConnection(), nullptr);
  EXPECT_TRUE(merge_->SourceConnection()->IsOpen());
  EXPECT_FALSE(fs::exists(AppFile("tmp_rpt.rtf")));
}

TEST_F(MergeInit, AMissingSuiteIniFileStopsTheOpening) {
  SmallPair();
  fs::remove(AppFile("cvn.ini"));
  EXPECT_FALSE(NewMerge().Initialize());
  const Lines log = Log();
  EXPECT_EQ(log[log.size() - 2], "Error, check stopped, Opening Source Database");
  EXPECT_THAT(log.back(), ::testing::HasSubstr("cvn.ini"));
  EXPECT_EQ(merge_->SourceConnection(), nullptr);
}

TEST_F(MergeInit, AReportThatCannotBeWrittenStopsTheCheck) {
  SmallPair();
  // The report's name is taken by a folder that is not empty.
  fs::create_directories(AppFile("tmp_rpt.rtf"));
  WriteBytes(AppFile("tmp_rpt.rtf") + "/kept.txt", "kept");
  EXPECT_FALSE(NewMerge().Initialize());
  const Lines log = Log();
  EXPECT_EQ(log[log.size() - 3], "Looking for differences in standard records...");
  EXPECT_EQ(log[log.size() - 2], "Error, check stopped, Opening Source Database");
  EXPECT_EQ(log.back(), "Error, " + context_->merge.LastError);
  EXPECT_THAT(context_->merge.LastError, StartsWith("52 - Bad file name or number"));
  EXPECT_THAT(viewer_.loaded, IsEmpty());
}

TEST_F(MergeInit, AStoppedServerIsReportedAndTheCheckCanRunAgainOnANewEngine) {
  SmallPair();
  instance_->Stop();
  EXPECT_FALSE(NewMerge().Initialize());
  EXPECT_EQ(Log()[Log().size() - 2], "Error, check stopped, Opening Source Database");
  instance_->Start();
  progress_.Clear(LogPage::kCheck);
  ASSERT_TRUE(Check());
  EXPECT_EQ(Log().back(), "Please wait...");
}

// ---------------------------------------------------------------- the generated sample pair

// Codes of the user rows of a lookup table, upper-cased (the server compares without case).
std::set<std::string> UserCodes(const std::string& file, const std::string& table,
                                const std::string& code) {
  std::set<std::string> codes;
  for (const std::string& row :
       Query(file, "SELECT " + code + " FROM " + table + " WHERE Standard = 0")) {
    codes.insert(UpperCase(row));
  }
  return codes;
}

bool Disjoint(const std::set<std::string>& a, const std::set<std::string>& b) {
  for (const std::string& code : a) {
    if (b.count(code) != 0) return false;
  }
  return true;
}

class SamplePair : public MergeWorld {
 protected:
  void SetUp() override {
    MergeWorld::SetUp();
    suite::SampleOptions options;
    options.out_dir = root_ + "/data";
    options.rows = 400;
    suite::GenerateSampleSet(options);
    source_ = DataFile("Fire1.mdf");
    destination_ = DataFile("Fire2.mdf");
    source_bytes_ = ReadBytes(source_);
    destination_bytes_ = ReadBytes(destination_);
    fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt",
                  AppFile("CVN_4x.txt"));
    context_->versions.InstructionFileName = "CVN_4x.txt";
    AttachWorkingCopies(source_, destination_);
  }
  void TearDown() override {
    EXPECT_TRUE(ReadBytes(source_) == source_bytes_) << "the user's Database 1 changed";
    EXPECT_TRUE(ReadBytes(destination_) == destination_bytes_) << "the user's Database 2 changed";
    MergeWorld::TearDown();
  }

  Merge& SampleMerge() {
    Merge& merge = NewMerge();
    merge.SourceAPath = source_;
    merge.SourceBPath = destination_;
    return merge;
  }

  std::string source_, destination_, source_bytes_, destination_bytes_;
};

TEST_F(SamplePair, TheCheckReportsEveryPlantedCaseAndLeavesNoCollidingUserCode) {
  const std::string a = AppFile("W_O_R_K_A.tmp"), b = AppFile("W_O_R_K_B.tmp");
  const std::string dangling_kinds =
      "SELECT COUNT(*) FROM Resources WHERE KindCode IS NOT NULL AND KindCode NOT IN "
      "(SELECT KindCode FROM L_Kind)";
  const Lines dangling_before = Query(a, dangling_kinds);
  const Lines camp_before = Query(a,
                                  "SELECT COUNT(*) FROM Incidents WHERE LocationCode = "
                                  "'CAMP1'");

  Merge& merge = SampleMerge();
  ASSERT_TRUE(merge.Initialize());
  EXPECT_TRUE(merge.ProblemsToCorrect);
  EXPECT_EQ(merge.mergeVersion(), "5.01.00");
  merge.CloseConnections();
  EXPECT_EQ(ReadBytes(AppFile("W_O_R_K_A.ini")), ReadBytes(DataFile("Fire1.ini")));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_B.ini")));
  for (const std::string& line : Log()) EXPECT_THAT(line, Not(StartsWith("Error"))) << line;
  EXPECT_EQ(Log().back(), "Please wait...");

  const Lines report = Report();
  const auto has = [&report](const std::string& start) {
    return std::any_of(report.begin(), report.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  };
  EXPECT_TRUE(has("Table: " + B("L_Kind") + ", code field(s): " + B("KindCode") +
                  ", value = " + B("ENG3")));
  EXPECT_TRUE(has("Table: " + B("L_Agency") + ", code field(s): " + B("AgencyCode") +
                  ", value = " + B("USFS")));
  EXPECT_FALSE(has("Table: " + B("L_Agency") + ", code field(s): " + B("AgencyCode") +
                   ", value = " + B("NPS")));
  EXPECT_TRUE(has("Table: " + B("L_Location") + ", code field(s): " + B("LocationCode") +
                  ", value = " + B("RENO") + ", " + B("StateCode") + ", value = " + B("NV")));
  for (const char* status : {"100", "101", "102"}) {
    EXPECT_TRUE(has("Field: " + B("StatusCode") + " values: A = " + B(status))) << status;
  }
  EXPECT_TRUE(has("Field: " + B("KindCode") + " values: A = " + B("XK1") + " B = " + B("XK1") +
                  " Source Database changed to: "));
  EXPECT_TRUE(has("Field: " + B("AgencyCode") + " values: A = " + B("VFD")));
  EXPECT_TRUE(has("Refering table: " + B("L_Kind") + ", field: " + B("CategoryCode")));
  EXPECT_TRUE(has("Using table: " + B("Incidents") + " , field: " + B("LocationCode")));

  // No user code of A collides with one of B any more, and whatever referred to a recoded
  // row still finds it.
  EXPECT_TRUE(
      Disjoint(UserCodes(a, "L_Status", "StatusCode"), UserCodes(b, "L_Status", "StatusCode")));
  EXPECT_TRUE(Disjoint(UserCodes(a, "L_Category", "CategoryCode"),
                       UserCodes(b, "L_Category", "CategoryCode")));
  EXPECT_TRUE(Disjoint(UserCodes(a, "L_Kind", "KindCode"), UserCodes(b, "L_Kind", "KindCode")));
  EXPECT_TRUE(
      Disjoint(UserCodes(a, "L_Agency", "AgencyCode"), UserCodes(b, "L_Agency", "AgencyCode")));
  EXPECT_EQ(Query(a, dangling_kinds), dangling_before);
  EXPECT_THAT(Query(a, "SELECT COUNT(*) FROM Incidents WHERE LocationCode = 'CAMP1'"),
              ElementsAre("0"));
  EXPECT_THAT(camp_before, Not(ElementsAre("0")));
}

}  // namespace
}  // namespace msu::testing
