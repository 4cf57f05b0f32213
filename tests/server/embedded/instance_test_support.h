// Shared by the tests of the instances: a scratch folder per test, and real database files.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "server/embedded/instance.h"

namespace msu::embedded::testing {

// A fresh folder, removed with everything in it when the test ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "msu-instance-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a small SQLite database with one table and one row.
inline void MakeDatabaseFile(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot create db");
  sqlite3_exec(db,
               "CREATE TABLE Incidents(IncidentID INTEGER PRIMARY KEY, Name TEXT);"
               "INSERT INTO Incidents VALUES(1, 'Flood');",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

inline constexpr const char* kWardenPassword = "secret";
inline constexpr const char* kServerPassword = "83ecret";  // "S" is 83

}  // namespace msu::embedded::testing
