// Speed of the database check of a merge against the floor of the same comparisons, on
// generated sample pairs, with the floor's findings required to equal the check's.
//
// For each size (rows per database, default 100,000 and 1,000,000) a sample pair is written
// (not timed); then, each in a process of its own so that its peak memory is its own:
//   check: msu check as it runs (login, versions, working copies of both databases, the
//          instruction file, the lookup check with its problem report and recodes) on an
//          embedded instance;
//   floor: plain SQLite: both files copied, and per lookup table one query for the standard rows
//          that differ and one for the user-added codes that collide.
// The colliding codes the floor finds, table by table, must be the codes the check recoded.
// Prints seconds, peak memory, the ratio check/floor and microseconds per row.
//
//   check_bench [ROWS ...]
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/context.h"
#include "core/text.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"
#include "data/machine_servers.h"
#include "instructions/instruction_loader.h"
#include "merge/merge_sequence.h"
#include "page_rules/login_check.h"
#include "suite/sample_generator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using namespace msu::bench;

// Colliding user codes per lookup table, as "table: n".
using Collisions = std::map<std::string, long long>;

long long QueryInt(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("floor: ") + sqlite3_errmsg(db) + " in " + sql);
  }
  long long value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
  sqlite3_finalize(stmt);
  return value;
}

// The floor. Its collisions go to `out` (one line per table with any).
double Floor(const std::string& folder, const std::string& app, const std::string& a,
             const std::string& b, const std::string& out) {
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::embedded::EmbeddedBackend backend(folder + "/no-servers");
  msu::Context context(app, progress, prompt, backend);
  context.versions.InstructionFileName = "CVN_4x.txt";
  msu::instructions::InstructionSet set;
  msu::instructions::LoadInstructions(context, set);

  const auto start = Clock::now();
  fs::copy_file(a, folder + "/floor_a.db", fs::copy_options::overwrite_existing);
  fs::copy_file(b, folder + "/floor_b.db", fs::copy_options::overwrite_existing);
  sqlite3* db = nullptr;
  sqlite3_open((folder + "/floor_b.db").c_str(), &db);
  Exec(db, "ATTACH DATABASE '" + folder + "/floor_a.db' AS a");
  Collisions collisions;
  long long differences = 0;
  std::string last;
  for (const auto& lookup : set.LookUps) {
    if (lookup.TableName() == last) continue;
    last = lookup.TableName();
    std::string match;
    for (int32_t i = 1; i <= lookup.CodeFields().Count(); ++i) {
      const std::string& code = lookup.CodeFields().Item(i).FieldName();
      match += (i > 1 ? " AND x." : "x.") + code + " = y." + code;
    }
    std::string differs;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT name FROM pragma_table_info('" + last + "', 'main')").c_str(),
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const std::string column = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      differs += (differs.empty() ? "" : " OR ") + std::string("x.\"") + column + "\" IS NOT y.\"" +
                 column + "\"";
    }
    sqlite3_finalize(stmt);
    differences +=
        QueryInt(db, "SELECT COUNT(*) FROM main.\"" + last + "\" AS x JOIN a.\"" + last +
                         "\" AS y ON " + match + " WHERE x.Standard = 1 AND (" + differs + ")");
    const long long colliding =
        QueryInt(db, "SELECT COUNT(*) FROM a.\"" + last + "\" AS x WHERE x.Standard = 0 AND " +
                         "EXISTS (SELECT 1 FROM main.\"" + last + "\" AS y WHERE y.Standard = 0 " +
                         "AND " + match + ")");
    if (colliding > 0) collisions[msu::UpperCase(last)] = colliding;
  }
  sqlite3_close(db);
  const double seconds = Seconds(start);
  FILE* file = std::fopen(out.c_str(), "w");
  for (const auto& [table, count] : collisions)
    std::fprintf(file, "%s: %lld\n", table.c_str(), count);
  std::fclose(file);
  std::fprintf(stderr, "  floor: %lld standard rows differ\n", differences);
  fs::remove(folder + "/floor_a.db");
  fs::remove(folder + "/floor_b.db");
  return seconds;
}

// The check as msu check runs it; the codes it recoded go to `out` as the floor writes its.
double Check(const std::string& folder, const std::string& app, const std::string& a,
             const std::string& b, const std::string& out) {
  auto instance = msu::embedded::Instance::Create(folder + "/servers", "BENCH", "bench");
  instance->Attach("Fire1", a);
  instance->Attach("Fire2", b);
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  // The servers as the programs see them, so that the run takes the programs' own paths.
  msu::data::MachineServers servers(folder + "/servers");
  msu::Context context(app, progress, prompt, servers.backend());

  const auto start = Clock::now();
  if (!msu::CheckLogin(context, "BENCH", "bench", msu::kMoveNext).ok) return -1;
  std::unique_ptr<msu::merge::Merge> engine;
  const msu::merge::CheckOutcome check =
      msu::merge::RunCheckSequence(context, {a, b, folder + "/Merged.mdf"}, engine);
  const double seconds = Seconds(start);
  if (check.stage != msu::merge::CheckStage::kCompleted) return -1;
  Collisions recoded;
  for (const auto& recode : engine->Figures().recodes) ++recoded[msu::UpperCase(recode.table)];
  FILE* file = std::fopen(out.c_str(), "w");
  for (const auto& [table, count] : recoded) std::fprintf(file, "%s: %lld\n", table.c_str(), count);
  std::fclose(file);
  std::string phases;
  for (const auto& phase : engine->Figures().phases) {
    char text[64];
    std::snprintf(text, sizeof text, "  %s %.2f s", phase.phase.c_str(), phase.seconds);
    phases += text;
  }
  std::fprintf(stderr, "  check phases:%s\n", phases.c_str());
  return seconds;
}

std::string ReadAll(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "r")) {
    char buffer[4096];
    size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
    std::fclose(file);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string root = (fs::temp_directory_path() / "msu-check-bench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  const std::string app = root + "/app";
  fs::create_directories(app);
  for (const char* file : {"CVN_4x.txt", "CVN_PRE4x.txt", "cvn.ini"}) {
    fs::copy_file(fs::path(ORVANE_SUITE_FILES) / file, fs::path(app) / file);
  }
  std::printf("%10s %10s %9s %9s %7s %10s %10s %10s\n", "rows/db", "rows", "check s", "floor s",
              "ratio", "check MB", "floor MB", "us/row");
  for (long rows : sizes) {
    const std::string folder = root + "/" + std::to_string(rows);
    fs::create_directories(folder);
    using msu::suite::SampleRole;
    const std::string a = folder + "/Fire1.mdf";
    const std::string b = folder + "/Fire2.mdf";
    const auto fa = msu::suite::GenerateSampleDatabase(
        a, SampleRole::kSource, msu::suite::SchemaVersion::k5_01_00, rows, 1);
    const auto fb = msu::suite::GenerateSampleDatabase(
        b, SampleRole::kDestination, msu::suite::SchemaVersion::k5_01_00, rows, 1);
    const long total = fa.total_rows + fb.total_rows;

    const Run check = InChild([&] { return Check(folder, app, a, b, folder + "/check.txt"); });
    const Run floor = InChild([&] { return Floor(folder, app, a, b, folder + "/floor.txt"); });
    const std::string found = ReadAll(folder + "/check.txt");
    if (found.empty() || found != ReadAll(folder + "/floor.txt")) {
      throw std::runtime_error("the floor's colliding codes differ from the check's:\n" + found +
                               "---\n" + ReadAll(folder + "/floor.txt"));
    }
    std::printf("%10ld %10ld %9.2f %9.2f %7.2f %10.1f %10.1f %10.2f\n", rows, total, check.seconds,
                floor.seconds, check.seconds / floor.seconds, check.peak_kb / 1024.0,
                floor.peak_kb / 1024.0, check.seconds * 1e6 / static_cast<double>(total));
    std::printf("%10s the floor's colliding codes equal the check's recodes, table by table\n", "");
    std::fflush(stdout);
    fs::remove_all(folder);
    for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini", "W_O_R_K_B.ini",
                             "tmp_rpt.rtf", ".msu-run.lock"}) {
      fs::remove(app + "/" + name);
    }
  }
  fs::remove_all(root);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "check_bench: %s\n", error.what());
  return 1;
}
