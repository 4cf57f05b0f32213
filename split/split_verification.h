// The check of a finished split, run on the new database against the database to split before
// the split is reported done. It only reads: nothing is changed or deleted, whatever it finds.
//
// It checks that the new database holds exactly the kept incidents; that every table the
// instruction file names (core tables, lookup tables, the tables of the [INCIDENTDELETE]
// section) holds exactly the rows of the database to split less those that belong to the
// removed incidents, value for value (so every row of a kept incident is the source's row, the
// lookup tables are the source's, and rows of no incident stay); that no row of the new
// database names a removed incident; and, from the [CoreTables] lines alone (parents and their
// children), that no row refers to a row the split removed (an incident, a form of a removed
// incident) beyond what the database to split already held. A check that cannot run is a
// finding ("could not check ...").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace msu {
class Context;
namespace data {
class Connection;
}  // namespace data
}  // namespace msu

namespace msu::split {

struct SplitVerification {
  bool ran = false;
  int incidents = 0;        // incidents the new database holds
  int tables_compared = 0;  // tables compared row by row with the database to split
  int lookup_tables = 0;    // of which lookup tables
  int64_t rows_compared = 0;
  int references_checked = 0;         // child keys checked against their parents
  std::vector<std::string> findings;  // one text per problem
  double seconds = 0;
  bool Passed() const { return ran && findings.empty(); }
};

// How the rows of a table are compared. kDigest lets the server digest them where they are
// (Connection::DigestRows) and reads them row by row only when it cannot; kRowByRow always
// reads them. Both find the same differences.
enum class ComparePath { kDigest, kRowByRow };

// Checks the database attached as `new_database_name` against the database whose data file is
// `source_path`, for the incidents `kept` and `removed` (ids). A check that cannot run is a
// finding too. Never throws.
SplitVerification VerifySplit(Context& context, const std::string& source_path,
                              const std::string& new_database_name,
                              const std::vector<int64_t>& kept, const std::vector<int64_t>& removed,
                              ComparePath path = ComparePath::kDigest);

// The tables a split keeps or removes rows of, as the verification compares them: those the
// instruction file of the database on `connection` names (core tables and their children,
// referring tables), then those only its deletion section names, then its lookup tables; each
// once. Throws what the connection or the instruction file throws.
std::vector<std::string> SplitTables(Context& context, data::Connection& connection);

// The rows of one table before and after the unticked incidents are removed.
struct TableRowCount {
  std::string table;
  int64_t before = 0;
  int64_t after = 0;
};

// The rows of each of `tables` on `connection`, in `before` (`after` 0); a table the database
// does not have is left out. Throws what the connection throws otherwise.
std::vector<TableRowCount> CountTableRows(data::Connection& connection,
                                          const std::vector<std::string>& tables);

// The lines that report a verification: one per finding ("Verification failed: ..."), then a
// closing line ("Verification passed: ..." or "Verification found N problems ..."). None when
// it did not run.
std::vector<std::string> SplitVerificationLines(const SplitVerification& verification);

}  // namespace msu::split
