// Initialising a merge: the instructions, the working copies of the ini files, the version
// lines, the two connections and the check, each failure reported with the step under way;
// and the whole check on a generated sample pair.
#include <set>

#include "core/text.h"
#include "merge_world.h"
#include "suite/sample_generator.h"

namespace msu::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
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

 public:  // ways to make one step of Initialize fail, named in a table of cases
  void BlockIni() { fs::create_directories(DataFile("b.ini")); }
  void NoInstructions() { context_->versions.InstructionFileName = "CVN_none.txt"; }
  void DetachB() { instance_->Detach("W_O_R_K_B"), b_bytes_.clear(); }
  void NoSuiteIni() { fs::remove(AppFile("cvn.ini")); }
  void BlockReport() { fs::create_directories(AppFile("tmp_rpt.rtf") + "/not empty"); }
};

TEST_F(MergeInit, CopiesTheIniFilesReportsTheVersionsAndKeepsTheConnectionsOpen) {
  SmallPair();
  WriteFile(DataFile("a.ini"), "[Fire]\r\nStation=12\r\n");
  WriteFile(AppFile("W_O_R_K_B.ini"), "left from an earlier merge");
  ASSERT_TRUE(NewMerge().Initialize());
  EXPECT_FALSE(merge_->ProblemsToCorrect);
  // The connections stay open for the merge.
  ASSERT_NE(merge_->SourceConnection(), nullptr);
  ASSERT_NE(merge_->DestinationConnection(), nullptr);
  EXPECT_TRUE(merge_->SourceConnection()->IsOpen() && merge_->DestinationConnection()->IsOpen());
  EXPECT_EQ(instance_->Sessions().size(), 2u);
  EXPECT_EQ(merge_->LookUps().Count(), 1);
  merge_->CloseConnections();
  EXPECT_EQ(merge_->SourceConnection(), nullptr);
  EXPECT_THAT(instance_->Sessions(), IsEmpty());

  EXPECT_EQ(ReadFile(AppFile("W_O_R_K_A.ini")), "[Fire]\r\nStation=12\r\n");
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
  const std::string report = ReadFile(AppFile("tmp_rpt.rtf"));
  EXPECT_NE(report.find("Source Database: \\b       a.mdf"), std::string::npos);
  EXPECT_NE(report.find("Target Database: \\b  Merged.mdf"), std::string::npos);
  EXPECT_NE(report.find("Merge Version: \\b    5.01.00"), std::string::npos);
}

// Each failure names the step under way in its last lines (the error's own line given as
// "LastError"); a connection opened before it stays open, and no report is written or shown.
TEST_F(MergeInit, EveryFailingStepIsReportedAndStopsTheCheck) {
  struct Case {
    const char* name;
    void (MergeInit::*prepare)();
    std::string tail, error, mention;
    bool source_open;
  };
  const std::string stopped = "Error, check stopped, Opening Source Database";
  const std::vector<Case> cases = {
      {"ini file not copied", &MergeInit::BlockIni, "", "",
       "Error, Creating working copy of ini for destination database: ", false},
      {"no instruction file", &MergeInit::NoInstructions,
       "Loading processing instructions...\nUnable to find instructions", "", "", false},
      {"no working copy B", &MergeInit::DetachB,
       "Destination Database version: 4.13.00\n" + stopped + "\nLastError",
       "-2147199229 - The database W_O_R_K_B on the server ORVANE is not the working copy this "
       "run made (it is not attached)",
       "W_O_R_K_B", false},
      {"no cvn.ini", &MergeInit::NoSuiteIni, stopped + "\nLastError", "", "cvn.ini", false},
      {"report not written", &MergeInit::BlockReport,
       "Looking for differences in standard records...\n" + stopped + "\nLastError",
       "52 - Bad file name or number", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    SmallPair();
    (this->*c.prepare)();
    EXPECT_FALSE(NewMerge().Initialize());
    const Lines log = Log();
    EXPECT_THAT(log.back(), HasSubstr(c.mention));
    std::string tail;
    for (size_t i = log.size() - std::count(c.tail.begin(), c.tail.end(), '\n') - 1;
         !c.tail.empty() && i < log.size(); ++i) {
      tail += (tail.empty() ? "" : "\n") +
              (log[i] == "Error, " + context_->merge.LastError ? "LastError" : log[i]);
    }
    EXPECT_EQ(tail, c.tail);
    EXPECT_THAT(context_->merge.LastError, StartsWith(c.error));
    EXPECT_EQ(merge_->SourceConnection() != nullptr, c.source_open);
    EXPECT_FALSE(fs::is_regular_file(AppFile("tmp_rpt.rtf")));
    EXPECT_THAT(viewer_.loaded, IsEmpty());
  }
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
    source_bytes_ = ReadFile(source_);
    destination_bytes_ = ReadFile(destination_);
    fs::copy_file(std::string(ORVANE_SOURCE_DIR) + "/suite/files/CVN_4x.txt",
                  AppFile("CVN_4x.txt"));
    context_->versions.InstructionFileName = "CVN_4x.txt";
    AttachWorkingCopies(source_, destination_);
  }
  void TearDown() override {
    EXPECT_TRUE(ReadFile(source_) == source_bytes_) << "the user's Database 1 changed";
    EXPECT_TRUE(ReadFile(destination_) == destination_bytes_) << "the user's Database 2 changed";
    MergeWorld::TearDown();
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

  Merge& merge = NewMerge();
  merge.SourceAPath = source_;
  merge.SourceBPath = destination_;
  ASSERT_TRUE(merge.Initialize());
  EXPECT_TRUE(merge.ProblemsToCorrect);
  EXPECT_EQ(merge.mergeVersion(), "5.01.00");
  merge.CloseConnections();
  EXPECT_EQ(ReadFile(AppFile("W_O_R_K_A.ini")), ReadFile(DataFile("Fire1.ini")));
  EXPECT_FALSE(fs::exists(AppFile("W_O_R_K_B.ini")));
  for (const std::string& line : Log()) EXPECT_THAT(line, Not(StartsWith("Error"))) << line;
  EXPECT_EQ(Log().back(), "Please wait...");

  const Lines report = Report();
  const auto has = [&report](const std::string& start) {
    return std::any_of(report.begin(), report.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  };
  const auto code = [](const char* table, const char* field, const char* value) {
    return "Table: " + B(table) + ", code field(s): " + B(field) + ", value = " + B(value);
  };
  for (const std::string& line :
       {code("L_Kind", "KindCode", "ENG3"), code("L_Agency", "AgencyCode", "USFS"),
        code("L_Location", "LocationCode", "RENO") + ", " + B("StateCode") + ", value = " + B("NV"),
        "Field: " + B("StatusCode") + " values: A = " + B("100"),
        "Field: " + B("StatusCode") + " values: A = " + B("101"),
        "Field: " + B("StatusCode") + " values: A = " + B("102"),
        "Field: " + B("KindCode") + " values: A = " + B("XK1") + " B = " + B("XK1") +
            " Source Database changed to: ",
        "Field: " + B("AgencyCode") + " values: A = " + B("VFD"),
        "Refering table: " + B("L_Kind") + ", field: " + B("CategoryCode"),
        "Using table: " + B("Incidents") + " , field: " + B("LocationCode")}) {
    EXPECT_TRUE(has(line)) << line;
  }
  EXPECT_FALSE(has(code("L_Agency", "AgencyCode", "NPS")));

  // No user code of A collides with one of B any more, and whatever referred to a recoded
  // row still finds it.
  for (const auto& [table, field] : {std::pair{"L_Status", "StatusCode"},
                                     {"L_Category", "CategoryCode"},
                                     {"L_Kind", "KindCode"},
                                     {"L_Agency", "AgencyCode"}}) {
    EXPECT_TRUE(Disjoint(UserCodes(a, table, field), UserCodes(b, table, field))) << table;
  }
  EXPECT_EQ(Query(a, dangling_kinds), dangling_before);
  EXPECT_THAT(Query(a, "SELECT COUNT(*) FROM Incidents WHERE LocationCode = 'CAMP1'"),
              ElementsAre("0"));
  EXPECT_THAT(camp_before, Not(ElementsAre("0")));
}

}  // namespace
}  // namespace msu::testing
