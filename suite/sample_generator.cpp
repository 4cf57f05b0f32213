#include "suite/sample_generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

#include "data/sqlite/sqlite_handles.h"

namespace msu::suite {
namespace {

namespace fs = std::filesystem;
using sqlite::Database;
using sqlite::Statement;

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  uint64_t state_;
};

// A date-time text the suite's server reads back unchanged: "2024-07-01 08:30:00".
std::string DateText(int day_offset, int minutes) {
  // Civil date from days since 2024-01-01 (a leap year start keeps the sums simple).
  static const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                        {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
  int year = 2024;
  int day = day_offset;
  for (;;) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int length = leap ? 366 : 365;
    if (day < length) break;
    day -= length;
    ++year;
  }
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int month = 0;
  while (day >= kMonthDays[leap][month]) day -= kMonthDays[leap][month++];
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:00", year, month + 1, day + 1,
                (minutes / 60) % 24, minutes % 60);
  return text;
}

// Inserts rows into one table through one prepared statement. Columns are set by name; a
// column the table lacks in this version (Leader before 4.13, say) is skipped, so that one
// generator serves every version. A name no version knows is a programming error.
class RowWriter {
 public:
  RowWriter(Database& db, const TableInfo& table, std::vector<const TableInfo*> all_versions)
      : table_(table), all_versions_(std::move(all_versions)) {
    std::string sql = "INSERT INTO [" + table.name + "] (";
    std::string params;
    for (size_t i = 0; i < table.columns.size(); ++i) {
      sql += (i > 0 ? ", [" : "[") + table.columns[i].name + "]";
      params += i > 0 ? ", ?" : "?";
    }
    statement_ = std::make_unique<Statement>(db, sql + ") VALUES (" + params + ")");
    values_.resize(table.columns.size());
  }

  RowWriter& Int(std::string_view column, int64_t value) {
    if (Slot* slot = Find(column)) *slot = {kInt, value, 0, {}};
    return *this;
  }
  RowWriter& Real(std::string_view column, double value) {
    if (Slot* slot = Find(column)) *slot = {kReal, 0, value, {}};
    return *this;
  }
  RowWriter& Text(std::string_view column, std::string_view value) {
    if (Slot* slot = Find(column)) *slot = {kText, 0, 0, std::string(value)};
    return *this;
  }
  RowWriter& Null(std::string_view column) {
    if (Slot* slot = Find(column)) *slot = {};
    return *this;
  }

  // Writes the row and starts the next one with every column NULL.
  void Insert() {
    for (size_t i = 0; i < values_.size(); ++i) {
      int index = static_cast<int>(i) + 1;
      Slot& slot = values_[i];
      switch (slot.kind) {
        case kNull:
          statement_->BindNull(index);
          break;
        case kInt:
          statement_->BindInt(index, slot.i);
          break;
        case kReal:
          statement_->BindReal(index, slot.d);
          break;
        case kText:
          statement_->BindText(index, slot.s);
          break;
      }
      slot.kind = kNull;
    }
    statement_->Run();
  }

 private:
  enum Kind { kNull, kInt, kReal, kText };
  struct Slot {
    Kind kind = kNull;
    int64_t i = 0;
    double d = 0;
    std::string s;
  };

  Slot* Find(std::string_view column) {
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      if (table_.columns[i].name == column) return &values_[i];
    }
    if (const ColumnInfo* c = table_.FindColumn(column)) {
      return &values_[static_cast<size_t>(c - table_.columns.data())];
    }
    for (const TableInfo* other : all_versions_) {
      if (other != nullptr && other->FindColumn(column) != nullptr) return nullptr;
    }
    throw std::logic_error("The sample generator names an unknown column " + table_.name + "." +
                           std::string(column));
  }

  const TableInfo& table_;
  std::vector<const TableInfo*> all_versions_;
  std::unique_ptr<Statement> statement_;
  std::vector<Slot> values_;
};

const std::vector<std::string> kCommonKinds = {
    "ENG1", "ENG3", "ENG6", "CRW1", "CRW2", "DOZR", "WT",   "TNDR", "FFT1", "FFT2",
    "CRWB", "ENGB", "DIVS", "ICT3", "HEL1", "HEL2", "HEL3", "AT",   "SEAT"};
// Codes that replaced retired ones in 4.13.
const std::vector<std::string> kNewKinds = {
    "ATGS", "AOBS", "BAEL", "BAES", "THSP", "COCO", "SV",   "DZIA", "FLEC", "FALT", "HCI1",
    "HCS4", "HECM", "HELU", "HCWN", "HERS", "IRFS", "INDI", "IRF",  "IRCR", "LODG", "PACK",
    "AUTO", "SFPS", "SUV",  "TOOL", "TPIA", "TRAN", "VNTR", "TPOP", "WHMG", "WHHR"};
const std::vector<std::string> kRetiredKinds = {
    "AAGS", "AERO", "BURL", "BURS", "CARP", "CCOO", "CVH",  "DOZI", "FLET", "FLRS", "HCIN",
    "HCSN", "HECP", "HEL4", "HEM1", "HEM2", "HEM3", "HEMC", "HEMG", "HRCK", "INFS", "INHD",
    "IR",   "IRRC", "MOT",  "PCK1", "OTHR", "RXCM", "RXHS", "RXW1", "RXW2", "SED",  "STPS",
    "SUB",  "TESP", "TPLI", "TR",   "TRAI", "TRPS", "WHFL", "WHSE"};
// New codes that a database before 4.13 holds as user codes while the suite delivers them.
const std::vector<std::string> kLateStandardKinds = {"ATGS", "AOBS", "THSP"};
// Kind codes kept out of the ordinary qualifications, for the planned duplicates.
const std::vector<std::string> kDupKinds = {"ENG1", "ENG3", "ENG6", "CRW1"};

const std::vector<std::string> kFirstNames = {"Mary", "James", "Ana",   "Liam",  "Grace",
                                              "Noah", "Rosa",  "Ethan", "Chloe", "Sam"};
const std::vector<std::string> kLastNames = {"O'Brien", "Smith",  "D'Amico", "Nguyen",
                                             "Garcia",  "O'Neil", "Johnson", "Whitehorse",
                                             "Larsen",  "McKay",  "Okafor",  "Brown"};
const std::vector<std::string> kIncidentNames = {"O'Brien Ridge", "Cedar Creek", "Bear Gulch",
                                                 "Pine Flat",     "Dry Lake",    "Miller's Peak",
                                                 "Red Butte",     "Silver Fork"};
const std::vector<std::string> kCommonPositions = {"ICT1", "ICT2", "ICT3", "ICT4", "ICT5",
                                                   "OSC1", "PSC1", "LSC1", "FSC1", "DIVS",
                                                   "CRWB", "ENGB", "FFT1", "FFT2", "DOZB"};
const std::vector<std::string> kAgencies = {"USFS", "BLM",  "NPS",  "FWS", "BIA",
                                            "ST",   "CNTY", "CITY", "PRIV"};

bool IsLegacy(SchemaVersion version) { return version != SchemaVersion::k5_01_00; }

class Generator {
 public:
  Generator(Database& db, SampleRole role, SchemaVersion version, long rows, uint64_t seed,
            SchemaVersion pair_version)
      : db_(db),
        role_(role),
        version_(version),
        legacy_(IsLegacy(version)),
        rows_(rows),
        rng_(seed * 0x100000001B3ULL + static_cast<uint64_t>(role) * 7919 + 17),
        tables_(SchemaTables(version)),
        all_versions_{SchemaTables(SchemaVersion::k3_21_00), SchemaTables(SchemaVersion::k4_12_00),
                      SchemaTables(SchemaVersion::k5_01_00)},
        has_offices_(!legacy_ && !(role == SampleRole::kDestination && IsLegacy(pair_version))) {}

  void Run() {
    Lookups();
    int incidents = IncidentCount();
    // Rows outside the bulk tables: lookups, and per incident its accounting codes, shifts,
    // frequencies, contractors, forms and statistics.
    const long fixed = 140 + 80L * incidents;
    const long bulk = std::max(0L, rows_ - fixed);
    // At least seven resources in a source, so that every request-number notation occurs.
    resources_per_incident_ = std::max(3L, bulk * 10 / 86 / incidents);
    Templates();
    for (int incident = 1; incident <= incidents; ++incident) Incident(incident);
    if (role_ == SampleRole::kSource) PlannedQualDuplicates();
    if (legacy_) RetiredKindQuals();
  }

  int IncidentCount() const {
    int base = role_ == SampleRole::kSplit ? 5 : role_ == SampleRole::kSource ? 3 : 2;
    return base + static_cast<int>(rows_ / 250000);
  }

 private:
  RowWriter& W(const std::string& table) {
    auto found = writers_.find(table);
    if (found != writers_.end()) return *found->second;
    const TableInfo* info = FindTable(tables_, table);
    if (info == nullptr) throw std::logic_error("No table " + table + " in this version");
    std::vector<const TableInfo*> versions;
    for (const auto& tables : all_versions_) versions.push_back(FindTable(tables, table));
    auto writer = std::make_unique<RowWriter>(db_, *info, std::move(versions));
    RowWriter& ref = *writer;
    writers_.emplace(table, std::move(writer));
    return ref;
  }

  long NextKey(const std::string& table) { return ++keys_[table]; }

  bool IsSource() const { return role_ == SampleRole::kSource || role_ == SampleRole::kSplit; }
  bool IsDestination() const { return role_ == SampleRole::kDestination; }

  // ---- lookup tables
  void Lookups() {
    auto category = [&](int code, const char* text, int standard) {
      W("L_Category").Int("CategoryCode", code).Text("Description", text).Int("Standard", standard);
      W("L_Category").Insert();
    };
    const char* categories[] = {"Aircraft", "Crews",    "Engines", "Equipment",
                                "Overhead", "Supplies", "Dozers",  "Water Tenders"};
    for (int i = 0; i < 8; ++i) category(i + 1, categories[i], 1);
    if (IsSource()) {
      category(50, "Local Volunteers", 0);
      category(51, "Contract Buses", 0);
    } else {
      category(50, "Camp Crews", 0);
    }

    // Kind codes: the standard list of this version, then the user codes.
    std::vector<std::string> standard = kCommonKinds;
    for (const std::string& k : kNewKinds) {
      bool late = std::find(kLateStandardKinds.begin(), kLateStandardKinds.end(), k) !=
                  kLateStandardKinds.end();
      if (!legacy_ || !late) standard.push_back(k);
    }
    if (legacy_) standard.insert(standard.end(), kRetiredKinds.begin(), kRetiredKinds.end());
    for (size_t i = 0; i < standard.size(); ++i) {
      const std::string& k = standard[i];
      std::string description = "Kind " + k;
      int category_code = static_cast<int>(i % 8) + 1;
      if (k == "ENG3") description = IsDestination() ? "Engine, Type 3" : "Type 3 Engine";
      if (k == "DOZR" && IsDestination()) category_code = 7;
      KindRow(k, description, category_code, 1);
    }
    usable_kinds_ = standard;
    if (IsSource()) {
      KindRow("XK1", "Pumper Unit", 50, 0);
      KindRow("XK2", "Mobile Kitchen", 51, 0);
      KindRow("LOCAL", "Local Resource", 50, 0);
      if (legacy_) {
        for (const std::string& k : kLateStandardKinds) KindRow(k, "Kind " + k, 5, 0);
      }
      usable_kinds_.push_back("XK1");
    } else {
      KindRow("XK1", "Water Buffalo", 50, 0);
      KindRow("XK3", "Shower Unit", 50, 0);
    }
    for (const std::string& k : usable_kinds_) {
      if (std::find(kDupKinds.begin(), kDupKinds.end(), k) == kDupKinds.end()) {
        qual_kinds_.push_back(k);
      }
    }

    const char* agency_names[] = {"Forest Service",
                                  "Bureau of Land Management",
                                  "Park Service",
                                  "Fish and Wildlife Service",
                                  "Bureau of Indian Affairs",
                                  "State",
                                  "County",
                                  "City",
                                  "Private"};
    for (size_t i = 0; i < kAgencies.size(); ++i) {
      RowWriter& w = W("L_Agency");
      w.Text("AgencyCode", kAgencies[i]).Int("Federal", i < 5 ? 1 : 0).Int("Standard", 1);
      if (kAgencies[i] == "USFS" && IsSource()) {
        w.Text("AgencyName", "FOREST SERVICE");  // differs from the destination in case only
      } else if (kAgencies[i] == "NPS" && IsSource()) {
        w.Null("AgencyName");  // NULL against a value: not a difference
      } else {
        w.Text("AgencyName", agency_names[i]);
      }
      w.Insert();
    }
    auto agency = [&](const char* code, const char* name) {
      W("L_Agency").Text("AgencyCode", code).Text("AgencyName", name).Int("Standard", 0);
      W("L_Agency").Insert();
    };
    if (IsSource()) {
      agency("VFD", "Valley Fire Department");
      agency("RFD", "Rural Fire District");
    } else {
      agency("VFD", "Volunteer Fire Dept.");
    }

    struct StatusRow {
      int code;
      const char* text;
      int available;
    };
    const StatusRow statuses[] = {{1, "Available", 1},      {2, "Assigned", 0},
                                  {3, "Out of Service", 0}, {4, "Demobilized", 0},
                                  {5, "Released", 0},       {6, "Pending", 0}};
    for (const StatusRow& s : statuses) {
      RowWriter& w = W("L_Status");
      w.Int("StatusCode", s.code).Int("Available", s.available).Int("Standard", 1);
      w.Text("Description", s.text);
      if (IsSource() && s.code == 3) w.Text("Description", "Out Of Service");
      if (IsSource() && s.code == 4) w.Int("Available", 1);
      w.Insert();
    }
    auto status = [&](int code, const char* text) {
      W("L_Status").Int("StatusCode", code).Text("Description", text).Int("Standard", 0);
      W("L_Status").Insert();
    };
    if (IsSource()) {
      status(100, "Staged");
      status(101, "Reassigned");
      status(102, "Resting");
      status(103, "Quarantine");
      status(104, "Mobilizing");
    } else {
      status(100, "Staged");
      status(101, "Hold");
      status(102, "Standby");
      status(120, "Returning");
    }

    for (const std::string& p : kCommonPositions) {
      RowWriter& w = W("L_Position");
      w.Text("PositionCode", p).Text("Description", "Position " + p).Int("Standard", 1);
      w.Text("Section", p == "DIVS" && IsSource() ? "Ops" : "Operations");
      w.Insert();
    }
    positions_ = kCommonPositions;
    if (IsSource()) {
      W("L_Position").Text("PositionCode", "POS1").Text("Description", "Camp Boss Assistant");
      W("L_Position").Text("Section", "Logistics").Int("Standard", 0).Insert();
      positions_.push_back("POS1");
    }

    struct LocationRow {
      const char* code;
      const char* state;
      const char* text;
    };
    const LocationRow locations[] = {{"BOISE", "ID", "Boise Interagency Center"},
                                     {"RENO", "NV", "Reno Dispatch"},
                                     {"MISSOULA", "MT", "Missoula Base"},
                                     {"REDDING", "CA", "Redding Air Base"},
                                     {"BEND", "OR", "Bend Dispatch"}};
    for (const LocationRow& l : locations) {
      RowWriter& w = W("L_Location");
      w.Text("LocationCode", l.code).Text("StateCode", l.state).Int("Standard", 1);
      w.Text("Description",
             std::string(l.code) == "RENO" && IsSource() ? "Reno Fire Dispatch" : l.text);
      w.Insert();
    }
    auto location = [&](const char* code, const char* state, const char* text) {
      W("L_Location").Text("LocationCode", code).Text("StateCode", state);
      W("L_Location").Text("Description", text).Int("Standard", 0).Insert();
    };
    if (IsSource()) {
      location("CAMP1", "CA", "Spring Camp");
      location("CAMP2", "OR", "River Camp");
    } else {
      location("CAMP1", "CA", "Fairground Camp");
      location("CAMP1", "OR", "School Camp");
    }

    const char* freq_types[] = {"Command", "Tactical", "Air-to-Ground", "Logistics"};
    for (int i = 0; i < 4; ++i) {
      W("L_FreqType").Int("FreqTypeID", i + 1).Text("Description", freq_types[i]);
      W("L_FreqType").Int("Standard", 1).Insert();
    }
    if (IsSource()) {
      W("L_FreqType").Int("FreqTypeID", 10).Text("Description", "Local Fire Net");
      W("L_FreqType").Int("Standard", 0).Insert();
      // Neither standard nor user-added: takes part in no comparison.
      W("L_FreqType").Int("FreqTypeID", 9).Text("Description", "Unclassified").Insert();
    }
  }

  void KindRow(const std::string& code, const std::string& description, int category,
               int standard) {
    W("L_Kind").Text("KindCode", code).Text("Description", description);
    W("L_Kind").Int("CategoryCode", category).Int("Standard", standard).Insert();
  }

  void Templates() {
    for (int i = 0; i < 3; ++i) {
      W("203_Template").Int("TemplateID", NextKey("203_Template"));
      W("203_Template").Text("TemplateName", "Organization " + std::to_string(i + 1));
      W("203_Template").Text("PositionCode", positions_[static_cast<size_t>(i)]);
      W("203_Template").Int("Sequence", i + 1).Insert();
    }
    for (int i = 0; i < 2; ++i) {
      W("204_Template").Int("TemplateID", NextKey("204_Template"));
      W("204_Template").Text("TemplateName", i == 0 ? "Line Construction" : "Mop-up");
      W("204_Template").Text("WorkAssignment", "Hold the line; don't cross the road.").Insert();
    }
  }

  // ---- one incident and everything that belongs to it
  void Incident(int id) {
    // Database 2's incidents start in the reverse order of their keys, and its last one first
    // of all incidents of the pair: folding the incidents into one must take the earliest
    // start date, not the first row's or the last key's.
    const int start_day =
        role_ == SampleRole::kDestination ? 146 + (IncidentCount() - id + 1) * 9 : 150 + id * 9;
    {
      RowWriter& w = W("Incidents");
      char number[32];
      std::snprintf(number, sizeof number, "%s-%03d-%06d", id % 2 ? "ID" : "CA", 100 + id * 7 % 900,
                    1000 + id * 37);
      w.Int("IncidentID", id).Text("IncidentNumber", number);
      w.Text("IncidentName", kIncidentNames[static_cast<size_t>(id - 1) % kIncidentNames.size()]);
      w.Text("StartDate", DateText(start_day, 480 + id));
      if (id % 3 == 0) w.Text("EndDate", DateText(start_day + 20, 1020));
      w.Text("IncidentType", "Wildfire").Text("AgencyCode", kAgencies[id % 4]);
      if (IsSource() && id == 1) {
        w.Text("LocationCode", "CAMP1").Text("StateCode", "CA");  // a user code that collides
      } else {
        w.Text("LocationCode", id % 2 ? "BOISE" : "REDDING")
            .Text("StateCode", id % 2 ? "ID" : "CA");
      }
      w.Int("Complexity", 1 + id % 5).Real("Latitude", 40.0 + id * 0.25);
      w.Real("Longitude", -115.5 - id * 0.5);
      w.Text("AdminName", id == 1 ? "O'Hara Ranger District" : "Incident Business Office");
      w.Text("AdminAddr1", std::to_string(100 + id) + " Main Street");
      if (id % 2 == 0) w.Text("AdminAddr2", "Suite 2");
      w.Text("AdminCity", "Boise").Text("AdminState", "ID").Text("AdminZip", "83702");
      w.Int("Closed", id % 3 == 0 ? 1 : 0);
      if (id % 2) w.Text("Comments", "Crews staged at the fairground; water's short.");
      w.Insert();
    }
    if (has_offices_) {
      RowWriter& w = W("AdminOffice");
      w.Int("AdminOfficeID", NextKey("AdminOffice"))
          .Text("Name", "Office of incident " + std::to_string(id));
      w.Text("Addr1", std::to_string(100 + id) + " Main Street").Text("City", "Boise");
      w.Text("State", "ID").Text("Zip", "83702").Insert();
    }
    std::vector<long> accounts;
    for (int i = 0; i < 2; ++i) {
      long key = NextKey("AccountingCodes");
      accounts.push_back(key);
      RowWriter& w = W("AccountingCodes");
      w.Int("AccountingCodeID", key).Int("IncidentID", id);
      w.Text("AccountingCode", "P" + std::to_string(id) + "K" + std::to_string(400 + i));
      w.Text("Description", i == 0 ? "Suppression" : "Rehabilitation");
      w.Text("AgencyCode", IsSource() && i == 1 ? "VFD" : "USFS");
      w.Int("IncidentDefault", i == 0 ? 1 : 0).Text("StartDate", DateText(start_day, 480));
      w.Insert();
    }
    std::vector<long> shifts;
    for (int i = 0; i < 2; ++i) {
      long key = NextKey("Shift");
      shifts.push_back(key);
      RowWriter& w = W("Shift");
      w.Int("ShiftID", key).Int("IncidentID", id).Text("ShiftName", i == 0 ? "Day" : "Night");
      w.Text("StartDate", DateText(start_day + 1, i == 0 ? 360 : 1080));
      w.Text("EndDate", DateText(start_day + 1 + i, i == 0 ? 1080 : 360)).Insert();
    }
    std::vector<long> frequencies;
    for (int i = 0; i < 3; ++i) {
      long key = NextKey("MasterFrequency");
      frequencies.push_back(key);
      RowWriter& w = W("MasterFrequency");
      w.Int("ID", key).Int("IncidentID", id).Int("FreqTypeID", IsSource() && i == 2 ? 10 : i + 1);
      w.Text("Channel", "CMD " + std::to_string(i + 1));
      w.Text("RxFreq", std::to_string(168 + i) + ".0500").Text("TxFreq", "168.0500");
      if (i != 1) w.Text("RxTone", "110.9");
      w.Insert();
    }
    std::vector<long> contractors;
    for (int i = 0; i < 2; ++i) {
      long key = NextKey("Contractor");
      contractors.push_back(key);
      RowWriter& w = W("Contractor");
      w.Int("ContractorID", key).Int("IncidentID", id);
      w.Text("Name", i == 0 ? "O'Connell Trucking" : "Ridge Catering");
      w.Text("City", "Nampa").Text("State", "ID").Text("Zip", "83651");
      if (i == 0) w.Text("Phone", "208-555-0100");
      w.Text("TaxID", "82-" + std::to_string(1000000 + key)).Insert();
      RowWriter& a = W("Agreement");
      a.Int("AgreementID", NextKey("Agreement")).Int("ContractorID", key);
      if (has_offices_) a.Int("AdminOfficeID", id);
      a.Text("AgreementNumber", "EERA-" + std::to_string(id) + "-" + std::to_string(key));
      a.Text("StartDate", DateText(start_day, 480)).Real("DailyRate", 850.5 + i * 100);
      a.Insert();
    }

    // Resources with their persons, qualifications, postings and reports.
    std::vector<long> resources;
    std::vector<long> persons;
    for (long r = 0; r < resources_per_incident_; ++r) {
      long resource = Resource(id, start_day, accounts, contractors, r == 0, &persons);
      resources.push_back(resource);
    }
    Forms(id, start_day, shifts, frequencies, resources, persons);

    const long stats = std::max(1L, resources_per_incident_ / 40);
    for (long i = 0; i < stats; ++i) {
      RowWriter& p = W("Projection");
      p.Int("ProjectionID", NextKey("Projection")).Int("IncidentID", id);
      p.Text("KindCode", rng_.Pick(usable_kinds_))
          .Text("ProjectionDate", DateText(start_day + 2 + i % 30, 420));
      p.Int("Quantity", 1 + rng_.Below(20));
      if (i % 3 == 0) p.Text("Comments", "Order filled by O'Brien's crew");
      p.Insert();
      RowWriter& q = W("QuickStats");
      q.Int("QuickStatID", NextKey("QuickStats")).Int("IncidentID", id);
      q.Text("KindCode", rng_.Pick(usable_kinds_))
          .Text("StatDate", DateText(start_day + 1 + i % 30, 1200));
      q.Int("Assigned", rng_.Below(30)).Int("Available", rng_.Below(10));
      if (i % 4 != 3) q.Int("OutOfService", rng_.Below(3));
      q.Insert();
    }
  }

  std::string RequestNumber(long n) {
    const char* prefixes = "OECAS";
    char prefix = prefixes[n % 5];
    char text[64];
    if (!legacy_) {
      if (n % 3 == 0) {
        std::snprintf(text, sizeof text, "%c-%ld.%ld", prefix, n, n % 7 + 1);
      } else {
        std::snprintf(text, sizeof text, "%c-%ld", prefix, n);
      }
      return text;
    }
    // The notations in use before 4.13, and some already in the new one.
    switch (n % 7) {
      case 0:
        std::snprintf(text, sizeof text, "%c%ld.%03ld", prefix + 32, n, n % 9 + 1);
        break;
      case 1:
        std::snprintf(text, sizeof text, "%c-%03ld.%02ld", prefix, n % 1000, n % 11 + 1);
        break;
      case 2:
        std::snprintf(text, sizeof text, "%c-%ld", prefix, n);
        break;
      case 3:
        std::snprintf(text, sizeof text, "%ld.%ld", n, n % 5);
        break;
      case 4:
        std::snprintf(text, sizeof text, "%c-%04ld.%04ld", prefix, n % 10000, n % 13 + 1);
        break;
      case 5:
        std::snprintf(text, sizeof text, "%c%ld", prefix + 32, n);
        break;
      default:
        std::snprintf(text, sizeof text, "%c-%ld.%ld", prefix, n, n % 3 + 1);
        break;
    }
    return text;
  }

  long Resource(int incident, int start_day, const std::vector<long>& accounts,
                const std::vector<long>& contractors, bool first, std::vector<long>* persons) {
    const long resource = NextKey("Resources");
    const std::string request = RequestNumber(resource);
    std::string kind = rng_.Pick(usable_kinds_);
    if (legacy_ && resource % 5 == 0) {
      kind = kRetiredKinds[static_cast<size_t>(resource / 5) % kRetiredKinds.size()];
    }
    if (IsSource() && resource % 17 == 3) kind = "XK1";  // refers to a colliding user code
    {
      RowWriter& w = W("Resources");
      w.Int("ResourceID", resource).Int("IncidentID", incident).Text("RequestNumber", request);
      if (resource % 3 != 0) w.Text("OriginalOrderRequest", RequestNumber(resource + 3));
      w.Text("ResourceName", kind + " " + std::to_string(resource)).Text("KindCode", kind);
      w.Int("CategoryCode", IsSource() && resource % 23 == 4 ? 50 : 1 + resource % 8);
      w.Text("AgencyCode", IsSource() && resource % 19 == 5 ? "VFD" : kAgencies[resource % 9]);
      if (resource % 7 != 2) {
        w.Int("StatusCode",
              IsSource() && resource % 13 == 3 ? 100 + resource % 3 : 1 + resource % 6);
      }
      w.Int("AccountingCodeID", accounts[static_cast<size_t>(resource) % accounts.size()]);
      if (resource % 4 == 0) {
        w.Int("ContractorID", contractors[static_cast<size_t>(resource) % contractors.size()]);
      }
      const std::string mob = DateText(start_day + rng_.Below(10), rng_.Below(1440));
      w.Text("RRDate", mob).Text("MobDate", mob).Text("CheckInDate", mob);
      if (resource % 6 == 0) w.Text("DemobDate", DateText(start_day + 14, 600));
      w.Int("Quantity", 1 + resource % 4);
      if (resource % 5 != 1) w.Real("DailyCost", 1200.25 + static_cast<double>(resource % 50));
      w.Insert();
    }
    // Persons of the resource; the first one leads. Every qualification of a resource gets
    // a kind code of its own, so the only repeats per resource are the planned ones.
    // The first crew of the database has three persons: the planned repeats of
    // qualifications use persons 1 and 2 of resource 1.
    const int crew = resource == 1 ? 3 : 1 + rng_.Below(4);
    const size_t kind_base = static_cast<size_t>(rng_.Below(static_cast<int>(qual_kinds_.size())));
    size_t qual_index = 0;
    long leader = 0;
    for (int i = 0; i < crew; ++i) {
      const long person = NextKey("Persons");
      persons->push_back(person);
      if (i == 0) leader = person;
      RowWriter& w = W("Persons");
      w.Int("PersonID", person).Int("IncidentID", incident).Int("ResourceID", resource);
      if (i > 0) {
        w.Int("LeaderID", leader);
      } else if (person % 3 == 0) {
        w.Int("LeaderID", 0);
      }
      w.Int("Leader", i == 0 ? 1 : 0).Text("RequestNumber", request);
      w.Text("LastName", rng_.Pick(kLastNames)).Text("FirstName", rng_.Pick(kFirstNames));
      if (person % 4 == 0) w.Text("MiddleInitial", "Q");
      w.Text("KindCode", i == 0 ? kind : "FFT2");
      w.Text("PositionCode", IsSource() && person % 29 == 7 ? "POS1" : rng_.Pick(positions_));
      w.Text("AgencyCode", kAgencies[person % 9]).Text("HomeUnit", "IDBOF");
      if (person % 2 == 0) w.Text("Phone", "208-555-" + std::to_string(1000 + person % 9000));
      if (person % 5 == 0) w.Text("Email", "crew" + std::to_string(person) + "@example.org");
      w.Text("Gender", person % 2 ? "F" : "M");
      if (person % 7 != 0) w.Int("Weight", 140 + person % 80);
      w.Text("CheckInDate", DateText(start_day + 1, 420));
      w.Insert();

      const int quals = 1 + (rng_.Chance(40) ? 1 : 0);
      for (int q = 0; q < quals && qual_index < qual_kinds_.size(); ++q, ++qual_index) {
        Qual(person, qual_kinds_[(kind_base + qual_index) % qual_kinds_.size()], resource,
             rng_.Chance(15) ? 1 : 0);
      }
      // Each incident has at least one posting and one report, whatever the scale.
      if (rng_.Chance(50) || (first && i == 0)) {
        RowWriter& p = W("PersonsPost");
        p.Int("PersonsPostID", NextKey("PersonsPost")).Int("PersonID", person);
        p.Int("IncidentID", incident).Int("ResourceID", resource).Int("ShiftID", 0);
        p.Text("KindCode", i == 0 ? kind : "FFT2").Text("PositionCode", rng_.Pick(positions_));
        p.Text("PostDate", DateText(start_day + 2, 1140)).Real("Hours", 12.5).Insert();
      }
    }
    if (rng_.Chance(30) || first) {
      RowWriter& w = W("ReportRecords");
      w.Int("ReportRecordID", NextKey("ReportRecords")).Int("IncidentID", incident);
      w.Int("ResourceID", resource).Text("KindCode", kind).Text("ReportName", "ICS-211");
      w.Text("ReportDate", DateText(start_day + 3, 600)).Int("Printed", resource % 2).Insert();
    }
    return resource;
  }

  // trainee: 1, 0, or -1 for NULL. Before 4.13 the flag was 'T' or 'F'.
  void Qual(long person, const std::string& kind, long resource, int trainee) {
    RowWriter& w = W("Quals");
    if (person > 0) w.Int("PersonID", person);
    w.Text("KindCode", kind).Int("ResourceID", resource);
    if (trainee >= 0) {
      if (legacy_) {
        w.Text("Trainee", trainee ? "T" : "F");
      } else {
        w.Int("Trainee", trainee);
      }
    }
    w.Insert();
  }

  // One qualification of each retired kind code, on the first resource: a database of any size
  // holds every code the post-merge conversion must replace (the resources hold some only at
  // larger sizes). Each code once, so the de-duplication leaves them alone.
  void RetiredKindQuals() {
    for (const std::string& kind : kRetiredKinds) Qual(1, kind, 1, 0);
  }

  // Repeats of kind codes per resource that the de-duplication must collapse, on the first
  // resources of the first incident, whose keys are small.
  void PlannedQualDuplicates() {
    const long r1 = 1;
    const long r2 = 2;
    const long p1 = 1;
    const long p2 = 2;
    for (int i = 0; i < 3; ++i) Qual(p1, kDupKinds[0], r1, 0);  // identical three times
    Qual(p2, kDupKinds[1], r1, 0);                              // differ only in Trainee
    Qual(p2, kDupKinds[1], r1, 1);
    Qual(0, kDupKinds[2], r1, 1);  // no person, twice, beside a person's row
    Qual(0, kDupKinds[2], r1, 1);
    Qual(p1, kDupKinds[2], r1, 1);
    Qual(p2, kDupKinds[3], r2, -1);  // a NULL trainee flag beside a 0
    Qual(p2, kDupKinds[3], r2, 0);
  }

  void Forms(int incident, int start_day, const std::vector<long>& shifts,
             const std::vector<long>& frequencies, const std::vector<long>& resources,
             const std::vector<long>& persons) {
    auto header = [&](const char* table, long shift) -> long {
      long form = NextKey(table);
      RowWriter& w = W(table);
      w.Int("FormID", form).Int("IncidentID", incident).Int("ShiftID", shift);
      w.Text("PreparedBy", rng_.Pick(kLastNames));
      w.Text("PreparedDate", DateText(start_day + 1, 300));
      return form;
    };
    for (long shift : shifts) {
      header("ICS202", shift);
      W("ICS202").Text("Objectives", "Keep the fire north of O'Brien Road.");
      W("ICS202").Int("WeatherAttached", shift % 2).Insert();

      long f203 = header("ICS203", shift);
      W("ICS203").Insert();
      for (int i = 0; i < 3; ++i) {
        RowWriter& w = W("203_Assignments");
        long person = persons[static_cast<size_t>(i) % persons.size()];
        w.Int("ID", NextKey("203_Assignments")).Int("FormID", f203);
        w.Text("PositionCode", positions_[static_cast<size_t>(i + 5)]).Int("PersonID", person);
        w.Text("Name", rng_.Pick(kLastNames)).Text("AgencyCode", kAgencies[i]).Insert();
      }

      long f204 = header("ICS204", shift);
      W("ICS204").Text("Division",
                       "Division " + std::string(1, static_cast<char>('A' + shift % 26)));
      W("ICS204").Text("WorkAssignment", "Construct and hold line").Insert();
      for (int i = 0; i < 2; ++i) {
        W("204_Com").Int("ID", NextKey("204_Com")).Int("FormID", f204);
        W("204_Com").Text("FunctionName", i == 0 ? "Command" : "Tactical");
        W("204_Com").Int("FrequencyID", frequencies[static_cast<size_t>(i)]);
        W("204_Com").Text("System", "King").Text("Channel", std::to_string(i + 1)).Insert();
        long resource = resources[static_cast<size_t>(i) % resources.size()];
        W("204_Resources").Int("ResourcesID", NextKey("204_Resources")).Int("FormID", f204);
        W("204_Resources").Int("ResourceID", resource).Text("LeaderName", rng_.Pick(kLastNames));
        W("204_Resources").Int("NumberPersons", 2 + i).Int("Transport", i).Insert();
      }

      long f205 = header("ICS205", shift);
      W("ICS205").Insert();
      for (int i = 0; i < 2; ++i) {
        RowWriter& w = W("205_Channels");
        w.Int("ID", NextKey("205_Channels")).Int("FormID", f205);
        w.Int("FrequencyID", frequencies[static_cast<size_t>(i + 1)]);
        w.Int("FreqTypeID", IsSource() && i == 1 ? 10 : i + 1);
        w.Text("Assignment", i == 0 ? "Division A" : "Air Ops");
        if (i == 0) w.Text("Remarks", "Repeater on Miller's Peak");
        w.Insert();
      }

      long f206 = header("ICS206", shift);
      W("ICS206").Text("ProceduresText", "Call dispatch, then the medical unit.").Insert();
      W("206_Medical").Int("ID", NextKey("206_Medical")).Int("FormID", f206);
      W("206_Medical").Text("FacilityName", "St. Luke's").Text("Address", "190 E Bannock St");
      W("206_Medical").Text("Phone", "208-555-0199").Int("Paramedics", 1).Int("Helipad", 1);
      W("206_Medical").Insert();

      long f220 = header("ICS220", shift);
      W("ICS220").Text("Sunrise", "06:12").Text("Sunset", "20:47").Insert();
      long resource = resources.back();
      W("220_Helicopters").Int("HelicoptersID", NextKey("220_Helicopters")).Int("FormID", f220);
      W("220_Helicopters")
          .Int("ResourceID", resource)
          .Text("FaaNumber", "N" + std::to_string(100 + resource % 900));
      W("220_Helicopters").Text("Location", "Helibase H-1").Insert();
      W("220_PersFreq").Int("PersFreqID", NextKey("220_PersFreq")).Int("FormID", f220);
      W("220_PersFreq").Int("PersonID", persons.front()).Text("Position", "Air Ops Director");
      W("220_PersFreq").Int("FrequencyID", frequencies.back()).Insert();
      W("220_Task").Int("TaskID", NextKey("220_Task")).Int("FormID", f220);
      W("220_Task").Text("TaskName", "Bucket work").Int("ResourceID", resource);
      W("220_Task").Text("StartTime", DateText(start_day + 1, 540)).Insert();
    }
  }

  Database& db_;
  SampleRole role_;
  SchemaVersion version_;
  bool legacy_;
  long rows_;
  Rng rng_;
  std::vector<TableInfo> tables_;
  std::vector<std::vector<TableInfo>> all_versions_;
  bool has_offices_;
  long resources_per_incident_ = 2;
  std::map<std::string, std::unique_ptr<RowWriter>> writers_;
  std::map<std::string, long> keys_;
  std::vector<std::string> usable_kinds_;
  std::vector<std::string> qual_kinds_;
  std::vector<std::string> positions_;
};

void WriteIni(const std::string& path, const std::string& name, SchemaVersion version) {
  std::ofstream out(path, std::ios::binary);
  out << "; Suite settings of the database " << name << "\r\n"
      << "[Database]\r\n"
      << "Name=" << name << "\r\n"
      << "DataFile=" << name << ".mdf\r\n"
      << "Version=" << VersionText(version) << "\r\n"
      << "[Incident]\r\n"
      << "DefaultIncidentID=1\r\n"
      << "PrintHeader=Interagency Dispatch\r\n";
  if (!out) throw std::runtime_error("Cannot write " + path);
}

const char* RoleText(SampleRole role) {
  switch (role) {
    case SampleRole::kSource:
      return "Database 1 of the merge";
    case SampleRole::kDestination:
      return "Database 2 of the merge";
    case SampleRole::kSplit:
      return "database to split";
  }
  return "";
}

}  // namespace

std::string SampleFileName(SampleRole role) {
  switch (role) {
    case SampleRole::kSource:
      return "Fire1.mdf";
    case SampleRole::kDestination:
      return "Fire2.mdf";
    case SampleRole::kSplit:
      return "Split1.mdf";
  }
  return "";
}

SampleFile GenerateSampleDatabase(const std::string& path, SampleRole role, SchemaVersion version,
                                  long rows, uint64_t seed, SchemaVersion pair_version) {
  std::error_code ec;
  if (fs::exists(path, ec)) {
    throw std::runtime_error("A file already exists at " + path + "; it was left untouched.");
  }
  SampleFile file;
  file.path = path;
  file.role = role;
  file.version = version;
  {
    Database db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // A fresh file that nobody else sees yet: no journal is needed until it is complete.
    db.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;");
    db.Exec("BEGIN");
    db.Exec(EmbeddedCreateTablesSql(version));
    Generator generator(db, role, version, rows, seed, pair_version);
    generator.Run();
    file.incidents = generator.IncidentCount();
    db.Exec(EmbeddedIndexesSql(version));
    db.Exec(EmbeddedSystemRowsSql(version));
    // The counters start where the generated keys end, as in a database in use.
    db.Exec(SyncNextNumberBody(version));
    db.Exec("COMMIT");
    db.Exec("PRAGMA journal_mode = DELETE;");
    for (const TableInfo& t : SchemaTables(version)) {
      long count = static_cast<long>(db.QueryInt("SELECT COUNT(*) FROM [" + t.name + "]"));
      file.tables.push_back({t.name, count});
      file.total_rows += count;
    }
  }
  file.file_bytes = static_cast<long long>(fs::file_size(path, ec));
  return file;
}

std::vector<std::string> SampleOverlaps(SchemaVersion source_version) {
  std::vector<std::string> lines = {
      "L_Kind: standard ENG3 differs in Description, DOZR in CategoryCode",
      "L_Agency: standard USFS differs only in letter case; NPS is NULL in Fire1 (no "
      "difference)",
      "L_Status: standard 3 differs in Description, 4 in Available",
      "L_Position: standard DIVS differs in Section",
      "L_Location: standard RENO/NV differs in Description",
      "L_Status: non-standard codes 100, 101, 102 in both databases (numeric recoding; "
      "Resources refer to them)",
      "L_Category: non-standard code 50 in both databases (numeric recoding; L_Kind and "
      "Resources refer to it)",
      "L_Kind: non-standard code XK1 in both databases (text recoding; Resources refer to it)",
      "L_Agency: non-standard code VFD in both databases (text recoding)",
      "L_Location: non-standard code CAMP1/CA in both databases (two code fields; Incident 1 "
      "refers to it)",
      "L_FreqType: non-standard 10 in Fire1 only; 9 with a NULL Standard",
      "Quals (Fire1): ENG1 three identical rows; ENG3 rows differing only in Trainee; ENG6 "
      "twice without PersonID beside person 1's row; CRW1 with a NULL Trainee beside 0",
      "Names with single quotes: O'Brien, D'Amico, O'Neil, O'Connell Trucking, O'Brien Ridge",
      "Keys of both databases start at 1, so every core table needs renumbering",
      "Every incident has rows in every child table (accounting codes, shifts, frequencies, "
      "contractors, agreements, resources, persons, postings, quals, reports, projections, "
      "statistics and all forms)",
  };
  if (IsLegacy(source_version)) {
    lines.push_back("Fire1 is " + VersionText(source_version) +
                    ": identity keys on the form tables, Resources.RRDate, Quals.Trainee as "
                    "'T'/'F', no Persons.Leader, no Agreement.AdminOfficeID");
    lines.push_back("Fire1 request numbers in the old notations (o12.003, E-001.02, s7, 12.3)");
    lines.push_back(
        "Fire1 uses retired kind codes (AAGS, CARP, HEM1 ...); ATGS, AOBS, THSP are "
        "user codes in Fire1 and standard in Fire2");
    lines.push_back("Fire2 has no admin offices, so the post-merge conversion makes them");
  }
  return lines;
}

SampleSummary GenerateSampleSet(const SampleOptions& options) {
  if (options.out_dir.empty()) throw std::runtime_error("No output folder given.");
  if (options.rows < 0) throw std::runtime_error("The number of rows cannot be negative.");
  std::error_code ec;
  fs::create_directories(options.out_dir, ec);
  if (!fs::is_directory(options.out_dir, ec)) {
    throw std::runtime_error("Cannot make the folder " + options.out_dir);
  }
  const fs::path dir(options.out_dir);
  const std::string files[] = {"Fire1.mdf", "Fire1.ini", "Fire2.mdf", "Split1.mdf", "Split1.ini"};
  for (const std::string& name : files) {
    if (fs::exists(dir / name, ec)) {
      throw std::runtime_error("A file already exists at " + (dir / name).string() +
                               "; nothing was written. Choose an empty folder.");
    }
  }
  SampleSummary summary;
  const SchemaVersion v = options.version;
  // An interrupted set leaves none of its files: a half-written one would look like a sample.
  const auto stop_point = [&] {
    if (options.stop == nullptr || *options.stop == 0) return;
    for (const std::string& name : files) fs::remove(dir / name, ec);
    throw std::runtime_error("Interrupted; no sample database was left in " + options.out_dir +
                             ".");
  };
  try {
    stop_point();
    summary.files.push_back(GenerateSampleDatabase(
        (dir / "Fire1.mdf").string(), SampleRole::kSource, v, options.rows, options.seed, v));
    WriteIni((dir / "Fire1.ini").string(), "Fire1", v);
    summary.files.back().ini_path = (dir / "Fire1.ini").string();
    stop_point();
    summary.files.push_back(
        GenerateSampleDatabase((dir / "Fire2.mdf").string(), SampleRole::kDestination,
                               SchemaVersion::k5_01_00, options.rows, options.seed, v));
    stop_point();
    summary.files.push_back(GenerateSampleDatabase(
        (dir / "Split1.mdf").string(), SampleRole::kSplit, v, options.rows, options.seed, v));
    WriteIni((dir / "Split1.ini").string(), "Split1", v);
    summary.files.back().ini_path = (dir / "Split1.ini").string();
    stop_point();
  } catch (...) {
    if (options.stop != nullptr && *options.stop != 0) {
      for (const std::string& name : files) fs::remove(dir / name, ec);
    }
    throw;
  }
  summary.overlaps = SampleOverlaps(v);
  return summary;
}

std::string SampleSummary::Text() const {
  std::string text;
  char line[512];
  for (const SampleFile& f : files) {
    std::snprintf(line, sizeof line, "%s  (%s, version %s, %d incidents, %ld rows, %lld bytes)\n",
                  f.path.c_str(), RoleText(f.role), VersionText(f.version).c_str(), f.incidents,
                  f.total_rows, f.file_bytes);
    text += line;
    if (!f.ini_path.empty()) text += "  with " + f.ini_path + "\n";
    for (const TableCount& t : f.tables) {
      std::snprintf(line, sizeof line, "    %-18s %9ld\n", t.table.c_str(), t.rows);
      text += line;
    }
  }
  if (!overlaps.empty()) text += "Cases the merge pair holds:\n";
  for (const std::string& o : overlaps) text += "  - " + o + "\n";
  return text;
}

}  // namespace msu::suite
