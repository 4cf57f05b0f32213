// Speed of a whole split against a floor of the same work, on a generated sample database.
//
// For each size (rows of the database, default 1,000,000) the sample database of several
// incidents is written (not timed), every second incident is kept, and then, each in a process
// of its own so that its peak memory is its own:
//   split: the split as msu split runs it on an embedded instance (working copy and list,
//          removal of the other incidents, final copy, verification), once with the set-based
//          removal and once removing the incidents one by one;
//   floor: the file copied, one DELETE per table for the rows of the removed incidents in one
//          transaction, and the result synced, with nothing but SQLite.
// The floor's result must equal the split's, table by table. Prints seconds, peak memory, the
// ratio split/floor, microseconds per row and where the split's time went. With
// ORVANE_BENCH_RUNS=N each side runs N times and its fastest run counts.
//
//   split_bench [ROWS ...]
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "data/machine_servers.h"
#include "page_rules/login_check.h"
#include "split/split_sequence.h"
#include "suite/incident_delete_rules.h"
#include "suite/sample_generator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using namespace msu::bench;
// The floor: the same file and rows, with nothing but SQLite statements.
double Floor(const std::string& folder, const std::string& app, const std::string& source,
             const std::vector<long long>& removed) {
  std::vector<msu::suite::IncidentDeleteRule> rules;
  std::string error;
  if (!msu::suite::ReadIncidentDeleteRules(app + "/CVN_4x.txt", &rules, &error)) {
    throw std::runtime_error(error);
  }
  const auto start = Clock::now();
  const std::string target = folder + "/floor.mdf";
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  sqlite3* db = nullptr;
  sqlite3_open(target.c_str(), &db);
  Exec(db, "PRAGMA synchronous = OFF");
  Exec(db, "BEGIN");
  for (const std::string& table : msu::suite::IncidentDeleteTables(rules)) {
    Exec(db, "DELETE FROM \"" + table + "\" WHERE " +
                 msu::suite::IncidentRowsCondition(rules, table, removed));
  }
  Exec(db, "COMMIT");
  sqlite3_close(db);
  const int fd = ::open(target.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return Seconds(start);
}

// The split as msu split runs it, on an instance of its own.
double Split(const std::string& folder, const std::string& app, const std::string& source,
             const std::vector<long long>& kept, msu::split::RemovalPath removal) {
  fs::remove_all(folder + "/servers");
  auto instance = msu::embedded::Instance::Create(folder + "/servers", "BENCH", "bench");
  instance->Attach("Split1", source);
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  // The servers as the programs see them, so that the run takes the programs' own paths.
  msu::data::MachineServers servers(folder + "/servers");
  msu::Context context(app, progress, prompt, servers.backend());
  const std::string target = folder + "/Result.mdf";

  const auto start = Clock::now();
  if (!msu::CheckLogin(context, "BENCH", "bench", msu::kMoveNext).ok) return -1;
  msu::split::IncidentEntries list;
  std::unique_ptr<msu::split::Split> engine;
  if (!msu::split::StartSplit(context, source, list, engine).started) return -1;
  for (long long id : kept) list.Tick(id);
  msu::split::SplitRun run;
  run.removal = removal;
  const msu::split::SplitOutcome outcome =
      msu::split::RunSplitSequence(context, *engine, source, target, run);
  const double seconds = Seconds(start);
  std::string phases;
  for (const auto& phase : engine->Figures().phases) {
    phases += "  " + phase.phase + " " + std::to_string(phase.seconds).substr(0, 5) + " s";
  }
  phases += "  verification " + std::to_string(outcome.verification.seconds).substr(0, 5) + " s";
  std::fprintf(stderr, "  %s:%s\n",
               removal == msu::split::RemovalPath::kSetBased ? "set-based" : "one by one",
               phases.c_str());
  const bool ok = outcome.executed && outcome.verification.Passed() &&
                  engine->Figures().set_based == (removal == msu::split::RemovalPath::kSetBased);
  if (!ok) {
    for (const std::string& line : progress.Texts(msu::LogPage::kSplit)) {
      std::fprintf(stderr, "  %s\n", line.c_str());
    }
    for (const std::string& line : msu::split::SplitVerificationLines(outcome.verification)) {
      std::fprintf(stderr, "  %s\n", line.c_str());
    }
  }
  engine.reset();
  return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string root = (fs::temp_directory_path() / "msu-split-bench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  const std::string app = root + "/app";
  fs::create_directories(app);
  for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt", "cvn.ini"}) {
    fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, fs::path(app) / file);
  }

  std::printf("%10s %10s %6s %12s %9s %9s %7s %10s %10s\n", "rows", "incidents", "kept", "split",
              "split s", "floor s", "ratio", "split MB", "us/row");
  for (long rows : sizes) {
    const std::string folder = root + "/" + std::to_string(rows);
    fs::create_directories(folder);
    const std::string source = folder + "/Split1.mdf";
    const auto file = msu::suite::GenerateSampleDatabase(
        source, msu::suite::SampleRole::kSplit, msu::suite::SchemaVersion::k5_01_00, rows, 1);
    std::vector<long long> kept;
    std::vector<long long> removed;
    for (int id = 1; id <= file.incidents; ++id) (id % 2 == 0 ? kept : removed).push_back(id);

    Run floor;
    for (int run = 0; run < RunsPerSide(); ++run) {
      KeepFastest(floor, InChild([&] { return Floor(folder, app, source, removed); }), run == 0);
    }
    for (auto removal : {msu::split::RemovalPath::kSetBased, msu::split::RemovalPath::kOneByOne}) {
      Run split;
      for (int run = 0; run < RunsPerSide(); ++run) {
        if (run > 0) {
          fs::remove(folder + "/Result.mdf");
          ClearApplicationFolder(app);
        }
        KeepFastest(split, InChild([&] { return Split(folder, app, source, kept, removal); }),
                    run == 0);
      }
      RequireSameData(folder + "/Result.mdf", folder + "/floor.mdf");
      fs::remove(folder + "/Result.mdf");
      std::printf(
          "%10ld %10d %6zu %12s %9.2f %9.2f %7.2f %10.1f %10.2f\n", file.total_rows, file.incidents,
          kept.size(), removal == msu::split::RemovalPath::kSetBased ? "set-based" : "one by one",
          split.seconds, floor.seconds, split.seconds / floor.seconds, split.peak_kb / 1024.0,
          split.seconds * 1e6 / static_cast<double>(file.total_rows));
      std::fflush(stdout);
    }
    std::printf("%10s the floor's result equals the split's, table by table\n", "");
    fs::remove_all(folder);
  }
  fs::remove_all(root);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "split_bench: %s\n", error.what());
  return 1;
}
