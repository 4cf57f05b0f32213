#include "merge/remerge_guard.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "convert/request_number.h"
#include "core/text.h"

namespace msu::merge {

namespace {

constexpr int64_t kFewestRows = 20;

// The rows compared and the three values of each: the incident's number, then two names.
struct Compared {
  const char* rows;
  const char* incident_column;
  const char* first;
  const char* second;
};
constexpr Compared kPersons = {"Persons", "IncidentID", "LastName", "FirstName"};
constexpr Compared kResources = {"Resources", "IncidentID", "ResourceName", "RequestNumber"};

// Appends one value to a key: its length, a colon and its text without case or surrounding
// blanks, so that no two lists of values make the same key.
void AppendPart(std::string& key, std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  key += std::to_string(end - begin);
  key += ':';
  for (size_t i = begin; i < end; ++i) {
    const char c = text[i];
    key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
}

// A value as AppendPart takes it: text as stored, anything else in its text form.
void AppendPart(std::string& key, const data::Value& value) {
  if (const std::string* text = value.StoredText()) {
    AppendPart(key, *text);
  } else {
    AppendPart(key, value.AsText());
  }
}

// The incident numbers by incident key, each already a key part.
std::unordered_map<int64_t, std::string> IncidentNumbers(data::Connection& connection) {
  std::unordered_map<int64_t, std::string> numbers;
  std::unique_ptr<data::Recordset> rows =
      connection.Execute("SELECT IncidentID, IncidentNumber FROM Incidents");
  for (; rows->IsOpen() && !rows->IsEOF(); rows->MoveNext()) {
    // A row without a key or a number gives no row an incident, as a join on it would not.
    if (rows->Get(0).IsNull() || rows->Get(1).IsNull()) continue;
    std::string part;
    AppendPart(part, rows->Get(1).AsText());
    numbers.emplace(rows->Get(0).AsInteger(), std::move(part));
  }
  if (rows->IsOpen()) rows->Close();
  return numbers;
}

// Reads the rows of `compared` on `connection` and calls `each` with the key of each: empty
// when the row has no incident. With `convert_second` the second name is a request number,
// taken in its converted notation. The incidents are read once, not joined row by row.
template <class Each>
void ReadKeys(data::Connection& connection, const Compared& compared, bool convert_second,
              Each&& each) {
  const std::unordered_map<int64_t, std::string> incidents = IncidentNumbers(connection);
  std::unique_ptr<data::Recordset> rows =
      connection.Execute(std::string("SELECT ") + compared.incident_column + ", " + compared.first +
                         ", " + compared.second + " FROM " + compared.rows);
  std::string key;
  for (; rows->IsOpen() && !rows->IsEOF(); rows->MoveNext()) {
    key.clear();
    const auto incident =
        rows->Get(0).IsNull() ? incidents.end() : incidents.find(rows->Get(0).AsInteger());
    if (incident != incidents.end()) {
      key = incident->second;
      AppendPart(key, rows->Get(1));
      const data::Value& second = rows->Get(2);
      if (convert_second && !second.IsNull()) {
        AppendPart(key, convert::ConvertRequestNumber(second.AsText()));
      } else {
        AppendPart(key, second);
      }
    }
    each(key);
  }
  if (rows->IsOpen()) rows->Close();
}

// The keys of the persons and of the resources of Database 2, each once.
struct KnownKeys {
  std::unordered_set<std::string> persons;
  std::unordered_set<std::string> resources;
};

KnownKeys ReadKnownKeys(data::Connection& destination) {
  KnownKeys known;
  ReadKeys(destination, kPersons, false, [&](const std::string& key) {
    if (!key.empty()) known.persons.insert(key);
  });
  ReadKeys(destination, kResources, false, [&](const std::string& key) {
    if (!key.empty()) known.resources.insert(key);
  });
  return known;
}

// The key of each person and each resource of Database 1, empty for a row without one.
struct RowKeys {
  std::vector<std::string> persons;
  std::vector<std::string> resources;
};

RowKeys ReadRowKeys(data::Connection& source, bool convert_request_numbers) {
  RowKeys rows;
  ReadKeys(source, kPersons, false, [&](const std::string& key) { rows.persons.push_back(key); });
  ReadKeys(source, kResources, convert_request_numbers,
           [&](const std::string& key) { rows.resources.push_back(key); });
  return rows;
}

// Counts `rows` and those of them `known` holds too.
void CountFound(const std::vector<std::string>& rows, const std::unordered_set<std::string>& known,
                int64_t* counted, int64_t* found) {
  *counted = static_cast<int64_t>(rows.size());
  for (const std::string& key : rows) {
    if (!key.empty() && known.count(key) != 0) ++*found;
  }
}

// A table's or field's name as the guard spells it: no surrounding blanks or brackets.
std::string_view BareName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '[')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == ']')) name.remove_suffix(1);
  return name;
}

bool NearlyAll(int64_t found, int64_t rows) {
  return rows >= kFewestRows && found * 10 >= rows * 9;
}

}  // namespace

bool RemergeCounts::LooksMergedBefore() const {
  return NearlyAll(persons_found, persons) && NearlyAll(resources_found, resources);
}

bool RemergeReads(const std::string& table, const std::string& field) {
  const std::string_view bare_table = BareName(table);
  const std::string_view bare_field = BareName(field);
  if (EqualsNoCase(bare_table, "Incidents")) {
    return EqualsNoCase(bare_field, "IncidentID") || EqualsNoCase(bare_field, "IncidentNumber");
  }
  for (const Compared& compared : {kPersons, kResources}) {
    if (!EqualsNoCase(bare_table, compared.rows)) continue;
    for (const char* read : {compared.incident_column, compared.first, compared.second}) {
      if (EqualsNoCase(bare_field, read)) return true;
    }
  }
  return false;
}

RemergeCounts CountRemergedRows(data::Connection& source, data::Connection& destination,
                                bool legacy_source, const data::SecondReader& second) {
  // Database 2's keys are read on the second connection, when there is one, while Database
  // 1's are read here.
  KnownKeys known;
  RowKeys rows;
  if (second.connection != nullptr) {
    data::HelperThread helper(*second.connection,
                              [&] { known = ReadKnownKeys(*second.connection); });
    rows = ReadRowKeys(source, legacy_source);
    helper.Wait(second.beat);
  } else {
    known = ReadKnownKeys(destination);
    rows = ReadRowKeys(source, legacy_source);
  }
  RemergeCounts counts;
  CountFound(rows.persons, known.persons, &counts.persons, &counts.persons_found);
  CountFound(rows.resources, known.resources, &counts.resources, &counts.resources_found);
  return counts;
}

std::string RemergeFinding(const RemergeCounts& counts) {
  return "Database 1 looks merged into Database 2 already: " +
         std::to_string(counts.persons_found) + " of " + std::to_string(counts.persons) +
         " persons and " + std::to_string(counts.resources_found) + " of " +
         std::to_string(counts.resources) +
         " resources of Database 1 stand in Database 2 under the same incident number and name.";
}

}  // namespace msu::merge
