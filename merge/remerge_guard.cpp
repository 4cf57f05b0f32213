#include "merge/remerge_guard.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

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
void AppendPart(std::string& key, const std::string& text) {
  const std::string part = UpperCase(Trim(text));
  key += std::to_string(part.size());
  key += ':';
  key += part;
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
      AppendPart(key, rows->Get(1).AsText());
      const data::Value& second = rows->Get(2);
      AppendPart(key, convert_second && !second.IsNull()
                          ? convert::ConvertRequestNumber(second.AsText())
                          : second.AsText());
    }
    each(key);
  }
  if (rows->IsOpen()) rows->Close();
}

// Rows of `compared` on `source` (counted) and how many of them `destination` holds too.
void CountFound(data::Connection& source, data::Connection& destination, const Compared& compared,
                int64_t* rows, int64_t* found, bool convert_source = false) {
  std::unordered_set<std::string> known;
  ReadKeys(destination, compared, false, [&](const std::string& key) {
    if (!key.empty()) known.insert(key);
  });
  ReadKeys(source, compared, convert_source, [&](const std::string& key) {
    ++*rows;
    if (!key.empty() && known.count(key) != 0) ++*found;
  });
}

bool NearlyAll(int64_t found, int64_t rows) {
  return rows >= kFewestRows && found * 10 >= rows * 9;
}

}  // namespace

bool RemergeCounts::LooksMergedBefore() const {
  return NearlyAll(persons_found, persons) && NearlyAll(resources_found, resources);
}

RemergeCounts CountRemergedRows(data::Connection& source, data::Connection& destination,
                                bool legacy_source) {
  RemergeCounts counts;
  CountFound(source, destination, kPersons, &counts.persons, &counts.persons_found);
  CountFound(source, destination, kResources, &counts.resources, &counts.resources_found,
             legacy_source);
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
