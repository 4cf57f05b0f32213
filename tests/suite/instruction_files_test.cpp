// The staged instruction files: the utility's loader reads them without a single error line
// and holds every instruction line above "[INCIDENTDELETE]"; every table and field they name
// exists in every version that uses them, since one the database lacks would stop a merge
// halfway.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "core/context.h"
#include "core/text.h"
#include "instructions/instruction_loader.h"
#include "suite/incident_delete_rules.h"
#include "suite/schema.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/test_files.h"

namespace msu::suite {
namespace {

const std::string kStage = ORVANE_STAGE_DIR;

// One instruction line as the loader holds it: the table and the fields it names there.
struct Instruction {
  std::string kind;  // ParentTable, ChildTable, LUTable, RefTable
  std::string table;
  std::vector<std::string> fields;
  std::string key_text;  // ParentTable only
};

std::vector<std::string> Names(const instructions::CodeFields& fields) {
  std::vector<std::string> names;
  for (const auto& field : fields) names.push_back(field.FieldName());
  return names;
}

// The lines of a loaded set: the parents in file order, each followed by its children; then the
// look-ups, each followed by its referring tables.
std::vector<Instruction> Flatten(const instructions::InstructionSet& set) {
  std::vector<Instruction> lines;
  for (const auto& table : set.Tables) {
    const std::string key = table.PrimaryKey();
    std::vector<std::string> fields;
    std::stringstream parts(key);
    for (std::string part; key != "<NONE>" && std::getline(parts, part, '+');) {
      fields.push_back(part);
    }
    if (table.AutoIncrement()) fields = {key};
    lines.push_back({"ParentTable", table.TableName(), fields,
                     table.AutoIncrement() ? "AUTOINCREMENT=" + key : key});
    for (const auto& child : table.Children()) {
      lines.push_back({"ChildTable", child.TableName(), {child.ForeignKey()}, ""});
    }
  }
  for (const auto& lookup : set.LookUps) {
    lines.push_back({"LUTable", lookup.TableName(), Names(lookup.CodeFields()), ""});
    for (const auto& ref : lookup.RefTables()) {
      lines.push_back({"RefTable", ref.TableName(), Names(ref.CodeFields()), ""});
    }
  }
  return lines;
}

// The instruction lines of each kind above "[INCIDENTDELETE]", as a reader of the file counts
// them.
std::map<std::string, int> CountLines(const std::string& text) {
  std::map<std::string, int> counts;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (UpperCase(line).rfind("[INCIDENTDELETE]", 0) == 0) break;
    const std::string kind = line.substr(0, line.find('='));
    if (kind == "ParentTable" || kind == "ChildTable" || kind == "LUTable" || kind == "RefTable") {
      ++counts[kind];
    }
  }
  return counts;
}

struct Case {
  std::string file;
  std::vector<SchemaVersion> versions;
};

class InstructionFilesTest : public ::testing::TestWithParam<Case> {
 protected:
  // The file read by the utility's loader, which must write no error line.
  void SetUp() override {
    msu::testing::FakeBackend backend;
    Context context(kStage, progress_, prompt_, backend);
    context.versions.InstructionFileName = GetParam().file;
    ASSERT_TRUE(LoadInstructions(context, set_));
    for (const std::string& line : progress_.Texts(LogPage::kCheck)) {
      EXPECT_EQ(UpperCase(line).find("ERROR"), std::string::npos) << line;
    }
    EXPECT_FALSE(context.ErrorFlag);
    lines_ = Flatten(set_);
  }
  std::vector<IncidentDeleteRule> Rules() {
    std::vector<IncidentDeleteRule> rules;
    std::string error;
    EXPECT_TRUE(ReadIncidentDeleteRules(kStage + "/" + GetParam().file, &rules, &error)) << error;
    return rules;
  }
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  instructions::InstructionSet set_;
  std::vector<Instruction> lines_;
};

// The staged file (and the suite's settings file beside it), every line ended by CR LF.
std::string ReadCrLfFile(const std::string& name) {
  const std::string text = msu::testing::ReadFile(kStage + "/" + name);
  EXPECT_FALSE(text.empty()) << name << " is not staged";
  const auto lf = std::count(text.begin(), text.end(), '\n');
  long crlf = 0;
  for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
  EXPECT_EQ(lf, crlf) << name;
  EXPECT_EQ(text.find("\r\r"), std::string::npos) << name;
  return text;
}

TEST_P(InstructionFilesTest, TheLoaderHoldsEveryLineOfTheCrLfFile) {
  const std::string text = ReadCrLfFile(GetParam().file);
  ReadCrLfFile("cvn.ini");

  std::map<std::string, int> held;
  for (const Instruction& ins : lines_) ++held[ins.kind];
  EXPECT_EQ(held, CountLines(text));
  EXPECT_GT(lines_.size(), 50u);
  EXPECT_EQ(set_.mergeVersion, "5.01.00");
}

TEST_P(InstructionFilesTest, EveryNamedTableAndFieldExistsInEveryVersionUsingTheFile) {
  for (SchemaVersion v : GetParam().versions) {
    ASSERT_EQ(InstructionFileFor(v), GetParam().file);
    std::vector<TableInfo> tables = SchemaTables(v);
    for (const Instruction& ins : lines_) {
      const TableInfo* table = FindTable(tables, ins.table);
      ASSERT_NE(table, nullptr) << ins.kind << " " << ins.table << " is not in " << VersionText(v);
      for (const std::string& field : ins.fields) {
        EXPECT_NE(table->FindColumn(field), nullptr)
            << ins.table << "." << field << " is not in " << VersionText(v);
      }
      if (ins.kind == "LUTable") {
        EXPECT_EQ(table->role, TableRole::kLookup) << ins.table;
        EXPECT_NE(table->FindColumn("Standard"), nullptr) << ins.table;
      }
      if (ins.kind == "ParentTable") {
        EXPECT_EQ(table->role, TableRole::kCore) << ins.table;
      }
    }
  }
}

// A core table missing from the file would be left out of every merged database.
TEST_P(InstructionFilesTest, FilesCoverEveryCoreAndLookupTable) {
  for (const TableInfo& t : SchemaTables(GetParam().versions.front())) {
    const char* kind = t.role == TableRole::kCore     ? "ParentTable"
                       : t.role == TableRole::kLookup ? "LUTable"
                                                      : nullptr;
    if (kind == nullptr) continue;
    // Before 4.13 the admin offices are made from the incidents after the copy.
    if (GetParam().file == "CVN_PRE4x.txt" && t.name == "AdminOffice") continue;
    const bool listed = std::any_of(lines_.begin(), lines_.end(), [&](const auto& ins) {
      return ins.kind == kind && (UpperCase(ins.table) == UpperCase("[" + t.name + "]") ||
                                  UpperCase(ins.table) == UpperCase(t.name));
    });
    EXPECT_TRUE(listed) << "no " << kind << " line for " << t.name;
  }
}

TEST_P(InstructionFilesTest, FilesHoldEveryKindOfInstruction) {
  std::vector<TableInfo> tables = SchemaTables(GetParam().versions.front());
  bool autoincrement = false, leader_follows_person = false, no_key = false, two_codes = false;
  bool numeric_code = false, text_code = false;
  std::vector<std::string> parents;
  const Instruction* lookup = nullptr;
  for (const Instruction& ins : lines_) {
    if (ins.kind == "ParentTable") {
      parents.push_back(UpperCase(ins.table));
      // A second key field gets an offset of its own; no suite column is such a field.
      EXPECT_EQ(ins.key_text.find('+'), std::string::npos) << ins.table;
      no_key |= ins.key_text == "<NONE>";
      // An auto-increment key must really be assigned by the database.
      if (ins.key_text.rfind("AUTOINCREMENT=", 0) == 0) {
        autoincrement = true;
        EXPECT_TRUE(FindTable(tables, ins.table)->FindColumn(ins.fields[0])->identity) << ins.table;
      }
    }
    // LeaderID holds a PersonID: it must move with the PersonID offset.
    if (ins.kind == "ChildTable" && EqualsNoCase(ins.table, "Persons") &&
        EqualsNoCase(ins.fields[0], "LeaderID")) {
      leader_follows_person = EqualsNoCase(parents.back(), "Persons");
    }
    if (ins.kind == "LUTable") {
      lookup = &ins;
      two_codes |= ins.fields.size() == 2;
      const ColumnInfo* code = FindTable(tables, ins.table)->FindColumn(ins.fields[0]);
      numeric_code |= code->type == "int";
      text_code |= code->IsText();
      EXPECT_TRUE(code->type == "int" || code->IsText())
          << ins.table << ": a code of type " << code->type << " cannot be recoded";
    }
    if (ins.kind == "RefTable") {
      EXPECT_EQ(ins.fields.size(), lookup->fields.size()) << ins.table;
    }
  }
  EXPECT_TRUE(autoincrement && leader_follows_person && no_key && two_codes && numeric_code &&
              text_code);
  // The qualification de-duplication reads keys as small integers: it must see them before
  // Resources and Persons move them.
  auto position = [&](const std::string& t) {
    return std::find(parents.begin(), parents.end(), UpperCase(t)) - parents.begin();
  };
  EXPECT_LT(position("Quals"), position("Resources"));
  EXPECT_LT(position("Quals"), position("Persons"));
}

TEST_P(InstructionFilesTest, IncidentDeleteSectionNamesOnlyExistingTablesAndColumns) {
  const std::vector<IncidentDeleteRule> rules = Rules();
  ASSERT_GT(rules.size(), 10u);
  EXPECT_TRUE(rules.back().incident);
  EXPECT_EQ(rules.back().table, "Incidents");
  for (SchemaVersion v : GetParam().versions) {
    std::vector<TableInfo> tables = SchemaTables(v);
    for (const IncidentDeleteRule& r : rules) {
      const TableInfo* t = FindTable(tables, r.table);
      ASSERT_NE(t, nullptr) << "line " << r.line << ": " << r.table;
      EXPECT_NE(t->FindColumn(r.column), nullptr) << "line " << r.line;
      if (r.parent_table.empty()) continue;
      const TableInfo* p = FindTable(tables, r.parent_table);
      ASSERT_NE(p, nullptr) << "line " << r.line << ": " << r.parent_table;
      EXPECT_NE(p->FindColumn(r.parent_column), nullptr) << "line " << r.line;
    }
  }
}

// Whatever the merge moves along with an incident, a split must delete along with it.
TEST_P(InstructionFilesTest, IncidentDeleteSectionCoversEveryChildOfTheIncidents) {
  const std::vector<IncidentDeleteRule> rules = Rules();
  ASSERT_GT(set_.Tables.Item("Incidents").Children().Count(), 0);
  for (const auto& child : set_.Tables.Item("Incidents").Children()) {
    const bool deleted = std::any_of(rules.begin(), rules.end(), [&](const auto& r) {
      return UpperCase(r.table) == UpperCase(child.TableName()) &&
             UpperCase(r.column) == UpperCase(child.ForeignKey()) && r.parent_table.empty();
    });
    EXPECT_TRUE(deleted) << child.TableName() << " is not deleted with its incident";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Staged, InstructionFilesTest,
    ::testing::Values(Case{"CVN_4x.txt", {SchemaVersion::k5_01_00}},
                      Case{"CVN_PRE4x.txt", {SchemaVersion::k4_12_00, SchemaVersion::k3_21_00}}),
    [](const auto& info) { return info.index == 0 ? std::string("v4x") : std::string("pre4x"); });

}  // namespace
}  // namespace msu::suite
