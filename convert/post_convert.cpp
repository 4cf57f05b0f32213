#include "convert/post_convert.h"

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "convert/conversion_failure.h"
#include "convert/kind_codes.h"
#include "convert/request_number.h"
#include "core/context.h"
#include "core/text.h"

namespace msu::convert {

namespace {

// Runs a statement that returns no rows; the rows it changed.
int64_t Run(data::Connection& connection, const std::string& statement) {
  long rows = 0;
  std::unique_ptr<data::Recordset> result = connection.Execute(statement, &rows);
  if (result->IsOpen()) result->Close();
  return rows > 0 ? rows : 0;
}

// A resourceid as the 32-bit integer the statements are written with.
std::string ResourceId(const data::Value& value) {
  if (value.IsNull()) throw NumberedError(kErrInvalidUseOfNull, "Invalid use of Null");
  const int64_t id = value.AsInteger();
  if (id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max()) {
    throw NumberedError(kErrOverflow, "Overflow");
  }
  return std::to_string(id);
}

// One resource whose request numbers change: the converted texts of those that do, and what
// they were.
struct RequestChange {
  std::string id;
  std::optional<std::string> request;
  std::optional<std::string> original;
  std::string stored_request;
  std::string stored_original;
};

// Fills `converted` and `stored` when the value is not NULL and its conversion differs (case
// counts).
void Convert(const data::Value& value, std::optional<std::string>* converted, std::string* stored) {
  if (value.IsNull()) return;
  *stored = value.AsText();
  std::string text = ConvertRequestNumber(*stored);
  if (text != *stored) *converted = std::move(text);
}

// The statements of one resource, as written.
void ApplyAsWritten(data::Connection& b, const RequestChange& change, PostConvertFigures& counts) {
  if (change.request) {
    Run(b, "UPDATE resources SET requestnumber = '" + *change.request +
               "' WHERE resourceid = " + change.id);
    Run(b, "UPDATE persons SET requestnumber = '" + *change.request +
               "' WHERE resourceid = " + change.id);
    ++counts.request_numbers;
  }
  if (change.original) {
    Run(b, "UPDATE resources SET originalorderrequest = '" + *change.original +
               "' WHERE resourceid = " + change.id);
    ++counts.original_requests;
  }
}

// "UPDATE resources SET requestnumber = CASE resourceid WHEN id THEN 'text' ... ELSE
// requestnumber END, originalorderrequest = CASE ... END WHERE resourceid IN (...)" with the
// converted texts of `changes`, or with `stored` the texts they had.
std::string ResourcesStatement(const std::vector<RequestChange>& changes, bool stored) {
  std::string ids;
  std::string requests;
  std::string originals;
  for (const RequestChange& change : changes) {
    ids += (ids.empty() ? "" : ",") + change.id;
    if (change.request) {
      requests += " WHEN " + change.id + " THEN " +
                  SqlLiteral(stored ? change.stored_request : *change.request);
    }
    if (change.original) {
      originals += " WHEN " + change.id + " THEN " +
                   SqlLiteral(stored ? change.stored_original : *change.original);
    }
  }
  std::string set;
  if (!requests.empty()) {
    set = "requestnumber = CASE resourceid" + requests + " ELSE requestnumber END";
  }
  if (!originals.empty()) {
    set += (set.empty() ? "" : ", ") + std::string("originalorderrequest = CASE resourceid") +
           originals + " ELSE originalorderrequest END";
  }
  return "UPDATE resources SET " + set + " WHERE resourceid IN (" + ids + ")";
}

// The changes of up to kBatchRows resources in two statements, one per table, where the
// statements as written send up to three per resource. Each statement changes all of its rows
// or none; when the second fails, the first is undone, so that the statements as written,
// which then take over for these resources, start from the rows as they were.
void ApplyBatch(data::Connection& b, const std::vector<RequestChange>& changes,
                PostConvertFigures& counts) {
  if (changes.empty()) return;
  std::string person_ids;
  std::string person_cases;
  int64_t requests = 0;
  int64_t originals = 0;
  for (const RequestChange& change : changes) {
    if (change.original) ++originals;
    if (!change.request) continue;
    ++requests;
    person_ids += (person_ids.empty() ? "" : ",") + change.id;
    person_cases += " WHEN " + change.id + " THEN " + SqlLiteral(*change.request);
  }
  bool resources_done = false;
  try {
    Run(b, ResourcesStatement(changes, false));
    resources_done = true;
    if (!person_ids.empty()) {
      Run(b, "UPDATE persons SET requestnumber = CASE resourceid" + person_cases +
                 " END WHERE resourceid IN (" + person_ids + ")");
    }
    counts.request_numbers += requests;
    counts.original_requests += originals;
    return;
  } catch (const data::DataError&) {
  }
  if (resources_done) {
    try {
      Run(b, ResourcesStatement(changes, true));
    } catch (const data::DataError&) {
      // The server refuses to write back what it wrote a moment ago; the statements as
      // written still report what stops them.
    }
  }
  for (const RequestChange& change : changes) ApplyAsWritten(b, change, counts);
}

// Resources per batch of the set-based path: statements of a few ten thousand characters.
constexpr size_t kBatchRows = 500;

}  // namespace

void ConvertRequestNumbers(data::Connection& b, StatementPath path, PostConvertFigures* figures) {
  PostConvertFigures ignored;
  PostConvertFigures& counts = figures != nullptr ? *figures : ignored;
  std::vector<RequestChange> batch;
  std::unordered_set<std::string> batch_ids;
  const auto flush = [&] {
    std::vector<RequestChange> changes = std::move(batch);
    batch.clear();
    batch_ids.clear();
    ApplyBatch(b, changes, counts);
  };
  std::unique_ptr<data::Recordset> rows =
      b.Execute("SELECT resourceid, requestnumber, originalorderrequest FROM resources");
  try {
    for (; rows->IsOpen() && !rows->IsEOF(); rows->MoveNext()) {
      RequestChange change;
      change.id = ResourceId(rows->Get(0));
      Convert(rows->Get(1), &change.request, &change.stored_request);
      Convert(rows->Get(2), &change.original, &change.stored_original);
      if (!change.request && !change.original) continue;
      // A quote in a text ends its literal in the statements as written; only they may say
      // what the server makes of it. A resourceid met twice is written twice, in order.
      const bool quote = change.request.value_or("").find('\'') != std::string::npos ||
                         change.original.value_or("").find('\'') != std::string::npos;
      if (path == StatementPath::kAsWritten || quote) {
        flush();
        ApplyAsWritten(b, change, counts);
        continue;
      }
      if (batch_ids.count(change.id) != 0) flush();
      batch_ids.insert(change.id);
      batch.push_back(std::move(change));
      if (batch.size() == kBatchRows) flush();
    }
  } catch (...) {
    // The statements as written change each resource before the next one is read.
    flush();
    throw;
  }
  flush();
  if (rows->IsOpen()) rows->Close();
}

void AddAdminOffices(data::Connection& b, PostConvertFigures* figures) {
  const bool empty = data::QueryInteger(b, "SELECT COUNT(*) FROM adminoffice", -1) == 0;
  if (!empty) return;
  const int64_t offices = Run(
      b,
      "INSERT INTO adminoffice (adminofficeid,name,addr1,addr2,city,state,zip) SELECT "
      "incidentid,adminname,adminaddr1,adminaddr2,admincity,adminstate,adminzip FROM incidents");
  if (figures != nullptr) figures->admin_offices += offices;
  Run(b,
      "UPDATE agreement SET adminofficeid = incidentid FROM contractor WHERE "
      "contractor.contractorid = agreement.contractorid");
}

void UpdateKindCodes(data::Connection& b, StatementPath path, PostConvertFigures* figures) {
  PostConvertFigures ignored;
  int64_t& rows = (figures != nullptr ? *figures : ignored).kind_codes;
  for (const char* table : kKindCodeTables) {
    if (path == StatementPath::kSetBased) {
      try {
        rows += Run(b, KindCodesStatement(table));
        continue;
      } catch (const data::DataError&) {
        // One statement changes all of the table or none of it: the statements as written
        // start from the same rows, and a failure among them is theirs to report.
      }
    }
    for (const KindCodeChange& change : KindCodeChanges()) {
      rows += Run(b, KindCodeStatement(table, change));
    }
  }
}

bool PostConvert(Context& context, data::Connection& b, StatementPath path,
                 PostConvertFigures* figures) {
  Progress& progress = context.progress();
  context.merge.CurrentOperation = "Post Merge Conversion of Final Database";
  progress.AddProgressMerge("Applying Post Conversions To Final Database...");
  try {
    ConvertRequestNumbers(b, path, figures);
    progress.AddProgressMerge(" - Converted Request Numbers To ORVA Format", true);
    Run(b, "UPDATE persons SET leader = 1 WHERE leaderid > 0 or leaderid IS NOT NULL");
    progress.AddProgressMerge(" - Set Persons.leader", true);
    AddAdminOffices(b, figures);
    progress.AddProgressMerge(" - Added Values To AdminOffice if Needed", true);
    UpdateKindCodes(b, path, figures);
    progress.AddProgressMerge(" - Updated KindCodes", true);
    return true;
  } catch (...) {
    ReportConversionFailure(context);
    return false;
  }
}

}  // namespace msu::convert
