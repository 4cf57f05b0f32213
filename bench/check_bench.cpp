// Speed of the lookup consistency check on a pair of working copies attached to an embedded
// instance: a numeric and a text lookup table, each with 10,000 standard and 10,000 user rows
// in both databases (one standard row in 50 differs; 1,000 numeric and 40 text user codes
// collide, each with a referring table). Prints the seconds and the statements per second.
//
//   check_bench [standard rows] [user rows]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "data/embedded/database_file.h"
#include "data/embedded/instance.h"
#include "data/sqlite/sqlite_handles.h"
#include "instructions/instruction_model.h"
#include "merge/lookup_check.h"
#include "reports/problem_report.h"
#include "server/connection_settings.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using namespace msu::bench;
// A text code: a letter and a number.
std::string Code(char letter, long number) {
  std::string code(1, letter);
  code += std::to_string(number);
  return code;
}

// `side` 0 is A, 1 is B. User codes of B start `shift` codes later than A's, so the last
// `collisions` user codes of A collide.
void MakeDatabase(msu::data::Backend& backend, const std::string& path, int side, long standard,
                  long user, long numeric_collisions, long text_collisions) {
  msu::embedded::CreateDatabaseFile(path);
  {
    auto connection = backend.CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    connection->Execute(
        "CREATE TABLE L_Number ([Code] int NOT NULL PRIMARY KEY, [Description] varchar(50) "
        "NULL, [Standard] bit NULL)");
    connection->Execute(
        "CREATE TABLE L_Text ([Code] varchar(12) NOT NULL PRIMARY KEY, [Description] "
        "varchar(50) NULL, [Standard] bit NULL)");
    connection->Execute(
        "CREATE TABLE Units ([UnitID] int PRIMARY KEY, [NumberCode] int, "
        "[TextCode] varchar(12))");
    connection->Close();
  }
  // The rows go in past the engine, in one transaction: making the pair is not what is measured.
  msu::sqlite::Database db(path, SQLITE_OPEN_READWRITE);
  db.Exec("BEGIN");
  msu::sqlite::Statement number(db, "INSERT INTO L_Number VALUES (?, ?, ?)");
  msu::sqlite::Statement text(db, "INSERT INTO L_Text VALUES (?, ?, ?)");
  msu::sqlite::Statement unit(db, "INSERT INTO Units VALUES (?, ?, ?)");
  const auto row = [](msu::sqlite::Statement& stmt, const std::string& code, bool integer,
                      const std::string& description, int standard) {
    if (integer) {
      stmt.BindInt(1, std::atoll(code.c_str()));
    } else {
      stmt.BindText(1, code);
    }
    stmt.BindText(2, description);
    stmt.BindInt(3, standard);
    stmt.Run();
  };
  for (long i = 1; i <= standard; ++i) {
    const std::string description =
        "Standard " + std::to_string(i) + (side == 0 && i % 50 == 0 ? " (old)" : "");
    row(number, std::to_string(i), true, description, 1);
    row(text, Code('S', i), false, description, 1);
  }
  const long numeric_shift = side == 0 ? 0 : user - numeric_collisions;
  const long text_shift = side == 0 ? 0 : user - text_collisions;
  for (long i = 1; i <= user; ++i) {
    row(number, std::to_string(standard + numeric_shift + i), true, "User " + std::to_string(i), 0);
    row(text, Code('U', text_shift + i), false, "User " + std::to_string(i), 0);
    unit.BindInt(1, i);
    unit.BindInt(2, standard + numeric_shift + i);
    unit.BindText(3, Code('U', text_shift + i));
    unit.Run();
  }
  db.Exec("COMMIT");
}

}  // namespace

int main(int argc, char** argv) {
  const long standard = argc > 1 ? std::atol(argv[1]) : 10000;
  const long user = argc > 2 ? std::atol(argv[2]) : 10000;
  const long numeric_collisions = std::min(user, 1000L);
  const long text_collisions = std::min(user, 40L);

  std::string root = (fs::temp_directory_path() / "msu-check-bench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  const std::string app = root + "/app";
  fs::create_directories(app);

  auto instance = msu::embedded::Instance::Create(root + "/servers", "ORVANE", "bench");
  msu::embedded::EmbeddedBackend backend(root + "/servers");
  auto start = Clock::now();
  MakeDatabase(backend, app + "/W_O_R_K_A.tmp", 0, standard, user, numeric_collisions,
               text_collisions);
  MakeDatabase(backend, app + "/W_O_R_K_B.tmp", 1, standard, user, numeric_collisions,
               text_collisions);
  std::printf("pair of %ld standard and %ld user rows per lookup table made in %.2f s\n", standard,
              user, Seconds(start));
  instance->Attach("W_O_R_K_A", app + "/W_O_R_K_A.tmp");
  instance->Attach("W_O_R_K_B", app + "/W_O_R_K_B.tmp");
  std::ofstream(app + "/cvn.ini") << "[CVN]\n";

  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::Context context(app, progress, prompt, backend);
  context.server.ServerName = "ORVANE";
  const auto open = [&](const char* database) {
    auto connection = backend.CreateConnection();
    connection->SetConnectionString(
        msu::GetConnectionString(context, "CVN", context.AppFile("cvn.ini"), "ORVANE", database));
    connection->SetProperty("PROMPT", 4);
    connection->SetProperty("Synchronous", 0);
    connection->Open();
    return connection;
  };
  auto source = open("W_O_R_K_A");
  auto destination = open("W_O_R_K_B");

  msu::instructions::LookUps lookups;
  for (const char* table : {"L_Number", "L_Text"}) {
    auto& lookup = lookups.Add(table);
    lookup.CodeFields().Add("Code");
    auto& ref = lookup.RefTables().Add("Units");
    ref.CodeFields().Add(std::string(table) == "L_Number" ? "NumberCode" : "TextCode");
  }
  msu::reports::ProblemReport report(
      context, {app + "/A.mdf", app + "/B.mdf", app + "/New.mdf", "5.01.00"}, nullptr);
  msu::merge::LookupCheck check(context, lookups, *source, *destination, report);

  start = Clock::now();
  const bool found = check.Run();
  const double seconds = Seconds(start);
  for (const auto& line : progress.Texts(msu::LogPage::kCheck)) {
    if (line.rfind("Error", 0) == 0 || line.rfind("Warning", 0) == 0) {
      std::printf("  %s\n", line.c_str());
    }
  }
  std::printf("check of 2 lookup tables (%ld numeric and %ld text duplicates): found=%d\n",
              numeric_collisions, text_collisions, found ? 1 : 0);
  std::printf("%-40s %10.2f s\n", "seconds", seconds);
  std::printf("%-40s %10lld\n", "statements", static_cast<long long>(check.Statements()));
  std::printf("%-40s %10.0f\n", "statements per second",
              seconds > 0 ? check.Statements() / seconds : 0.0);
  std::printf("%-40s %10lld\n", "problem report bytes",
              static_cast<long long>(fs::file_size(app + "/tmp_rpt.rtf")));

  source->Close();
  destination->Close();
  instance.reset();
  fs::remove_all(root);
  return 0;
}
