#include "suite/sample_generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "data/sqlite/sqlite_handles.h"
#include "suite/sample_lookup_data.h"
#include "suite/sample_lookups.h"
#include "suite/sample_rows.h"

namespace msu::suite {
namespace {

namespace fs = std::filesystem;
using sample::DateText;
using sample::IsLegacy;
using sample::kAgencies;
using sample::kDupKinds;
using sample::kFirstNames;
using sample::kIncidentNames;
using sample::kLastNames;
using sample::kRetiredKinds;
using sample::Rng;
using sample::RowWriter;
using sqlite::Database;

// Writes the rows of one database: its lookup tables, the form templates, and its incidents
// with everything that belongs to them.
class Generator {
 public:
  Generator(Database& db, SampleRole role, SchemaVersion version, long rows, uint64_t seed,
            SchemaVersion pair_version)
      : writers_(db, version),
        role_(role),
        legacy_(IsLegacy(version)),
        rows_(rows),
        rng_(seed * 0x100000001B3ULL + static_cast<uint64_t>(role) * 7919 + 17),
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
  RowWriter& W(const std::string& table) { return writers_.Table(table); }
  long NextKey(const std::string& table) { return writers_.NextKey(table); }

  bool IsSource() const { return role_ == SampleRole::kSource || role_ == SampleRole::kSplit; }

  void Lookups() {
    sample::LookupCodes codes = sample::WriteLookups(writers_, role_, legacy_);
    usable_kinds_ = std::move(codes.kinds);
    qual_kinds_ = std::move(codes.qual_kinds);
    positions_ = std::move(codes.positions);
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

  sample::TableWriters writers_;
  SampleRole role_;
  bool legacy_;
  long rows_;
  Rng rng_;
  bool has_offices_;
  long resources_per_incident_ = 2;
  std::vector<std::string> usable_kinds_;
  std::vector<std::string> qual_kinds_;
  std::vector<std::string> positions_;
};

}  // namespace

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

}  // namespace msu::suite
