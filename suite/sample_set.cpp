// The set of sample databases (declared in suite/sample_generator.h): the three databases of a
// set with their ini files, the cases the merge pair holds, and the summary printed of them.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "suite/sample_generator.h"
#include "suite/sample_lookups.h"

namespace msu::suite {
namespace {

namespace fs = std::filesystem;
using sample::IsLegacy;

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
