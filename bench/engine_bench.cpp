// Speed of the embedded server's data connections: statements one at a time as the row copy
// sends them (with commits waiting for the disk, and without), a streamed SELECT, and the
// key-shift UPDATE of the key renumbering.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/data_access.h"
#include "data/embedded/database_file.h"
#include "data/embedded/embedded_connection.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Report(const std::string& what, long rows, double seconds) {
  std::printf("%-58s %8ld rows %8.2f s %12.0f rows/s\n", what.c_str(), rows, seconds,
              seconds > 0 ? rows / seconds : 0.0);
}

void Run(const std::string& folder, const std::string& synchronous, long rows) {
  std::string path = folder + "/bench_" + synchronous + ".mdf";
  msu::embedded::CreateDatabaseFile(path);
  auto db = msu::embedded::NewConnection(folder);
  db->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path +
                          ";Synchronous=" + synchronous);
  db->Open();
  db->SetCommandTimeout(300);
  db->Execute(
      "CREATE TABLE Persons (PersonID int NOT NULL PRIMARY KEY, Name nvarchar(40), "
      "KindCode varchar(8), Trainee bit)");
  std::string suffix = " (Synchronous=" + synchronous + ")";

  auto start = Clock::now();
  for (long i = 1; i <= rows; ++i) {
    db->Execute("INSERT INTO Persons ( [PersonID],[Name],[KindCode],[Trainee]) VALUES (" +
                std::to_string(i) + ",'Person " + std::to_string(i) + "','ENG',0)");
  }
  Report("INSERT, one Execute each" + suffix, rows, Seconds(start));

  start = Clock::now();
  long read = 0;
  for (auto rs = db->Execute("SELECT * FROM Persons"); !rs->IsEOF(); rs->MoveNext()) {
    if (!rs->Get(1).IsNull()) ++read;
  }
  Report("SELECT * streamed" + suffix, read, Seconds(start));

  start = Clock::now();
  auto all = db->OpenRecordset("SELECT * FROM Persons", msu::data::CursorChoice::kOptimistic);
  Report("SELECT * into an optimistic recordset" + suffix, all->RecordCount(), Seconds(start));
  all->Close();

  start = Clock::now();
  long changed = 0;
  db->Execute(
      "UPDATE Persons SET Persons.PersonID = Persons.PersonID + 501 WHERE NOT "
      "Persons.PersonID = 0 AND NOT Persons.PersonID = -1",
      &changed);
  Report("key-shift UPDATE of the primary key" + suffix, changed, Seconds(start));
}

}  // namespace

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 100000;
  std::string folder = "/tmp/msu-engine-bench-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  int status = 0;
  try {
    Run(folder, "Full", rows);
    Run(folder, "Off", rows);
  } catch (const msu::data::DataError& error) {
    std::fprintf(stderr, "engine_bench: %ld %s\n", error.number(), error.description().c_str());
    status = 1;
  }
  std::filesystem::remove_all(folder);
  return status;
}
