// The staged instruction files against the schema of every version that uses them: a table or
// field the merge names but the database lacks would stop a merge halfway.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "suite/incident_delete_rules.h"
#include "suite/schema.h"

namespace msu::suite {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return text.substr(b, text.find_last_not_of(' ') - b + 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One instruction line as the merge's loader reads it: key word in the first column, one
// separator character, the value split at the first ".", fields split at "+".
struct Instruction {
  std::string kind;  // ParentTable, ChildTable, LUTable, RefTable
  std::string table;
  std::vector<std::string> fields;
  std::string key_text;  // ParentTable only
};

struct InstructionFile {
  std::string version;
  std::vector<Instruction> lines;
};

InstructionFile Load(const std::string& text) {
  InstructionFile file;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Upper(line.substr(0, 16)) == "[INCIDENTDELETE]") break;
    if (line.empty() || line[0] == ';') continue;
    for (const char* word : {"Version", "ParentTable", "ChildTable", "LUTable", "RefTable"}) {
      size_t n = std::string(word).size();
      if (Upper(line.substr(0, n)) != Upper(word)) continue;
      std::string value = Trim(line.substr(std::min(line.size(), n + 1)));
      if (std::string(word) == "Version") {
        file.version = value;
        break;
      }
      Instruction ins;
      ins.kind = word;
      size_t dot = value.find('.');
      ins.table = Trim(value.substr(0, dot));
      std::string rest = dot == std::string::npos ? "<NONE>" : Trim(value.substr(dot + 1));
      if (ins.kind == "ParentTable") {
        ins.key_text = rest;
        if (Upper(rest).find("AUTOINCREMENT") != std::string::npos) {
          ins.fields.push_back(rest.substr(rest.rfind('=') + 1));
        } else if (rest != "<NONE>") {
          size_t plus = rest.find('+');
          ins.fields.push_back(rest.substr(0, plus));
          if (plus != std::string::npos) ins.fields.push_back(rest.substr(plus + 1));
        }
      } else if (ins.kind == "ChildTable") {
        ins.fields.push_back(rest);
      } else {
        std::stringstream parts(rest);
        std::string part;
        while (std::getline(parts, part, '+')) ins.fields.push_back(Trim(part));
      }
      file.lines.push_back(ins);
      break;
    }
  }
  return file;
}

const std::string kStage = ORVANE_STAGE_DIR;

struct Case {
  std::string file;
  std::vector<SchemaVersion> versions;
};

const std::vector<Case> kCases = {
    {"CVN_4x.txt", {SchemaVersion::k5_01_00}},
    {"CVN_PRE4x.txt", {SchemaVersion::k4_12_00, SchemaVersion::k3_21_00}},
};

TEST(InstructionFilesTest, StagedFilesUseCrLfLineEnds) {
  for (const char* name : {"CVN_4x.txt", "CVN_PRE4x.txt", "cvn.ini"}) {
    std::string text = ReadFile(kStage + "/" + name);
    ASSERT_FALSE(text.empty()) << name << " is not staged";
    size_t lf = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    size_t crlf = 0;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
    EXPECT_EQ(lf, crlf) << name;
    EXPECT_EQ(text.find("\r\r"), std::string::npos) << name;
  }
}

TEST(InstructionFilesTest, EveryNamedTableAndFieldExistsInEveryVersionUsingTheFile) {
  for (const Case& c : kCases) {
    InstructionFile file = Load(ReadFile(kStage + "/" + c.file));
    ASSERT_GT(file.lines.size(), 50u) << c.file;
    EXPECT_EQ(file.version, "5.01.00") << c.file;
    for (SchemaVersion v : c.versions) {
      ASSERT_EQ(InstructionFileFor(v), c.file);
      std::vector<TableInfo> tables = SchemaTables(v);
      for (const Instruction& ins : file.lines) {
        const TableInfo* table = FindTable(tables, ins.table);
        ASSERT_NE(table, nullptr) << c.file << ": " << ins.kind << " " << ins.table
                                  << " is not in version " << VersionText(v);
        for (const std::string& field : ins.fields) {
          EXPECT_NE(table->FindColumn(field), nullptr)
              << c.file << ": " << ins.table << "." << field << " is not in version "
              << VersionText(v);
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
}

TEST(InstructionFilesTest, FilesCoverEveryCoreAndLookupTable) {
  // A core table missing from the file would be left out of every merged database.
  for (const Case& c : kCases) {
    InstructionFile file = Load(ReadFile(kStage + "/" + c.file));
    for (const TableInfo& t : SchemaTables(c.versions.front())) {
      const char* kind = t.role == TableRole::kCore     ? "ParentTable"
                         : t.role == TableRole::kLookup ? "LUTable"
                                                        : nullptr;
      if (kind == nullptr) continue;
      // Before 4.13 the admin offices are made from the incidents after the copy.
      if (c.file == "CVN_PRE4x.txt" && t.name == "AdminOffice") continue;
      bool listed = std::any_of(file.lines.begin(), file.lines.end(), [&](const auto& ins) {
        return ins.kind == kind &&
               (Upper(ins.table) == Upper("[" + t.name + "]") || Upper(ins.table) == Upper(t.name));
      });
      EXPECT_TRUE(listed) << c.file << " has no " << kind << " line for " << t.name;
    }
  }
}

TEST(InstructionFilesTest, FilesHoldEveryKindOfInstruction) {
  for (const Case& c : kCases) {
    InstructionFile file = Load(ReadFile(kStage + "/" + c.file));
    std::vector<TableInfo> tables = SchemaTables(c.versions.front());
    bool autoincrement = false, second_key = false, no_key = false, two_codes = false;
    bool numeric_code = false, text_code = false;
    std::vector<std::string> parents;
    const Instruction* lookup = nullptr;
    for (const Instruction& ins : file.lines) {
      if (ins.kind == "ParentTable") {
        parents.push_back(Upper(ins.table));
        autoincrement |= Upper(ins.key_text).find("AUTOINCREMENT") != std::string::npos;
        second_key |= ins.key_text.find('+') != std::string::npos;
        no_key |= ins.key_text == "<NONE>";
        // An auto-increment key must really be assigned by the database.
        if (Upper(ins.key_text).find("AUTOINCREMENT") != std::string::npos) {
          EXPECT_TRUE(FindTable(tables, ins.table)->FindColumn(ins.fields[0])->identity)
              << ins.table;
        }
      }
      if (ins.kind == "ChildTable") {
        EXPECT_FALSE(parents.empty());
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
        ASSERT_NE(lookup, nullptr);
        EXPECT_EQ(ins.fields.size(), lookup->fields.size()) << ins.table;
      }
    }
    EXPECT_TRUE(autoincrement && second_key && no_key && two_codes && numeric_code && text_code)
        << c.file;
    // The qualification de-duplication reads keys as small integers: it must see them
    // before Resources and Persons move them.
    auto position = [&](const std::string& t) {
      return std::find(parents.begin(), parents.end(), Upper(t)) - parents.begin();
    };
    EXPECT_LT(position("Quals"), position("Resources")) << c.file;
    EXPECT_LT(position("Quals"), position("Persons")) << c.file;
  }
}

TEST(InstructionFilesTest, IncidentDeleteSectionNamesOnlyExistingTablesAndColumns) {
  for (const Case& c : kCases) {
    std::vector<IncidentDeleteRule> rules;
    std::string error;
    ASSERT_TRUE(ReadIncidentDeleteRules(kStage + "/" + c.file, &rules, &error)) << error;
    ASSERT_GT(rules.size(), 10u);
    EXPECT_TRUE(rules.back().incident);
    EXPECT_EQ(rules.back().table, "Incidents");
    for (SchemaVersion v : c.versions) {
      std::vector<TableInfo> tables = SchemaTables(v);
      for (const IncidentDeleteRule& r : rules) {
        const TableInfo* t = FindTable(tables, r.table);
        ASSERT_NE(t, nullptr) << c.file << " line " << r.line << ": " << r.table;
        EXPECT_NE(t->FindColumn(r.column), nullptr) << c.file << " line " << r.line;
        if (!r.parent_table.empty()) {
          const TableInfo* p = FindTable(tables, r.parent_table);
          ASSERT_NE(p, nullptr) << c.file << " line " << r.line << ": " << r.parent_table;
          EXPECT_NE(p->FindColumn(r.parent_column), nullptr) << c.file << " line " << r.line;
        }
      }
    }
  }
}

TEST(InstructionFilesTest, IncidentDeleteSectionCoversEveryChildOfTheIncidents) {
  // Whatever the merge moves along with an incident, a split must delete along with it.
  for (const Case& c : kCases) {
    std::string text = ReadFile(kStage + "/" + c.file);
    InstructionFile file = Load(text);
    std::vector<IncidentDeleteRule> rules;
    std::string error;
    ASSERT_TRUE(ReadIncidentDeleteRules(kStage + "/" + c.file, &rules, &error)) << error;
    bool under_incidents = false;
    for (const Instruction& ins : file.lines) {
      if (ins.kind == "ParentTable") under_incidents = Upper(ins.table) == "INCIDENTS";
      if (ins.kind != "ChildTable" || !under_incidents) continue;
      bool deleted = std::any_of(rules.begin(), rules.end(), [&](const auto& r) {
        return Upper(r.table) == Upper(ins.table) && Upper(r.column) == Upper(ins.fields[0]) &&
               r.parent_table.empty();
      });
      EXPECT_TRUE(deleted) << c.file << ": " << ins.table << " is not deleted with its incident";
    }
  }
}

}  // namespace
}  // namespace msu::suite
