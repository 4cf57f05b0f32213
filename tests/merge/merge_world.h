// The surroundings of a merge check on a real embedded server: an application folder with the
// suite's cvn.ini, a running instance "ORVANE" in a scratch root, the two working copies
// attached as W_O_R_K_A and W_O_R_K_B, an instruction file, the progress log and a viewer
// that records the reports it is handed. Every test ends by checking that working copy B came
// out byte for byte as it went in and that copy A is a sound database.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/server_password.h"
#include "data/embedded/backend.h"
#include "data/embedded/database_file.h"
#include "data/embedded/instance.h"
#include "merge/merge.h"
#include "reports/problem_report.h"
#include "server_routines/working_attachments.h"
#include "tests/support/fault_injection.h"
#include "tests/support/recording_progress.h"
#include "tests/support/scripted_prompt.h"
#include "tests/support/sqlite_rows.h"
#include "tests/support/test_files.h"

namespace msu::testing {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

inline std::string B(const std::string& text) { return reports::BoldText(text); }

// One INSERT statement for each row of values.
inline Lines Insert(const std::string& table, const Lines& rows) {
  Lines statements;
  for (const std::string& row : rows) {
    statements.push_back("INSERT INTO " + table + " VALUES (" + row + ")");
  }
  return statements;
}

inline Lines operator+(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Every row of a query on a SQLite file, values joined by "|" ("NULL" for NULL).
inline Lines Query(const std::string& path, const std::string& sql) {
  try {
    return QueryFile(path, sql);
  } catch (const std::exception& error) {
    ADD_FAILURE() << error.what();
    return {};
  }
}

class RecordingViewer : public reports::ReportViewer {
 public:
  void LoadReport(const std::string& report_path) override { loaded.push_back(report_path); }
  Lines loaded;
};

class MergeWorld : public ::testing::Test {
 protected:
  using Merge = merge::Merge;

  void SetUp() override {
    fs::create_directories(root_ + "/app");
    fs::create_directories(root_ + "/data");
    instance_ = embedded::Instance::Create(root_ + "/servers", "ORVANE", "secret");
    backend_ = std::make_unique<embedded::EmbeddedBackend>(root_ + "/servers");
    faulty_ = std::make_unique<FaultInjectingBackend>(*backend_);
    context_ = std::make_unique<Context>(root_ + "/app", progress_, prompt_, *faulty_);
    context_->server = {"ORVANE", DeriveServerPassword("secret")};
    context_->versions.Database1Version = "5.01.00";
    context_->versions.Database2Version = "5.01.00";
    context_->versions.InstructionFileName = "CVN_test.txt";
    progress_.SetShowDetails(LogPage::kCheck, true);
    WriteFile(AppFile("cvn.ini"), "[CVN]\r\nProvider=Orvane.Embedded\r\n");
  }

  void TearDown() override {
    merge_.reset();
    if (!b_bytes_.empty()) {
      EXPECT_TRUE(ReadFile(AppFile("W_O_R_K_B.tmp")) == b_bytes_) << "working copy B was written";
    }
    if (fs::exists(AppFile("W_O_R_K_A.tmp"))) {
      EXPECT_THAT(Query(AppFile("W_O_R_K_A.tmp"), "PRAGMA integrity_check"),
                  ::testing::ElementsAre("ok"));
    }
    EXPECT_EQ(prompt_.BusyDepth(), 0);
    instance_.reset();
    // A test may set the world up again; it starts from an empty folder.
    for (const auto& entry : fs::directory_iterator(root_)) fs::remove_all(entry.path());
  }

  std::string AppFile(const std::string& name) const { return context_->AppFile(name); }
  std::string DataFile(const std::string& name) const { return root_ + "/data/" + name; }

  // A new database file made of T-SQL statements, run through the embedded server.
  std::string MakeDatabase(const std::string& path, const Lines& statements) {
    embedded::CreateDatabaseFile(path);
    auto connection = backend_->CreateConnection();
    connection->SetConnectionString("Provider=Orvane.Embedded;Data Source=" + path);
    connection->Open();
    for (const std::string& statement : statements) connection->Execute(statement);
    connection->Close();
    return path;
  }

  // Copies both files to the application folder as the working copies and attaches them, as
  // the wizard does before the check.
  void AttachWorkingCopies(const std::string& a, const std::string& b) {
    fs::copy_file(a, AppFile("W_O_R_K_A.tmp"));
    fs::copy_file(b, AppFile("W_O_R_K_B.tmp"));
    instance_->Attach("W_O_R_K_A", AppFile("W_O_R_K_A.tmp"));
    instance_->Attach("W_O_R_K_B", AppFile("W_O_R_K_B.tmp"));
    server_routines::RememberWorkingCopy(*context_, AppFile("W_O_R_K_A.tmp"));
    server_routines::RememberWorkingCopy(*context_, AppFile("W_O_R_K_B.tmp"));
    b_bytes_ = ReadFile(AppFile("W_O_R_K_B.tmp"));
  }

  // Working copies of two hand-made databases, each made of `schema` and its own rows.
  void Pair(const Lines& schema, const Lines& a_rows, const Lines& b_rows) {
    AttachWorkingCopies(MakeDatabase(DataFile("a.mdf"), schema + a_rows),
                        MakeDatabase(DataFile("b.mdf"), schema + b_rows));
  }

  void Instructions(const std::string& lookup_lines) {
    WriteFile(AppFile("CVN_test.txt"), "Version=5.01.00\r\n[LookUpTables]\r\n" + lookup_lines);
  }

  // A new engine for the three paths, as the wizard makes one for each check.
  Merge& NewMerge() {
    merge_ = std::make_unique<merge::Merge>(*context_, &viewer_);
    merge_->SourceAPath = DataFile("a.mdf");
    merge_->SourceBPath = DataFile("b.mdf");
    merge_->TargetDBPath = root_ + "/out/Merged.mdf";
    return *merge_;
  }

  // Runs the check to its end and closes the connections, so the files can be read.
  bool Check() {
    const bool result = NewMerge().Initialize();
    problems_ = merge_->ProblemsToCorrect;
    merge_->CloseConnections();
    return result;
  }

  Lines Log() const { return progress_.Texts(LogPage::kCheck); }

  // The log from the line `first` on (all of it when there is no such line).
  Lines LogFrom(const std::string& first) const {
    Lines log = Log();
    auto at = std::find(log.begin(), log.end(), first);
    return at == log.end() ? log : Lines(at, log.end());
  }

  // The body lines of the report, without page headers, footers and the blank lines that
  // fill a page.
  Lines Report() const {
    merge_.reset();  // a report left open is complete once its file is closed
    const std::string text = ReadFile(AppFile("tmp_rpt.rtf"));
    const std::string prefix = "\\par \\fs18      ";
    Lines lines;
    size_t at = text.find(prefix);
    while (at != std::string::npos) {
      const size_t next = text.find(prefix, at + prefix.size());
      const std::string piece = text.substr(at + prefix.size(), next - at - prefix.size());
      at = next;
      if (piece.rfind("\\fs16 ", 0) == 0) {  // a footer: the lines before it fill the page
        while (!lines.empty() && lines.back().empty()) lines.pop_back();
        continue;
      }
      if (piece.find("\r\n") != std::string::npos) continue;  // the header block
      if (piece.rfind("\\fs18 ", 0) == 0) lines.push_back(piece.substr(6));
    }
    while (!lines.empty() && (lines.back().empty() || lines.back() == "\\par }")) {
      lines.pop_back();
    }
    return lines;
  }

  // The report lines after the heading of the duplicate pass (and its blank line).
  Lines DuplicateReport() const {
    Lines lines = Report();
    const std::string heading =
        B("Duplicate codes in non-standard records in Source and Destination lookup tables");
    auto at = std::find(lines.begin(), lines.end(), heading);
    if (at == lines.end()) return {"no duplicate heading"};
    return Lines(at + 2, lines.end());
  }

  Lines A(const std::string& sql) const { return Query(AppFile("W_O_R_K_A.tmp"), sql); }

  const ScratchFolder scratch_;
  const std::string root_ = scratch_.path();
  std::unique_ptr<embedded::Instance> instance_;
  std::unique_ptr<embedded::EmbeddedBackend> backend_;
  // The engine's connections go through this one; with no fault planned it changes nothing.
  std::unique_ptr<FaultInjectingBackend> faulty_;
  RecordingProgress progress_;
  ScriptedPrompt prompt_;
  RecordingViewer viewer_;
  std::unique_ptr<Context> context_;
  mutable std::unique_ptr<merge::Merge> merge_;
  bool problems_ = false;
  std::string b_bytes_;
};

}  // namespace msu::testing
