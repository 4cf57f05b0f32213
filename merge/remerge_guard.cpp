#include "merge/remerge_guard.h"

#include <memory>
#include <string>
#include <unordered_set>

#include "convert/request_number.h"
#include "core/text.h"

namespace msu::merge {

namespace {

constexpr int64_t kFewestRows = 20;

constexpr const char* kPersons =
    "SELECT i.IncidentNumber, p.LastName, p.FirstName FROM Persons AS p LEFT JOIN Incidents AS i "
    "ON i.IncidentID = p.IncidentID";
constexpr const char* kResources =
    "SELECT i.IncidentNumber, r.ResourceName, r.RequestNumber FROM Resources AS r LEFT JOIN "
    "Incidents AS i ON i.IncidentID = r.IncidentID";

// The three values of the current row as one key; empty when the row has no incident. With
// `convert_third` the third value is a request number, taken in its converted notation.
std::string RowKey(const data::Recordset& rows, bool convert_third = false) {
  if (rows.Get(0).IsNull()) return std::string();
  std::string key;
  for (int i = 0; i < 3; ++i) {
    std::string text = rows.Get(i).AsText();
    if (i == 2 && convert_third && !rows.Get(i).IsNull()) {
      text = convert::ConvertRequestNumber(text);
    }
    const std::string part = UpperCase(Trim(text));
    key += std::to_string(part.size()) + ":" + part;
  }
  return key;
}

// Rows of `statement` on `source` (counted) and how many of them `destination` holds too.
void CountFound(data::Connection& source, data::Connection& destination, const char* statement,
                int64_t* rows, int64_t* found, bool convert_source = false) {
  std::unordered_set<std::string> known;
  std::unique_ptr<data::Recordset> b_rows = destination.Execute(statement);
  for (; b_rows->IsOpen() && !b_rows->IsEOF(); b_rows->MoveNext()) {
    std::string key = RowKey(*b_rows);
    if (!key.empty()) known.insert(std::move(key));
  }
  if (b_rows->IsOpen()) b_rows->Close();
  std::unique_ptr<data::Recordset> a_rows = source.Execute(statement);
  for (; a_rows->IsOpen() && !a_rows->IsEOF(); a_rows->MoveNext()) {
    ++*rows;
    const std::string key = RowKey(*a_rows, convert_source);
    if (!key.empty() && known.count(key) != 0) ++*found;
  }
  if (a_rows->IsOpen()) a_rows->Close();
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
