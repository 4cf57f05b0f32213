// The updates a recoding makes in the tables that refer to a lookup table, held back so that
// all of one table's updates run as one statement: each update of a table rewrites most of its
// pages, so six recodes of one table cost six passes over it, where one statement costs two
// (one to count the rows of each update, one to change them).
//
// The updates keep their meaning: each changes the rows its own statement would have changed,
// and each counts the rows that statement would have reported. Updates are held only while that
// holds of running them together (no update of a field changes the rows another one of the same
// field looks for); Add tells the caller to run what is held first when it would not. The
// report lines written while updates are held wait with them, in their order, and a line that
// tells an update's rows gets its count once the update has run.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "merge/merge_figures.h"

namespace msu::reports {
class ProblemReport;
}  // namespace msu::reports

namespace msu::merge {

class RecodeUpdates {
 public:
  struct Update {
    std::string table;      // the referring table
    std::string field;      // its code field
    std::string condition;  // the rows the update changes: "T.F = 12", "(((T.F) = 'AB'))"
    std::string new_value;  // the new code as a literal
    std::string statement;  // the update as a statement of its own
    std::string old_code;   // the codes, as compared: letter case and surrounding blanks aside
    std::string new_code;
    // Where the count of rows goes: the recoding (index into the recodes given to Run) and
    // its referring table; none when the recodes are not kept.
    std::optional<size_t> recode;
    size_t referring = 0;
  };

  // `execute` sends a statement to the source copy and returns the rows it changed; it counts
  // the statement as the check's own.
  using Execute = std::function<std::unique_ptr<data::Recordset>(const std::string& statement,
                                                                 long* rows_affected)>;

  RecodeUpdates(reports::ProblemReport& report, Execute execute)
      : report_(report), execute_(std::move(execute)) {}

  bool Empty() const { return updates_.empty(); }

  // True when `update` can wait with those held; false when they must run first (RunHeld).
  bool CanHold(const Update& update) const;
  // Holds `update`; `line` is written once it ran, followed by its count of rows when
  // `with_count` is set.
  void Hold(Update update, std::string line, bool with_count);
  // True when an update held and not yet run changes `table`.
  bool Changes(const std::string& table) const;
  // Runs the updates held of `table` now, so that it can be read as it stands; their lines
  // still wait with the others.
  void RunOn(const std::string& table);

  // Writes a report line now, or after the updates held when there are any.
  void Line(const std::string& text);

  // Runs the updates held and writes the lines waiting with them; the counts go to `recodes`
  // (may be null). When a statement fails, the updates run one by one in the order they were
  // held, with their lines, up to the one that fails, whose error is thrown on.
  void RunHeld(std::vector<Recode>* recodes);

 private:
  struct Entry {
    std::string text;
    std::optional<size_t> update;  // the update the line waits for
    bool with_count = false;
  };

  // Runs the updates of each table (of `only`, when given) together; false when a statement
  // failed (the tables whose statements ran are marked done).
  bool RunTogether(const std::string* only);

  reports::ProblemReport& report_;
  Execute execute_;
  std::vector<Update> updates_;
  std::vector<long> counts_;  // per update, once it ran
  std::vector<bool> done_;
  std::vector<Entry> lines_;
};

}  // namespace msu::merge
