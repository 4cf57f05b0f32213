// DedupQuals: repeated qualification rows of the source copy A are collapsed before its keys
// move, so that each distinct row is stored once.
#include <cmath>
#include <limits>

#include "core/context.h"
#include "merge/merge.h"

namespace msu::merge {

namespace {

// The rows whose kind code occurs more than once for their resource, ordered by kind code and
// resource. The classic form of this query (kRepeatedQualsAsWritten, kept for a server that
// refuses the join) groups the whole table once per row through a correlated subquery; the
// join groups it once and gives the same rows.
constexpr const char* kRepeatedQuals =
    "SELECT Quals.KindCode, Quals.ResourceID, Quals.PersonID, Quals.Trainee FROM Quals "
    "INNER JOIN (SELECT KindCode, ResourceID FROM Quals GROUP BY KindCode, ResourceID "
    "HAVING COUNT(*) > 1) AS Repeated ON Repeated.KindCode = Quals.KindCode AND "
    "Repeated.ResourceID = Quals.ResourceID ORDER BY Quals.KindCode, Quals.ResourceID";
constexpr const char* kRepeatedQualsAsWritten =
    "SELECT Quals.KindCode, Quals.ResourceID, Quals.PersonID, Quals.Trainee "
    "From Quals WHERE (((Quals.KindCode) In (SELECT [KindCode] FROM [Quals] "
    "As Tmp GROUP BY [KindCode],[ResourceID] HAVING Count(*)>1  And "
    "[ResourceID] = [Quals].[ResourceID]))) ORDER BY Quals.KindCode, Quals.ResourceID";

int16_t SmallInteger(const data::Value& value) {
  const double number = std::nearbyint(value.AsReal());
  if (number < std::numeric_limits<int16_t>::min() ||
      number > std::numeric_limits<int16_t>::max()) {
    throw NumberedError(kErrOverflow, "Overflow");
  }
  return static_cast<int16_t>(number);
}

std::string Doubled(const std::string& text) {
  std::string doubled;
  for (char c : text) {
    doubled += c;
    if (c == '\'') doubled += '\'';
  }
  return doubled;
}

struct QualRow {
  data::Value person;
  std::string kind;
  data::Value resource;
  bool trainee = false;
  bool operator==(const QualRow&) const = default;
};

QualRow Read(const data::Recordset& rows) {
  return {rows.Get("PersonID"), rows.Get("KindCode").AsText(), rows.Get("ResourceID"),
          !rows.Get("Trainee").IsNull() && rows.Get("Trainee").AsBool()};
}

}  // namespace

void Merge::DedupQuals() {
  std::unique_ptr<data::Recordset> rows;
  try {
    rows = source_->Execute(kRepeatedQuals);
  } catch (const data::DataError&) {
    rows = source_->Execute(kRepeatedQualsAsWritten);
  }
  if (!rows->IsOpen() || rows->IsEOF()) {
    if (rows->IsOpen()) rows->Close();
    return;
  }
  while (!rows->IsEOF()) {
    const QualRow row = Read(*rows);
    std::string where;
    std::string values;
    const bool no_person = row.person.IsNull();
    if (no_person) {
      values = "NULL";
    } else {
      const std::string person = std::to_string(SmallInteger(row.person));
      where = "PersonID = " + person;
      values = person;
    }
    const std::string kind = Doubled(row.kind);
    where += (where.empty() ? "" : " AND ") + std::string("KindCode = '") + kind + "'";
    values += ",'" + kind + "'";
    const std::string resource = std::to_string(SmallInteger(row.resource));
    where += " AND ResourceID = " + resource;
    values += "," + resource;
    const std::string trainee = row.trainee ? "1" : "0";
    where += " AND Trainee = '" + trainee + "'";
    values += ",'" + trainee + "'";

    // A row repeated in all four values would only be handled again to the same effect.
    rows->MoveNext();
    while (!rows->IsEOF() && Read(*rows) == row) rows->MoveNext();

    // Without a person the delete is kept to rows without a person: the others belong to
    // persons whose rows were, or will be, handled on their own.
    source_->Execute("DELETE QUALS WHERE " + std::string(no_person ? "PersonID IS NULL AND " : "") +
                     where);
    source_->Execute("INSERT INTO QUALS VALUES(" + values + ")");
  }
  rows->Close();
}

}  // namespace msu::merge
