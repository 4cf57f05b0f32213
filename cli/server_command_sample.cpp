// sample: writes sample suite databases for trying the utility, optionally attached.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "cli/interrupt_requests.h"
#include "cli/server_commands.h"
#include "data/embedded/instance.h"
#include "suite/sample_generator.h"
#include "suite/tsql_sample.h"

namespace msu::cli {

namespace {

long ParseCount(const std::string& option, const std::string& text) {
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 100000000) {
    throw UsageError(option + " needs a whole number from 0 to 100000000, not \"" + text + "\"");
  }
  return static_cast<long>(value);
}

// A scratch folder for the SQLite files the script is made from, removed with its files.
class ScratchOut {
 public:
  ScratchOut() {
    std::string pattern = (std::filesystem::temp_directory_path() / "msu-sample-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("No scratch folder could be made for the samples.");
    }
    path_ = pattern;
  }
  ~ScratchOut() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchOut(const ScratchOut&) = delete;
  ScratchOut& operator=(const ScratchOut&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int RunSample(ServerCommandCall& call) {
  suite::SampleOptions options;
  options.out_dir = call.Option("--out");
  const std::string tsql = call.Option("--tsql");
  if (options.out_dir.empty() && tsql.empty()) throw UsageError("sample needs --out DIR");
  if (!tsql.empty() && std::filesystem::exists(tsql)) {
    throw std::runtime_error(tsql + " exists already; it is never overwritten.");
  }
  if (!call.Option("--data-dir").empty() && tsql.empty()) {
    throw UsageError("--data-dir goes with --tsql");
  }
  options.rows = ParseCount("--rows", call.Option("--rows", "2000"));
  options.seed = static_cast<uint64_t>(ParseCount("--seed", call.Option("--seed", "1")));
  const std::string version = call.Option("--version", "5.01.00");
  if (!suite::ParseVersion(version, &options.version)) {
    throw UsageError("--version must be 5.01.00, 4.12.00 or 3.21.00, not \"" + version + "\"");
  }
  // Open the server first: a missing server is reported before anything is written.
  std::unique_ptr<embedded::Instance> instance;
  const std::string server = call.Option("--attach");
  // Attaching adds new databases under names that must be free and touches none there is;
  // the instance's modes keep other accounts out. A password given is checked all the same.
  if (!server.empty()) {
    instance = call.Option("--password-file").empty() ? embedded::Instance::Open(call.root, server)
                                                      : OpenWithWardenPassword(call, server);
  }

  std::unique_ptr<ScratchOut> scratch;
  if (options.out_dir.empty()) {
    scratch = std::make_unique<ScratchOut>();
    options.out_dir = scratch->path();
  }
  if (!tsql.empty() && options.version != suite::SchemaVersion::k5_01_00) {
    throw UsageError("--tsql writes databases of version 5.01.00 only");
  }
  options.stop = InterruptRequests::Flag();
  suite::SampleSummary summary = suite::GenerateSampleSet(options);
  if (!tsql.empty()) {
    const std::string script = suite::SampleTSqlScript(summary, call.Option("--data-dir"));
    std::ofstream file(tsql, std::ios::binary);
    file << script;
    file.close();
    if (!file) throw std::runtime_error(tsql + " could not be written.");
  }
  if (scratch == nullptr) call.out << summary.Text();
  if (!tsql.empty()) call.out << "Wrote " << tsql << ": the same databases for a SQL Server.\n";
  if (instance != nullptr) {
    for (const suite::SampleFile& file : summary.files) {
      std::string name = suite::SampleFileName(file.role);
      name = name.substr(0, name.size() - 4);
      call.out << instance->Attach(name, file.path) << "\n";
    }
  }
  return 0;
}

const bool kSample = RegisterServerCommand(
    {"sample",
     "sample --out DIR [--rows N] [--seed S] [--version V] [--attach NAME]\n"
     "       [--password-file FILE]\n"
     "       sample --tsql FILE [--data-dir DIR] [--out DIR] [--rows N] [--seed S]",
     "Writes sample suite databases into DIR: Fire1.mdf with Fire1.ini (Database 1 of a\n"
     "merge, version V), Fire2.mdf (Database 2, always 5.01.00) and Split1.mdf with\n"
     "Split1.ini (several incidents to split, version V), and prints what they hold.\n"
     "The pair holds differing standard lookup rows, colliding user codes, repeated\n"
     "qualifications, NULLs, names with quotes and, below 4.13, the old forms the\n"
     "conversions change.\n"
     "  --out DIR       the folder of the sample databases\n"
     "  --rows N        rows of each database, about (default 2000)\n"
     "  --seed S        the same seed gives the same content (default 1)\n"
     "  --version V     5.01.00 (default), 4.12.00 or 3.21.00\n"
     "  --attach NAME   attach the three files to the server NAME as Fire1, Fire2, Split1\n"
     "                  (names it must not have yet); with --password-file FILE the Warden\n"
     "                  password is checked first\n"
     "  --tsql FILE     also (or, without --out, only) write a T-SQL script that creates\n"
     "                  Fire1, Fire2 and Split1 with the same rows on a SQL Server\n"
     "                  (sqlcmd -S SERVER -i FILE); version 5.01.00 only\n"
     "  --data-dir DIR  with --tsql: the folder, on the server's machine, of their data and\n"
     "                  log files (default: the server's own)\n"
     "Existing files are never overwritten: the command refuses before writing.",
     0,
     0,
     {"--out", "--rows", "--seed", "--version", "--attach", "--tsql", "--data-dir",
      "--password-file"},
     &RunSample});

}  // namespace

}  // namespace msu::cli
