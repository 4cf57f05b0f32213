#include "convert/kind_codes.h"

namespace msu::convert {

namespace {

// "Kindcode = 'A' or Kindcode = 'B'": the test of a replacement's old codes.
std::string OldCodeTest(const KindCodeChange& change) {
  std::string test;
  for (const std::string& old_code : change.old_codes) {
    test += (test.empty() ? "" : " or ") + std::string("Kindcode = '") + old_code + "'";
  }
  return test;
}

}  // namespace

const std::vector<KindCodeChange>& KindCodeChanges() {
  static const std::vector<KindCodeChange> changes = {
      {"ATGS", {"AAGS"}},
      {"AOBS", {"AERO"}},
      {"BAEL", {"BURL"}},
      {"BAES", {"BURS"}},
      {"THSP", {"CARP"}},
      {"COCO", {"CCOO"}},
      {"SV", {"CVH"}},
      {"DZIA", {"DOZI"}},
      {"FLEC", {"FLET"}},
      {"FALT", {"FLRS"}},
      {"HCI1", {"HCIN"}},
      {"HCS4", {"HCSN"}},
      {"HECM", {"HECP"}},
      {"HELU", {"HEL4"}},
      {"HCWN", {"HEM1", "HEM2", "HEM3", "HEMC", "HEMG"}},
      {"HERS", {"HRCK"}},
      {"IRFS", {"INFS"}},
      {"INDI", {"INHD"}},
      {"IRF", {"IR"}},
      {"IRCR", {"IRRC"}},
      {"LODG", {"MOT"}},
      {"PACK", {"PCK1"}},
      {"THSP", {"OTHR", "RXCM", "RXHS", "RXW1", "RXW2"}},
      {"AUTO", {"SED"}},
      {"SFPS", {"STPS"}},
      {"SUV", {"SUB"}},
      {"TOOL", {"TESP"}},
      {"TPIA", {"TPLI"}},
      {"TRAN", {"TR"}},
      {"VNTR", {"TRAI"}},
      {"TPOP", {"TRPS"}},
      {"WHMG", {"WHFL"}},
      {"WHHR", {"WHSE"}},
  };
  return changes;
}

std::string KindCodeStatement(std::string_view table, const KindCodeChange& change) {
  return "UPDATE " + std::string(table) + " SET KindCode = '" + change.new_code + "' WHERE " +
         OldCodeTest(change);
}

std::string KindCodesStatement(std::string_view table) {
  std::string cases;
  std::string old_codes;
  for (const KindCodeChange& change : KindCodeChanges()) {
    cases += " WHEN " + OldCodeTest(change) + " THEN '" + change.new_code + "'";
    for (const std::string& old_code : change.old_codes) {
      old_codes += (old_codes.empty() ? "'" : ", '") + old_code + "'";
    }
  }
  // IN compares as "=" does, and finds a code among the 41 quicker than 41 tests in a row.
  return "UPDATE " + std::string(table) + " SET KindCode = CASE" + cases +
         " END WHERE Kindcode IN (" + old_codes + ")";
}

}  // namespace msu::convert
