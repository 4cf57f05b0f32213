#include "suite/sample_lookup_data.h"

namespace msu::suite::sample {

const std::vector<std::string> kCommonKinds = {
    "ENG1", "ENG3", "ENG6", "CRW1", "CRW2", "DOZR", "WT",   "TNDR", "FFT1", "FFT2",
    "CRWB", "ENGB", "DIVS", "ICT3", "HEL1", "HEL2", "HEL3", "AT",   "SEAT"};
const std::vector<std::string> kNewKinds = {
    "ATGS", "AOBS", "BAEL", "BAES", "THSP", "COCO", "SV",   "DZIA", "FLEC", "FALT", "HCI1",
    "HCS4", "HECM", "HELU", "HCWN", "HERS", "IRFS", "INDI", "IRF",  "IRCR", "LODG", "PACK",
    "AUTO", "SFPS", "SUV",  "TOOL", "TPIA", "TRAN", "VNTR", "TPOP", "WHMG", "WHHR"};
const std::vector<std::string> kRetiredKinds = {
    "AAGS", "AERO", "BURL", "BURS", "CARP", "CCOO", "CVH",  "DOZI", "FLET", "FLRS", "HCIN",
    "HCSN", "HECP", "HEL4", "HEM1", "HEM2", "HEM3", "HEMC", "HEMG", "HRCK", "INFS", "INHD",
    "IR",   "IRRC", "MOT",  "PCK1", "OTHR", "RXCM", "RXHS", "RXW1", "RXW2", "SED",  "STPS",
    "SUB",  "TESP", "TPLI", "TR",   "TRAI", "TRPS", "WHFL", "WHSE"};
const std::vector<std::string> kLateStandardKinds = {"ATGS", "AOBS", "THSP"};
const std::vector<std::string> kDupKinds = {"ENG1", "ENG3", "ENG6", "CRW1"};

const std::vector<std::string> kCategoryNames = {
    "Aircraft", "Crews", "Engines", "Equipment", "Overhead", "Supplies", "Dozers", "Water Tenders"};
const std::vector<std::string> kAgencies = {"USFS", "BLM",  "NPS",  "FWS", "BIA",
                                            "ST",   "CNTY", "CITY", "PRIV"};
const std::vector<std::string> kAgencyNames = {"Forest Service",
                                               "Bureau of Land Management",
                                               "Park Service",
                                               "Fish and Wildlife Service",
                                               "Bureau of Indian Affairs",
                                               "State",
                                               "County",
                                               "City",
                                               "Private"};

const std::vector<StatusRow> kStandardStatuses = {{1, "Available", 1},      {2, "Assigned", 0},
                                                  {3, "Out of Service", 0}, {4, "Demobilized", 0},
                                                  {5, "Released", 0},       {6, "Pending", 0}};

const std::vector<std::string> kCommonPositions = {"ICT1", "ICT2", "ICT3", "ICT4", "ICT5",
                                                   "OSC1", "PSC1", "LSC1", "FSC1", "DIVS",
                                                   "CRWB", "ENGB", "FFT1", "FFT2", "DOZB"};

const std::vector<LocationRow> kStandardLocations = {{"BOISE", "ID", "Boise Interagency Center"},
                                                     {"RENO", "NV", "Reno Dispatch"},
                                                     {"MISSOULA", "MT", "Missoula Base"},
                                                     {"REDDING", "CA", "Redding Air Base"},
                                                     {"BEND", "OR", "Bend Dispatch"}};

const std::vector<std::string> kFreqTypeNames = {"Command", "Tactical", "Air-to-Ground",
                                                 "Logistics"};

const std::vector<std::string> kFirstNames = {"Mary", "James", "Ana",   "Liam",  "Grace",
                                              "Noah", "Rosa",  "Ethan", "Chloe", "Sam"};
const std::vector<std::string> kLastNames = {"O'Brien", "Smith",  "D'Amico", "Nguyen",
                                             "Garcia",  "O'Neil", "Johnson", "Whitehorse",
                                             "Larsen",  "McKay",  "Okafor",  "Brown"};
const std::vector<std::string> kIncidentNames = {"O'Brien Ridge", "Cedar Creek", "Bear Gulch",
                                                 "Pine Flat",     "Dry Lake",    "Miller's Peak",
                                                 "Red Butte",     "Silver Fork"};

}  // namespace msu::suite::sample
