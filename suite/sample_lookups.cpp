#include "suite/sample_lookups.h"

#include <algorithm>

#include "suite/sample_lookup_data.h"

namespace msu::suite::sample {
namespace {

// Writes the lookup rows of one database and gathers on the way the codes its other tables
// may use.
class LookupWriter {
 public:
  LookupWriter(TableWriters& writers, SampleRole role, bool legacy)
      : writers_(writers), role_(role), legacy_(legacy) {}

  LookupCodes Run() {
    auto category = [&](int code, const char* text, int standard) {
      W("L_Category").Int("CategoryCode", code).Text("Description", text).Int("Standard", standard);
      W("L_Category").Insert();
    };
    for (size_t i = 0; i < kCategoryNames.size(); ++i) {
      category(static_cast<int>(i) + 1, kCategoryNames[i].c_str(), 1);
    }
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

    for (size_t i = 0; i < kAgencies.size(); ++i) {
      RowWriter& w = W("L_Agency");
      w.Text("AgencyCode", kAgencies[i]).Int("Federal", i < 5 ? 1 : 0).Int("Standard", 1);
      if (kAgencies[i] == "USFS" && IsSource()) {
        w.Text("AgencyName", "FOREST SERVICE");  // differs from the destination in case only
      } else if (kAgencies[i] == "NPS" && IsSource()) {
        w.Null("AgencyName");  // NULL against a value: not a difference
      } else {
        w.Text("AgencyName", kAgencyNames[i]);
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

    for (const StatusRow& s : kStandardStatuses) {
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

    for (const LocationRow& l : kStandardLocations) {
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

    for (size_t i = 0; i < kFreqTypeNames.size(); ++i) {
      W("L_FreqType")
          .Int("FreqTypeID", static_cast<int>(i) + 1)
          .Text("Description", kFreqTypeNames[i]);
      W("L_FreqType").Int("Standard", 1).Insert();
    }
    if (IsSource()) {
      W("L_FreqType").Int("FreqTypeID", 10).Text("Description", "Local Fire Net");
      W("L_FreqType").Int("Standard", 0).Insert();
      // Neither standard nor user-added: takes part in no comparison.
      W("L_FreqType").Int("FreqTypeID", 9).Text("Description", "Unclassified").Insert();
    }
    return {usable_kinds_, qual_kinds_, positions_};
  }

 private:
  RowWriter& W(const std::string& table) { return writers_.Table(table); }

  bool IsSource() const { return role_ == SampleRole::kSource || role_ == SampleRole::kSplit; }
  bool IsDestination() const { return role_ == SampleRole::kDestination; }

  void KindRow(const std::string& code, const std::string& description, int category,
               int standard) {
    W("L_Kind").Text("KindCode", code).Text("Description", description);
    W("L_Kind").Int("CategoryCode", category).Int("Standard", standard).Insert();
  }

  TableWriters& writers_;
  SampleRole role_;
  bool legacy_;
  std::vector<std::string> usable_kinds_;
  std::vector<std::string> qual_kinds_;
  std::vector<std::string> positions_;
};

}  // namespace

LookupCodes WriteLookups(TableWriters& writers, SampleRole role, bool legacy) {
  return LookupWriter(writers, role, legacy).Run();
}

}  // namespace msu::suite::sample
