// Speed of a whole merge against the floor of the same data movement, on generated sample
// pairs, with the floor's result required to equal the merge's, table by table.
//
// For each size (rows per database, default 100,000 and 1,000,000) a sample pair is written and
// checked once to get Database 1 with its colliding codes recoded (not timed); then, each in a
// process of its own so that its peak memory is its own:
//   merge: msu merge as it runs (login, working copies, the lookup check and its report, the
//          re-merge guard, keys, copy, sync, verification, placement) on an embedded instance;
//   floor: plain SQLite doing the same data movement the set-based way: Database 2 copied, the
//          recoded Database 1 attached, one INSERT ... SELECT per table with the key offsets,
//          the incident map and the qualification de-duplication computed in the SELECT, the
//          counters synced, one transaction, the result copied to its path and synced.
// With ORVANE_BENCH_RUNS=N each side runs N times, alternating, and its fastest run counts.
// Prints seconds, peak memory, the ratio merge/floor, the merge's microseconds per row and, past
// the first size, its microseconds per row once the fixed cost (a run of 2,000 rows) is taken
// out; and the merge's phases.
//
//   merge_bench [ROWS ...]
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
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

std::vector<std::string> Column(sqlite3* db, const std::string& sql) {
  std::vector<std::string> values;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("floor: ") + sqlite3_errmsg(db) + " in " + sql);
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    values.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
  }
  sqlite3_finalize(stmt);
  return values;
}

std::string Quoted(std::string name) {
  if (!name.empty() && name.front() == '[') name = name.substr(1, name.size() - 2);
  return "\"" + name + "\"";
}

std::string Bare(std::string name) {
  if (!name.empty() && name.front() == '[') name = name.substr(1, name.size() - 2);
  return name;
}

void CopyAndSync(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  const int fd = ::open(to.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// The floor: the data movement of the merge and nothing else, in plain SQLite.
double Floor(const std::string& folder, const std::string& app, const std::string& recoded_a,
             const std::string& b, const std::string& result) {
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::embedded::EmbeddedBackend backend(folder + "/no-servers");
  msu::Context context(app, progress, prompt, backend);
  context.versions.InstructionFileName = "CVN_4x.txt";
  msu::instructions::InstructionSet set;
  msu::instructions::LoadInstructions(context, set);

  const auto start = Clock::now();
  const std::string work = folder + "/floor_b.db";
  fs::copy_file(b, work, fs::copy_options::overwrite_existing);
  sqlite3* db = nullptr;
  sqlite3_open(work.c_str(), &db);
  Exec(db, "PRAGMA synchronous = OFF");
  Exec(db, "ATTACH DATABASE '" + recoded_a + "' AS a");
  Exec(db, "BEGIN");

  // The changes of each table's columns, in the order the keys move.
  struct Change {
    long long offset = 0;
    std::string map;  // temporary table (o, n) of an auto-increment parent
  };
  std::map<std::string, std::map<std::string, std::vector<Change>>> changes;  // upper names
  const auto change_of = [&](const std::string& table, const std::string& column, Change change) {
    changes[msu::UpperCase(Bare(table))][msu::UpperCase(column)].push_back(std::move(change));
  };
  // The value of `column` of a.`table` after its changes.
  const auto value_of = [&](const std::string& table, const std::string& column) {
    std::string value = "s.\"" + column + "\"";
    const auto t = changes.find(msu::UpperCase(Bare(table)));
    if (t == changes.end()) return value;
    const auto c = t->second.find(msu::UpperCase(column));
    if (c == t->second.end()) return value;
    for (const Change& step : c->second) {
      value = step.map.empty() ? "(CASE WHEN " + value + " IN (0, -1) THEN " + value + " ELSE " +
                                     value + " + " + std::to_string(step.offset) + " END)"
                               : "COALESCE((SELECT n FROM " + step.map + " WHERE o = " + value +
                                     "), " + value + ")";
    }
    return value;
  };
  const auto columns_of = [&](const std::string& table) {
    return Column(db, "SELECT name FROM pragma_table_info('" + Bare(table) + "', 'a')");
  };
  const auto distinct_children = [](const msu::instructions::PTable& table) {
    std::vector<std::pair<std::string, std::string>> children;
    std::set<std::string> seen;
    for (const auto& child : table.Children()) {
      if (seen.insert(msu::UpperCase(child.TableName() + "." + child.ForeignKey())).second) {
        children.emplace_back(child.TableName(), child.ForeignKey());
      }
    }
    return children;
  };

  int maps = 0;
  for (const auto& table : set.Tables) {
    std::string key = table.PrimaryKey();
    const std::string t = Quoted(table.TableName());
    if (table.AutoIncrement()) {
      // The rows get new keys in the order they are read; the map pairs them by that order.
      std::string names, values;
      for (const std::string& column : columns_of(table.TableName())) {
        if (msu::EqualsNoCase(column, key)) continue;
        names += (names.empty() ? "\"" : ", \"") + column + "\"";
        values += (values.empty() ? "" : ", ") + value_of(table.TableName(), column);
      }
      const long long before = QueryInt(db, "SELECT COALESCE(MAX(rowid), 0) FROM main." + t);
      Exec(db, "INSERT INTO main." + t + " (" + names + ") SELECT " + values + " FROM a." + t +
                   " AS s ORDER BY s.rowid");
      const std::string map = "temp.map_" + std::to_string(maps++);
      Exec(db, "CREATE TABLE " + map + " (o INTEGER PRIMARY KEY, n INTEGER)");
      Exec(db, "INSERT INTO " + map + " SELECT o.k, n.k FROM (SELECT \"" + key +
                   "\" AS k, row_number() OVER (ORDER BY rowid) AS r FROM a." + t +
                   ") AS o JOIN (SELECT \"" + key +
                   "\" AS k, row_number() OVER (ORDER BY rowid) AS r FROM main." + t +
                   " WHERE rowid > " + std::to_string(before) + ") AS n USING (r)");
      for (const auto& [child, fk] : distinct_children(table)) change_of(child, fk, {0, map});
      continue;
    }
    if (key.empty() || key == msu::instructions::kNoKey) continue;
    if (const size_t plus = key.find('+'); plus != std::string::npos) {
      const std::string second = key.substr(plus + 1);
      key = key.substr(0, plus);
      const long long offset = QueryInt(db, "SELECT MAX(\"" + second + "\") FROM main." + t) + 1;
      if (offset > 1) change_of(table.TableName(), second, {offset, ""});
    }
    const long long offset = QueryInt(db, "SELECT MAX(\"" + key + "\") FROM main." + t) + 1;
    if (offset <= 1) continue;
    change_of(table.TableName(), key, {offset, ""});
    for (const auto& [child, fk] : distinct_children(table)) change_of(child, fk, {offset, ""});
  }

  for (const auto& table : set.Tables) {
    if (table.AutoIncrement()) continue;
    const std::string t = Quoted(table.TableName());
    std::string names, values;
    for (const std::string& column : columns_of(table.TableName())) {
      names += (names.empty() ? "\"" : ", \"") + column + "\"";
      values += (values.empty() ? "" : ", ") + value_of(table.TableName(), column);
    }
    std::string from = "a." + t;
    if (Bare(table.TableName()) == "Quals") {
      // Repeated kind codes of a resource collapse into distinct rows written with a trainee
      // mark of 0 or 1; a row whose mark is missing matches none of them and stays beside
      // them; the others stay as they are.
      const std::string repeated =
          "EXISTS (SELECT 1 FROM a.Quals AS d WHERE d.KindCode = q.KindCode AND d.ResourceID = "
          "q.ResourceID AND d.rowid <> q.rowid)";
      from = "(SELECT PersonID, KindCode, ResourceID, Trainee FROM a.Quals AS q WHERE NOT " +
             repeated + " OR Trainee IS NULL" +
             " UNION ALL SELECT DISTINCT PersonID, KindCode, ResourceID, CASE WHEN Trainee IS "
             "NULL OR Trainee = 0 THEN 0 ELSE 1 END FROM a.Quals AS q WHERE " +
             repeated + ")";
    }
    Exec(db,
         "INSERT INTO main." + t + " (" + names + ") SELECT " + values + " FROM " + from + " AS s");
  }
  std::string last;
  for (const auto& lookup : set.LookUps) {
    if (lookup.TableName() == last) continue;
    last = lookup.TableName();
    Exec(db, "INSERT INTO main." + Quoted(last) + " SELECT * FROM a." + Quoted(last) +
                 " WHERE Standard = 0");
  }
  for (const std::string& body :
       Column(db, "SELECT body FROM main.orvane_procedures WHERE name = 'usp_syncNextNumber'")) {
    Exec(db, body);
  }
  Exec(db, "COMMIT");
  Exec(db, "DETACH DATABASE a");
  sqlite3_close(db);
  CopyAndSync(work, result);
  const double seconds = Seconds(start);
  fs::remove(work);
  return seconds;
}

struct Engine {
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  // The servers as the programs see them, so that the run takes the programs' own paths.
  msu::data::MachineServers servers;
  msu::Context context;
  Engine(const std::string& root, const std::string& app)
      : servers(root), context(app, progress, prompt, servers.backend()) {}
};

// Database 1 as the merge copies it: its working copy after the check has recoded it.
void RecodedSource(const std::string& folder, const std::string& app, const std::string& a,
                   const std::string& b, const std::string& recoded) {
  auto instance = msu::embedded::Instance::Create(folder + "/prepare", "PREP", "bench");
  instance->Attach("Fire1", a);
  instance->Attach("Fire2", b);
  Engine engine(folder + "/prepare", app);
  if (!msu::CheckLogin(engine.context, "PREP", "bench", msu::kMoveNext).ok) {
    throw std::runtime_error("no login");
  }
  std::unique_ptr<msu::merge::Merge> merge;
  if (msu::merge::RunCheckSequence(engine.context, {a, b, folder + "/Unused.mdf"}, merge).stage !=
      msu::merge::CheckStage::kCompleted) {
    throw std::runtime_error("the check did not complete");
  }
  merge->CloseConnections();
  fs::copy_file(app + "/W_O_R_K_A.tmp", recoded, fs::copy_options::overwrite_existing);
  merge.reset();
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini", "W_O_R_K_B.ini",
                           "tmp_rpt.rtf", ".msu-run.lock"}) {
    fs::remove(app + "/" + name);
  }
}

// The merge as msu merge runs it, on an instance of its own.
double Merge(const std::string& folder, const std::string& app, const std::string& a,
             const std::string& b, const std::string& result, bool print_phases) {
  auto instance = msu::embedded::Instance::Create(folder + "/servers", "BENCH", "bench");
  instance->Attach("Fire1", a);
  instance->Attach("Fire2", b);
  Engine engine(folder + "/servers", app);
  msu::Context& context = engine.context;

  const auto start = Clock::now();
  if (!msu::CheckLogin(context, "BENCH", "bench", msu::kMoveNext).ok) return -1;
  std::unique_ptr<msu::merge::Merge> merge;
  const msu::merge::CheckOutcome check = msu::merge::RunCheckSequence(
      context, {a, b, result}, merge, nullptr, {.count_remerge = true});
  bool ok = check.stage == msu::merge::CheckStage::kCompleted;
  msu::merge::MergeOutcome merged;
  if (ok) {
    merged = msu::merge::RunMergeSequence(context, *merge, {});
    ok = merged.stage == msu::merge::MergeStage::kCompleted && merged.verification_passed;
  }
  const std::vector<msu::merge::PhaseSeconds> phases =
      merge != nullptr ? merge->Figures().phases : std::vector<msu::merge::PhaseSeconds>();
  merge.reset();
  const double seconds = Seconds(start);
  for (const std::string& line : engine.progress.Texts(msu::LogPage::kMerge)) {
    if (!ok || line.rfind("Error", 0) == 0) std::fprintf(stderr, "  %s\n", line.c_str());
  }
  if (print_phases) {
    std::string split;
    for (const auto& phase : phases) {
      char text[64];
      std::snprintf(text, sizeof text, "  %s %.2f s", phase.phase.c_str(), phase.seconds);
      split += text;
    }
    std::fprintf(stderr, "  merge phases:%s\n", split.c_str());
  }
  return ok ? seconds : -1;
}

struct Sample {
  std::string a, b;
  long total = 0;
};

Sample MakePair(const std::string& folder, long rows) {
  fs::create_directories(folder);
  using msu::suite::SampleRole;
  Sample sample{folder + "/Fire1.mdf", folder + "/Fire2.mdf"};
  const auto fa = msu::suite::GenerateSampleDatabase(sample.a, SampleRole::kSource,
                                                     msu::suite::SchemaVersion::k5_01_00, rows, 1);
  const auto fb = msu::suite::GenerateSampleDatabase(sample.b, SampleRole::kDestination,
                                                     msu::suite::SchemaVersion::k5_01_00, rows, 1);
  sample.total = fa.total_rows + fb.total_rows;
  return sample;
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

  // The fixed cost: a merge of a small pair.
  const Sample small = MakePair(root + "/small", 2000);
  const Run fixed = InChild(
      [&] { return Merge(root + "/small", app, small.a, small.b, root + "/small/M.mdf", false); });
  std::printf("fixed cost (2,000 rows per database): %.2f s\n", fixed.seconds);
  std::printf("%10s %10s %9s %9s %7s %10s %10s %10s %12s\n", "rows/db", "rows", "merge s",
              "floor s", "ratio", "merge MB", "floor MB", "us/row", "us/row-fixed");
  for (long rows : sizes) {
    const std::string folder = root + "/" + std::to_string(rows);
    const Sample pair = MakePair(folder, rows);
    const std::string recoded = folder + "/Fire1.recoded.mdf";
    RecodedSource(folder, app, pair.a, pair.b, recoded);

    const std::string merged = folder + "/Merged.mdf";
    const std::string floored = folder + "/Floor.mdf";
    Run merge, floor;
    for (int run = 0; run < RunsPerSide(); ++run) {
      if (run > 0) {
        fs::remove(merged);
        fs::remove(floored);
        fs::remove_all(folder + "/servers");
        ClearApplicationFolder(app);
      }
      KeepFastest(merge, InChild([&] { return Merge(folder, app, pair.a, pair.b, merged, true); }),
                  run == 0);
      KeepFastest(floor, InChild([&] { return Floor(folder, app, recoded, pair.b, floored); }),
                  run == 0);
    }
    RequireSameData(merged, floored);
    const double per_row = merge.seconds * 1e6 / static_cast<double>(pair.total);
    const double marginal =
        (merge.seconds - fixed.seconds) * 1e6 / static_cast<double>(pair.total - small.total);
    std::printf("%10ld %10ld %9.2f %9.2f %7.2f %10.1f %10.1f %10.2f %12.2f\n", rows, pair.total,
                merge.seconds, floor.seconds, merge.seconds / floor.seconds, merge.peak_kb / 1024.0,
                floor.peak_kb / 1024.0, per_row, marginal);
    std::printf("%10s the floor's result equals the merge's, table by table\n", "");
    std::fflush(stdout);
    fs::remove_all(folder);
  }
  fs::remove_all(root);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "merge_bench: %s\n", error.what());
  return 1;
}
