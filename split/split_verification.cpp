#include "split/split_verification.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "core/context.h"
#include "core/text.h"
#include "data/row_digest_builder.h"
#include "data/second_reader.h"
#include "incident_delete/incident_deletion.h"
#include "instructions/instruction_loader.h"
#include "server_routines/routine_errors.h"
#include "split/database_of_file.h"

namespace msu::split {

namespace {

// Progress lines nobody reads: the instruction file is loaded here for its table names only.
class Silent : public Progress {
 public:
  void Add(LogPage, const std::string&, bool) override {}
  void Clear(LogPage) override {}
  void SetPercent(LogPage, int, int) override {}
};

std::string Bare(const std::string& name) {
  const std::string trimmed = Trim(name);
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
    return trimmed.substr(1, trimmed.size() - 2);
  }
  return trimmed;
}

std::string Bracketed(const std::string& name) { return "[" + Bare(name) + "]"; }

// Adds `table` unless a table of that name (without regard to case and brackets) is there.
void AddTable(std::vector<std::string>& tables, const std::string& table) {
  const std::string bare = Bare(table);
  if (bare.empty()) return;
  for (const std::string& known : tables) {
    if (EqualsNoCase(known, bare)) return;
  }
  tables.push_back(bare);
}

// The tables the instruction file of the database on `connection` names (loaded into
// `instructions`), then those only its deletion section names; the lookup tables go to
// `lookups` and come last in the result, as the verification compares them.
std::vector<std::string> NamedTables(Context& context, data::Connection& connection,
                                     instructions::InstructionSet& instructions,
                                     std::vector<std::string>& lookups) {
  incident_delete::IncidentDeletion deletion(context.ApplicationFolder());
  const std::vector<suite::IncidentDeleteRule>& rules = deletion.RulesFor(connection);
  Silent silent;
  Context quiet(context.ApplicationFolder(), silent, context.prompt(), context.backend());
  quiet.versions.InstructionFileName = incident_delete::InstructionFileOf(connection);
  instructions::LoadInstructions(quiet, instructions);
  std::vector<std::string> tables;
  for (const instructions::PTable& table : instructions.Tables) {
    AddTable(tables, table.TableName());
    for (const instructions::Child& child : table.Children()) AddTable(tables, child.TableName());
  }
  for (const instructions::LookUp& lookup : instructions.LookUps) {
    AddTable(lookups, lookup.TableName());
    for (const instructions::RefTable& ref : lookup.RefTables()) {
      AddTable(tables, ref.TableName());
    }
  }
  for (const std::string& table : suite::IncidentDeleteTables(rules)) AddTable(tables, table);
  for (const std::string& table : lookups) AddTable(tables, table);
  return tables;
}

// The digest of a query's rows, read row by row: each row's values hashed by kind and content.
data::RowDigest ReadDigest(data::Connection& connection, const std::string& statement) {
  std::unique_ptr<data::Recordset> rows = connection.Execute(statement);
  const int fields = rows->FieldCount();
  data::RowDigestBuilder digest(fields);
  while (!rows->IsEOF()) {
    digest.BeginRow();
    for (int i = 0; i < fields; ++i) {
      const data::Value& value = rows->Get(i);
      const auto kind = static_cast<unsigned char>(value.kind());
      digest.Feed(&kind, 1);
      switch (value.kind()) {
        case data::Value::Kind::kNull:
          break;
        case data::Value::Kind::kInteger: {
          const int64_t v = value.AsInteger();
          digest.Feed(&v, sizeof v);
          break;
        }
        case data::Value::Kind::kReal: {
          const double v = value.AsReal();
          digest.Feed(&v, sizeof v);
          break;
        }
        default: {
          const std::string v = value.AsText();
          const uint64_t size = v.size();
          digest.Feed(&size, sizeof size);
          digest.Feed(v.data(), v.size());
        }
      }
    }
    digest.EndRow();
    rows->MoveNext();
  }
  rows->Close();
  return digest.digest();
}

std::string IdList(const std::vector<int64_t>& ids) {
  std::string list;
  for (int64_t id : ids) list += (list.empty() ? "" : ", ") + std::to_string(id);
  return list;
}

class Verifier {
 public:
  Verifier(data::Connection& source, data::Connection& result,
           const std::vector<suite::IncidentDeleteRule>& rules, const std::vector<int64_t>& kept,
           const std::vector<int64_t>& removed, ComparePath path)
      : source_(source), result_(result), rules_(rules), kept_(kept), path_(path) {
    for (int64_t id : removed) removed_.push_back(id);
  }

  void Incidents() {
    const suite::IncidentDeleteRule& incident = rules_.back();
    Check(incident.table, [&] {
      std::vector<int64_t> held;
      std::unique_ptr<data::Recordset> rows = result_.Execute(
          "SELECT " + Bracketed(incident.column) + " FROM " + Bracketed(incident.table));
      while (!rows->IsEOF()) {
        held.push_back(rows->Get(0).AsInteger());
        rows->MoveNext();
      }
      rows->Close();
      verification.incidents = static_cast<int>(held.size());
      std::vector<int64_t> wanted = kept_;
      std::sort(held.begin(), held.end());
      std::sort(wanted.begin(), wanted.end());
      std::vector<int64_t> extra;
      std::vector<int64_t> missing;
      std::set_difference(held.begin(), held.end(), wanted.begin(), wanted.end(),
                          std::back_inserter(extra));
      std::set_difference(wanted.begin(), wanted.end(), held.begin(), held.end(),
                          std::back_inserter(missing));
      if (!extra.empty()) {
        Find("the new database holds incidents that were not kept: " + IdList(extra));
      }
      if (!missing.empty()) Find("the new database lacks kept incidents: " + IdList(missing));
    });
  }

  // One table's rows as the database to split holds them, less those of the removed
  // incidents: read on the database to split alone, so that it can run beside Found.
  struct Expected {
    std::optional<data::RowDigest> digest;
    bool digested = false;  // by the server (Connection::DigestRows)
    bool missing = false;   // the table is not there to compare
    std::string error;      // why it could not be read
  };
  Expected Staying(const std::string& table) const {
    Expected expected;
    try {
      if (path_ == ComparePath::kDigest) expected.digest = source_.DigestRows(StayingRows(table));
      expected.digested = expected.digest.has_value();
      if (!expected.digested) expected.digest = ReadDigest(source_, StayingRows(table));
    } catch (const std::exception& error) {
      // A table the instruction file names but this version of the database does not have is
      // not there to compare; any other failure is a check that could not run.
      expected.missing = !Exists(source_, table);
      expected.error = error.what();
    }
    return expected;
  }

  // One table's rows in the new database, digested by the server: read on the new database
  // alone. Without a digest (ComparePath::kRowByRow, or a server that cannot) Table reads them.
  struct Found {
    std::optional<data::RowDigest> digest;
    std::optional<std::string> error;  // why the server's digest failed
  };
  Found Held(const std::string& table) const {
    Found found;
    if (path_ != ComparePath::kDigest) return found;
    try {
      found.digest = result_.DigestRows("SELECT * FROM " + Bracketed(table));
    } catch (const std::exception& error) {
      found.error = error.what();
    }
    return found;
  }

  // Compares a table's rows, `expected` (Staying) and `held` (Held) when they were read
  // beforehand.
  void Table(const std::string& table, bool lookup, Expected expected, const Found& held) {
    const std::string name = Bracketed(table);
    const std::string removed_rows =
        removed_.empty() ? std::string() : suite::IncidentRowsCondition(rules_, table, removed_);
    const std::string all = "SELECT * FROM " + name;
    if (!expected.error.empty()) {
      if (!expected.missing) Find("could not check " + table + ": " + expected.error);
      return;
    }
    Check(table, [&] {
      std::optional<data::RowDigest> found;
      if (expected.digested) {
        if (held.error) throw std::runtime_error(*held.error);
        found = held.digest;
      }
      if (!found) {
        // A digest compares only with a digest made the same way.
        if (expected.digested) expected.digest = ReadDigest(source_, StayingRows(table));
        found = ReadDigest(result_, all);
      }
      ++verification.tables_compared;
      if (lookup) ++verification.lookup_tables;
      verification.rows_compared += found->rows;
      if (found->rows != expected.digest->rows) {
        Find("table " + table + " holds " + std::to_string(found->rows) + " rows, not the " +
             std::to_string(expected.digest->rows) + " rows of the database to split that stay");
      } else if (!(*found == *expected.digest)) {
        Find("rows of table " + table + " differ from those of the database to split");
      } else {
        // The rows are exactly those that stay, none of which belongs to a removed incident:
        // another read of the table could find none.
        return;
      }
      if (!removed_rows.empty()) {
        const int64_t refer =
            data::QueryInteger(result_, "SELECT COUNT(*) FROM " + name + " WHERE " + removed_rows);
        if (refer != 0) {
          Find(std::to_string(refer) + " rows of table " + table + " belong to a removed incident");
        }
      }
    });
  }

  // The rows of `child` whose `fk` names no row of `parent` (0, -1 and NULL name none): in the
  // new database they must be no more than in the database to split. The parent and child come
  // from the [CoreTables] lines, not from the deletion rules, so that a rule the section lacks
  // (a form's detail rows left behind) shows.
  struct OrphanCheck {
    std::string parent;
    std::string child;
    std::string fk;
    std::string sql;  // counts the rows of `child` whose `fk` names no row of `parent`
  };
  // Notes the check of Orphans for a parent and child of the [CoreTables] lines; each pair
  // once.
  void PlanOrphans(const std::string& parent, const std::string& key, const std::string& child,
                   const std::string& fk) {
    if (Bare(key).empty() || Bare(fk).empty() || key == instructions::kNoKey) return;
    const std::string pair = UpperCase(Bare(child) + "." + Bare(fk) + ">" + Bare(parent));
    if (!orphans_checked_.insert(pair).second) return;
    const std::string c = Bracketed(fk);
    orphan_checks.push_back({parent, child, fk,
                             "SELECT COUNT(*) FROM " + Bracketed(child) + " AS msu_c WHERE msu_c." +
                                 c + " IS NOT NULL AND msu_c." + c + " <> 0 AND msu_c." + c +
                                 " <> -1 AND NOT EXISTS (SELECT 1 FROM " + Bracketed(parent) +
                                 " AS msu_p WHERE msu_p." + Bracketed(key) + " = msu_c." + c +
                                 ")"});
  }
  std::vector<OrphanCheck> orphan_checks;

  // The rows of a check's child that name no row of its parent in the new database; none when
  // they cannot be counted (Orphans judges that).
  std::optional<int64_t> OrphansHeld(const OrphanCheck& check) const {
    try {
      return data::QueryInteger(result_, check.sql);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }

  // The rows of the check's child whose key names no row of its parent (0, -1 and NULL name
  // none): in the new database they must be no more than in the database to split. The parent
  // and child come from the [CoreTables] lines, not from the deletion rules, so that a rule the
  // section lacks (a form's detail rows left behind) shows. `held` is OrphansHeld's count.
  void Orphans(const OrphanCheck& check, std::optional<int64_t> held) {
    const std::string& sql = check.sql;
    // No such row in the new database is no more than the database to split held, whatever it
    // held: that one is read only when the new database has some. A count that failed is
    // judged below, where a table this version of the database lacks is told from a failure.
    if (held && *held == 0) {
      ++verification.references_checked;
      return;
    }
    int64_t before = 0;
    try {
      before = data::QueryInteger(source_, sql);
    } catch (const std::exception&) {
      // Tables the instruction file names but this version of the database does not have.
      if (!Exists(source_, check.child) || !Exists(source_, check.parent)) return;
      throw;
    }
    Check(check.child, [&] {
      ++verification.references_checked;
      const int64_t after = data::QueryInteger(result_, sql);
      if (after > before) {
        Find(std::to_string(after - before) + " rows of " + Bare(check.child) + "." +
             Bare(check.fk) + " refer to a row of " + Bare(check.parent) +
             " that the split removed");
      }
    });
  }

  SplitVerification verification;

 private:
  static bool Exists(data::Connection& connection, const std::string& table) {
    try {
      data::QueryInteger(connection, "SELECT COUNT(*) FROM " + Bracketed(table) + " WHERE 1 = 0");
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  // The rows of `table` that stay: those of no removed incident.
  std::string StayingRows(const std::string& table) const {
    const std::string removed_rows =
        removed_.empty() ? std::string() : suite::IncidentRowsCondition(rules_, table, removed_);
    return "SELECT * FROM " + Bracketed(table) +
           (removed_rows.empty() ? std::string()
                                 : " WHERE CASE WHEN " + removed_rows + " THEN 1 ELSE 0 END = 0");
  }

  std::set<std::string> orphans_checked_;

  template <class F>
  void Check(const std::string& table, F&& check) {
    try {
      check();
    } catch (const std::exception& error) {
      Find("could not check " + table + ": " + error.what());
    }
  }
  void Find(const std::string& what) { verification.findings.push_back(what); }

  data::Connection& source_;
  data::Connection& result_;
  const std::vector<suite::IncidentDeleteRule>& rules_;
  std::vector<int64_t> kept_;
  std::vector<long long> removed_;
  ComparePath path_;
};

}  // namespace

SplitVerification VerifySplit(Context& context, const std::string& source_path,
                              const std::string& new_database_name,
                              const std::vector<int64_t>& kept, const std::vector<int64_t>& removed,
                              ComparePath path) {
  const auto start = std::chrono::steady_clock::now();
  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  SplitVerification failed;
  failed.ran = true;
  try {
    std::unique_ptr<data::Connection> source = OpenDatabaseOfFile(context, source_path);
    std::unique_ptr<data::Connection> result = OpenDatabase(context, new_database_name);
    incident_delete::IncidentDeletion deletion(context.ApplicationFolder());
    const std::vector<suite::IncidentDeleteRule>& rules = deletion.RulesFor(*source);
    instructions::InstructionSet instructions;
    std::vector<std::string> lookups;
    const std::vector<std::string> tables = NamedTables(context, *source, instructions, lookups);

    Verifier verifier(*source, *result, rules, kept, removed, path);
    verifier.verification.ran = true;
    verifier.Incidents();
    // The database to split is read on a thread of its own while the new database is read
    // here; the two are then compared table by table.
    for (const instructions::PTable& parent : instructions.Tables) {
      for (const instructions::Child& child : parent.Children()) {
        verifier.PlanOrphans(parent.TableName(),
                             parent.PrimaryKey().substr(0, parent.PrimaryKey().find('+')),
                             child.TableName(), child.ForeignKey());
      }
    }
    std::vector<Verifier::Expected> expected(tables.size());
    std::vector<Verifier::Found> held(tables.size());
    std::vector<std::optional<int64_t>> orphans(verifier.orphan_checks.size());
    {
      data::HelperThread reader(*source, [&] {
        for (size_t i = 0; i < tables.size(); ++i) expected[i] = verifier.Staying(tables[i]);
      });
      for (size_t i = 0; i < tables.size(); ++i) held[i] = verifier.Held(tables[i]);
      for (size_t i = 0; i < orphans.size(); ++i) {
        orphans[i] = verifier.OrphansHeld(verifier.orphan_checks[i]);
      }
      // The window stays alive meanwhile; the check runs to its end, and a stop request is
      // honoured after it, as on this thread.
      const std::function<bool()> alive = context.Heartbeat();
      reader.Wait([&alive] {
        alive();
        return false;
      });
    }
    for (size_t i = 0; i < tables.size(); ++i) {
      bool lookup = false;
      for (const std::string& name : lookups) lookup = lookup || EqualsNoCase(name, tables[i]);
      verifier.Table(tables[i], lookup, std::move(expected[i]), held[i]);
    }
    for (size_t i = 0; i < orphans.size(); ++i) {
      verifier.Orphans(verifier.orphan_checks[i], orphans[i]);
    }
    source->Close();
    result->Close();
    verifier.verification.seconds = seconds();
    return verifier.verification;
  } catch (...) {
    failed.findings.push_back("could not verify the new database: " +
                              server_routines::CurrentError().description);
    failed.seconds = seconds();
    return failed;
  }
}

std::vector<std::string> SplitTables(Context& context, data::Connection& connection) {
  instructions::InstructionSet instructions;
  std::vector<std::string> lookups;
  return NamedTables(context, connection, instructions, lookups);
}

std::vector<TableRowCount> CountTableRows(data::Connection& connection,
                                          const std::vector<std::string>& tables) {
  std::vector<TableRowCount> counts;
  for (const std::string& table : tables) {
    try {
      counts.push_back(
          {table, data::QueryInteger(connection, "SELECT COUNT(*) FROM " + Bracketed(table)), 0});
    } catch (const std::exception&) {
      // A table the instruction file names but this version of the database does not have.
    }
  }
  return counts;
}

std::vector<std::string> SplitVerificationLines(const SplitVerification& verification) {
  std::vector<std::string> lines;
  if (!verification.ran) return lines;
  for (const std::string& finding : verification.findings) {
    lines.push_back("Verification failed: " + finding);
  }
  const std::string compared = std::to_string(verification.tables_compared) + " tables (" +
                               std::to_string(verification.lookup_tables) + " lookup tables) and " +
                               std::to_string(verification.rows_compared) + " rows compared, " +
                               std::to_string(verification.references_checked) +
                               " references checked";
  if (verification.findings.empty()) {
    lines.push_back("Verification passed: the new database holds exactly the " +
                    std::to_string(verification.incidents) + " kept incidents and their rows; " +
                    compared + " with the database to split.");
  } else {
    lines.push_back("Verification found " + std::to_string(verification.findings.size()) +
                    " problems (" + compared + "); the verification itself changed nothing.");
  }
  return lines;
}

}  // namespace msu::split
