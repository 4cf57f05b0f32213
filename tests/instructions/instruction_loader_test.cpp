// The instruction loader on small instruction files written by each test: every line kind,
// every progress and error line word for word, and files that are missing, empty, binary,
// oddly ended or very long.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/context.h"
#include "instructions/instruction_loader.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::instructions {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_->versions.InstructionFileName = "CVN_4x.txt";
    progress_.SetShowDetails(LogPage::kCheck, true);
  }

  void WriteFile(const std::string& bytes) { testing::WriteFile(folder_ / "CVN_4x.txt", bytes); }
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

  // The loaded set in one line: "Version v; Table.Key [auto] > Child.Key ...; LU Table.A+B >
  // Ref.A+B ...", each part only when it is there.
  std::string Model() const {
    std::string text;
    auto part = [&](const std::string& item) { text += (text.empty() ? "" : "; ") + item; };
    if (!set_.mergeVersion.empty()) part("Version " + set_.mergeVersion);
    for (const PTable& table : set_.Tables) {
      part(table.TableName() + "." + table.PrimaryKey() + (table.AutoIncrement() ? " auto" : ""));
      for (const Child& child : table.Children()) {
        text += " > " + child.TableName() + "." + child.ForeignKey();
      }
    }
    for (const LookUp& lookup : set_.LookUps) {
      part("LU " + lookup.TableName() + Fields(lookup.CodeFields()));
      for (const RefTable& ref : lookup.RefTables()) {
        text += " > " + ref.TableName() + Fields(ref.CodeFields());
      }
    }
    return text;
  }
  static std::string Fields(const CodeFields& fields) {
    std::string text = ".";
    for (const CodeField& field : fields) text += (text == "." ? "" : "+") + field.FieldName();
    return text;
  }

  testing::ScratchFolder folder_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  testing::FakeBackend backend_;
  std::unique_ptr<Context> context_ =
      std::make_unique<Context>(folder_.path(), progress_, prompt_, backend_);
  InstructionSet set_;
};

// The progress lines of the instruction lines read.
std::string AddParent(const std::string& text) {
  return "- Adding parent table/key object: " + text;
}
std::string AddChild(const std::string& text) { return "- Adding child table/key object: " + text; }
std::string AddLookUp(const std::string& text) {
  return "- Adding LU table/key object(s): LUTable=" + text;
}
std::string AddRef(const std::string& text) {
  return "- Adding ref table/key object(s): RefTable=" + text;
}
const std::string kInUse = "This key is already associated with an element of this collection: ";

// Each case: the file's lines, the result, the log after its first line (unless nullopt) and
// the model the file leaves.
struct Case {
  const char* name;
  Lines file;
  bool ok;
  std::optional<Lines> log;
  std::string model;
};

const Case kCases[] = {
    {"the worked example",
     {"; merge instructions", "Version=3", "[CoreTables]",
      "ParentTable=Incidents.AUTOINCREMENT=IncidentID", "ChildTable=Resources.IncidentID",
      "ParentTable=Resources.ResourceID", "ChildTable=Quals.ResourceID",
      "ParentTable=Persons.PersonID+leaderid", "[LookUpTables]", "LUTable=KindCodes.KindCode",
      "RefTable=Quals.KindCode", "RefTable=Resources.KindCode", "[INCIDENTDELETE]",
      "ParentTable=NotRead.Id"},
     true,
     Lines{AddParent("Incidents.AUTOINCREMENT=IncidentID"), AddChild("Resources.IncidentID"),
           AddParent("Resources.ResourceID"), AddChild("Quals.ResourceID"),
           AddParent("Persons.PersonID+leaderid"), AddLookUp("KindCodes.KindCode"),
           AddRef("Quals.KindCode"), AddRef("Resources.KindCode")},
     "Version 3; Incidents.IncidentID auto > Resources.IncidentID; Resources.ResourceID > "
     "Quals.ResourceID; Persons.PersonID+leaderid; LU KindCodes.KindCode > Quals.KindCode > "
     "Resources.KindCode"},
    {"comments and empty lines",
     {"; only", ";comments", "", "   ; indented comment is ignored too"},
     true,
     Lines{},
     ""},
    // Key words in any case, in the first column only, followed by any one character.
    {"key words",
     {"parenttable=Incidents.IncidentID", "CHILDTABLE=Resources.IncidentID",
      " ParentTable=Indented.Id", "PARENTTABLE =Blank.Id", "ParentTable:Colon . Id ",
      "lutable=KindCodes.KindCode", "rEfTaBlE=Quals.KindCode", "VERSION=5.01.00", "Something=else"},
     true,
     std::nullopt,
     "Version 5.01.00; Incidents.IncidentID > Resources.IncidentID; =Blank.Id; Colon.Id; LU "
     "KindCodes.KindCode > Quals.KindCode"},
    {"a parent without key",
     {"ParentTable=  Settings  ", "ChildTable=Other.SettingID"},
     true,
     Lines{AddParent("Settings.<NONE>"), AddChild("Other.SettingID")},
     "Settings.<NONE> > Other.SettingID"},
    // The first stays; the child of the refused line joins the table of that name.
    {"a repeated parent",
     {"ParentTable=Incidents.IncidentID", "ParentTable=INCIDENTS.Other",
      "ChildTable=Resources.IncidentID", "ParentTable=Persons.PersonID"},
     false,
     Lines{AddParent("Incidents.IncidentID"), AddParent("INCIDENTS.Other"),
           "Error, adding parent table/key: INCIDENTS.Other " + kInUse + "\"INCIDENTS\"",
           AddChild("Resources.IncidentID"), AddParent("Persons.PersonID")},
     "Incidents.IncidentID > Resources.IncidentID; Persons.PersonID"},
    {"children follow the last parent line whatever stands between",
     {"ParentTable=Incidents.IncidentID", "ChildTable=Resources.IncidentID",
      "ParentTable=Resources.ResourceID", "[LookUpTables]", "LUTable=KindCodes.KindCode",
      "ChildTable=Quals.ResourceID", "[CoreTables]", "ChildTable=Assignments.ResourceID"},
     true,
     std::nullopt,
     "Incidents.IncidentID > Resources.IncidentID; Resources.ResourceID > Quals.ResourceID > "
     "Assignments.ResourceID; LU KindCodes.KindCode"},
    {"a child before any parent ends the loading",
     {"Version=2", "ChildTable=Quals.ResourceID", "ParentTable=Incidents.Id", "Version=3"},
     false,
     Lines{AddChild("Quals.ResourceID"),
           "Error, adding child table/key: Quals.ResourceID No parent table was declared before "
           "this child table"},
     "Version 2"},
    {"a child of a parent without name ends the loading",
     {"ParentTable=", "ChildTable=Quals.ResourceID", "ParentTable=Later.Id"},
     false,
     Lines{AddParent(".<NONE>"), AddChild("Quals.ResourceID"),
           "Error, adding child table/key: Quals.ResourceID No element of this collection has "
           "the key \"\""},
     ".<NONE>"},
    {"a child line without dot is skipped",
     {"ParentTable=Incidents.IncidentID", "ChildTable=Resources", "ChildTable=Quals.IncidentID",
      "ParentTable=Persons.PersonID"},
     false,
     Lines{AddParent("Incidents.IncidentID"),
           "Error, adding child table/key: Resources A child table line needs a \".\" between "
           "the child table and its foreign key; the line is skipped",
           AddChild("Quals.IncidentID"), AddParent("Persons.PersonID")},
     "Incidents.IncidentID > Quals.IncidentID; Persons.PersonID"},
    {"field lists split at + and end at an empty item",
     {"LUTable=Ranks . Rank + Seq +Kind", "LUTable=Trailing.A+", "LUTable=Doubled.A++B",
      "LUTable=Empty.", "LUTable=Bare", "RefTable=Users", "RefTable=Quals.Rank+ +Kind"},
     true,
     std::nullopt,
     "LU Ranks.Rank+Seq+Kind; LU Trailing.A; LU Doubled.A; LU Empty.; LU Bare.<NONE> > "
     "Users.<NONE> > Quals.Rank"},
    // The look-up keeps the fields before the repeated one.
    {"a repeated code field",
     {"LUTable=Ranks.Rank+Seq+RANK+Kind", "RefTable=Persons.Rank+Seq+rank", "LUTable=Units.Unit"},
     false,
     Lines{AddLookUp("Ranks.Rank+Seq+RANK+Kind"),
           "Error, adding Lookup table/key: Ranks. " + kInUse + "\"RANK\"",
           AddRef("Persons.Rank+Seq+rank"),
           "Error, adding ref table/key: Persons. " + kInUse + "\"rank\"", AddLookUp("Units.Unit")},
     "LU Ranks.Rank+Seq > Persons.Rank+Seq; LU Units.Unit"},
    {"a ref table before any look-up",
     {"RefTable=Quals.KindCode", "RefTable=Users", "LUTable=KindCodes.KindCode",
      "RefTable=Resources.KindCode"},
     false,
     Lines{AddRef("Quals.KindCode"),
           "Error, adding ref table/key: Quals. No lookup table was declared before this "
           "referring table",
           AddRef("Users"),
           "Error, adding ref table/key: Users.<NONE> No lookup table was declared before this "
           "referring table",
           AddLookUp("KindCodes.KindCode"), AddRef("Resources.KindCode")},
     "LU KindCodes.KindCode > Resources.KindCode"},
    {"nothing after the incident delete line is read",
     {"ParentTable=Incidents.IncidentID", "[incidentDelete] anything", "ChildTable=Broken",
      "ParentTable=Incidents.Again", "Version=9", std::string("\0\xff", 2)},
     true,
     Lines{AddParent("Incidents.IncidentID")},
     "Incidents.IncidentID"},
    // Only the first 16 characters count; an indented marker is just an unknown line.
    {"an indented incident delete line",
     {" [INCIDENTDELETE]", "ParentTable=After.Id"},
     true,
     std::nullopt,
     "After.Id"},
};

TEST_F(LoaderTest, LineKindsAndFailureRules) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    progress_.Clear(LogPage::kCheck);
    set_ = InstructionSet();
    EXPECT_EQ(Load(c.file), c.ok);
    if (c.log) {
      EXPECT_EQ(LogAfterStart(), *c.log);
    }
    EXPECT_EQ(Model(), c.model);
  }
}

TEST_F(LoaderTest, DetailLinesAreShownOnlyWithDetails) {
  progress_.SetShowDetails(LogPage::kCheck, false);
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "ChildTable=Resources.IncidentID",
                    "LUTable=KindCodes.KindCode", "RefTable=Quals.KindCode"}));
  EXPECT_EQ(LogAfterStart(), (Lines{AddLookUp("KindCodes.KindCode"), AddRef("Quals.KindCode")}));
  EXPECT_FALSE(context_->ErrorFlag);
}

TEST_F(LoaderTest, AMissingOrEmptyFileLoadsNothing) {
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
  EXPECT_EQ(Model(), "");
  context_->versions.InstructionFileName = "CVN_4x.txt";
  WriteFile("");
  EXPECT_TRUE(LoadInstructions(*context_, set_));
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

TEST_F(LoaderTest, TheErrorFlagStopsTheLoadingAfterTheLine) {
  context_->ErrorFlag = true;
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "ParentTable=Persons.PersonID"}));
  EXPECT_EQ(Model(), "Incidents.IncidentID");
  EXPECT_TRUE(context_->ErrorFlag);  // left for the wizard to clear
}

TEST_F(LoaderTest, LoadingAgainAddsToWhatIsLoaded) {
  EXPECT_TRUE(Load({"ParentTable=Incidents.IncidentID", "LUTable=KindCodes.KindCode"}));
  EXPECT_FALSE(Load({"ParentTable=Incidents.IncidentID", "LUTable=KindCodes.KindCode"}));
  EXPECT_EQ(Model(), "Incidents.IncidentID; LU KindCodes.KindCode; LU KindCodes.KindCode");
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
    EXPECT_EQ(Model(),
              "Incidents.IncidentID > Resources.IncidentID; Last.Id; LU KindCodes.KindCode > "
              "Quals.KindCode");
  }
  // Mixed ends, and a CR LF split as CR, LF is one end, not an empty line in between.
  WriteFile("ParentTable=A.Id\r\rParentTable=B.Id\n\r\nParentTable=C.Id\r\n");
  set_ = InstructionSet();
  EXPECT_TRUE(LoadInstructions(*context_, set_));
  EXPECT_EQ(Model(), "A.Id; B.Id; C.Id");
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

// While it lives, the process may open no further file: the next open fails (EMFILE) for
// every account, root included, which reads a file whatever its permissions.
class NoMoreFiles {
 public:
  NoMoreFiles() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const int next = ::dup(0);  // the lowest free descriptor
    ::close(next);
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(next);
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  ~NoMoreFiles() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
  NoMoreFiles(const NoMoreFiles&) = delete;
  NoMoreFiles& operator=(const NoMoreFiles&) = delete;

 private:
  rlimit saved_{};
};

TEST_F(LoaderTest, AFileThatCannotBeOpenedIsReported) {
  Load({"ParentTable=Incidents.IncidentID"});
  progress_.Clear(LogPage::kCheck);
  set_ = InstructionSet();
  bool loaded = true;
  {
    NoMoreFiles no_more_files;
    loaded = LoadInstructions(*context_, set_);
  }
  EXPECT_FALSE(loaded);
  EXPECT_EQ(LogAfterStart(),
            (Lines{"Error, reading processing instructions ",
                   "Error is 75 - Path/File access error: " + (folder_ / "CVN_4x.txt") +
                       " cannot be opened for reading"}));
  EXPECT_EQ(Model(), "");
}

// A pipe in the instruction file's place would hold the check until something wrote to it.
TEST_F(LoaderTest, APipeIsNeverOpened) {
  ASSERT_EQ(::mkfifo((folder_ / "CVN_4x.txt").c_str(), 0644), 0);
  EXPECT_FALSE(LoadInstructions(*context_, set_));
  EXPECT_EQ(LogAfterStart(),
            (Lines{"Error, reading processing instructions ",
                   "Error is 75 - Path/File access error: " + (folder_ / "CVN_4x.txt") +
                       " cannot be read: it is a pipe"}));
}

}  // namespace
}  // namespace msu::instructions
