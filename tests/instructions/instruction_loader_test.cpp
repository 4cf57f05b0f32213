// The instruction loader on small instruction files written by each test: every line kind,
// every progress and error line word for word, and files that are missing, empty, binary,
// oddly ended or very long.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/context.h"
#include "core/recording_progress.h"
#include "core/scripted_prompt.h"
#include "fake_backend.h"
#include "instructions/instruction_loader.h"

namespace msu::instructions {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = fs::temp_directory_path() /
              ("msu_loader_" + std::to_string(::getpid()) + "_" + std::to_string(seed()));
    fs::create_directories(folder_);
    context_ = std::make_unique<Context>(folder_.string(), progress_, prompt_, backend_);
    context_->versions.InstructionFileName = "CVN_4x.txt";
    progress_.SetShowDetails(LogPage::kCheck, true);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void WriteFile(const std::string& bytes) {
    std::ofstream out(folder_ / "CVN_4x.txt", std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  // Lines joined with CR LF, the way the shipped files are written.
  bool Load(const Lines& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    WriteFile(bytes);
    return LoadInstructions(*context_, set_);
  }
  Lines Log() const { return progress_.Texts(LogPage::kCheck); }
  // The log without its first line, "Loading processing instructions...".
  Lines LogAfterStart() const {
    Lines log = Log();
    EXPECT_FALSE(log.empty());
    if (!log.empty()) {
      EXPECT_EQ(log.front(), "Loading processing instructions...");
      log.erase(log.begin());
    }
    return log;
  }

  Lines TableNames() const {
    Lines names;
    for (const PTable& table : set_.Tables) names.push_back(table.TableName());
    return names;
  }
  Lines ChildNames(const std::string& parent) const {
    Lines names;
    for (const Child& child : set_.Tables.Item(parent).Children()) {
      names.push_back(child.TableName() + "." + child.ForeignKey());
    }
    return names;
  }
  static Lines FieldNames(const CodeFields& fields) {
    Lines names;
    for (const CodeField& field : fields) names.push_back(field.FieldName());
    return names;
  }

  fs::path folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  std::unique_ptr<Context> context_;
  InstructionSet set_;
};

TEST_F(LoaderTest, TheWorkedExampleLoadsWithEveryLine) {
  EXPECT_TRUE(Load({"; merge instructions", "Version=3", "[CoreTables]",
                    "ParentTable=Incidents.AUTOINCREMENT=IncidentID",
                    "ChildTable=Resources.IncidentID", "ParentTable=Resources.ResourceID",
                    "ChildTable=Quals.ResourceID", "ParentTable=Persons.PersonID+leaderid",
                    "[LookUpTables]", "LUTable=KindCodes.KindCode", "RefTable=Quals.KindCode",
                    "RefTable=Resources.KindCode", "[INCIDENTDELETE]", "ParentTable=NotRead.Id"}));
  EXPECT_EQ(Log(), (Lines{"Loading processing instructions...",
                          "- Adding parent table/key object: Incidents.AUTOINCREMENT=IncidentID",
                          "- Adding child table/key object: Resources.IncidentID",
                          "- Adding parent table/key object: Resources.ResourceID",
                          "- Adding child table/key object: Quals.ResourceID",
                          "- Adding parent table/key object: Persons.PersonID+leaderid",
                          "- Adding LU table/key object(s): LUTable=KindCodes.KindCode",
                          "- Adding ref table/key object(s): RefTable=Quals.KindCode",
                          "- Adding ref table/key object(s): RefTable=Resources.KindCode"}));

  EXPECT_EQ(set_.mergeVersion, "3");
  EXPECT_EQ(TableNames(), (Lines{"Incidents", "Resources", "Persons"}));
  const PTable& incidents = set_.Tables.Item("INCIDENTS");
  EXPECT_TRUE(incidents.AutoIncrement());
  EXPECT_EQ(incidents.PrimaryKey(), "IncidentID");
  EXPECT_EQ(ChildNames("Incidents"), (Lines{"Resources.IncidentID"}));
  EXPECT_EQ(ChildNames("Resources"), (Lines{"Quals.ResourceID"}));
  EXPECT_EQ(set_.Tables.Item("persons").PrimaryKey(), "PersonID+leaderid");
  EXPECT_FALSE(set_.Tables.Item("persons").AutoIncrement());
  EXPECT_EQ(set_.Tables.Item("persons").Children().Count(), 0);

  ASSERT_EQ(set_.LookUps.Count(), 1);
  const LookUp& kinds = set_.LookUps.Item(1);
  EXPECT_EQ(kinds.TableName(), "KindCodes");
  EXPECT_EQ(FieldNames(kinds.CodeFields()), (Lines{"KindCode"}));
  ASSERT_EQ(kinds.RefTables().Count(), 2);
  EXPECT_EQ(kinds.RefTables().Item(1).TableName(), "Quals");
  EXPECT_EQ(kinds.RefTables().Item(2).TableName(), "Resources");
  EXPECT_EQ(FieldNames(kinds.RefTables().Item(2).CodeFields()), (Lines{"KindCode"}));
  EXPECT_FALSE(context_->ErrorFlag);
}

TEST_F(LoaderTest, DetailLinesAreShownOnlyWithDetails) {
  progress_.SetShowDetails(LogPage::kCheck, false);
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "ChildTable=Resources.IncidentID",
                    "LUTable=KindCodes.KindCode", "RefTable=Quals.KindCode"}));
  EXPECT_EQ(LogAfterStart(), (Lines{"- Adding LU table/key object(s): LUTable=KindCodes.KindCode",
                                    "- Adding ref table/key object(s): RefTable=Quals.KindCode"}));
}

TEST_F(LoaderTest, AMissingFileLoadsNothing) {
  EXPECT_FALSE(LoadInstructions(*context_, set_));
  EXPECT_EQ(Log(), (Lines{"Loading processing instructions...", "Unable to find instructions"}));

  // No file chosen, or a folder of that name, is no instruction file either.
  for (const std::string& name : {std::string(), std::string("folder")}) {
    fs::create_directories(folder_ / "folder");
    context_->versions.InstructionFileName = name;
    progress_.Clear(LogPage::kCheck);
    EXPECT_FALSE(LoadInstructions(*context_, set_)) << name;
    EXPECT_EQ(LogAfterStart(), (Lines{"Unable to find instructions"})) << name;
  }
  EXPECT_EQ(set_.Tables.Count(), 0);
  EXPECT_EQ(set_.LookUps.Count(), 0);
}

TEST_F(LoaderTest, EmptyAndCommentOnlyFilesLoadNothingWithoutError) {
  WriteFile("");
  EXPECT_TRUE(LoadInstructions(*context_, set_));
  EXPECT_TRUE(Load({"; only", ";comments", "", "   ; indented comment is ignored too"}));
  EXPECT_EQ(LogAfterStart(), (Lines{"Loading processing instructions..."}));
  EXPECT_EQ(set_.Tables.Count(), 0);
  EXPECT_EQ(set_.LookUps.Count(), 0);
  EXPECT_EQ(set_.mergeVersion, "");
}

TEST_F(LoaderTest, KeyWordsAreReadWithoutRegardToCaseFromTheFirstColumnOnly) {
  EXPECT_TRUE(Load({"parenttable=Incidents.IncidentID", "CHILDTABLE=Resources.IncidentID",
                    " ParentTable=Indented.Id", "PARENTTABLE =Blank.Id", "ParentTable:Colon . Id ",
                    "lutable=KindCodes.KindCode", "rEfTaBlE=Quals.KindCode", "VERSION=5.01.00",
                    "Something=else"}));
  EXPECT_EQ(TableNames(), (Lines{"Incidents", "=Blank", "Colon"}));
  EXPECT_EQ(set_.Tables.Item("=blank").PrimaryKey(), "Id");
  EXPECT_EQ(set_.Tables.Item("colon").PrimaryKey(), "Id");
  EXPECT_EQ(ChildNames("Incidents"), (Lines{"Resources.IncidentID"}));
  EXPECT_EQ(set_.LookUps.Item(1).RefTables().Item(1).TableName(), "Quals");
  EXPECT_EQ(set_.mergeVersion, "5.01.00");
}

TEST_F(LoaderTest, VersionIsTheTextFromTheNinthCharacter) {
  struct Case {
    std::string line;
    std::string version;
  };
  for (const Case& c :
       {Case{"Version=3", "3"}, Case{"Version= 5.01.00  ", "5.01.00"}, Case{"Version = 4", "= 4"},
        Case{"Version", ""}, Case{"Version=", ""}, Case{"VersionInfo=7", "nfo=7"}}) {
    set_.mergeVersion = "unchanged";
    EXPECT_TRUE(Load({c.line})) << c.line;
    EXPECT_EQ(set_.mergeVersion, c.version) << c.line;
  }
}

TEST_F(LoaderTest, AParentWithoutKeyGetsNone) {
  EXPECT_TRUE(Load({"ParentTable=  Settings  ", "ChildTable=Other.SettingID"}));
  EXPECT_EQ(LogAfterStart(), (Lines{"- Adding parent table/key object: Settings.<NONE>",
                                    "- Adding child table/key object: Other.SettingID"}));
  EXPECT_EQ(set_.Tables.Item("Settings").PrimaryKey(), "<NONE>");
  EXPECT_EQ(ChildNames("Settings"), (Lines{"Other.SettingID"}));
}

TEST_F(LoaderTest, ARepeatedParentIsReportedAndTheFirstStays) {
  EXPECT_FALSE(Load({"ParentTable=Incidents.IncidentID", "ParentTable=INCIDENTS.Other",
                     "ChildTable=Resources.IncidentID", "ParentTable=Persons.PersonID"}));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"- Adding parent table/key object: Incidents.IncidentID",
                   "- Adding parent table/key object: INCIDENTS.Other",
                   "Error, adding parent table/key: INCIDENTS.Other This key is already "
                   "associated with an element of this collection: \"INCIDENTS\"",
                   "- Adding child table/key object: Resources.IncidentID",
                   "- Adding parent table/key object: Persons.PersonID"}));
  EXPECT_EQ(TableNames(), (Lines{"Incidents", "Persons"}));
  EXPECT_EQ(set_.Tables.Item("Incidents").PrimaryKey(), "IncidentID");
  // The child of the refused line joins the table of that name.
  EXPECT_EQ(ChildNames("Incidents"), (Lines{"Resources.IncidentID"}));
}

TEST_F(LoaderTest, ChildrenFollowTheLastParentLineWhateverStandsBetween) {
  EXPECT_TRUE(
      Load({"ParentTable=Incidents.IncidentID", "ChildTable=Resources.IncidentID",
            "ParentTable=Resources.ResourceID", "[LookUpTables]", "LUTable=KindCodes.KindCode",
            "ChildTable=Quals.ResourceID", "[CoreTables]", "ChildTable=Assignments.ResourceID"}));
  EXPECT_EQ(ChildNames("Incidents"), (Lines{"Resources.IncidentID"}));
  EXPECT_EQ(ChildNames("Resources"), (Lines{"Quals.ResourceID", "Assignments.ResourceID"}));
}

TEST_F(LoaderTest, AFailedChildLineEndsTheLoading) {
  EXPECT_FALSE(
      Load({"Version=2", "ChildTable=Quals.ResourceID", "ParentTable=Incidents.Id", "Version=3"}));
  EXPECT_EQ(LogAfterStart(), (Lines{"- Adding child table/key object: Quals.ResourceID",
                                    "Error, adding child table/key: Quals.ResourceID No parent "
                                    "table was declared before this child table"}));
  EXPECT_EQ(set_.Tables.Count(), 0);
  EXPECT_EQ(set_.mergeVersion, "2");
}

TEST_F(LoaderTest, AChildOfAParentWithoutNameEndsTheLoading) {
  EXPECT_FALSE(Load({"ParentTable=", "ChildTable=Quals.ResourceID", "ParentTable=Later.Id"}));
  EXPECT_EQ(LogAfterStart(), (Lines{"- Adding parent table/key object: .<NONE>",
                                    "- Adding child table/key object: Quals.ResourceID",
                                    "Error, adding child table/key: Quals.ResourceID No element "
                                    "of this collection has the key \"\""}));
  EXPECT_EQ(TableNames(), (Lines{""}));
}

TEST_F(LoaderTest, AChildLineWithoutDotIsReportedAndSkipped) {
  EXPECT_FALSE(Load({"ParentTable=Incidents.IncidentID", "ChildTable=Resources",
                     "ChildTable=Quals.IncidentID", "ParentTable=Persons.PersonID"}));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"- Adding parent table/key object: Incidents.IncidentID",
                   "Error, adding child table/key: Resources A child table line needs a \".\" "
                   "between the child table and its foreign key; the line is skipped",
                   "- Adding child table/key object: Quals.IncidentID",
                   "- Adding parent table/key object: Persons.PersonID"}));
  EXPECT_EQ(ChildNames("Incidents"), (Lines{"Quals.IncidentID"}));
  EXPECT_EQ(TableNames(), (Lines{"Incidents", "Persons"}));
}

TEST_F(LoaderTest, FieldListsSplitAtPlusAndEndAtAnEmptyItem) {
  EXPECT_TRUE(
      Load({"LUTable=Ranks . Rank + Seq +Kind", "LUTable=Trailing.A+", "LUTable=Doubled.A++B",
            "LUTable=Empty.", "LUTable=Bare", "RefTable=Users", "RefTable=Quals.Rank+ +Kind"}));
  ASSERT_EQ(set_.LookUps.Count(), 5);
  EXPECT_EQ(set_.LookUps.Item(1).TableName(), "Ranks");
  EXPECT_EQ(FieldNames(set_.LookUps.Item(1).CodeFields()), (Lines{"Rank", "Seq", "Kind"}));
  EXPECT_EQ(FieldNames(set_.LookUps.Item(2).CodeFields()), (Lines{"A"}));
  EXPECT_EQ(FieldNames(set_.LookUps.Item(3).CodeFields()), (Lines{"A"}));
  EXPECT_EQ(FieldNames(set_.LookUps.Item(4).CodeFields()), (Lines{}));
  EXPECT_EQ(set_.LookUps.Item(5).TableName(), "Bare");
  EXPECT_EQ(FieldNames(set_.LookUps.Item(5).CodeFields()), (Lines{"<NONE>"}));
  const RefTables& refs = set_.LookUps.Item(5).RefTables();
  ASSERT_EQ(refs.Count(), 2);
  EXPECT_EQ(refs.Item(1).TableName(), "Users");
  EXPECT_EQ(FieldNames(refs.Item(1).CodeFields()), (Lines{"<NONE>"}));
  EXPECT_EQ(FieldNames(refs.Item(2).CodeFields()), (Lines{"Rank"}));
}

TEST_F(LoaderTest, ARepeatedCodeFieldIsReportedAndTheLookUpKeepsTheFieldsBefore) {
  EXPECT_FALSE(Load({"LUTable=Ranks.Rank+Seq+RANK+Kind", "RefTable=Persons.Rank+Seq+rank",
                     "LUTable=Units.Unit"}));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"- Adding LU table/key object(s): LUTable=Ranks.Rank+Seq+RANK+Kind",
                   "Error, adding Lookup table/key: Ranks. This key is already associated "
                   "with an element of this collection: \"RANK\"",
                   "- Adding ref table/key object(s): RefTable=Persons.Rank+Seq+rank",
                   "Error, adding ref table/key: Persons. This key is already associated with "
                   "an element of this collection: \"rank\"",
                   "- Adding LU table/key object(s): LUTable=Units.Unit"}));
  ASSERT_EQ(set_.LookUps.Count(), 2);
  EXPECT_EQ(FieldNames(set_.LookUps.Item(1).CodeFields()), (Lines{"Rank", "Seq"}));
  EXPECT_EQ(FieldNames(set_.LookUps.Item(1).RefTables().Item(1).CodeFields()),
            (Lines{"Rank", "Seq"}));
  EXPECT_EQ(set_.LookUps.Item(2).TableName(), "Units");
}

TEST_F(LoaderTest, ARefTableBeforeAnyLookUpIsReportedAndAddsNothing) {
  EXPECT_FALSE(Load({"RefTable=Quals.KindCode", "RefTable=Users", "LUTable=KindCodes.KindCode",
                     "RefTable=Resources.KindCode"}));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"- Adding ref table/key object(s): RefTable=Quals.KindCode",
                   "Error, adding ref table/key: Quals. No lookup table was declared before "
                   "this referring table",
                   "- Adding ref table/key object(s): RefTable=Users",
                   "Error, adding ref table/key: Users.<NONE> No lookup table was declared "
                   "before this referring table",
                   "- Adding LU table/key object(s): LUTable=KindCodes.KindCode",
                   "- Adding ref table/key object(s): RefTable=Resources.KindCode"}));
  ASSERT_EQ(set_.LookUps.Count(), 1);
  ASSERT_EQ(set_.LookUps.Item(1).RefTables().Count(), 1);
  EXPECT_EQ(set_.LookUps.Item(1).RefTables().Item(1).TableName(), "Resources");
}

TEST_F(LoaderTest, NothingAfterTheIncidentDeleteLineIsRead) {
  EXPECT_TRUE(
      Load({"ParentTable=Incidents.IncidentID", "[incidentDelete] anything", "ChildTable=Broken",
            "ParentTable=Incidents.Again", "Version=9", std::string("\0\xff", 2)}));
  EXPECT_EQ(TableNames(), (Lines{"Incidents"}));
  EXPECT_EQ(set_.mergeVersion, "");
  EXPECT_EQ(LogAfterStart(), (Lines{"- Adding parent table/key object: Incidents.IncidentID"}));

  // Only the first 16 characters count; an indented marker is just an unknown line.
  EXPECT_TRUE(Load({" [INCIDENTDELETE]", "ParentTable=After.Id"}));
  EXPECT_TRUE(set_.Tables.Contains("After"));
}

TEST_F(LoaderTest, TheErrorFlagStopsTheLoadingAfterTheLine) {
  context_->ErrorFlag = true;
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "ParentTable=Persons.PersonID"}));
  EXPECT_EQ(TableNames(), (Lines{"Incidents"}));
  EXPECT_TRUE(context_->ErrorFlag);  // left for the wizard to clear
}

TEST_F(LoaderTest, LoadingAgainAddsToWhatIsLoaded) {
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "LUTable=KindCodes.KindCode"}));
  EXPECT_FALSE(Load({"ParentTable=Incidents.IncidentID", "LUTable=KindCodes.KindCode"}));
  EXPECT_EQ(set_.Tables.Count(), 1);
  EXPECT_EQ(set_.LookUps.Count(), 2);
}

TEST_F(LoaderTest, EveryLineEndIsALineEnd) {
  const std::string body[] = {"ParentTable=Incidents.IncidentID", "ChildTable=Resources.IncidentID",
                              "", "LUTable=KindCodes.KindCode", "RefTable=Quals.KindCode"};
  for (const std::string& end : {std::string("\r\n"), std::string("\n"), std::string("\r")}) {
    std::string bytes;
    for (const std::string& line : body) bytes += line + end;
    bytes += "ParentTable=Last.Id";  // no end on the last line
    WriteFile(bytes);
    set_ = InstructionSet();
    EXPECT_TRUE(LoadInstructions(*context_, set_));
    EXPECT_EQ(TableNames(), (Lines{"Incidents", "Last"}));
    EXPECT_EQ(ChildNames("Incidents"), (Lines{"Resources.IncidentID"}));
    EXPECT_EQ(set_.LookUps.Item(1).RefTables().Item(1).CodeFields().Item(1).FieldName(),
              "KindCode");
  }
  // Mixed ends, and a CR LF split as CR, LF is one end, not an empty line in between.
  WriteFile("ParentTable=A.Id\r\rParentTable=B.Id\n\r\nParentTable=C.Id\r\n");
  set_ = InstructionSet();
  EXPECT_TRUE(LoadInstructions(*context_, set_));
  EXPECT_EQ(TableNames(), (Lines{"A", "B", "C"}));
}

TEST_F(LoaderTest, BinaryAndVeryLongLinesAreReadAsText) {
  const std::string long_name(2'000'000, 'T');
  WriteFile("ParentTable=" + long_name + ".Id\r\n" + std::string("\0\0\xfe\r\n", 5) +
            "ParentTable=Nul" + std::string(1, '\0') + "Name.Key\x01\r\n");
  EXPECT_TRUE(LoadInstructions(*context_, set_));
  ASSERT_EQ(set_.Tables.Count(), 2);
  EXPECT_EQ(set_.Tables.Item(1).TableName(), long_name);
  EXPECT_EQ(set_.Tables.Item(2).TableName(), std::string("Nul\0Name", 8));
  EXPECT_EQ(set_.Tables.Item(2).PrimaryKey(), "Key\x01");

  std::mt19937 random(7);
  std::string noise(1 << 16, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteFile(noise);
  set_ = InstructionSet();
  LoadInstructions(*context_, set_);  // any result, but no crash and a log that ends
  EXPECT_FALSE(Log().empty());
}

TEST_F(LoaderTest, AFileThatCannotBeOpenedIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their permissions";
  Load({"ParentTable=Incidents.IncidentID"});
  fs::permissions(folder_ / "CVN_4x.txt", fs::perms::none);
  progress_.Clear(LogPage::kCheck);
  set_ = InstructionSet();
  EXPECT_FALSE(LoadInstructions(*context_, set_));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"Error, reading processing instructions ",
                   "Error is 75 - Path/File access error: " + (folder_ / "CVN_4x.txt").string() +
                       " cannot be opened for reading"}));
  EXPECT_EQ(set_.Tables.Count(), 0);
}

}  // namespace
}  // namespace msu::instructions
