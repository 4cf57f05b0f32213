// Feeds random, generated and mutated instruction files to the loader for a given time and
// checks, after every file, what must hold whatever the input:
//   - the loader returns (no exception, no crash, no sanitizer report);
//   - the result is false exactly when an "Error, " line or "Unable to find instructions" was
//     written;
//   - every parent line gives one table or one "Error, adding parent table/key: " line, every
//     lookup line one lookup;
//   - no code field is empty.
// Build and run (its own build folder keeps the sanitizer flags away from everything else):
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_BUILD_FUZZ=ON
//   cmake --build build/fuzz --target instruction_loader_fuzz
//   build/fuzz/fuzz/instruction_loader_fuzz 180
// Usage: instruction_loader_fuzz [seconds=60] [seed] [work folder]
// A failing input is kept as fuzz_failure_<n>.txt in the work folder; the file being read is
// always CVN_4x.txt there, so a crash leaves it behind too.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/text.h"
#include "data/backend.h"
#include "instructions/instruction_loader.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"

namespace {

namespace fs = std::filesystem;
using msu::instructions::InstructionSet;

class NoServer : public msu::data::Backend {
 public:
  std::vector<std::string> ListServers() override { return {}; }
  std::unique_ptr<msu::data::AdminConnection> Connect(const std::string&, const std::string&,
                                                      const std::string&) override {
    throw msu::data::AdminError(msu::data::kErrServerStopped, "no server");
  }
  std::unique_ptr<msu::data::Connection> CreateConnection() override {
    throw msu::data::DataError(msu::data::kErrConnection, "no server");
  }
  std::string DataConnectionString(const std::string&, const std::string&) override { return ""; }
};

const std::vector<std::string> kSeeds = {
    "; merge instructions\r\nVersion=3\r\n[CoreTables]\r\n"
    "ParentTable=Incidents.AUTOINCREMENT=IncidentID\r\nChildTable=Resources.IncidentID\r\n"
    "ParentTable=Resources.ResourceID\r\nChildTable=Quals.ResourceID\r\n"
    "ParentTable=Persons.PersonID+leaderid\r\n[LookUpTables]\r\nLUTable=KindCodes.KindCode\r\n"
    "RefTable=Quals.KindCode\r\nRefTable=Resources.KindCode\r\n[INCIDENTDELETE]\r\n",
    "ParentTable=A\nChildTable=B\nLUTable=C\nRefTable=D\nLUTable=E.F+G+H\nRefTable=I.J+K+L\n",
};

const std::vector<std::string> kWords = {"ParentTable",
                                         "ChildTable",
                                         "LUTable",
                                         "RefTable",
                                         "Version",
                                         "[CoreTables]",
                                         "[LookUpTables]",
                                         "[INCIDENTDELETE]",
                                         ";",
                                         "parenttable",
                                         "CHILDTABLE",
                                         "lutable",
                                         "reftable",
                                         "VERSION",
                                         "[incidentdelete]",
                                         "",
                                         " "};
const std::vector<std::string> kPieces = {"=",
                                          ".",
                                          "+",
                                          " ",
                                          "\t",
                                          "Incidents",
                                          "Resources",
                                          "KindCode",
                                          "AUTOINCREMENT",
                                          "=Id",
                                          "autoincrement",
                                          "<NONE>",
                                          "++",
                                          "..",
                                          "Quals",
                                          "quals",
                                          "QUALS",
                                          "\r",
                                          "\n",
                                          "\r\n",
                                          std::string(1, '\0'),
                                          "\xff",
                                          "Id",
                                          "X"};

class Generator {
 public:
  explicit Generator(uint64_t seed) : random_(seed) {}

  size_t Below(size_t n) { return n == 0 ? 0 : random_() % n; }
  bool Chance(int percent) { return static_cast<int>(Below(100)) < percent; }

  std::string RandomBytes() {
    std::string bytes(Below(Chance(5) ? 200000 : 2000), '\0');
    for (char& c : bytes) c = static_cast<char>(random_());
    return bytes;
  }

  std::string Line() {
    std::string line = kWords[Below(kWords.size())];
    if (Chance(80)) line += Chance(85) ? "=" : kPieces[Below(kPieces.size())];
    size_t pieces = Below(8);
    for (size_t i = 0; i < pieces; ++i) line += kPieces[Below(kPieces.size())];
    if (Chance(1)) line += std::string(Below(300000), "AB.+= "[Below(6)]);
    return line;
  }

  std::string Lines() {
    static const char* kEnds[] = {"\r\n", "\n", "\r", "\r\r", "\n\r"};
    std::string text;
    size_t count = Below(Chance(5) ? 5000 : 60);
    for (size_t i = 0; i < count; ++i) text += Line() + kEnds[Chance(80) ? 0 : Below(5)];
    if (Chance(50) && !text.empty()) text.resize(text.size() - Below(3));
    return text;
  }

  std::string Mutate(std::string text) {
    size_t steps = 1 + Below(10);
    for (size_t i = 0; i < steps; ++i) {
      size_t at = Below(text.size() + 1);
      switch (Below(6)) {
        case 0:
          if (at < text.size()) text[at] = static_cast<char>(random_());
          break;
        case 1:
          text.insert(at, kPieces[Below(kPieces.size())]);
          break;
        case 2:
          text.erase(at, Below(20));
          break;
        case 3:
          text.insert(at, Line() + "\r\n");
          break;
        case 4:
          if (!text.empty()) {
            size_t from = Below(text.size());
            text.insert(at, text.substr(from, Below(200)));
          }
          break;
        default:
          if (at < text.size()) text[at] = static_cast<char>(text[at] ^ (1 << Below(8)));
          break;
      }
    }
    return text;
  }

  std::string Next(const std::vector<std::string>& corpus) {
    switch (Below(4)) {
      case 0:
        return RandomBytes();
      case 1:
        return Lines();
      default:
        return Mutate(corpus[Below(corpus.size())]);
    }
  }

 private:
  std::mt19937_64 random_;
};

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The problems found in one run; empty when everything holds.
std::string Check(bool result, const msu::RecordingProgress& progress, const InstructionSet& set) {
  const std::vector<std::string> log = progress.Texts(msu::LogPage::kCheck);
  int errors = 0, parents = 0, parent_errors = 0, lookups = 0;
  for (const std::string& line : log) {
    if (StartsWith(line, "Error, ") || line == "Unable to find instructions") ++errors;
    if (StartsWith(line, "- Adding parent table/key object: ")) ++parents;
    if (StartsWith(line, "Error, adding parent table/key: ")) ++parent_errors;
    if (StartsWith(line, "- Adding LU table/key object(s): ")) ++lookups;
  }
  std::string problems;
  if (log.empty() || log[0] != "Loading processing instructions...") {
    problems += "the log does not start with the loading line; ";
  }
  if (result != (errors == 0)) problems += "the result disagrees with the error lines; ";
  if (parents != set.Tables.Count() + parent_errors) problems += "a parent line was lost; ";
  if (lookups != set.LookUps.Count()) problems += "a lookup line was lost; ";
  for (const auto& lookup : set.LookUps) {
    for (const auto& field : lookup.CodeFields()) {
      if (field.FieldName().empty()) problems += "an empty code field; ";
    }
    for (const auto& ref : lookup.RefTables()) {
      for (const auto& field : ref.CodeFields()) {
        if (field.FieldName().empty()) problems += "an empty code field of a ref table; ";
      }
    }
  }
  return problems;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  const uint64_t seed =
      argc > 2 ? std::strtoull(argv[2], nullptr, 10)
               : static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  const fs::path folder =
      argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "msu_loader_fuzz";
  fs::create_directories(folder);

  std::vector<std::string> corpus = kSeeds;
  for (const char* name : {"CVN_4x.txt", "CVN_PRE4x.txt"}) {
    // The shipped files are good starting points.
    std::ifstream in(msu::JoinPath(ORVANE_SUITE_FILES, name), std::ios::binary);
    if (in)
      corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::cout << "seed " << seed << ", " << seconds << " s, corpus of " << corpus.size()
            << " files, work folder " << folder.string() << std::endl;
  Generator generator(seed);
  NoServer server;
  msu::ScriptedPrompt prompt;
  const auto start = std::chrono::steady_clock::now();
  long runs = 0, loaded = 0, failures = 0;
  size_t largest = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
         seconds) {
    std::string input = generator.Next(corpus);
    largest = std::max(largest, input.size());
    {
      std::ofstream out(folder / "CVN_4x.txt", std::ios::binary | std::ios::trunc);
      out.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    msu::RecordingProgress progress;
    progress.SetShowDetails(msu::LogPage::kCheck, true);
    msu::Context context(folder.string(), progress, prompt, server);
    context.versions.InstructionFileName = "CVN_4x.txt";
    InstructionSet set;
    bool result = false;
    try {
      result = msu::instructions::LoadInstructions(context, set);
    } catch (...) {
      std::cerr << "LoadInstructions threw" << std::endl;
      return 2;
    }
    ++runs;
    if (result) ++loaded;
    std::string problems = Check(result, progress, set);
    if (!problems.empty()) {
      const fs::path kept = folder / ("fuzz_failure_" + std::to_string(++failures) + ".txt");
      std::ofstream(kept, std::ios::binary) << input;
      std::cerr << "run " << runs << ": " << problems << "input kept as " << kept.string()
                << std::endl;
    }
    // Small inputs that loaded cleanly join the corpus now and then; big ones would slow the
    // run down for little gain.
    if (result && set.Tables.Count() + set.LookUps.Count() > 3 && input.size() < 100000 &&
        corpus.size() < 500 && generator.Chance(5)) {
      corpus.push_back(input);
    }
  }
  std::cout << runs << " files in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
            << " s: " << loaded << " loaded without error, " << (runs - loaded)
            << " with error lines, largest " << largest << " bytes, " << failures
            << " failed checks" << std::endl;
  return failures == 0 ? 0 : 1;
}
