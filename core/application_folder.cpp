#include "core/application_folder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "core/context.h"
#include "core/private_files.h"
#include "core/text.h"
#include "core/version.h"

namespace msu {

namespace fs = std::filesystem;

namespace {

constexpr const char* kIniFile = "cvn.ini";

// The whole file; a file that opens but cannot be read to its end is an error too, not a short
// text that would be seeded and then kept as the user's own.
std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  char buffer[65536];
  while (in && (in.read(buffer, sizeof buffer) || in.gcount() > 0)) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (!in.is_open() || in.bad()) {
    throw fs::filesystem_error("Cannot read the file", path,
                               std::make_error_code(std::errc::io_error));
  }
  return bytes;
}

// FNV-1a: enough to tell a user's edit from the text that was seeded; not a defence against
// anyone, who could as well edit the note.
std::string Digest(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The note: file name, a tab, the digest of the text seeded.
std::map<std::string, std::string> ReadSeedNote(const fs::path& note) {
  std::map<std::string, std::string> seeded;
  std::ifstream in(note);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) seeded[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return seeded;
}

std::string SeedNoteText(const std::map<std::string, std::string>& seeded) {
  std::string text;
  for (const auto& [name, digest] : seeded) text += name + "\t" + digest + "\n";
  return text;
}

// The folder and its missing parents, each made 0700 whatever the umask, as the XDG base
// directories are to be made; a folder already there is not changed.
void MakeFolderIfMissing(const fs::path& folder) {
  std::error_code error;
  if (fs::is_directory(folder, error)) return;
  if (fs::exists(folder, error)) {
    throw fs::filesystem_error("Not a folder", folder,
                               std::make_error_code(std::errc::not_a_directory));
  }
  if (folder.has_parent_path() && folder.parent_path() != folder) {
    MakeFolderIfMissing(folder.parent_path());
  }
  if (!fs::create_directory(folder, error) && error) {
    throw fs::filesystem_error("Cannot create the folder", folder, error);
  }
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
}

}  // namespace

ApplicationFolder LocateApplicationFolder(const std::string& program_folder,
                                          const std::string& data_home) {
  ApplicationFolder folder{ApplicationFolderKind::kProgramFolder, program_folder, ""};
  std::error_code error;
  if (fs::exists(fs::path(program_folder) / kIniFile, error) || data_home.empty()) return folder;
  const fs::path kit = (fs::path(program_folder) / kInstalledKitFolder).lexically_normal();
  if (!fs::is_regular_file(kit / kIniFile, error)) return folder;
  folder.kind = ApplicationFolderKind::kUserFolder;
  folder.path = JoinPath(data_home, kUserFolderName);
  folder.kit_folder = kit.string();
  return folder;
}

std::string UserDataHome() {
#ifdef _WIN32
  const char* local = std::getenv("LOCALAPPDATA");
  return local != nullptr ? local : "";
#else
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    return data;
  }
  std::string home;
  if (const char* from_env = std::getenv("HOME"); from_env != nullptr && from_env[0] == '/') {
    home = from_env;
  } else if (const passwd* account = ::getpwuid(::getuid()); account != nullptr) {
    home = account->pw_dir != nullptr ? account->pw_dir : "";
  }
  return home.empty() ? std::string() : JoinPath(home, ".local/share");
#endif
}

ApplicationFolder RunningProgramsApplicationFolder() {
  return LocateApplicationFolder(ProgramFolder(), UserDataHome());
}

std::vector<std::string> PrepareApplicationFolder(const ApplicationFolder& folder) {
  std::vector<std::string> copied;
  if (folder.kind != ApplicationFolderKind::kUserFolder) return copied;
  const fs::path target(folder.path);
  MakeFolderIfMissing(target);

  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.kit_folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && !name.starts_with(".")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());

  const fs::path note = target / kSeedNoteFile;
  std::map<std::string, std::string> seeded = ReadSeedNote(note);
  const std::string note_before = SeedNoteText(seeded);
  for (const std::string& name : names) {
    const fs::path own = target / name;
    const std::string kit_text = ReadWhole(fs::path(folder.kit_folder) / name);
    const std::string kit_digest = Digest(kit_text);
    std::error_code error;
    if (fs::exists(own, error)) {
      const std::string own_digest = Digest(ReadWhole(own));
      const auto noted = seeded.find(name);
      // Equal to the kit: whoever made it, there is nothing to keep apart.
      if (own_digest == kit_digest) {
        seeded[name] = kit_digest;
        continue;
      }
      // Changed since it was seeded, or never seeded: the user's own text.
      if (noted == seeded.end() || noted->second != own_digest) continue;
    }
    ReplaceFileContents(own.string(), kit_text);
    seeded[name] = kit_digest;
    copied.push_back(name);
  }
  if (SeedNoteText(seeded) != note_before) ReplaceFileContents(note.string(), SeedNoteText(seeded));
  return copied;
}

std::string DescribeApplicationFolder(const ApplicationFolder& folder) {
  if (folder.kind == ApplicationFolderKind::kUserFolder) {
    return "Application folder: " + folder.path +
           "\n  (your own: this copy is installed; its instruction files, cvn.ini and help\n"
           "  come from " +
           folder.kit_folder + ")\n";
  }
  return "Application folder: " + folder.path + "\n  (the folder of the programs)\n";
}

}  // namespace msu
