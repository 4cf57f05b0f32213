// Speed of the database check of a merge against the floor of the same comparisons, on
// generated sample pairs, with the floor's findings required to equal the check's.
//
// For each size (rows per database, default 100,000 and 1,000,000) a sample pair is written
// (not timed); then, each in a process of its own so that its peak memory is its own:
//   check: msu check as it runs (login, versions, working copies of both databases, the
//          instruction file, the lookup check with its problem report and recodes) on an
//          embedded instance;
//   floor: plain SQLite: both files copied, per lookup table one query for the standard rows
//          that differ and one for the user-added codes that collide, then, in one transaction,
//          per table referring to colliding codes one read counting their rows and one UPDATE
//          of Database 1's copy giving them new codes, as the check's recodes do.
// The colliding codes the floor finds, table by table, must be the codes the check recoded, and
// the rows each of its UPDATEs changed the rows the check's recodes changed in that column.
// With ORVANE_BENCH_RUNS=N each side runs N times, alternating, and its fastest run counts.
// Prints seconds, peak memory, the ratio check/floor and microseconds per row.
//
//   check_bench [ROWS ...]
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
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

// The floor. Its collisions go to `out` (one line per table with any), then the rows it recoded
// per referring column.
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
  Collisions references;
  long long differences = 0;
  // A table as the statements name it in schema `schema`.
  const auto in = [](const char* schema, const std::string& table) {
    return std::string(schema) + "." + (table.front() == '[' ? table : "\"" + table + "\"");
  };
  // Each lookup table once, as the check compares it; the check compares every table's
  // standard rows before it recodes any code.
  std::vector<const msu::instructions::LookUp*> lookups;
  for (const auto& lookup : set.LookUps) {
    if (lookups.empty() || lookup.TableName() != lookups.back()->TableName()) {
      lookups.push_back(&lookup);
    }
  }
  const auto match_of = [](const msu::instructions::LookUp& lookup) {
    std::string match;
    for (int32_t i = 1; i <= lookup.CodeFields().Count(); ++i) {
      const std::string& code = lookup.CodeFields().Item(i).FieldName();
      match += (i > 1 ? " AND x." : "x.") + code + " = y." + code;
    }
    return match;
  };
  for (const auto* lookup : lookups) {
    const std::string& table = lookup->TableName();
    std::string differs;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT name FROM pragma_table_info('" + table + "', 'main')").c_str(),
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const std::string column = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      differs += (differs.empty() ? "" : " OR ") + std::string("x.\"") + column + "\" IS NOT y.\"" +
                 column + "\"";
    }
    sqlite3_finalize(stmt);
    differences += QueryInt(db, "SELECT COUNT(*) FROM " + in("main", table) + " AS x JOIN " +
                                    in("a", table) + " AS y ON " + match_of(*lookup) +
                                    " WHERE x.Standard = 1 AND (" + differs + ")");
  }
  // The writes in one transaction: a working copy needs no commit of its own per statement.
  Exec(db, "BEGIN");
  struct RecodedColumn {
    std::string field, mapping, old_codes;
  };
  std::map<std::string, std::vector<RecodedColumn>> recodes;
  for (const auto* lookup : lookups) {
    const std::string& table = lookup->TableName();
    const std::string collide =
        " FROM " + in("a", table) + " AS x WHERE x.Standard = 0 AND EXISTS (SELECT 1 FROM " +
        in("main", table) + " AS y WHERE y.Standard = 0 AND " + match_of(*lookup) + ")";
    const long long colliding = QueryInt(db, "SELECT COUNT(*)" + collide);
    if (colliding > 0) collisions[msu::UpperCase(table)] = colliding;
    if (colliding == 0) continue;
    // The colliding codes' rows get new codes, one UPDATE per referring column: numbers past
    // the largest of both tables, text codes that neither table holds. Referring tables name
    // the first code field only.
    const std::string code = lookup->CodeFields().Item(1).FieldName();
    const bool numeric = QueryInt(db, "SELECT COUNT(*)" + collide + " AND typeof(x." + code +
                                          ") = 'integer'") == colliding;
    const long long top =
        numeric ? std::max(QueryInt(db, "SELECT MAX(" + code + ") FROM " + in("a", table)),
                           QueryInt(db, "SELECT MAX(" + code + ") FROM " + in("main", table)))
                : 0;
    std::string mapping;
    std::string old_codes;
    long long n = 0;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT quote(x." + code + ")" + collide).c_str(), -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      ++n;
      const std::string old_code = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      mapping += " WHEN " + old_code + " THEN " +
                 (numeric ? std::to_string(top + n) : "'~" + std::to_string(n) + "'");
      old_codes += (old_codes.empty() ? "" : ", ") + old_code;
    }
    sqlite3_finalize(stmt);
    for (const auto& ref : lookup->RefTables()) {
      const std::string field = ref.CodeFields().Item(1).FieldName();
      recodes[ref.TableName()].push_back({field, mapping, old_codes});
    }
  }
  // One UPDATE per referring table for all its recoded columns, after one read that counts the
  // rows of each column (the check reports them).
  for (const auto& [table, columns] : recodes) {
    std::string counts, sets, where;
    for (const RecodedColumn& column : columns) {
      const std::string hit = column.field + " IN (" + column.old_codes + ")";
      counts += (counts.empty() ? "" : ", ") + ("SUM(" + hit + ")");
      sets += (sets.empty() ? "" : ", ") + column.field + " = CASE WHEN " + hit + " THEN CASE " +
              column.field + column.mapping + " END ELSE " + column.field + " END";
      where += (where.empty() ? "" : " OR ") + hit;
    }
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT " + counts + " FROM " + in("a", table)).c_str(), -1, &stmt,
                       nullptr);
    if (sqlite3_step(stmt) == SQLITE_ROW) {
      for (size_t i = 0; i < columns.size(); ++i) {
        references[msu::UpperCase(table + "." + columns[i].field)] +=
            sqlite3_column_int64(stmt, static_cast<int>(i));
      }
    }
    sqlite3_finalize(stmt);
    Exec(db, "UPDATE " + in("a", table) + " SET " + sets + " WHERE " + where);
  }
  Exec(db, "COMMIT");
  sqlite3_close(db);
  const double seconds = Seconds(start);
  FILE* file = std::fopen(out.c_str(), "w");
  for (const auto& [table, count] : collisions)
    std::fprintf(file, "%s: %lld\n", table.c_str(), count);
  for (const auto& [column, rows] : references) {
    std::fprintf(file, "%s: %lld rows\n", column.c_str(), rows);
  }
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
  Collisions references;
  for (const auto& recode : engine->Figures().recodes) {
    ++recoded[msu::UpperCase(recode.table)];
    for (const auto& ref : recode.referring) {
      references[msu::UpperCase(ref.table + "." + ref.field)] += ref.rows;
    }
  }
  FILE* file = std::fopen(out.c_str(), "w");
  for (const auto& [table, count] : recoded) std::fprintf(file, "%s: %lld\n", table.c_str(), count);
  for (const auto& [column, rows] : references) {
    std::fprintf(file, "%s: %lld rows\n", column.c_str(), rows);
  }
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

    Run check, floor;
    for (int run = 0; run < RunsPerSide(); ++run) {
      if (run > 0) {
        fs::remove_all(folder + "/servers");
        ClearApplicationFolder(app);
      }
      KeepFastest(check, InChild([&] { return Check(folder, app, a, b, folder + "/check.txt"); }),
                  run == 0);
      KeepFastest(floor, InChild([&] { return Floor(folder, app, a, b, folder + "/floor.txt"); }),
                  run == 0);
    }
    const std::string found = ReadAll(folder + "/check.txt");
    if (found.empty() || found != ReadAll(folder + "/floor.txt")) {
      throw std::runtime_error("the floor's recodes differ from the check's:\n" + found + "---\n" +
                               ReadAll(folder + "/floor.txt"));
    }
    std::printf("%10ld %10ld %9.2f %9.2f %7.2f %10.1f %10.1f %10.2f\n", rows, total, check.seconds,
                floor.seconds, check.seconds / floor.seconds, check.peak_kb / 1024.0,
                floor.peak_kb / 1024.0, check.seconds * 1e6 / static_cast<double>(total));
    std::printf(
        "%10s the floor's colliding codes and changed rows equal the check's, table by table\n",
        "");
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
