// Speed of a whole merge against a floor of the same work, on generated sample pairs.
//
// For each size (rows per database, default 100,000 and 1,000,000) a sample pair is written
// (not timed), then, each in a process of its own so that its peak memory is its own:
//   merge: the database check and the merge as msu merge runs them (working copies, lookup
//          check, re-merge guard, key renumbering, copy, sync, verification, final copy) on an
//          embedded instance;
//   floor: both files copied, the source's keys shifted with one UPDATE per table and child,
//          and the same rows copied with INSERT ... SELECT between the two files attached to one
//          SQLite connection.
// Prints seconds, peak memory, the ratio merge/floor and the merge's microseconds per row.
//
//   merge_bench [ROWS ...]
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "instructions/instruction_loader.h"
#include "merge/merge_sequence.h"
#include "server/login_check.h"
#include "suite/sample_generator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using namespace msu::bench;
long long QueryInt(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  long long value = 0;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    value = sqlite3_column_int64(stmt, 0);
  }
  sqlite3_finalize(stmt);
  return value;
}

std::string Bare(std::string name) {
  if (!name.empty() && name.front() == '[') name = name.substr(1, name.size() - 2);
  return "\"" + name + "\"";
}

// The floor: the same files, keys and rows, with nothing but SQLite statements.
double Floor(const std::string& folder, const std::string& instructions_folder,
             const std::string& a, const std::string& b) {
  const auto start = Clock::now();
  const std::string work_a = folder + "/floor_a.db";
  const std::string work_b = folder + "/floor_b.db";
  fs::copy_file(a, work_a, fs::copy_options::overwrite_existing);
  fs::copy_file(b, work_b, fs::copy_options::overwrite_existing);

  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::embedded::EmbeddedBackend backend(folder + "/no-servers");
  msu::Context context(instructions_folder, progress, prompt, backend);
  context.versions.InstructionFileName = "CVN_4x.txt";
  msu::instructions::InstructionSet set;
  msu::instructions::LoadInstructions(context, set);

  sqlite3* db = nullptr;
  sqlite3_open(work_b.c_str(), &db);
  Exec(db, "PRAGMA synchronous = OFF");
  Exec(db, "ATTACH DATABASE '" + work_a + "' AS a");
  Exec(db, "PRAGMA a.synchronous = OFF");
  for (const auto& table : set.Tables) {
    std::string key = table.PrimaryKey();
    if (key.empty() || key == msu::instructions::kNoKey) continue;
    if (key.find('+') != std::string::npos) key = key.substr(0, key.find('+'));
    const std::string t = Bare(table.TableName());
    // Past both tables' keys, so that plain SQLite, which checks keys row by row, does not
    // collide with itself halfway.
    const long long offset = std::max(QueryInt(db, "SELECT MAX(\"" + key + "\") FROM main." + t),
                                      QueryInt(db, "SELECT MAX(\"" + key + "\") FROM a." + t)) +
                             1;
    const auto shift = [&](const std::string& name, const std::string& field) {
      Exec(db, "UPDATE a." + Bare(name) + " SET \"" + field + "\" = \"" + field + "\" + " +
                   std::to_string(offset) + " WHERE \"" + field + "\" NOT IN (0, -1)");
    };
    shift(table.TableName(), key);
    for (const auto& child : table.Children()) shift(child.TableName(), child.ForeignKey());
  }
  for (const auto& table : set.Tables) {
    const std::string t = Bare(table.TableName());
    Exec(db, "INSERT INTO main." + t + " SELECT * FROM a." + t);
  }
  std::string last;
  for (const auto& lookup : set.LookUps) {
    if (lookup.TableName() == last) continue;
    last = lookup.TableName();
    const std::string t = Bare(last);
    Exec(db, "INSERT OR IGNORE INTO main." + t + " SELECT * FROM a." + t + " WHERE Standard = 0");
  }
  Exec(db, "DETACH DATABASE a");
  sqlite3_close(db);
  const double seconds = Seconds(start);
  fs::remove(work_a);
  fs::remove(work_b);
  return seconds;
}

// The merge as msu merge runs it, on an instance of its own.
double Merge(const std::string& folder, const std::string& app, const std::string& a,
             const std::string& b) {
  auto instance = msu::embedded::Instance::Create(folder + "/servers", "BENCH", "bench");
  instance->Attach("Fire1", a);
  instance->Attach("Fire2", b);
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::embedded::EmbeddedBackend backend(folder + "/servers");
  msu::Context context(app, progress, prompt, backend);

  const auto start = Clock::now();
  if (!msu::CheckLogin(context, "BENCH", "bench", msu::kMoveNext).ok) return -1;
  std::unique_ptr<msu::merge::Merge> engine;
  const msu::merge::CheckOutcome check =
      msu::merge::RunCheckSequence(context, {a, b, folder + "/Merged.mdf"}, engine);
  bool ok = check.stage == msu::merge::CheckStage::kCompleted;
  msu::merge::MergeOutcome merged;
  if (ok) {
    merged = msu::merge::RunMergeSequence(context, *engine, {});
    ok = merged.stage == msu::merge::MergeStage::kCompleted && merged.verification_passed;
  }
  const std::vector<msu::merge::PhaseSeconds> phases =
      engine != nullptr ? engine->Figures().phases : std::vector<msu::merge::PhaseSeconds>();
  engine.reset();
  const double seconds = Seconds(start);
  for (const std::string& line : progress.Texts(msu::LogPage::kMerge)) {
    if (!ok || line.rfind("Error", 0) == 0 || line.rfind("Verification", 0) == 0) {
      std::fprintf(stderr, "  %s\n", line.c_str());
    }
  }
  // Where the time went, for whoever reads the figures (the rest: working copies, guard).
  std::string split;
  for (const auto& phase : phases) {
    split += "  " + phase.phase + " " + std::to_string(phase.seconds).substr(0, 5) + " s";
  }
  std::fprintf(stderr, "  phases:%s\n", split.c_str());
  return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string root = (fs::temp_directory_path() / "msu-merge-bench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  const std::string app = root + "/app";
  fs::create_directories(app);
  for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt", "cvn.ini"}) {
    fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, fs::path(app) / file);
  }

  std::printf("%10s %10s %9s %9s %7s %10s %10s %12s\n", "rows/db", "rows", "merge s", "floor s",
              "ratio", "merge MB", "floor MB", "merge us/row");
  double first_per_row = 0;
  for (long rows : sizes) {
    const std::string folder = root + "/" + std::to_string(rows);
    fs::create_directories(folder);
    const std::string a = folder + "/Fire1.mdf";
    const std::string b = folder + "/Fire2.mdf";
    using msu::suite::SampleRole;
    const auto fa = msu::suite::GenerateSampleDatabase(
        a, SampleRole::kSource, msu::suite::SchemaVersion::k5_01_00, rows, 1);
    const auto fb = msu::suite::GenerateSampleDatabase(
        b, SampleRole::kDestination, msu::suite::SchemaVersion::k5_01_00, rows, 1);
    const long total = fa.total_rows + fb.total_rows;

    const Run floor = InChild([&] {
      try {
        return Floor(folder, app, a, b);
      } catch (const std::exception&) {
        return -1.0;
      }
    });
    const Run merge = InChild([&] {
      try {
        return Merge(folder, app, a, b);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "merge: %s\n", error.what());
        return -1.0;
      }
    });
    const double per_row = merge.seconds * 1e6 / static_cast<double>(total);
    if (first_per_row == 0) first_per_row = per_row;
    std::printf("%10ld %10ld %9.2f %9.2f %7.2f %10.1f %10.1f %12.2f", rows, total, merge.seconds,
                floor.seconds, merge.seconds / floor.seconds, merge.peak_kb / 1024.0,
                floor.peak_kb / 1024.0, per_row);
    if (per_row != first_per_row) std::printf("  (%.2fx the first size)", per_row / first_per_row);
    std::printf("\n");
    std::fflush(stdout);
    fs::remove_all(folder);
  }
  fs::remove_all(root);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "merge_bench: %s\n", error.what());
  return 1;
}
