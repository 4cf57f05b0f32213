#include "merge/verification.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/text.h"

namespace msu::merge {

namespace {

bool IsField(const std::string& name) { return !name.empty() && name != instructions::kNoKey; }

class Verifier {
 public:
  explicit Verifier(data::Connection& destination) : destination_(destination) {}

  void CountTable(const ExpectedRows& expected) {
    Check(expected.table, [&] {
      ++result.tables_counted;
      const int64_t rows =
          data::QueryInteger(destination_, "SELECT COUNT(*) FROM " + expected.table);
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
      const int64_t rows = data::QueryInteger(
          destination_, "SELECT COUNT(*) FROM " + child.TableName() + " AS c WHERE " +
                            Added(child.TableName(), "c") + fk + " IS NOT NULL AND " + fk +
                            " <> 0 AND " + fk + " <> -1 AND NOT EXISTS (SELECT 1 FROM " +
                            parent.TableName() + " AS p WHERE p." + key + " = " + fk + ")");
      if (rows != 0) {
        Find(child.TableName(), rows,
             std::to_string(rows) + " rows of " + target + " refer to no row of " +
                 parent.TableName() + "." + key);
      }
    });
  }

  // Notes the check that every code `ref` holds names a row of `lookup`; RunCodes makes the
  // checks noted.
  void Codes(const instructions::LookUp& lookup, const instructions::RefTable& ref) {
    const int32_t fields = lookup.CodeFields().Count();
    if (fields == 0 || ref.CodeFields().Count() != fields) return;
    CodeCheck check{ref.TableName(), "", "", lookup.TableName()};
    std::string match;
    std::string names;
    for (int32_t i = 1; i <= fields; ++i) {
      const std::string& code = lookup.CodeFields().Item(i).FieldName();
      const std::string& field = ref.CodeFields().Item(i).FieldName();
      if (!IsField(code) || !IsField(field)) return;
      check.condition += (i > 1 ? " AND r." : "r.") + field + " IS NOT NULL";
      match += (i > 1 ? " AND l." : "l.") + code + " = r." + field;
      names += (i > 1 ? "+" : "") + field;
    }
    check.target = ref.TableName() + "." + names;
    if (!checked_.insert(UpperCase(check.target + ">" + lookup.TableName())).second) return;
    check.condition +=
        " AND NOT EXISTS (SELECT 1 FROM " + lookup.TableName() + " AS l WHERE " + match + ")";
    codes_.push_back(std::move(check));
  }

  // One pass over a table's rows for its noted code checks.
  struct CodePass {
    std::string statement;
    std::vector<size_t> checks;  // the noted checks, in the order of the pass's columns
  };

  // The passes of the noted code checks: one per table, in the order noted. A pass may run on
  // any connection to the database (RunPass).
  std::vector<CodePass> CodePasses() {
    std::vector<CodePass> passes;
    std::vector<bool> batched(codes_.size(), false);
    for (size_t i = 0; i < codes_.size(); ++i) {
      if (batched[i]) continue;
      std::vector<size_t> same;
      for (size_t j = i; j < codes_.size(); ++j) {
        if (EqualsNoCase(codes_[j].table, codes_[i].table)) {
          same.push_back(j);
          batched[j] = true;
        }
      }
      std::string sums;
      for (size_t j : same) {
        sums += (sums.empty() ? "" : ", ") + std::string("SUM(CASE WHEN ") + codes_[j].condition +
                " THEN 1 ELSE 0 END)";
      }
      std::string where = Added(codes_[i].table, "r");
      if (!where.empty()) where = " WHERE " + where.substr(0, where.size() - 5);
      passes.push_back({"SELECT " + sums + " FROM " + codes_[i].table + " AS r" + where, same});
    }
    return passes;
  }

  // The rows each check of `pass` finds, read on `connection`; none for each when the pass
  // fails.
  static std::vector<std::optional<int64_t>> RunPass(data::Connection& connection,
                                                     const CodePass& pass) {
    std::vector<std::optional<int64_t>> found(pass.checks.size());
    try {
      std::unique_ptr<data::Recordset> rows = connection.Execute(pass.statement);
      if (!rows->IsOpen() || rows->IsEOF()) return found;
      for (size_t k = 0; k < pass.checks.size(); ++k) {
        const data::Value value = rows->Get(static_cast<int>(k));
        found[k] = value.IsNull() ? 0 : value.AsInteger();
      }
      rows->Close();
    } catch (const std::exception&) {
      found.assign(pass.checks.size(), std::nullopt);
    }
    return found;
  }

  // The noted code checks, in the order noted, with what their passes found (`found`, one
  // entry per pass of `passes`). A check no pass answered runs alone, so that a failure is
  // told for the check it belongs to.
  void FinishCodes(const std::vector<CodePass>& passes,
                   const std::vector<std::vector<std::optional<int64_t>>>& found_by_pass) {
    std::vector<std::optional<int64_t>> found(codes_.size());
    for (size_t p = 0; p < passes.size() && p < found_by_pass.size(); ++p) {
      for (size_t k = 0; k < passes[p].checks.size() && k < found_by_pass[p].size(); ++k) {
        found[passes[p].checks[k]] = found_by_pass[p][k];
      }
    }
    for (size_t i = 0; i < codes_.size(); ++i) {
      const CodeCheck& check = codes_[i];
      Check(check.table, [&] {
        ++result.codes_checked;
        const int64_t rows =
            found[i] ? *found[i]
                     : data::QueryInteger(destination_,
                                          "SELECT COUNT(*) FROM " + check.table + " AS r WHERE " +
                                              Added(check.table, "r") + check.condition);
        if (rows != 0) {
          Find(check.table, rows,
               std::to_string(rows) + " rows of " + check.target + " refer to no code of " +
                   check.lookup);
        }
      });
    }
    codes_.clear();
  }

  // The noted code checks, in the order noted, each table's passes here.
  void RunCodes() {
    const std::vector<CodePass> passes = CodePasses();
    std::vector<std::vector<std::optional<int64_t>>> found;
    for (const CodePass& pass : passes) found.push_back(RunPass(destination_, pass));
    FinishCodes(passes, found);
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
          const int64_t max =
              data::QueryInteger(destination_, "SELECT MAX([" + field + "]) FROM [" + table + "]");
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

  // One pass over the child's rows (those the merge added, when marked): the rows per key
  // against those expected, the keys that name no parent row, and the range of the keys.
  void Membership(const ChildMembership& membership) {
    const std::string target = membership.child_table + "." + membership.child_key;
    const std::string parent = membership.parent_table + "." + membership.parent_key;
    Check(membership.child_table, [&] {
      if (!membership.problem.empty()) throw std::runtime_error(membership.problem);
      ++result.memberships_checked;
      ++result.references_checked;
      ++result.key_ranges_checked;
      const std::string fk = "c." + membership.child_key;
      const std::string where =
          membership.added_since
              ? destination_.RowsAddedSince("c", *membership.added_since) + " AND "
              : std::string();
      // The rows are grouped first, so a parent is looked up once per key rather than once
      // per row. A parent key held twice repeats its group, which the sort adds up as the
      // join of every row would have.
      std::unique_ptr<data::Recordset> rows = destination_.Execute(
          "SELECT g.k, g.n, CASE WHEN p." + membership.parent_key +
          " IS NULL AND g.k <> 0 AND g.k <> -1 THEN g.n ELSE 0 END FROM (SELECT " + fk +
          " AS k, COUNT(*) AS n FROM " + membership.child_table + " AS c WHERE " + where + fk +
          " IS NOT NULL GROUP BY " + fk + ") AS g LEFT JOIN " + membership.parent_table +
          " AS p ON p." + membership.parent_key + " = g.k");
      RowsPerKey found;
      int64_t unresolved = 0;
      while (rows->IsOpen() && !rows->IsEOF()) {
        found.emplace_back(rows->Get(0).AsInteger(), rows->Get(1).AsInteger());
        unresolved += rows->Get(2).AsInteger();
        rows->MoveNext();
      }
      if (rows->IsOpen()) rows->Close();
      SortRowsPerKey(found);
      if (unresolved != 0) {
        Find(membership.child_table, unresolved,
             std::to_string(unresolved) + " rows of " + target + " refer to no row of " + parent);
      }
      // Both lists are sorted by key, so one walk pairs them. The example is the first
      // expected key that differs, else the first key found where none was expected.
      int64_t misplaced = 0;
      std::string expected_example;
      std::string unexpected_example;
      const auto compare = [&](std::string& example, int64_t key, int64_t want, int64_t have) {
        if (want == have) return;
        misplaced += want > have ? want - have : have - want;
        if (example.empty()) {
          example = " (key " + std::to_string(key) + " holds " + std::to_string(have) +
                    ", expected " + std::to_string(want) + ")";
        }
      };
      const RowsPerKey& expected = membership.expected;
      for (size_t e = 0, f = 0; e < expected.size() || f < found.size();) {
        if (f == found.size() || (e < expected.size() && expected[e].first < found[f].first)) {
          compare(expected_example, expected[e].first, expected[e].second, 0);
          ++e;
        } else if (e == expected.size() || found[f].first < expected[e].first) {
          compare(unexpected_example, found[f].first, 0, found[f].second);
          ++f;
        } else {
          compare(expected_example, expected[e].first, expected[e].second, found[f].second);
          if (expected[e].second == 0) {
            compare(unexpected_example, found[f].first, 0, found[f].second);
          }
          ++e;
          ++f;
        }
      }
      const std::string& example = expected_example.empty() ? unexpected_example : expected_example;
      if (misplaced != 0) {
        Find(membership.child_table, misplaced / 2 + misplaced % 2,
             std::to_string(misplaced / 2 + misplaced % 2) + " rows of " + target +
                 " are not under the new key of their own row of " + parent + example);
      }
      constexpr int64_t kLow = -2147483648LL, kHigh = 2147483647LL;
      if (!found.empty() && (found.front().first < kLow || found.back().first > kHigh)) {
        Find(membership.child_table, 1,
             "keys of " + target + " leave the 32-bit range (" +
                 std::to_string(found.front().first) + " to " + std::to_string(found.back().first) +
                 ")");
      }
    });
  }

  void KeyRange(const std::string& table, const std::string& column) {
    if (!IsField(column) || column.find('+') != std::string::npos) return;
    if (!checked_.insert(UpperCase("range:" + table + "." + column)).second) return;
    Check(table, [&] {
      ++result.key_ranges_checked;
      std::unique_ptr<data::Recordset> rows =
          destination_.Execute("SELECT MIN([" + column + "]), MAX([" + column + "]) FROM " + table);
      if (!rows->IsOpen() || rows->IsEOF()) return;
      const data::Value low = rows->Get(0);
      const data::Value high = rows->Get(1);
      rows->Close();
      constexpr int64_t kLow = -2147483648LL, kHigh = 2147483647LL;
      if ((!low.IsNull() && low.AsInteger() < kLow) ||
          (!high.IsNull() && high.AsInteger() > kHigh)) {
        Find(table, 1,
             "keys of " + table + "." + column + " leave the 32-bit range (" + low.AsText() +
                 " to " + high.AsText() + ")");
      }
    });
  }

  void Consolidated(const std::string& incidents, const std::string& key, int32_t into,
                    const instructions::PTable& parent) {
    const std::string id = std::to_string(into);
    Check(incidents, [&] {
      ++result.tables_counted;
      const int64_t all = data::QueryInteger(destination_, "SELECT COUNT(*) FROM " + incidents);
      const int64_t kept = data::QueryInteger(
          destination_, "SELECT COUNT(*) FROM " + incidents + " WHERE " + key + " = " + id);
      if (all != 1 || kept != 1) {
        Find(incidents, all > 1 ? all - 1 : 1,
             "the new database holds " + std::to_string(all) + " incidents after the folding, " +
                 (kept == 1 ? "not only incident " : "and not incident ") + id);
      }
    });
    for (const instructions::Child& child : parent.Children()) {
      const std::string target = child.TableName() + "." + child.ForeignKey();
      if (!IsField(child.ForeignKey()) || !checked_.insert(UpperCase("fold:" + target)).second) {
        continue;
      }
      Check(child.TableName(), [&] {
        ++result.references_checked;
        const std::string fk = child.ForeignKey();
        const int64_t elsewhere = data::QueryInteger(
            destination_, "SELECT COUNT(*) FROM " + child.TableName() + " WHERE " + fk +
                              " IS NOT NULL AND " + fk + " <> 0 AND " + fk + " <> -1 AND " + fk +
                              " <> " + id);
        if (elsewhere != 0) {
          Find(child.TableName(), elsewhere,
               std::to_string(elsewhere) + " rows of " + target + " are not on incident " + id);
        }
      });
    }
  }

  // Leaves the reference and key range of `membership`'s child to that membership's check.
  void Skip(const ChildMembership& membership) {
    const std::string target = membership.child_table + "." + membership.child_key;
    checked_.insert(
        UpperCase(target + ">" + membership.parent_table + "." + membership.parent_key));
    checked_.insert(UpperCase("range:" + target));
  }

  // Adds the figures and findings of `part` after this verifier's own.
  void Append(const Verification& part) {
    result.tables_counted += part.tables_counted;
    result.references_checked += part.references_checked;
    result.codes_checked += part.codes_checked;
    result.counters_checked += part.counters_checked;
    result.memberships_checked += part.memberships_checked;
    result.key_ranges_checked += part.key_ranges_checked;
    result.findings.insert(result.findings.end(), part.findings.begin(), part.findings.end());
  }

  RowMarks added;

  Verification result;

 private:
  // "alias.rowid > N AND " for a table whose added rows can be told apart, else nothing.
  std::string Added(const std::string& table, const std::string& alias) {
    for (const auto& [name, mark] : added) {
      if (EqualsNoCase(name, table)) return destination_.RowsAddedSince(alias, mark) + " AND ";
    }
    return {};
  }

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

  struct CodeCheck {
    std::string table;      // the table holding the codes
    std::string target;     // its code fields, as findings name them
    std::string condition;  // true for a row whose code names no row of the lookup
    std::string lookup;
  };

  data::Connection& destination_;
  std::set<std::string> checked_;
  std::vector<CodeCheck> codes_;
};

// The references of `tables`' children to their parents.
void CheckReferences(Verifier& verifier, const instructions::Tables& tables) {
  for (const instructions::PTable& parent : tables) {
    for (const instructions::Child& child : parent.Children()) verifier.ChildKeys(parent, child);
  }
}

// Notes the code checks of `lookups` (Verifier::Codes).
void NoteCodes(Verifier& verifier, const instructions::LookUps& lookups) {
  for (const instructions::LookUp& lookup : lookups) {
    for (const instructions::RefTable& ref : lookup.RefTables()) verifier.Codes(lookup, ref);
  }
}

// The counters and the key ranges of `tables`.
void CheckCountersAndRanges(Verifier& verifier, const instructions::Tables& tables) {
  verifier.Counters();
  for (const instructions::PTable& parent : tables) {
    const std::string key = Trim(parent.PrimaryKey());
    verifier.KeyRange(parent.TableName(), key.substr(0, key.find('+')));
    if (const size_t plus = key.find('+'); plus != std::string::npos) {
      verifier.KeyRange(parent.TableName(), key.substr(plus + 1));
    }
    for (const instructions::Child& child : parent.Children()) {
      verifier.KeyRange(child.TableName(), child.ForeignKey());
    }
  }
}

// The references, codes, counters and key ranges of `tables` and `lookups`, in that order.
void CheckOthers(Verifier& verifier, const instructions::Tables& tables,
                 const instructions::LookUps& lookups) {
  CheckReferences(verifier, tables);
  NoteCodes(verifier, lookups);
  verifier.RunCodes();
  CheckCountersAndRanges(verifier, tables);
}

}  // namespace

void SortRowsPerKey(RowsPerKey& rows) {
  const auto by_key = [](const auto& a, const auto& b) { return a.first < b.first; };
  // Grouped rows mostly come in key order already.
  if (!std::is_sorted(rows.begin(), rows.end(), by_key)) {
    std::stable_sort(rows.begin(), rows.end(), by_key);
  }
  auto kept = rows.begin();
  for (auto row = rows.begin(); row != rows.end(); ++row) {
    if (kept != rows.begin() && std::prev(kept)->first == row->first) {
      std::prev(kept)->second += row->second;
    } else {
      *kept++ = *row;
    }
  }
  rows.erase(kept, rows.end());
}

RowsPerKey CountPerKey(data::Connection& connection, const std::string& table,
                       const std::string& key) {
  RowsPerKey counts;
  std::unique_ptr<data::Recordset> rows =
      connection.Execute("SELECT " + key + ", COUNT(*) FROM " + table + " WHERE " + key +
                         " IS NOT NULL GROUP BY " + key);
  while (rows->IsOpen() && !rows->IsEOF()) {
    counts.emplace_back(rows->Get(0).AsInteger(), rows->Get(1).AsInteger());
    rows->MoveNext();
  }
  if (rows->IsOpen()) rows->Close();
  SortRowsPerKey(counts);
  return counts;
}

Verification VerifyDestination(data::Connection& destination, const instructions::Tables& tables,
                               const instructions::LookUps& lookups,
                               const std::vector<ExpectedRows>& expected,
                               const std::vector<ChildMembership>& memberships,
                               const RowMarks& added, const data::SecondReader& second) {
  // The findings follow one another in this order: the counts, the memberships, the other
  // checks. With a second connection a thread of its own reads there (the codes' passes, then
  // the memberships) while this thread makes the other checks, then helps with what is left.
  Verifier counts(destination);
  counts.result.ran = true;
  for (const ExpectedRows& rows : expected) counts.CountTable(rows);

  // The memberships are taken largest first, by whichever thread is free, each into a part of
  // its own, so that their findings keep the order of `memberships`.
  std::vector<size_t> order(memberships.size());
  std::vector<int64_t> sizes(memberships.size(), 0);
  for (size_t i = 0; i < memberships.size(); ++i) {
    order[i] = i;
    for (const auto& [key, count] : memberships[i].expected) sizes[i] += count;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
  std::vector<Verification> parts(memberships.size());
  std::atomic<size_t> next{0};
  const auto check_memberships = [&](data::Connection& connection) {
    for (size_t taken = next++; taken < order.size(); taken = next++) {
      Verifier one(connection);
      one.added = added;
      one.Membership(memberships[order[taken]]);
      parts[order[taken]] = std::move(one.result);
    }
  };
  // The references and codes, then (`tail`) the counters and key ranges.
  Verifier others(destination);
  Verifier tail(destination);
  others.added = added;
  tail.added = added;
  for (const ChildMembership& membership : memberships) {
    others.Skip(membership);
    tail.Skip(membership);
  }
  if (second.connection != nullptr) {
    // The code checks' passes over the added rows are the heaviest reading after the
    // memberships: both threads take them, then the memberships; this one makes the
    // references, counters and key ranges first. The codes' findings are told in their order
    // once every pass has ended.
    NoteCodes(others, lookups);
    const std::vector<Verifier::CodePass> passes = others.CodePasses();
    std::vector<std::vector<std::optional<int64_t>>> found(passes.size());
    std::atomic<size_t> next_pass{0};
    const auto take_passes = [&](data::Connection& connection) {
      for (size_t taken = next_pass++; taken < passes.size(); taken = next_pass++) {
        found[taken] = Verifier::RunPass(connection, passes[taken]);
      }
      check_memberships(connection);
    };
    data::HelperThread helper(*second.connection, [&] { take_passes(*second.connection); });
    CheckReferences(others, tables);
    CheckCountersAndRanges(tail, tables);
    take_passes(destination);
    helper.Wait(second.beat);
    others.FinishCodes(passes, found);
  } else {
    check_memberships(destination);
    CheckOthers(others, tables, lookups);
  }
  for (const Verification& part : parts) counts.Append(part);
  counts.Append(others.result);
  counts.Append(tail.result);
  return counts.result;
}

Verification VerifyConsolidation(data::Connection& database, const instructions::Tables& tables,
                                 int32_t into, const std::vector<TableRows>& rows_before) {
  Verifier verifier(database);
  verifier.result.ran = true;
  for (const instructions::PTable& parent : tables) {
    if (UpperCase(parent.TableName()) != "INCIDENTS") continue;
    verifier.Consolidated(parent.TableName(), Trim(parent.PrimaryKey()), into, parent);
    for (const TableRows& before : rows_before) {
      if (UpperCase(before.table) == "INCIDENTS") continue;
      verifier.CountTable({before.table, before.rows, false});
    }
    break;
  }
  return verifier.result;
}

std::vector<std::string> VerificationLines(const Verification& verification,
                                           const std::string& what) {
  std::vector<std::string> lines;
  if (!verification.ran) return lines;
  for (const VerificationFinding& finding : verification.findings) {
    lines.push_back(what + " failed: " + finding.what);
  }
  std::string counted = std::to_string(verification.tables_counted) + " tables counted, " +
                        std::to_string(verification.references_checked) + " key references, " +
                        std::to_string(verification.codes_checked) + " code references and " +
                        std::to_string(verification.counters_checked) + " counters checked";
  if (verification.memberships_checked > 0) {
    counted += ", " + std::to_string(verification.memberships_checked) +
               " child tables compared with their parents";
  }
  if (verification.findings.empty()) {
    lines.push_back(what + " passed: " + counted +
                    (verification.memberships_checked > 0
                         ? "; every reference resolves, every row is under its own parent and the "
                           "counts add up."
                         : "; every reference resolves and the counts add up."));
  } else {
    lines.push_back(what + " found " + std::to_string(verification.findings.size()) +
                    " problems (" + counted + "); the verification itself changed nothing.");
  }
  return lines;
}

std::vector<std::string> ConsolidationLines(const Consolidation& consolidation) {
  std::vector<std::string> lines;
  if (!consolidation.ran && !consolidation.foreseen) return lines;
  int64_t moved = 0;
  std::string tables;
  for (const TableRows& rows : consolidation.rows_moved) {
    moved += rows.rows;
    if (rows.rows == 0) continue;
    tables += (tables.empty() ? "" : ", ") + rows.table + " " + std::to_string(rows.rows);
  }
  const std::string detail = tables.empty() ? "" : " (" + tables + ")";
  const std::string into = std::to_string(consolidation.into);
  const std::string folded = std::to_string(consolidation.incidents_folded);
  if (consolidation.ran) {
    lines.push_back("Folded " + folded + " incidents into incident " + into + ": " +
                    std::to_string(moved) + " rows moved" + detail + ".");
  } else {
    lines.push_back("The folding would point " + std::to_string(moved) + " rows" + detail +
                    " at incident " + into + " and delete the other " + folded + " incidents.");
  }
  for (std::string& line :
       VerificationLines(consolidation.verification, "Verification of the folding")) {
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> QualIdWarnings(data::Connection& source) {
  try {
    const int64_t rows = data::QueryInteger(
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
