// Sample suite databases for trying and testing the utility: a merge pair whose lookup tables,
// qualifications and request numbers hold every case the check, the merge and the
// conversions must handle, and a database of several incidents for the split. The files are
// written directly as SQLite files of the embedded server; the same seed always gives the
// same content, at any size from a handful of rows to millions.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "suite/schema.h"

namespace msu::suite {

enum class SampleRole {
  kSource,       // Database 1 of a merge ("Fire1")
  kDestination,  // Database 2 of a merge ("Fire2"), always 5.01.00
  kSplit,        // a database of several incidents ("Split1")
};

struct SampleOptions {
  std::string out_dir;
  // Rows of each database, approximately (lookup and form rows included). Small values give
  // the fixed cases plus a few rows per incident.
  long rows = 2000;
  uint64_t seed = 1;
  // Version of the source and the split database; the destination is always 5.01.00.
  SchemaVersion version = SchemaVersion::k5_01_00;
  // Set by an interrupt (may be null): the set stops before its next database, removes the
  // files it wrote and throws.
  const volatile std::sig_atomic_t* stop = nullptr;
};

struct TableCount {
  std::string table;
  long rows = 0;
};

struct SampleFile {
  std::string path;
  std::string ini_path;  // empty when the database has no ini file beside it
  SampleRole role = SampleRole::kSource;
  SchemaVersion version = SchemaVersion::k5_01_00;
  int incidents = 0;
  std::vector<TableCount> tables;  // in creation order, empty tables included
  long total_rows = 0;
  long long file_bytes = 0;
};

struct SampleSummary {
  std::vector<SampleFile> files;
  // One line per case the pair holds on purpose, e.g. "L_Status: non-standard codes 100,
  // 101, 102 in both databases (numeric recoding)".
  std::vector<std::string> overlaps;
  // The whole summary as lines for a terminal.
  std::string Text() const;
};

// Writes Fire1.mdf with Fire1.ini (the source), Fire2.mdf (the destination, without an ini
// file) and Split1.mdf with Split1.ini into `options.out_dir` (created when missing).
// Throws std::runtime_error with a clear message, before writing anything, when one of the
// five files exists already or the folder cannot be made; nothing is ever overwritten.
SampleSummary GenerateSampleSet(const SampleOptions& options);

// Writes one database at `path` (which must not exist). `pair_version` is the version of the
// source of the pair the database belongs to: a destination for a source older than 4.13
// keeps its admin offices empty, so that the post-merge conversion has them to make.
SampleFile GenerateSampleDatabase(const std::string& path, SampleRole role, SchemaVersion version,
                                  long rows, uint64_t seed,
                                  SchemaVersion pair_version = SchemaVersion::k5_01_00);

// The cases a pair of this source version holds, as listed in SampleSummary::overlaps.
std::vector<std::string> SampleOverlaps(SchemaVersion source_version);

// "Fire1.mdf" for the source and so on.
std::string SampleFileName(SampleRole role);

}  // namespace msu::suite
