// What the benchmarks share: wall-clock seconds, a run in a child process that reports its
// seconds and peak memory (so that one run's memory is not another's), and a SQLite statement
// for the floors, which measure the same work with nothing but SQLite.
#pragma once

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

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

// Runs `sql` on `db`; throws std::runtime_error with SQLite's message when it fails.
inline void Exec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("floor: " + message + " in " + sql);
  }
}

}  // namespace msu::bench
