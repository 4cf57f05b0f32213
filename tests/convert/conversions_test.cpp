// Both conversions on generated databases of version 4.12.00 and their 5.01.00 partner, through
// the embedded server: what each step changes and keeps, the lines, the two statement paths
// of the post-merge conversion, and failing statements with the state they leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "convert/kind_codes.h"
#include "convert/post_convert.h"
#include "convert/pre_convert.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "suite/sample_generator.h"
#include "tests/support/fault_injection.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::convert {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::ExecFile;
using testing::QueryFile;
using ::testing::StartsWith;

const Lines kRetiredCodes = {"AAGS", "AERO", "BURL", "BURS", "CARP", "CCOO", "CVH",  "DOZI", "FLET",
                             "FLRS", "HCIN", "HCSN", "HECP", "HEL4", "HEM1", "HEM2", "HEM3", "HEMC",
                             "HEMG", "HRCK", "INFS", "INHD", "IR",   "IRRC", "MOT",  "PCK1", "OTHR",
                             "RXCM", "RXHS", "RXW1", "RXW2", "SED",  "STPS", "SUB",  "TESP", "TPLI",
                             "TR",   "TRAI", "TRPS", "WHFL", "WHSE"};

// A table name as written in the statements, without its brackets.
std::string Bare(const std::string& table) {
  return table[0] == '[' ? table.substr(1, table.size() - 2) : table;
}

std::string InList(const Lines& codes) {
  std::string list;
  for (const std::string& code : codes) list += (list.empty() ? "'" : ", '") + code + "'";
  return "(" + list + ")";
}

class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest() { progress_.SetShowDetails(LogPage::kMerge, true); }

  // Every file a test changed is a sound database afterwards.
  void TearDown() override {
    for (const std::string& path : touched_) {
      EXPECT_THAT(Q(path, "PRAGMA integrity_check"), ElementsAre("ok")) << path;
    }
  }

  // A fresh 4.12.00 source and its 5.01.00 partner (whose admin offices are empty), once per
  // test; then copies of them by name.
  std::string Copy(const std::string& name, suite::SampleRole role = suite::SampleRole::kSource) {
    const std::string sample = role == suite::SampleRole::kSource ? "a.sample" : "b.sample";
    if (!fs::exists(folder_ / sample)) {
      suite::GenerateSampleDatabase(folder_ / sample, role,
                                    role == suite::SampleRole::kSource
                                        ? suite::SchemaVersion::k4_12_00
                                        : suite::SchemaVersion::k5_01_00,
                                    600, 7, suite::SchemaVersion::k4_12_00);
    }
    fs::copy_file(folder_ / sample, folder_ / name);
    touched_.push_back(folder_ / name);
    return folder_ / name;
  }

  std::unique_ptr<data::Connection> Open(const std::string& path) {
    auto connection = faulty_.CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->SetProperty("Synchronous", 0);  // as the merge opens its working copies
    connection->Open();
    return connection;
  }

  // Working database A after the pre-merge conversion.
  std::string Converted(const std::string& name) {
    const std::string a = Copy(name);
    const std::string b = Copy(name + ".b", suite::SampleRole::kDestination);
    auto a_connection = Open(a);
    auto b_connection = Open(b);
    EXPECT_TRUE(PreConvert(context_, *a_connection, *b_connection)) << Log().back();
    return a;
  }

  // A destination as the post-merge conversion meets it: the converted rows of a Database 1,
  // in a database with the columns of 5.01.00, and a few request numbers of every kind.
  std::string Destination(const std::string& name) {
    const std::string b = Converted(name);
    ExecFile(b,
             "ALTER TABLE Persons ADD Leader bit DEFAULT 0;"
             "ALTER TABLE Agreement ADD AdminOfficeID int;"
             "UPDATE Resources SET RequestNumber = 'o12.003', OriginalOrderRequest = 'E-001.02' "
             "WHERE ResourceID = 1;"
             "UPDATE Resources SET RequestNumber = '12.3', OriginalOrderRequest = NULL "
             "WHERE ResourceID = 2;"
             "UPDATE Resources SET RequestNumber = 'X', OriginalOrderRequest = 'o-12.3' "
             "WHERE ResourceID = 3;"
             "UPDATE Resources SET RequestNumber = NULL, OriginalOrderRequest = 'C-5' "
             "WHERE ResourceID = 4;"
             "UPDATE Persons SET RequestNumber = 'kept' WHERE ResourceID IN (2, 4);");
    progress_.Clear(LogPage::kMerge);
    return b;
  }

  static Lines Q(const std::string& path, const std::string& sql) {
    try {
      return QueryFile(path, sql);
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
      return {};
    }
  }

  // What the post-merge conversion may change, row by row.
  static Lines Contents(const std::string& path) {
    Lines rows;
    for (const char* sql :
         {"SELECT ResourceID, RequestNumber, OriginalOrderRequest, KindCode FROM Resources",
          "SELECT PersonID, RequestNumber, Leader, KindCode FROM Persons",
          "SELECT * FROM AdminOffice", "SELECT AgreementID, AdminOfficeID FROM Agreement",
          "SELECT PersonID, KindCode FROM Quals", "SELECT KindCode FROM PersonsPost",
          "SELECT KindCode FROM Projection", "SELECT KindCode FROM QuickStats",
          "SELECT KindCode FROM ReportRecords"}) {
      for (std::string& row : Q(path, std::string(sql) + " ORDER BY rowid")) {
        rows.push_back(std::move(row));
      }
    }
    return rows;
  }

  Lines Log() const { return progress_.Texts(LogPage::kMerge); }

  const testing::ScratchFolder folder_;
  embedded::EmbeddedBackend backend_{folder_ / "servers"};
  testing::FaultInjectingBackend faulty_{backend_};
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  Context context_{folder_.path(), progress_, prompt_, faulty_};
  Lines touched_;
};

// The form tables' keys keep their values, lose identity and primary key, move to the end of
// their tables and take explicit keys; Quals keeps its column order (the de-duplication writes
// its rows back without column names); the other steps change what they name, and nothing else.
TEST_F(ConversionTest, PreConvertKeepsEveryKeyAndChangesOnlyWhatItNames) {
  const std::string a = Copy("a.mdf");
  const std::string b = Copy("b.mdf", suite::SampleRole::kDestination);
  const auto keys_of = [&](const IdentityColumn& identity) {
    return Q(a, std::string("SELECT rowid || ':' || ") + identity.column + " FROM " +
                    identity.table + " ORDER BY rowid");
  };
  std::vector<Lines> keys;
  for (const IdentityColumn& identity : kIdentityColumns) keys.push_back(keys_of(identity));
  const Lines indexes = Q(a, "SELECT name FROM sqlite_schema WHERE type = 'index' ORDER BY 1");
  const Lines quals = Q(a, "SELECT name FROM pragma_table_info('Quals')");
  const Lines mob = Q(a, "SELECT ResourceID || RRDate FROM Resources ORDER BY rowid");
  // 'T' becomes '1'; 'F' and NULL (there is one) become '0'.
  ASSERT_THAT(Q(a, "SELECT COUNT(*) > 0 FROM Quals WHERE Trainee IS NULL"), ElementsAre("1"));
  const Lines trainees = {
      Q(a, "SELECT '0|' || COUNT(*) FROM Quals WHERE Trainee IS NULL OR Trainee <> 'T'")[0],
      Q(a, "SELECT '1|' || COUNT(*) FROM Quals WHERE Trainee = 'T'")[0]};
  const std::string kinds = "SELECT KindCode || Standard FROM L_Kind ORDER BY KindCode";
  Lines expected_kinds = Q(a, kinds);
  for (std::string& kind : expected_kinds) {
    if (kind == "ATGS0" || kind == "AOBS0" || kind == "THSP0") kind.back() = '1';
  }
  const std::string b_bytes = testing::ReadFile(b);

  auto a_connection = Open(a);
  auto b_connection = Open(b);
  ASSERT_TRUE(PreConvert(context_, *a_connection, *b_connection));

  Lines lines = {"Applying Pre Conversions To Work Database..."};
  for (size_t i = 0; i < kIdentityColumns.size(); ++i) {
    const IdentityColumn& identity = kIdentityColumns[i];
    SCOPED_TRACE(identity.table);
    lines.push_back(std::string(" - Removing Identify Column ") + identity.column + " For Table " +
                    identity.table);
    EXPECT_EQ(keys_of(identity), keys[i]);
    const std::string table = Bare(identity.table);
    EXPECT_EQ(Q(a, "SELECT name || ' ' || type || ' ' || pk FROM pragma_table_info('" + table +
                       "') ORDER BY cid DESC LIMIT 1"),
              Lines{std::string(identity.column) + " INT 0"});
    EXPECT_THAT(Q(a, "SELECT COUNT(*) FROM sqlite_sequence WHERE name = '" + table + "'"),
                ElementsAre("0"));
    auto pk = a_connection->Execute(std::string("EXEC sp_pkeys ") + identity.table);
    EXPECT_TRUE(pk->IsEOF());
    // An explicit key, a key taken already included, and a shift of every key.
    a_connection->Execute(std::string("INSERT INTO ") + identity.table + " (" + identity.column +
                          ") VALUES (1)");
    a_connection->Execute(std::string("UPDATE ") + identity.table + " SET " + identity.column +
                          " = " + identity.column + " + 1000");
  }
  lines.insert(lines.end(),
               {" - Removed Identify Columns On Tables", " - Renamed Resource.RRDate to MobDate",
                " - Converted Quals.Trainee To BIT DataType"});
  EXPECT_EQ(Log(), lines);
  EXPECT_EQ(Q(a, "SELECT name FROM sqlite_schema WHERE type = 'index' ORDER BY 1"), indexes);
  EXPECT_EQ(Q(a, "SELECT name FROM pragma_table_info('Quals')"), quals);
  EXPECT_EQ(Q(a, "SELECT ResourceID || MobDate FROM Resources ORDER BY rowid"), mob);
  EXPECT_EQ(Q(a, "SELECT Trainee, COUNT(*) FROM Quals GROUP BY 1 ORDER BY 1"), trainees);
  // Codes standard in Database 2 only become standard; XK1, user code in both, stays one.
  EXPECT_EQ(Q(a, kinds), expected_kinds);
  a_connection->Close();
  b_connection->Close();
  EXPECT_TRUE(testing::ReadFile(b) == b_bytes) << "working database B was written";
}

TEST_F(ConversionTest, DetailLinesOnlyWithTheDetailBoxTicked) {
  progress_.SetShowDetails(LogPage::kMerge, false);
  const std::string b = Converted("b.mdf");
  EXPECT_THAT(Log(), ElementsAre("Applying Pre Conversions To Work Database..."));
  progress_.Clear(LogPage::kMerge);
  ExecFile(b, "ALTER TABLE Persons ADD Leader bit; ALTER TABLE Agreement ADD AdminOfficeID int");
  auto connection = Open(b);
  ASSERT_TRUE(PostConvert(context_, *connection));
  EXPECT_THAT(Log(), ElementsAre("Applying Post Conversions To Final Database..."));
}

// Request numbers, the leader flag, the admin offices and the kind codes, sent as written and
// set-based: the same rows and the same lines.
TEST_F(ConversionTest, PostConvertRewritesTheOldValuesTheSameOnBothPaths) {
  Lines contents[2];
  for (const StatementPath path : {StatementPath::kAsWritten, StatementPath::kSetBased}) {
    const int i = path == StatementPath::kSetBased;
    SCOPED_TRACE(i);
    const std::string b = Destination("b" + std::to_string(i) + ".mdf");
    const std::string kind_counts =
        "SELECT SUM(KindCode = 'HCWN'), SUM(KindCode IN ('HEM1', 'HEM2', 'HEM3', 'HEMC', "
        "'HEMG')) FROM Quals";
    const Lines hem = Q(b, kind_counts);
    const Lines incidents = Q(b,
                              "SELECT IncidentID, AdminName, AdminAddr1, AdminAddr2, AdminCity, "
                              "AdminState, AdminZip, NULL FROM Incidents ORDER BY 1");
    auto connection = Open(b);
    PostConvertFigures figures;
    ASSERT_TRUE(PostConvert(context_, *connection, path, &figures)) << Log().back();
    connection->Close();
    EXPECT_THAT(Log(),
                ElementsAre("Applying Post Conversions To Final Database...",
                            " - Converted Request Numbers To ORVA Format", " - Set Persons.leader",
                            " - Added Values To AdminOffice if Needed", " - Updated KindCodes"));
    progress_.Clear(LogPage::kMerge);

    EXPECT_THAT(Q(b,
                  "SELECT ResourceID, IFNULL(RequestNumber, 'NULL'), IFNULL(OriginalOrderRequest, "
                  "'NULL') FROM Resources WHERE ResourceID <= 4 ORDER BY 1"),
                ElementsAre("1|O-12.3|E-1.2", "2|12.3|NULL", "3|X-0|O-12.3", "4|NULL|C-5"));
    EXPECT_THAT(Q(b,
                  "SELECT DISTINCT ResourceID, RequestNumber FROM Persons WHERE ResourceID <= 4 "
                  "ORDER BY 1"),
                ElementsAre("1|O-12.3", "2|kept", "3|X-0", "4|kept"));
    EXPECT_THAT(Q(b,
                  "SELECT COUNT(*) FROM Resources WHERE RequestNumber NOT GLOB '[A-Z]-[0-9]*' "
                  "AND RequestNumber NOT GLOB '[0-9]*'"),
                ElementsAre("0"));
    // Leader wherever LeaderID is given, 0 included.
    EXPECT_THAT(Q(b,
                  "SELECT LeaderID IS NOT NULL, Leader, LeaderID = 0, COUNT(*) > 0 FROM "
                  "Persons GROUP BY 1, 2, 3 ORDER BY 1, 2, 3"),
                ElementsAre("0|0|NULL|1", "1|1|0|1", "1|1|1|1"));
    EXPECT_EQ(Q(b, "SELECT * FROM AdminOffice ORDER BY 1"), incidents);  // Phone stays NULL
    EXPECT_THAT(Q(b,
                  "SELECT COUNT(*) FROM Agreement AS g JOIN Contractor AS c ON c.ContractorID = "
                  "g.ContractorID WHERE g.AdminOfficeID IS NOT c.IncidentID"),
                ElementsAre("0"));
    for (const char* table : kKindCodeTables) {
      EXPECT_THAT(Q(b, std::string("SELECT COUNT(*) FROM ") + table + " WHERE KindCode IN " +
                           InList(kRetiredCodes)),
                  ElementsAre("0"))
          << table;
    }
    const std::string before = hem[0];
    EXPECT_THAT(Q(b, kind_counts),
                ElementsAre(std::to_string(std::stol(before) +
                                           std::stol(before.substr(before.find('|') + 1))) +
                            "|0"));
    EXPECT_EQ(figures.admin_offices, static_cast<int64_t>(incidents.size()));
    EXPECT_GT(figures.kind_codes, 0);
    EXPECT_GT(figures.request_numbers, 3);
    contents[i] = Contents(b);
  }
  EXPECT_EQ(contents[1], contents[0]);
}

// Each retired kind code becomes its own successor, by the list the suite published (written
// out here, not taken from the converter): one resource of each, every table.
TEST_F(ConversionTest, EveryRetiredCodeBecomesItsOwnSuccessor) {
  const std::vector<std::pair<std::string, std::string>> successors = {
      {"AAGS", "ATGS"}, {"AERO", "AOBS"}, {"BURL", "BAEL"}, {"BURS", "BAES"}, {"CARP", "THSP"},
      {"CCOO", "COCO"}, {"CVH", "SV"},    {"DOZI", "DZIA"}, {"FLET", "FLEC"}, {"FLRS", "FALT"},
      {"HCIN", "HCI1"}, {"HCSN", "HCS4"}, {"HECP", "HECM"}, {"HEL4", "HELU"}, {"HEM1", "HCWN"},
      {"HEM2", "HCWN"}, {"HEM3", "HCWN"}, {"HEMC", "HCWN"}, {"HEMG", "HCWN"}, {"HRCK", "HERS"},
      {"INFS", "IRFS"}, {"INHD", "INDI"}, {"IR", "IRF"},    {"IRRC", "IRCR"}, {"MOT", "LODG"},
      {"PCK1", "PACK"}, {"OTHR", "THSP"}, {"RXCM", "THSP"}, {"RXHS", "THSP"}, {"RXW1", "THSP"},
      {"RXW2", "THSP"}, {"SED", "AUTO"},  {"STPS", "SFPS"}, {"SUB", "SUV"},   {"TESP", "TOOL"},
      {"TPLI", "TPIA"}, {"TR", "TRAN"},   {"TRAI", "VNTR"}, {"TRPS", "TPOP"}, {"WHFL", "WHMG"},
      {"WHSE", "WHHR"}};
  ASSERT_EQ(successors.size(), kRetiredCodes.size());
  const std::string b = Destination("b.mdf");
  std::string rows;
  long key = 900000;
  for (const auto& [old_code, _] : successors) {
    for (const char* table : {"Resources", "Quals"}) {
      if (std::string(table) == "Resources") {
        rows += "INSERT INTO Resources (ResourceID, IncidentID, ResourceName, KindCode) VALUES (" +
                std::to_string(++key) + ", 1, 'retired " + old_code + "', '" + old_code + "');";
      } else {
        rows += "INSERT INTO Quals (PersonID, KindCode, ResourceID, Trainee) VALUES (" +
                std::to_string(key) + ", '" + old_code + "', " + std::to_string(key) + ", 0);";
      }
    }
  }
  ExecFile(b, rows);
  auto connection = Open(b);
  PostConvert(context_, *connection);
  connection->Close();
  for (const auto& [old_code, new_code] : successors) {
    EXPECT_THAT(
        Q(b, "SELECT KindCode FROM Resources WHERE ResourceName = 'retired " + old_code + "'"),
        ElementsAre(new_code))
        << old_code;
    EXPECT_THAT(Q(b,
                  "SELECT q.KindCode FROM Quals AS q JOIN Resources AS r ON r.ResourceID = "
                  "q.ResourceID WHERE r.ResourceName = 'retired " +
                      old_code + "'"),
                ElementsAre(new_code))
        << old_code;
  }
}

TEST_F(ConversionTest, AnAdminOfficeTableWithRowsIsLeftAlone) {
  const std::string b = Destination("b.mdf");
  ExecFile(b, "INSERT INTO AdminOffice (AdminOfficeID, Name) VALUES (77, 'Regional Office')");
  const Lines agreements = Q(b, "SELECT AgreementID, AdminOfficeID FROM Agreement ORDER BY 1");
  auto connection = Open(b);
  ASSERT_TRUE(PostConvert(context_, *connection));
  connection->Close();
  EXPECT_THAT(Q(b, "SELECT AdminOfficeID, Name FROM AdminOffice"),
              ElementsAre("77|Regional Office"));
  EXPECT_EQ(Q(b, "SELECT AgreementID, AdminOfficeID FROM Agreement ORDER BY 1"), agreements);
}

TEST(KindCodeStatements, ThirtyThreePerTableAsWritten) {
  EXPECT_EQ(KindCodeChanges().size() * kKindCodeTables.size(), 231u);
  EXPECT_EQ(KindCodeStatement("Quals", KindCodeChanges()[14]),
            "UPDATE Quals SET KindCode = 'HCWN' WHERE Kindcode = 'HEM1' or Kindcode = 'HEM2' or "
            "Kindcode = 'HEM3' or Kindcode = 'HEMC' or Kindcode = 'HEMG'");
}

// A statement that fails ends the conversion with the step's lines; what ran before stays.
// The set-based path leaves the same state and lines as the statements as written.
TEST_F(ConversionTest, AFailingStatementStopsWithTheStepsLines) {
  // Pre: the tenth table is missing; the nine before it are converted.
  {
    const std::string a = Copy("a.mdf");
    const std::string b = Copy("b.mdf", suite::SampleRole::kDestination);
    ExecFile(a, "DROP TABLE [220_Task]");
    auto a_connection = Open(a);
    auto b_connection = Open(b);
    EXPECT_FALSE(PreConvert(context_, *a_connection, *b_connection));
    const Lines log = Log();
    ASSERT_EQ(log.size(), 12u);
    EXPECT_EQ(log[9], " - Removing Identify Column PersFreqID For Table [220_PersFreq]");
    EXPECT_EQ(log[10], "Error, merge stopped, Pre Conversion of Work Database");
    EXPECT_THAT(log[11], StartsWith("Error is -2147217900 - "));
    EXPECT_EQ(context_.merge.LastError, log[11].substr(9));
    EXPECT_THAT(Q(a, "SELECT COUNT(*) FROM pragma_table_info('220_PersFreq') WHERE pk > 0"),
                ElementsAre("0"));
    EXPECT_THAT(Q(a, "SELECT COUNT(*) FROM pragma_table_info('ICS202') WHERE pk > 0"),
                ElementsAre("1"));
    progress_.Clear(LogPage::kMerge);
  }
  // Post: persons refuses every request number; resources were written for the first one.
  Lines contents[2];
  Lines logs[2];
  for (const StatementPath path : {StatementPath::kAsWritten, StatementPath::kSetBased}) {
    const int i = path == StatementPath::kSetBased;
    const std::string b = Destination("p" + std::to_string(i) + ".mdf");
    ExecFile(b, "ALTER TABLE Persons RENAME COLUMN RequestNumber TO Request");
    auto connection = Open(b);
    EXPECT_FALSE(PostConvert(context_, *connection, path));
    connection->Close();
    logs[i] = Log();
    progress_.Clear(LogPage::kMerge);
    contents[i] = Q(b, "SELECT RequestNumber, OriginalOrderRequest FROM Resources ORDER BY rowid");
    EXPECT_THAT(contents[i][0], StartsWith("O-12.3|E-001.02")) << i;
    EXPECT_THAT(contents[i][2], StartsWith("X|o-12.3")) << i;
    EXPECT_THAT(Q(b, "SELECT COUNT(*) FROM AdminOffice"), ElementsAre("0"));
  }
  EXPECT_THAT(logs[0], ElementsAre("Applying Post Conversions To Final Database...",
                                   "Error, merge stopped, Post Merge Conversion of Final Database",
                                   StartsWith("Error is -2147217900 - ")));
  EXPECT_EQ(logs[1], logs[0]);
  EXPECT_EQ(contents[1], contents[0]);
}

// A set-based statement that fails once is undone and its rows go as written: the conversion
// ends as if nothing had failed.
TEST_F(ConversionTest, ASetBasedStatementThatFailsOnceChangesNothingInTheEnd) {
  const auto statements = [&] { return faulty_.plan().Count(testing::CallKind::kExecute); };
  const std::string clean = Destination("clean.mdf");
  auto connection = Open(clean);
  long sent = statements();
  ASSERT_TRUE(PostConvert(context_, *connection, StatementPath::kSetBased));
  const long set_based = statements() - sent;
  connection->Close();
  for (const char* prefix :
       {"UPDATE resources SET requestnumber = CASE", "UPDATE persons SET requestnumber = CASE",
        "UPDATE Quals SET KindCode = CASE"}) {
    SCOPED_TRACE(prefix);
    const std::string b = Destination(std::string("f") + std::to_string(touched_.size()) + ".mdf");
    faulty_.plan().FailNth(testing::CallKind::kExecute, 1, data::kErrTimeout, "Timeout expired",
                           prefix);
    connection = Open(b);
    sent = statements();
    EXPECT_TRUE(PostConvert(context_, *connection, StatementPath::kSetBased)) << Log().back();
    EXPECT_GT(statements() - sent, set_based + 1) << "the statements as written took over";
    connection->Close();
    EXPECT_EQ(Contents(b), Contents(clean));
  }
}

}  // namespace
}  // namespace msu::convert
