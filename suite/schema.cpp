// Most of this file is one table: every table, column and index of the suite's databases, in
// every version (Specs, IndexSpecs). It stays whole so that a schema change is made in one place.
#include "suite/schema.h"

#include <sqlite3.h>

#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "core/text.h"
#include "data/sqlite/sqlite_handles.h"

namespace msu::suite {
namespace {

// Versions a table or column exists in, as a bit set.
constexpr unsigned kV3 = 1;
constexpr unsigned kV4 = 2;
constexpr unsigned kV5 = 4;
constexpr unsigned kAll = kV3 | kV4 | kV5;
constexpr unsigned kLegacy = kV3 | kV4;  // before 4.13
constexpr unsigned kFrom4 = kV4 | kV5;

enum Flag : unsigned {
  kNN = 1,           // NOT NULL
  kPK = 2,           // primary key
  kIdent = 4,        // identity in every version
  kIdentLegacy = 8,  // identity before 4.13; a plain key afterwards
  kDef0 = 16,        // DEFAULT 0
};

struct ColSpec {
  const char* name;
  const char* type;
  unsigned flags = 0;
  unsigned versions = kAll;
};

struct TableSpec {
  const char* name;
  TableRole role;
  unsigned versions;
  const char* counter;  // counter field in NextNumber, or nullptr
  std::vector<ColSpec> columns;
};

unsigned Bit(SchemaVersion version) {
  switch (version) {
    case SchemaVersion::k3_21_00:
      return kV3;
    case SchemaVersion::k4_12_00:
      return kV4;
    case SchemaVersion::k5_01_00:
      return kV5;
  }
  return kV5;
}

// A form table of the suite's incident action plan: a key that was an identity column before
// 4.13, the incident, the operational period and who prepared it.
std::vector<ColSpec> FormHeader(std::initializer_list<ColSpec> extra) {
  std::vector<ColSpec> columns = {{"FormID", "int", kNN | kPK | kIdentLegacy},
                                  {"IncidentID", "int"},
                                  {"ShiftID", "int"},
                                  {"PreparedBy", "varchar(50)"},
                                  {"PreparedDate", "datetime"}};
  columns.insert(columns.end(), extra);
  return columns;
}

const std::vector<TableSpec>& Specs() {
  static const std::vector<TableSpec> specs = {
      // --- system tables
      {"version",
       TableRole::kSystem,
       kAll,
       nullptr,
       {{"module", "varchar(30)", kNN}, {"version", "varchar(20)"}}},
      {"NextNumber",
       TableRole::kSystem,
       kAll,
       nullptr,
       {{"TableName", "varchar(50)", kNN | kPK},
        {"FieldName", "varchar(50)", kNN | kPK},
        {"NextNumber", "int", kNN}}},
      // --- lookup tables
      {"L_Category",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"CategoryCode", "int", kNN | kPK},
        {"Description", "varchar(50)"},
        {"Standard", "bit", kDef0}}},
      {"L_Kind",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"KindCode", "varchar(10)", kNN | kPK},
        {"Description", "varchar(50)"},
        {"CategoryCode", "int"},
        {"Standard", "bit", kDef0}}},
      {"L_Agency",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"AgencyCode", "varchar(10)", kNN | kPK},
        {"AgencyName", "varchar(50)"},
        {"Federal", "bit", kDef0},
        {"Standard", "bit", kDef0}}},
      {"L_Status",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"StatusCode", "int", kNN | kPK},
        {"Description", "varchar(30)"},
        {"Available", "bit"},
        {"Standard", "bit", kDef0}}},
      {"L_Position",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"PositionCode", "varchar(10)", kNN | kPK},
        {"Description", "varchar(50)"},
        {"Section", "varchar(20)"},
        {"Standard", "bit", kDef0}}},
      {"L_Location",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"LocationCode", "varchar(10)", kNN | kPK},
        {"StateCode", "char(2)", kNN | kPK},
        {"Description", "varchar(50)"},
        {"Standard", "bit", kDef0}}},
      {"L_FreqType",
       TableRole::kLookup,
       kAll,
       nullptr,
       {{"FreqTypeID", "int", kNN | kPK},
        {"Description", "varchar(30)"},
        {"Standard", "bit", kDef0}}},
      // --- incidents and what belongs to them
      {"Incidents",
       TableRole::kCore,
       kAll,
       nullptr,
       {{"IncidentID", "int", kNN | kPK | kIdent},
        {"IncidentNumber", "varchar(20)"},
        {"IncidentName", "varchar(50)"},
        {"StartDate", "datetime"},
        {"EndDate", "datetime"},
        {"IncidentType", "varchar(20)"},
        {"AgencyCode", "varchar(10)"},
        {"LocationCode", "varchar(10)"},
        {"StateCode", "char(2)"},
        {"Complexity", "smallint", 0, kFrom4},
        {"Latitude", "float", 0, kFrom4},
        {"Longitude", "float", 0, kFrom4},
        {"AdminName", "varchar(50)"},
        {"AdminAddr1", "varchar(50)"},
        {"AdminAddr2", "varchar(50)"},
        {"AdminCity", "varchar(30)"},
        {"AdminState", "char(2)"},
        {"AdminZip", "varchar(10)"},
        {"Closed", "bit", kDef0},
        {"Comments", "varchar(255)"}}},
      {"AccountingCodes",
       TableRole::kCore,
       kAll,
       "AccountingCodeID",
       {{"AccountingCodeID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"AccountingCode", "varchar(20)"},
        {"Description", "varchar(50)"},
        {"AgencyCode", "varchar(10)"},
        {"IncidentDefault", "bit", kDef0},
        {"StartDate", "datetime"},
        {"EndDate", "datetime", 0, kFrom4}}},
      {"AdminOffice",
       TableRole::kCore,
       kAll,
       "AdminOfficeID",
       {{"AdminOfficeID", "int", kNN | kPK},
        {"Name", "varchar(50)"},
        {"Addr1", "varchar(50)"},
        {"Addr2", "varchar(50)"},
        {"City", "varchar(30)"},
        {"State", "char(2)"},
        {"Zip", "varchar(10)"},
        {"Phone", "varchar(20)"}}},
      {"Contractor",
       TableRole::kCore,
       kAll,
       "ContractorID",
       {{"ContractorID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"Name", "varchar(50)"},
        {"Addr1", "varchar(50)"},
        {"City", "varchar(30)"},
        {"State", "char(2)"},
        {"Zip", "varchar(10)"},
        {"Phone", "varchar(20)"},
        {"TaxID", "varchar(20)"}}},
      {"Agreement",
       TableRole::kCore,
       kAll,
       "AgreementID",
       {{"AgreementID", "int", kNN | kPK},
        {"ContractorID", "int"},
        {"AdminOfficeID", "int", 0, kV5},
        {"AgreementNumber", "varchar(30)"},
        {"StartDate", "datetime"},
        {"EndDate", "datetime"},
        {"DailyRate", "money"}}},
      {"Shift",
       TableRole::kCore,
       kAll,
       "ShiftID",
       {{"ShiftID", "int", kNN | kPK | kIdentLegacy},
        {"IncidentID", "int"},
        {"ShiftName", "varchar(30)"},
        {"StartDate", "datetime"},
        {"EndDate", "datetime"}}},
      {"MasterFrequency",
       TableRole::kCore,
       kAll,
       "ID",
       {{"ID", "int", kNN | kPK | kIdentLegacy},
        {"IncidentID", "int"},
        {"FreqTypeID", "int"},
        {"Channel", "varchar(20)"},
        {"RxFreq", "varchar(15)"},
        {"RxTone", "varchar(10)"},
        {"TxFreq", "varchar(15)"},
        {"TxTone", "varchar(10)"},
        {"Description", "varchar(50)"}}},
      {"Resources",
       TableRole::kCore,
       kAll,
       "ResourceID",
       {{"ResourceID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"RequestNumber", "varchar(20)"},
        {"OriginalOrderRequest", "varchar(20)"},
        {"ResourceName", "varchar(50)"},
        {"KindCode", "varchar(10)"},
        {"CategoryCode", "int"},
        {"AgencyCode", "varchar(10)"},
        {"StatusCode", "int"},
        {"AccountingCodeID", "int"},
        {"ContractorID", "int"},
        {"RRDate", "datetime", 0, kLegacy},  // renamed MobDate in 4.13
        {"MobDate", "datetime", 0, kV5},
        {"CheckInDate", "datetime"},
        {"DemobDate", "datetime"},
        {"Quantity", "smallint"},
        {"DailyCost", "money"},
        {"Comments", "varchar(255)"}}},
      {"Persons",
       TableRole::kCore,
       kAll,
       "PersonID",
       {{"PersonID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"ResourceID", "int"},
        {"LeaderID", "int"},
        {"Leader", "bit", kDef0, kV5},
        {"RequestNumber", "varchar(20)"},
        {"LastName", "varchar(30)"},
        {"FirstName", "varchar(30)"},
        {"MiddleInitial", "char(1)"},
        {"KindCode", "varchar(10)"},
        {"PositionCode", "varchar(10)"},
        {"AgencyCode", "varchar(10)"},
        {"HomeUnit", "varchar(20)"},
        {"Phone", "varchar(20)"},
        {"Email", "varchar(60)", 0, kFrom4},
        {"Gender", "char(1)"},
        {"Weight", "smallint"},
        {"CheckInDate", "datetime"},
        {"Comments", "varchar(255)"}}},
      {"PersonsPost",
       TableRole::kCore,
       kAll,
       "PersonsPostID",
       {{"PersonsPostID", "int", kNN | kPK},
        {"PersonID", "int"},
        {"IncidentID", "int"},
        {"ResourceID", "int"},
        {"ShiftID", "int"},
        {"KindCode", "varchar(10)"},
        {"PositionCode", "varchar(10)"},
        {"PostDate", "datetime"},
        {"Hours", "real"}}},
      // Exactly these four columns, in this order: the de-duplication writes rows back
      // without naming the columns.
      {"Quals",
       TableRole::kCore,
       kAll,
       nullptr,
       {{"PersonID", "int"},
        {"KindCode", "varchar(10)"},
        {"ResourceID", "int"},
        {"Trainee", "char(1)", 0, kLegacy},  // 'T' or 'F' before 4.13
        {"Trainee", "bit", 0, kV5}}},
      {"Projection",
       TableRole::kCore,
       kAll,
       "ProjectionID",
       {{"ProjectionID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"KindCode", "varchar(10)"},
        {"ProjectionDate", "datetime"},
        {"Quantity", "int"},
        {"Comments", "varchar(255)"}}},
      {"QuickStats",
       TableRole::kCore,
       kAll,
       "QuickStatID",
       {{"QuickStatID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"KindCode", "varchar(10)"},
        {"StatDate", "datetime"},
        {"Assigned", "int"},
        {"Available", "int"},
        {"OutOfService", "int"}}},
      {"ReportRecords",
       TableRole::kCore,
       kAll,
       "ReportRecordID",
       {{"ReportRecordID", "int", kNN | kPK},
        {"IncidentID", "int"},
        {"ResourceID", "int"},
        {"KindCode", "varchar(10)"},
        {"ReportName", "varchar(50)"},
        {"ReportDate", "datetime"},
        {"Printed", "bit", kDef0}}},
      // --- forms
      {"ICS202", TableRole::kCore, kAll, "FormID",
       FormHeader({{"Objectives", "varchar(1000)"}, {"WeatherAttached", "bit", kDef0}})},
      {"ICS203", TableRole::kCore, kAll, "FormID", FormHeader({})},
      {"203_Assignments",
       TableRole::kCore,
       kAll,
       "ID",
       {{"ID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"PositionCode", "varchar(10)"},
        {"PersonID", "int"},
        {"Name", "varchar(60)"},
        {"AgencyCode", "varchar(10)"}}},
      {"203_Template",
       TableRole::kCore,
       kAll,
       "TemplateID",
       {{"TemplateID", "int", kNN | kPK | kIdentLegacy},
        {"TemplateName", "varchar(50)"},
        {"PositionCode", "varchar(10)"},
        {"Sequence", "smallint"}}},
      {"ICS204", TableRole::kCore, kAll, "FormID",
       FormHeader({{"Branch", "varchar(20)"},
                   {"Division", "varchar(20)"},
                   {"WorkAssignment", "varchar(1000)"},
                   {"SpecialInstructions", "varchar(1000)"}})},
      {"204_Com",
       TableRole::kCore,
       kAll,
       "ID",
       {{"ID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"FunctionName", "varchar(30)"},
        {"FrequencyID", "int"},
        {"System", "varchar(30)"},
        {"Channel", "varchar(20)"}}},
      {"204_Resources",
       TableRole::kCore,
       kAll,
       "ResourcesID",
       {{"ResourcesID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"ResourceID", "int"},
        {"LeaderName", "varchar(60)"},
        {"NumberPersons", "smallint"},
        {"Transport", "bit", kDef0}}},
      {"204_Template",
       TableRole::kCore,
       kAll,
       "TemplateID",
       {{"TemplateID", "int", kNN | kPK | kIdentLegacy},
        {"TemplateName", "varchar(50)"},
        {"WorkAssignment", "varchar(1000)"}}},
      {"ICS205", TableRole::kCore, kAll, "FormID", FormHeader({})},
      {"205_Channels",
       TableRole::kCore,
       kAll,
       "ID",
       {{"ID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"FrequencyID", "int"},
        {"FreqTypeID", "int"},
        {"Assignment", "varchar(50)"},
        {"Remarks", "varchar(100)"}}},
      {"ICS206", TableRole::kCore, kAll, "FormID",
       FormHeader({{"ProceduresText", "varchar(1000)"}})},
      {"206_Medical",
       TableRole::kCore,
       kAll,
       "ID",
       {{"ID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"FacilityName", "varchar(50)"},
        {"Address", "varchar(100)"},
        {"Phone", "varchar(20)"},
        {"Paramedics", "bit", kDef0},
        {"Helipad", "bit", kDef0}}},
      {"ICS220", TableRole::kCore, kAll, "FormID",
       FormHeader({{"Sunrise", "varchar(10)"}, {"Sunset", "varchar(10)"}})},
      {"220_Helicopters",
       TableRole::kCore,
       kAll,
       "HelicoptersID",
       {{"HelicoptersID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"ResourceID", "int"},
        {"FaaNumber", "varchar(10)"},
        {"Location", "varchar(50)"},
        {"Remarks", "varchar(100)"}}},
      {"220_PersFreq",
       TableRole::kCore,
       kAll,
       "PersFreqID",
       {{"PersFreqID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"PersonID", "int"},
        {"Position", "varchar(30)"},
        {"FrequencyID", "int"}}},
      {"220_Task",
       TableRole::kCore,
       kAll,
       "TaskID",
       {{"TaskID", "int", kNN | kPK | kIdentLegacy},
        {"FormID", "int"},
        {"TaskName", "varchar(50)"},
        {"ResourceID", "int"},
        {"StartTime", "datetime"}}},
      // --- kept by the suite only
      {"UserLog",
       TableRole::kOther,
       kFrom4,
       nullptr,
       {{"LogID", "int", kNN | kPK | kIdent},
        {"UserName", "varchar(30)"},
        {"LogDate", "datetime"},
        {"Action", "varchar(100)"}}},
  };
  return specs;
}

struct IndexSpec {
  const char* table;
  std::vector<const char*> columns;
};

// Indexes for the statements the merge and the incident deletion run most: the set-based key
// shifts, the per-incident re-keying and deleting, and the qualification de-duplication.
const std::vector<IndexSpec>& IndexSpecs() {
  static const std::vector<IndexSpec> specs = {
      {"AccountingCodes", {"IncidentID"}},   {"Resources", {"IncidentID"}},
      {"Persons", {"IncidentID"}},           {"Persons", {"ResourceID"}},
      {"PersonsPost", {"PersonID"}},         {"PersonsPost", {"IncidentID"}},
      {"Quals", {"ResourceID", "KindCode"}}, {"Quals", {"PersonID"}},
      {"ReportRecords", {"IncidentID"}},     {"Projection", {"IncidentID"}},
      {"QuickStats", {"IncidentID"}},
  };
  return specs;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string StripBrackets(std::string_view name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  return std::string(name);
}

}  // namespace

bool ColumnInfo::IsText() const {
  std::string t = LowerAscii(type);
  return t.starts_with("char") || t.starts_with("varchar") || t.starts_with("nchar") ||
         t.starts_with("nvarchar") || t == "text" || t == "ntext";
}

const ColumnInfo* TableInfo::FindColumn(std::string_view column) const {
  std::string wanted = LowerAscii(StripBrackets(column));
  for (const ColumnInfo& c : columns) {
    if (LowerAscii(c.name) == wanted) return &c;
  }
  return nullptr;
}

std::string VersionText(SchemaVersion version) {
  switch (version) {
    case SchemaVersion::k3_21_00:
      return "3.21.00";
    case SchemaVersion::k4_12_00:
      return "4.12.00";
    case SchemaVersion::k5_01_00:
      return "5.01.00";
  }
  return "5.01.00";
}

bool ParseVersion(std::string_view text, SchemaVersion* version) {
  for (SchemaVersion v :
       {SchemaVersion::k3_21_00, SchemaVersion::k4_12_00, SchemaVersion::k5_01_00}) {
    std::string full = VersionText(v);
    if (text == full || text == full.substr(0, 4)) {
      *version = v;
      return true;
    }
  }
  return false;
}

std::string InstructionFileFor(SchemaVersion version) {
  return version == SchemaVersion::k5_01_00 ? "CVN_4x.txt" : "CVN_PRE4x.txt";
}

std::vector<TableInfo> SchemaTables(SchemaVersion version) {
  const unsigned bit = Bit(version);
  const bool legacy = (bit & kLegacy) != 0;
  std::vector<TableInfo> tables;
  for (const TableSpec& spec : Specs()) {
    if ((spec.versions & bit) == 0) continue;
    TableInfo table;
    table.name = spec.name;
    table.role = spec.role;
    if (spec.counter != nullptr) table.counter_field = spec.counter;
    for (const ColSpec& c : spec.columns) {
      if ((c.versions & bit) == 0) continue;
      ColumnInfo column;
      column.name = c.name;
      column.type = c.type;
      column.not_null = (c.flags & kNN) != 0;
      column.primary_key = (c.flags & kPK) != 0;
      column.identity = (c.flags & kIdent) != 0 || (legacy && (c.flags & kIdentLegacy) != 0);
      if ((c.flags & kDef0) != 0) column.default_value.push_back('0');
      table.columns.push_back(std::move(column));
    }
    tables.push_back(std::move(table));
  }
  return tables;
}

const TableInfo* FindTable(const std::vector<TableInfo>& tables, std::string_view name) {
  std::string wanted = LowerAscii(StripBrackets(name));
  for (const TableInfo& t : tables) {
    if (LowerAscii(t.name) == wanted) return &t;
  }
  return nullptr;
}

std::vector<IndexInfo> SchemaIndexes(SchemaVersion version) {
  std::vector<TableInfo> tables = SchemaTables(version);
  std::vector<IndexInfo> indexes;
  for (const IndexSpec& spec : IndexSpecs()) {
    if (FindTable(tables, spec.table) == nullptr) continue;
    IndexInfo index;
    index.table = spec.table;
    index.name = std::string("IX_") + spec.table;
    for (const char* c : spec.columns) {
      index.columns.push_back(c);
      index.name += std::string("_") + c;
    }
    indexes.push_back(std::move(index));
  }
  return indexes;
}

std::string EmbeddedCreateTablesSql(SchemaVersion version) {
  std::string sql;
  for (const TableInfo& t : SchemaTables(version)) {
    std::vector<std::string> key_columns;
    for (const ColumnInfo& c : t.columns) {
      if (c.primary_key && !c.identity) key_columns.push_back(c.name);
    }
    // Core tables keep their keys too: the embedded server checks a key once per statement,
    // as the suite's server does, so the merge's set-based key shift does not collide with
    // itself halfway through a table.
    const bool declare_key = !key_columns.empty();
    sql += "CREATE TABLE [" + t.name + "] (\n";
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const ColumnInfo& c = t.columns[i];
      sql += "  [" + c.name + "] ";
      if (c.identity) {
        // The only way SQLite assigns keys itself: the column must be declared INTEGER.
        sql += "INTEGER NOT NULL CONSTRAINT [PK_" + t.name + "] PRIMARY KEY AUTOINCREMENT";
      } else {
        sql += c.type;
        if (c.IsText()) sql += " COLLATE NOCASE";
        sql += c.not_null ? " NOT NULL" : " NULL";
        if (!c.default_value.empty()) sql += " DEFAULT " + c.default_value;
      }
      if (i + 1 < t.columns.size() || declare_key) sql += ",";
      sql += "\n";
    }
    if (declare_key) {
      sql += "  CONSTRAINT [PK_" + t.name + "] PRIMARY KEY (";
      for (size_t i = 0; i < key_columns.size(); ++i) {
        sql += (i > 0 ? ", [" : "[") + key_columns[i] + "]";
      }
      sql += ")\n";
    }
    sql += ");\n";
  }
  return sql;
}

std::string EmbeddedIndexesSql(SchemaVersion version) {
  std::string sql;
  for (const IndexInfo& index : SchemaIndexes(version)) {
    sql += "CREATE INDEX [" + index.name + "] ON [" + index.table + "] (";
    for (size_t i = 0; i < index.columns.size(); ++i) {
      sql += (i > 0 ? ", [" : "[") + index.columns[i] + "]";
    }
    sql += ");\n";
  }
  return sql;
}

std::string EmbeddedTablesSql(SchemaVersion version) {
  return EmbeddedCreateTablesSql(version) + EmbeddedIndexesSql(version);
}

std::string SyncNextNumberBody(SchemaVersion version) {
  std::string body;
  for (const TableInfo& t : SchemaTables(version)) {
    if (t.counter_field.empty()) continue;
    const std::string max_of =
        "(SELECT COALESCE(MAX([" + t.counter_field + "]), 0) FROM [" + t.name + "])";
    if (!body.empty()) body += ";\n";
    body += "UPDATE NextNumber SET NextNumber = " + max_of +
            " + 1 WHERE TableName = " + SqlLiteral(t.name) +
            " AND FieldName = " + SqlLiteral(t.counter_field) + " AND NextNumber <= " + max_of;
  }
  return body;
}

std::string EmbeddedSchemaSql(SchemaVersion version) {
  return EmbeddedTablesSql(version) + EmbeddedSystemRowsSql(version);
}

std::string EmbeddedSystemRowsSql(SchemaVersion version) {
  std::string sql;
  sql += "INSERT INTO [version] ([module], [version]) VALUES ('DATABASE', " +
         SqlLiteral(VersionText(version)) + ");\n";
  sql += "INSERT INTO [version] ([module], [version]) VALUES ('MERGEVERSION', " +
         SqlLiteral(VersionText(version)) + ");\n";
  for (const TableInfo& t : SchemaTables(version)) {
    if (t.counter_field.empty()) continue;
    sql += "INSERT INTO [NextNumber] ([TableName], [FieldName], [NextNumber]) VALUES (" +
           SqlLiteral(t.name) + ", " + SqlLiteral(t.counter_field) + ", 1);\n";
  }
  sql += std::string(kProcedureTableDdl) + ";\n";
  sql += "INSERT INTO orvane_procedures (name, body) VALUES (" + SqlLiteral(kSyncProcedureName) +
         ", " + SqlLiteral(SyncNextNumberBody(version)) + ");\n";
  return sql;
}

void CreateEmptyDatabase(const std::string& path, SchemaVersion version) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    throw std::runtime_error("A file already exists at " + path + "; it was left untouched.");
  }
  sqlite::Database db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  db.Exec("BEGIN");
  db.Exec(EmbeddedSchemaSql(version));
  db.Exec("COMMIT");
}

}  // namespace msu::suite
