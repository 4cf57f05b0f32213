#include "instructions/instruction_loader.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "core/file_checks.h"
#include "core/text.h"

namespace msu::instructions {

namespace {

constexpr std::string_view kIncidentDelete = "[INCIDENTDELETE]";

// Reads lines ended by CR LF, LF or CR alone; the last line may have no end.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(*in.rdbuf()) {}

  bool Next(std::string& line) {
    line.clear();
    using Traits = std::char_traits<char>;
    Traits::int_type c = in_.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return false;
    while (!Traits::eq_int_type(c, Traits::eof())) {
      char ch = Traits::to_char_type(c);
      if (ch == '\n') break;
      if (ch == '\r') {
        if (Traits::eq_int_type(in_.sgetc(), Traits::to_int_type('\n'))) in_.sbumpc();
        break;
      }
      line += ch;
      c = in_.sbumpc();
    }
    return true;
  }

 private:
  std::streambuf& in_;
};

bool StartsWithNoCase(std::string_view line, std::string_view word) {
  return line.size() >= word.size() && EqualsNoCase(line.substr(0, word.size()), word);
}

// The value of a key-word line: the character right after the key word is the separator and is
// skipped whatever it is.
std::string ValueOf(std::string_view line, std::string_view word) {
  return line.size() > word.size() + 1 ? Trim(line.substr(word.size() + 1)) : std::string();
}

// A value split at its first ".": the name before it and the text after it, both trimmed.
struct SplitValue {
  std::string name;
  std::string rest;
  bool has_dot = false;
};

SplitValue SplitAtDot(const std::string& value) {
  SplitValue split;
  size_t dot = value.find('.');
  if (dot == std::string::npos) {
    split.name = value;
  } else {
    split.name = Trim(std::string_view(value).substr(0, dot));
    split.rest = Trim(std::string_view(value).substr(dot + 1));
    split.has_dot = true;
  }
  return split;
}

// The code fields of a lookup or referring-table value: the text after its first "." split at
// every "+", each trimmed. The list ends at an empty item, since the lookup check cannot work
// with a field without a name. A value without "." has the single field "<NONE>".
std::vector<std::string> FieldList(const SplitValue& split) {
  if (!split.has_dot) return {kNoKey};
  std::vector<std::string> fields;
  std::string_view rest = split.rest;
  while (true) {
    size_t plus = rest.find('+');
    std::string field = Trim(rest.substr(0, plus));
    if (field.empty()) break;
    fields.push_back(std::move(field));
    if (plus == std::string_view::npos) break;
    rest.remove_prefix(plus + 1);
  }
  return fields;
}

class Loader {
 public:
  Loader(Context& context, InstructionSet& set)
      : context_(context), progress_(context.progress()), set_(set) {}

  // Handles one line; false when the loading must end here.
  bool Line(const std::string& line) {
    if (line.size() >= kIncidentDelete.size() &&
        UpperCase(std::string_view(line).substr(0, kIncidentDelete.size())) == kIncidentDelete) {
      return false;
    }
    if (line.empty() || line[0] == ';') return true;
    if (StartsWithNoCase(line, "Version")) {
      set_.mergeVersion = line.size() > 8 ? Trim(std::string_view(line).substr(8)) : "";
    } else if (StartsWithNoCase(line, "[CoreTables]")) {
    } else if (StartsWithNoCase(line, "ParentTable")) {
      ParentTable(line);
    } else if (StartsWithNoCase(line, "ChildTable")) {
      return ChildTable(line);
    } else if (StartsWithNoCase(line, "[LookUpTables]")) {
    } else if (StartsWithNoCase(line, "LUTable")) {
      LookUpTable(line);
    } else if (StartsWithNoCase(line, "RefTable")) {
      RefTable(line);
    }
    return true;
  }

  bool result() const { return result_; }

 private:
  void ParentTable(const std::string& line) {
    SplitValue split = SplitAtDot(ValueOf(line, "ParentTable"));
    std::string key = split.has_dot ? split.rest : kNoKey;
    // A child line belongs to the last parent line, even when that line was refused as a
    // repeat: its children then join the table stored first.
    last_parent_ = split.name;
    progress_.AddProgress("- Adding parent table/key object: " + split.name + "." + key, true);
    try {
      set_.Tables.Add(split.name, key, split.name);
    } catch (const CollectionError& error) {
      progress_.AddProgress("Error, adding parent table/key: " + split.name + "." + key + " " +
                            error.description());
      result_ = false;
    }
  }

  bool ChildTable(const std::string& line) {
    SplitValue split = SplitAtDot(ValueOf(line, "ChildTable"));
    if (!split.has_dot) {
      progress_.AddProgress("Error, adding child table/key: " + split.name +
                            " A child table line needs a \".\" between the child table and its "
                            "foreign key; the line is skipped");
      result_ = false;
      return true;
    }
    progress_.AddProgress("- Adding child table/key object: " + split.name + "." + split.rest,
                          true);
    try {
      set_.Tables.Item(last_parent_.value_or("")).Children().Add(context_, split.name, split.rest);
    } catch (const CollectionError& error) {
      std::string description = error.description();
      if (!last_parent_) {
        description = "No parent table was declared before this child table";
      }
      progress_.AddProgress("Error, adding child table/key: " + split.name + "." + split.rest +
                            " " + description);
      result_ = false;
      return false;
    }
    return true;
  }

  void LookUpTable(const std::string& line) {
    SplitValue split = SplitAtDot(ValueOf(line, "LUTable"));
    progress_.AddProgress("- Adding LU table/key object(s): " + line);
    try {
      LookUp& lookup = set_.LookUps.Add(split.name);
      for (const std::string& field : FieldList(split)) lookup.CodeFields().Add(field, field);
    } catch (const CollectionError& error) {
      progress_.AddProgress("Error, adding Lookup table/key: " + split.name + "." +
                            (split.has_dot ? "" : kNoKey) + " " + error.description());
      result_ = false;
    }
  }

  void RefTable(const std::string& line) {
    SplitValue split = SplitAtDot(ValueOf(line, "RefTable"));
    progress_.AddProgress("- Adding ref table/key object(s): " + line);
    try {
      if (set_.LookUps.Count() == 0) {
        throw CollectionError(kErrSubscriptOutOfRange,
                              "No lookup table was declared before this referring table");
      }
      instructions::RefTable& ref =
          set_.LookUps.Item(set_.LookUps.Count()).RefTables().Add(split.name);
      for (const std::string& field : FieldList(split)) ref.CodeFields().Add(field, field);
    } catch (const CollectionError& error) {
      progress_.AddProgress("Error, adding ref table/key: " + split.name + "." +
                            (split.has_dot ? "" : kNoKey) + " " + error.description());
      result_ = false;
    }
  }

  Context& context_;
  Progress& progress_;
  InstructionSet& set_;
  std::optional<std::string> last_parent_;
  bool result_ = true;
};

}  // namespace

bool LoadInstructions(Context& context, InstructionSet& set) {
  Progress& progress = context.progress();
  progress.AddProgress("Loading processing instructions...");

  const std::string& name = context.versions.InstructionFileName;
  std::string path = context.AppFile(name);
  std::error_code error;
  if (name.empty() || !std::filesystem::exists(path, error) ||
      std::filesystem::is_directory(path, error)) {
    progress.AddProgress("Unable to find instructions");
    return false;
  }

  auto report_failure = [&](long number, const std::string& description) {
    progress.AddProgress("Error, reading processing instructions ");
    progress.AddProgress("Error is " + std::to_string(number) + " - " + description);
    return false;
  };

  // Opening a pipe would wait for a writer that never comes.
  if (const std::string problem = NotARegularFile(path); !problem.empty()) {
    return report_failure(kErrPathAccess,
                          "Path/File access error: " + path + " cannot be read: " + problem);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    return report_failure(kErrPathAccess,
                          "Path/File access error: " + path + " cannot be opened for reading");
  }

  Loader loader(context, set);
  LineReader reader(in);
  std::string line;
  try {
    while (reader.Next(line)) {
      if (!loader.Line(line)) break;
      if (context.ErrorFlag) return loader.result();
    }
  } catch (const std::exception& failure) {
    return report_failure(kErrDeviceIO, std::string("Device I/O error: ") + failure.what());
  }
  if (in.bad()) {
    return report_failure(kErrDeviceIO, "Device I/O error while reading " + path);
  }
  return loader.result();
}

}  // namespace msu::instructions
