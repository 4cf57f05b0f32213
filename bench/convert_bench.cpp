// Speed of the legacy conversions against a floor of the same work, on a generated Database 1
// of version 4.12.00.
//
// For each size (rows of the database, default 1,000,000) a 4.12.00 source and its 5.01.00
// partner are written and the pre-merge conversion runs on a copy of the source (timed, for
// the record). That converted copy, given the two columns 5.01.00 adds (Persons.Leader,
// Agreement.AdminOfficeID), stands in for the destination after the copy: its rows are those a
// Database 1 brings, with old request numbers, retired kind codes and no admin offices. On
// three copies of it:
//   as written: the post-merge conversion sending every statement as the routines write them
//               (one UPDATE per changed request number, 231 kind-code UPDATEs);
//   set-based:  the post-merge conversion as a merge runs it;
//   floor:      the same changes with plain SQLite statements on one connection in one
//               transaction (the request numbers through a SQL function).
// Prints seconds, the ratios to the floor, and whether the three copies ended the same.
//
//   convert_bench [ROWS ...]
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "convert/kind_codes.h"
#include "convert/post_convert.h"
#include "convert/pre_convert.h"
#include "convert/request_number.h"
#include "core/context.h"
#include "data/embedded/backend.h"
#include "suite/sample_generator.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using namespace msu::bench;
using msu::convert::StatementPath;

class Sqlite {
 public:
  explicit Sqlite(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open");
  }
  ~Sqlite() { sqlite3_close(db_); }
  Sqlite(const Sqlite&) = delete;
  Sqlite& operator=(const Sqlite&) = delete;
  void Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string text = error != nullptr ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(text + " in " + sql);
    }
  }
  // A hash of every value the query returns, in order.
  uint64_t Hash(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) return 0;
    uint64_t hash = 1469598103934665603ULL;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const unsigned char* text = sqlite3_column_text(stmt, i);
        const std::string value =
            text == nullptr ? "\x01NULL" : reinterpret_cast<const char*>(text);
        for (unsigned char c : value + "\x02") hash = (hash ^ c) * 1099511628211ULL;
      }
    }
    sqlite3_finalize(stmt);
    return hash;
  }
  sqlite3* handle() { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// orva(x): the request number x in ORVA notation.
void OrvaFunction(sqlite3_context* context, int /*argc*/, sqlite3_value** argv) {
  const unsigned char* text = sqlite3_value_text(argv[0]);
  if (text == nullptr) {
    sqlite3_result_null(context);
    return;
  }
  const std::string converted =
      msu::convert::ConvertRequestNumber(reinterpret_cast<const char*>(text));
  sqlite3_result_text(context, converted.c_str(), static_cast<int>(converted.size()),
                      SQLITE_TRANSIENT);
}

// What the conversion changes, as one hash.
uint64_t Contents(const std::string& path) {
  Sqlite db(path);
  uint64_t hash = 0;
  for (const char* sql :
       {"SELECT ResourceID, RequestNumber, OriginalOrderRequest, KindCode FROM Resources ORDER BY "
        "rowid",
        "SELECT PersonID, RequestNumber, Leader, KindCode FROM Persons ORDER BY rowid",
        "SELECT * FROM AdminOffice ORDER BY rowid",
        "SELECT AgreementID, AdminOfficeID FROM Agreement ORDER BY rowid",
        "SELECT KindCode FROM PersonsPost ORDER BY rowid",
        "SELECT KindCode FROM Projection ORDER BY rowid",
        "SELECT KindCode FROM Quals ORDER BY rowid",
        "SELECT KindCode FROM QuickStats ORDER BY rowid",
        "SELECT KindCode FROM ReportRecords ORDER BY rowid"}) {
    hash = hash * 31 + db.Hash(sql);
  }
  return hash;
}

double Floor(const std::string& path) {
  const auto start = Clock::now();
  Sqlite db(path);
  sqlite3_create_function_v2(db.handle(), "orva", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             &OrvaFunction, nullptr, nullptr, nullptr);
  db.Exec("PRAGMA synchronous = OFF");
  db.Exec("BEGIN");
  const std::string changed =
      "r.RequestNumber IS NOT NULL AND orva(r.RequestNumber) <> r.RequestNumber COLLATE BINARY";
  db.Exec(
      "UPDATE Persons SET RequestNumber = orva(r.RequestNumber) FROM Resources AS r WHERE "
      "r.ResourceID = Persons.ResourceID AND " +
      changed);
  db.Exec("UPDATE Resources AS r SET RequestNumber = orva(RequestNumber) WHERE " + changed);
  db.Exec(
      "UPDATE Resources SET OriginalOrderRequest = orva(OriginalOrderRequest) WHERE "
      "OriginalOrderRequest IS NOT NULL AND orva(OriginalOrderRequest) <> OriginalOrderRequest "
      "COLLATE BINARY");
  db.Exec("UPDATE Persons SET Leader = 1 WHERE LeaderID IS NOT NULL");
  db.Exec(
      "INSERT INTO AdminOffice (AdminOfficeID, Name, Addr1, Addr2, City, State, Zip) SELECT "
      "IncidentID, AdminName, AdminAddr1, AdminAddr2, AdminCity, AdminState, AdminZip FROM "
      "Incidents");
  db.Exec(
      "UPDATE Agreement SET AdminOfficeID = c.IncidentID FROM Contractor AS c WHERE "
      "c.ContractorID = Agreement.ContractorID");
  for (const char* table : msu::convert::kKindCodeTables) {
    db.Exec(msu::convert::KindCodesStatement(table));
  }
  db.Exec("COMMIT");
  return Seconds(start);
}

struct Session {
  explicit Session(const std::string& folder)
      : backend(folder + "/no-servers"), context(folder, progress, prompt, backend) {}
  std::unique_ptr<msu::data::Connection> Open(const std::string& path) {
    auto connection = backend.CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->SetProperty("Synchronous", 0);
    connection->Open();
    return connection;
  }
  msu::RecordingProgress progress;
  msu::ScriptedPrompt prompt;
  msu::embedded::EmbeddedBackend backend;
  msu::Context context;
};

double PostConvert(const std::string& folder, const std::string& path, StatementPath statements) {
  Session session(folder);
  auto b = session.Open(path);
  const auto start = Clock::now();
  const bool ok = msu::convert::PostConvert(session.context, *b, statements);
  const double seconds = Seconds(start);
  b->Close();
  if (!ok) {
    for (const std::string& line : session.progress.Texts(msu::LogPage::kMerge)) {
      std::fprintf(stderr, "  %s\n", line.c_str());
    }
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {1000000};

  std::string root = (fs::temp_directory_path() / "msu-convert-bench-XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;

  std::printf("%10s %8s %12s %11s %9s %13s %11s %5s\n", "rows", "pre s", "as written s",
              "set-based s", "floor s", "written/floor", "set/floor", "same");
  for (long rows : sizes) {
    using msu::suite::SampleRole;
    using msu::suite::SchemaVersion;
    const std::string folder = root + "/" + std::to_string(rows);
    fs::create_directories(folder);
    const std::string a = folder + "/Fire1.mdf";
    const std::string b = folder + "/Fire2.mdf";
    msu::suite::GenerateSampleDatabase(a, SampleRole::kSource, SchemaVersion::k4_12_00, rows, 1);
    msu::suite::GenerateSampleDatabase(b, SampleRole::kDestination, SchemaVersion::k5_01_00, rows,
                                       1, SchemaVersion::k4_12_00);

    double pre = -1;
    {
      Session session(folder);
      auto a_connection = session.Open(a);
      auto b_connection = session.Open(b);
      const auto start = Clock::now();
      if (msu::convert::PreConvert(session.context, *a_connection, *b_connection)) {
        pre = Seconds(start);
      }
      a_connection->Execute("ALTER TABLE Persons ADD Leader bit DEFAULT 0");
      a_connection->Execute("ALTER TABLE Agreement ADD AdminOfficeID int");
    }
    const std::string written = folder + "/written.mdf";
    const std::string set_based = folder + "/set.mdf";
    const std::string floor_copy = folder + "/floor.mdf";
    for (const std::string& copy : {written, set_based, floor_copy}) fs::copy_file(a, copy);

    const double written_seconds = PostConvert(folder, written, StatementPath::kAsWritten);
    const double set_seconds = PostConvert(folder, set_based, StatementPath::kSetBased);
    const double floor_seconds = Floor(floor_copy);
    const uint64_t expected = Contents(written);
    const bool same = Contents(set_based) == expected && Contents(floor_copy) == expected;
    std::printf("%10ld %8.2f %12.2f %11.2f %9.2f %13.2f %11.2f %5s\n", rows, pre, written_seconds,
                set_seconds, floor_seconds, written_seconds / floor_seconds,
                set_seconds / floor_seconds, same ? "yes" : "NO");
    std::fflush(stdout);
    fs::remove_all(folder);
  }
  fs::remove_all(root);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "convert_bench: %s\n", error.what());
  return 1;
}
