// sample: writes sample suite databases for trying the utility, optionally attached.
#include <cstdlib>
#include <ostream>

#include "cli/server_commands.h"
#include "data/embedded/instance.h"
#include "suite/sample_generator.h"

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

int RunSample(ServerCommandCall& call) {
  suite::SampleOptions options;
  options.out_dir = call.Option("--out");
  if (options.out_dir.empty()) throw UsageError("sample needs --out DIR");
  options.rows = ParseCount("--rows", call.Option("--rows", "2000"));
  options.seed = static_cast<uint64_t>(ParseCount("--seed", call.Option("--seed", "1")));
  const std::string version = call.Option("--version", "5.01.00");
  if (!suite::ParseVersion(version, &options.version)) {
    throw UsageError("--version must be 5.01.00, 4.12.00 or 3.21.00, not \"" + version + "\"");
  }
  // Open the server first: a missing server is reported before anything is written.
  std::unique_ptr<embedded::Instance> instance;
  const std::string server = call.Option("--attach");
  if (!server.empty()) instance = embedded::Instance::Open(call.root, server);

  suite::SampleSummary summary = suite::GenerateSampleSet(options);
  call.out << summary.Text();
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
     "sample --out DIR [--rows N] [--seed S] [--version V] [--attach NAME]",
     "Writes sample suite databases into DIR: Fire1.mdf with Fire1.ini (Database 1 of a\n"
     "merge, version V), Fire2.mdf (Database 2, always 5.01.00) and Split1.mdf with\n"
     "Split1.ini (several incidents to split, version V), and prints what they hold.\n"
     "The pair holds differing standard lookup rows, colliding user codes, repeated\n"
     "qualifications, NULLs, names with quotes and, below 4.13, the old forms the\n"
     "conversions change.\n"
     "  --rows N       rows of each database, about (default 2000)\n"
     "  --seed S       the same seed gives the same content (default 1)\n"
     "  --version V    5.01.00 (default), 4.12.00 or 3.21.00\n"
     "  --attach NAME  attach the three files to the server NAME as Fire1, Fire2, Split1\n"
     "Existing files are never overwritten: the command refuses before writing.",
     0,
     0,
     {"--out", "--rows", "--seed", "--version", "--attach"},
     &RunSample});

}  // namespace

}  // namespace msu::cli
