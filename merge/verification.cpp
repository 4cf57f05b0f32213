#include "merge/verification.h"

#include <memory>
#include <set>

#include "core/text.h"

namespace msu::merge {

namespace {

int64_t Count(data::Connection& connection, const std::string& statement) {
  std::unique_ptr<data::Recordset> rows = connection.Execute(statement);
  const int64_t count = rows->IsOpen() && !rows->IsEOF() ? rows->Get(0).AsInteger() : 0;
  if (rows->IsOpen()) rows->Close();
  return count;
}

bool IsField(const std::string& name) { return !name.empty() && name != instructions::kNoKey; }

class Verifier {
 public:
  explicit Verifier(data::Connection& destination) : destination_(destination) {}

  void CountTable(const ExpectedRows& expected) {
    Check(expected.table, [&] {
      ++result.tables_counted;
      const int64_t rows = Count(destination_, "SELECT COUNT(*) FROM " + expected.table);
      if (rows != expected.rows) {
        Find(expected.table, rows > expected.rows ? rows - expected.rows : expected.rows - rows,
             "table " + expected.table + " holds " + std::to_string(rows) + " rows, expected " +
                 std::to_string(expected.rows));
      }
    });
  }

  void ChildKeys(const instructions::PTable& parent, const instructions::Child& child) {
    const std::string key = Trim(parent.PrimaryKey());
    if (!IsField(key) || key.find('+') != std::string::npos || !IsField(child.ForeignKey())) {
      return;
    }
    const std::string target = child.TableName() + "." + child.ForeignKey();
    if (!checked_.insert(UpperCase(target + ">" + parent.TableName() + "." + key)).second) return;
    Check(child.TableName(), [&] {
      ++result.references_checked;
      const std::string fk = "c." + child.ForeignKey();
      const int64_t rows =
          Count(destination_, "SELECT COUNT(*) FROM " + child.TableName() + " AS c WHERE " + fk +
                                  " IS NOT NULL AND " + fk + " <> 0 AND " + fk +
                                  " <> -1 AND NOT EXISTS (SELECT 1 FROM " + parent.TableName() +
                                  " AS p WHERE p." + key + " = " + fk + ")");
      if (rows != 0) {
        Find(child.TableName(), rows,
             std::to_string(rows) + " rows of " + target + " refer to no row of " +
                 parent.TableName() + "." + key);
      }
    });
  }

  void Codes(const instructions::LookUp& lookup, const instructions::RefTable& ref) {
    const int32_t fields = lookup.CodeFields().Count();
    if (fields == 0 || ref.CodeFields().Count() != fields) return;
    std::string nulls;
    std::string match;
    std::string names;
    for (int32_t i = 1; i <= fields; ++i) {
      const std::string& code = lookup.CodeFields().Item(i).FieldName();
      const std::string& field = ref.CodeFields().Item(i).FieldName();
      if (!IsField(code) || !IsField(field)) return;
      nulls += (i > 1 ? " AND r." : "r.") + field + " IS NOT NULL";
      match += (i > 1 ? " AND l." : "l.") + code + " = r." + field;
      names += (i > 1 ? "+" : "") + field;
    }
    const std::string target = ref.TableName() + "." + names;
    if (!checked_.insert(UpperCase(target + ">" + lookup.TableName())).second) return;
    Check(ref.TableName(), [&] {
      ++result.codes_checked;
      const int64_t rows =
          Count(destination_, "SELECT COUNT(*) FROM " + ref.TableName() + " AS r WHERE " + nulls +
                                  " AND NOT EXISTS (SELECT 1 FROM " + lookup.TableName() +
                                  " AS l WHERE " + match + ")");
      if (rows != 0) {
        Find(ref.TableName(), rows,
             std::to_string(rows) + " rows of " + target + " refer to no code of " +
                 lookup.TableName());
      }
    });
  }

  void Counters() {
    Check("NextNumber", [&] {
      std::vector<std::pair<std::string, std::string>> counters;
      std::vector<int64_t> values;
      std::unique_ptr<data::Recordset> rows =
          destination_.Execute("SELECT TableName, FieldName, NextNumber FROM NextNumber");
      while (rows->IsOpen() && !rows->IsEOF()) {
        counters.emplace_back(rows->Get(0).AsText(), rows->Get(1).AsText());
        values.push_back(rows->Get(2).AsInteger());
        rows->MoveNext();
      }
      if (rows->IsOpen()) rows->Close();
      for (size_t i = 0; i < counters.size(); ++i) {
        const auto& [table, field] = counters[i];
        Check("NextNumber", [&] {
          ++result.counters_checked;
          std::unique_ptr<data::Recordset> largest =
              destination_.Execute("SELECT MAX([" + field + "]) FROM [" + table + "]");
          const int64_t max =
              largest->IsOpen() && !largest->IsEOF() ? largest->Get(0).AsInteger() : 0;
          if (largest->IsOpen()) largest->Close();
          if (values[i] <= max) {
            Find("NextNumber", 1,
                 "the NextNumber counter of " + table + "." + field + " is " +
                     std::to_string(values[i]) + ", not past the largest key " +
                     std::to_string(max));
          }
        });
      }
    });
  }

  Verification result;

 private:
  template <class F>
  void Check(const std::string& table, F&& check) {
    try {
      check();
    } catch (const std::exception& error) {
      Find(table, 0, "could not check " + table + ": " + error.what());
    }
  }

  void Find(const std::string& table, int64_t rows, const std::string& what) {
    result.findings.push_back({table, what, rows});
  }

  data::Connection& destination_;
  std::set<std::string> checked_;
};

}  // namespace

Verification VerifyDestination(data::Connection& destination, const instructions::Tables& tables,
                               const instructions::LookUps& lookups,
                               const std::vector<ExpectedRows>& expected) {
  Verifier verifier(destination);
  verifier.result.ran = true;
  for (const ExpectedRows& rows : expected) verifier.CountTable(rows);
  for (const instructions::PTable& parent : tables) {
    for (const instructions::Child& child : parent.Children()) verifier.ChildKeys(parent, child);
  }
  for (const instructions::LookUp& lookup : lookups) {
    for (const instructions::RefTable& ref : lookup.RefTables()) verifier.Codes(lookup, ref);
  }
  verifier.Counters();
  return verifier.result;
}

std::vector<std::string> VerificationLines(const Verification& verification) {
  std::vector<std::string> lines;
  if (!verification.ran) return lines;
  for (const VerificationFinding& finding : verification.findings) {
    lines.push_back("Verification failed: " + finding.what);
  }
  const std::string counted = std::to_string(verification.tables_counted) + " tables counted, " +
                              std::to_string(verification.references_checked) +
                              " key references, " + std::to_string(verification.codes_checked) +
                              " code references and " +
                              std::to_string(verification.counters_checked) + " counters checked";
  if (verification.findings.empty()) {
    lines.push_back("Verification passed: " + counted +
                    "; every reference resolves and the counts add up.");
  } else {
    lines.push_back("Verification found " + std::to_string(verification.findings.size()) +
                    " problems (" + counted + "); the verification itself changed nothing.");
  }
  return lines;
}

std::vector<std::string> QualIdWarnings(data::Connection& source) {
  try {
    const int64_t rows = Count(
        source,
        "SELECT COUNT(*) FROM Quals INNER JOIN (SELECT KindCode, ResourceID FROM Quals GROUP BY "
        "KindCode, ResourceID HAVING COUNT(*) > 1) AS Repeated ON Repeated.KindCode = "
        "Quals.KindCode AND Repeated.ResourceID = Quals.ResourceID WHERE Quals.PersonID < -32768 "
        "OR Quals.PersonID > 32767 OR Quals.ResourceID < -32768 OR Quals.ResourceID > 32767");
    if (rows == 0) return {};
    return {"Warning, " + std::to_string(rows) +
            " repeated qualification rows hold a PersonID or ResourceID beyond 16 bits: the "
            "de-duplication of Quals would stop the merge"};
  } catch (...) {
    return {};
  }
}

}  // namespace msu::merge
