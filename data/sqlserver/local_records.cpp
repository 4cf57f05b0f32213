#include "data/sqlserver/local_records.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/error_numbers.h"
#include "core/private_files.h"
#include "core/text.h"

namespace msu::sqlserver {

namespace fs = std::filesystem;

namespace {

// Server names hold "\" and ","; a file name keeps letters, digits, "." and "-" and writes any
// other byte as %XX.
std::string FileNamePart(const std::string& server) {
  static const char kHex[] = "0123456789abcdef";
  std::string part;
  for (unsigned char c : LowerCase(server)) {
    if (std::isalnum(c) || c == '.' || c == '-') {
      part += static_cast<char>(c);
    } else {
      part += '%';
      part += kHex[c >> 4];
      part += kHex[c & 15];
    }
  }
  return part;
}

// Fields are separated by tabs; a tab, a line break or a backslash in a value is escaped.
std::string Escape(const std::string& value) {
  std::string text;
  for (char c : value) {
    if (c == '\\')
      text += "\\\\";
    else if (c == '\t')
      text += "\\t";
    else if (c == '\n')
      text += "\\n";
    else if (c == '\r')
      text += "\\r";
    else
      text += c;
  }
  return text;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::string LocalStateFolder() {
  fs::path folder;
#ifdef _WIN32
  if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) folder = local;
#else
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    folder = fs::path(home) / ".local" / "state";
  }
#endif
  if (folder.empty()) return {};
  folder /= "orvane-msu";
  std::error_code error;
  if (!fs::exists(folder, error)) {
    fs::create_directories(folder, error);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
  }
  return folder.string();
}

std::string LocalRunLockFile(const std::string& server) {
  const std::string folder = LocalStateFolder();
  if (folder.empty()) return {};
  return (fs::path(folder) / (FileNamePart(server) + ".lock")).string();
}

PendingRecordFile PendingRecordFile::ForServer(const std::string& server) {
  const std::string folder = LocalStateFolder();
  if (folder.empty()) {
    throw data::AdminError(data::kErrAdminOperation,
                           "There is no folder to keep the record of detached databases in "
                           "(HOME is not set).");
  }
  return PendingRecordFile((fs::path(folder) / (FileNamePart(server) + ".pending")).string());
}

void PendingRecordFile::Record(const data::PendingAttachment& attachment) {
  std::vector<data::PendingAttachment> entries = Entries();
  std::erase_if(entries, [&](const auto& e) { return EqualsNoCase(e.name, attachment.name); });
  entries.push_back(attachment);
  Write(entries);
}

void PendingRecordFile::Remove(const std::string& name) {
  std::vector<data::PendingAttachment> entries = Entries();
  const size_t before = entries.size();
  std::erase_if(entries, [&](const auto& e) { return EqualsNoCase(e.name, name); });
  if (entries.size() != before) Write(entries);
}

std::vector<data::PendingAttachment> PendingRecordFile::Entries() const {
  std::vector<data::PendingAttachment> entries;
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields = SplitFields(line);
    // Records written before working databases were kept have five fields.
    if ((fields.size() != 5 && fields.size() != 6) || fields[0].empty()) continue;
    data::PendingAttachment entry;
    entry.name = fields[0];
    entry.data_file = fields[1];
    entry.process = std::atol(fields[2].c_str());
    entry.program = fields[3];
    entry.since = fields[4];
    entry.working = fields.size() == 6 && fields[5] == "working";
    entries.push_back(std::move(entry));
  }
  return entries;
}

void PendingRecordFile::Write(const std::vector<data::PendingAttachment>& entries) const {
  std::ostringstream text;
  for (const data::PendingAttachment& e : entries) {
    text << Escape(e.name) << '\t' << Escape(e.data_file) << '\t' << e.process << '\t'
         << Escape(e.program) << '\t' << Escape(e.since) << '\t' << (e.working ? "working" : "user")
         << '\n';
  }
  try {
    // The record must outlive a crash of the program and of the machine: the detach that
    // follows it is undone only through it.
    ReplaceFileContents(path_, text.str());
  } catch (const std::exception& error) {
    throw data::AdminError(
        data::kErrAdminOperation,
        "Cannot write the record of detached databases " + path_ + ": " + error.what() + ".");
  }
}

}  // namespace msu::sqlserver
