// What the benchmarks share: wall-clock seconds, a run in a child process that reports its
// seconds and peak memory (so that one run's memory is not another's), and a SQLite statement
// for the floors, which measure the same work with nothing but SQLite.
#pragma once

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace msu::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Run {
  double seconds = -1;  // -1 when the work failed
  long peak_kb = 0;
};

// Runs `work` (returning its seconds) in a child process. An exception of the work is printed
// and gives -1.
template <class F>
Run InChild(F&& work) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    double seconds = -1;
    try {
      seconds = work();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "  %s\n", error.what());
    }
    (void)!::write(pipe_fds[1], &seconds, sizeof seconds);
    ::_exit(seconds >= 0 ? 0 : 1);
  }
  ::close(pipe_fds[1]);
  Run run;
  if (::read(pipe_fds[0], &run.seconds, sizeof run.seconds) != sizeof run.seconds) {
    run.seconds = -1;
  }
  ::close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  run.peak_kb = usage.ru_maxrss;
  return run;
}

// How many times each side of a comparison runs: ORVANE_BENCH_RUNS, 1 when unset. The fastest
// run of each side counts, so that a moment in which the machine serves something else decides
// no ratio.
inline int RunsPerSide() {
  const char* runs = std::getenv("ORVANE_BENCH_RUNS");
  return runs != nullptr ? std::max(1, std::atoi(runs)) : 1;
}

// Keeps the faster of `best` and `run` in `best`, with the larger peak memory; a failed run
// fails the lot. The first run is taken as it is.
inline void KeepFastest(Run& best, const Run& run, bool first) {
  if (first) {
    best = run;
    return;
  }
  if (best.seconds >= 0) best.seconds = run.seconds < 0 ? -1 : std::min(best.seconds, run.seconds);
  best.peak_kb = std::max(best.peak_kb, run.peak_kb);
}

// What a run leaves in the application folder, removed before the next run.
inline void ClearApplicationFolder(const std::string& app) {
  for (const char* name : {"W_O_R_K_A.tmp", "W_O_R_K_B.tmp", "W_O_R_K_A.ini", "W_O_R_K_B.ini",
                           "tmp_rpt.rtf", ".msu-run.lock"}) {
    std::remove((app + "/" + name).c_str());
  }
}

// Runs `sql` on `db`; throws std::runtime_error with SQLite's message when it fails.
inline void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("floor: " + message + " in " + sql);
  }
}

// Every row of every table of the database file `path`, as "table: v1|v2|...", sorted
// within each table, tables in name order (internal tables left out): two files hold the same
// data exactly when their dumps are equal.
inline std::vector<std::string> DumpDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  const auto rows = [&](const std::string& sql) {
    std::vector<std::string> out;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string("cannot dump: ") + sqlite3_errmsg(db));
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        row += (c == 0 ? "" : "|") +
               std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "NULL");
      }
      out.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return out;
  };
  std::vector<std::string> dump;
  for (const std::string& table :
       rows("SELECT name FROM sqlite_schema WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
            "ORDER BY name")) {
    std::vector<std::string> content = rows("SELECT * FROM \"" + table + "\"");
    std::sort(content.begin(), content.end());
    for (std::string& row : content) dump.push_back(table + ": " + row);
  }
  sqlite3_close(db);
  return dump;
}

// Throws, naming the first difference, unless the two files hold the same data.
inline void RequireSameData(const std::string& product, const std::string& floor) {
  const std::vector<std::string> a = DumpDatabase(product);
  const std::vector<std::string> b = DumpDatabase(floor);
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    const std::string left = i < a.size() ? a[i] : "(nothing)";
    const std::string right = i < b.size() ? b[i] : "(nothing)";
    if (left != right) {
      throw std::runtime_error("the floor's result differs from the product's at row " +
                               std::to_string(i) + ": product " + left + " / floor " + right);
    }
  }
}

}  // namespace msu::bench
