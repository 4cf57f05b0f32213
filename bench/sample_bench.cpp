// Writes a sample merge pair of about 1,000,000 rows in all and prints rows, seconds and file
// sizes per database. Usage: sample_bench [ROWS_PER_DATABASE] [FOLDER]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "suite/sample_generator.h"

int main(int argc, char** argv) try {
  namespace fs = std::filesystem;
  using msu::suite::SampleRole;
  using msu::suite::SchemaVersion;
  const long rows = argc > 1 ? std::atol(argv[1]) : 500000;
  // Files in a folder the caller names are the caller's: they are neither replaced nor
  // removed (the generator refuses to overwrite). The scratch folder is ours.
  const bool scratch = argc <= 2;
  const fs::path dir = scratch ? fs::temp_directory_path() / "msu_sample_bench" : argv[2];
  std::error_code ec;
  if (scratch) fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);

  long total_rows = 0;
  long long total_bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (SampleRole role : {SampleRole::kSource, SampleRole::kDestination}) {
    const auto t0 = std::chrono::steady_clock::now();
    msu::suite::SampleFile file = msu::suite::GenerateSampleDatabase(
        (dir / msu::suite::SampleFileName(role)).string(), role, SchemaVersion::k5_01_00, rows, 1);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%-40s %9ld rows  %6.2f s  %8.1f MB  %9.0f rows/s\n", file.path.c_str(),
                file.total_rows, seconds, static_cast<double>(file.file_bytes) / 1e6,
                static_cast<double>(file.total_rows) / seconds);
    total_rows += file.total_rows;
    total_bytes += file.file_bytes;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-40s %9ld rows  %6.2f s  %8.1f MB\n", "pair", total_rows, seconds,
              static_cast<double>(total_bytes) / 1e6);
  if (scratch) fs::remove_all(dir, ec);
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "sample_bench: %s\n", e.what());
  return 1;
}
