#include "core/file_identity.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/text.h"

namespace msu {

namespace {

bool Identity(const std::string& path, struct stat* status) {
  return !path.empty() && ::stat(path.c_str(), status) == 0;
}

}  // namespace

std::string ExpandHome(const std::string& text) {
  if (text.empty() || text[0] != '~' || (text.size() > 1 && text[1] != '/')) return text;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return text;
  return std::string(home) + text.substr(1);
}

std::string DefaultDatabaseFolder() {
#ifdef _WIN32
  return "C:\\Orvane\\database";
#else
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/Orvane/Databases";
#endif
}

std::string InDefaultDatabaseFolder(const std::string& text) {
  const std::string name = Trim(text);
  if (name.empty() || name.find_first_of("/\\:") != std::string::npos) return text;
  return JoinPath(DefaultDatabaseFolder(), name);
}

bool SameFilePath(const std::string& a, const std::string& b) {
  struct stat first {
  }, second{};
  if (Identity(a, &first) && Identity(b, &second)) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  std::error_code ignored;
  const auto normal = [&](const std::string& path) {
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored)
        .lexically_normal();
  };
  return !a.empty() && !b.empty() && normal(a) == normal(b);
}

std::string UnfinishedTransactionFile(const std::string& path) {
  struct stat status {};
  const std::string journal = path + "-journal";
  if (::stat(journal.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    // A journal kept after a finished transaction ("persist" mode) starts with zeros.
    std::ifstream in(journal, std::ios::binary);
    char first = 0;
    if (!in.get(first) || first != 0) return journal;
  }
  const std::string wal = path + "-wal";
  if (::stat(wal.c_str(), &status) == 0 && status.st_size > 0) return wal;
  return {};
}

std::string UnfinishedTransactionMessage(const std::string& which, const std::string& path) {
  const std::string file = UnfinishedTransactionFile(path);
  if (file.empty()) return {};
  return which + " has an unfinished transaction (the file " + FileNameOf(file) +
         " beside it); open it in the suite first";
}

}  // namespace msu
