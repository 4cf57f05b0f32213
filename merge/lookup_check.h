// The lookup consistency check of a merge: compares the lookup tables of the two working
// copies before anything is copied, writes what it finds to the problem report, and gives the
// user-added codes of the source copy A that collide with user-added codes of the destination
// copy B new, free codes (the tables of A that refer to them follow). B is only read.
//
// Two passes over the lookup instructions, in their order:
//   1. standard rows ("standard" = 1): for every standard row of B, the row of A with the same
//      codes is compared column by column and each difference is reported (nothing changes;
//      the values of B win when the tables are copied);
//   2. non-standard rows ("standard" = 0): a row of A whose codes equal those of a non-standard
//      row of B is recoded in A, numerically (a four-byte integer code becomes one more than
//      the largest code of both tables) or textually (a text code becomes the first free run
//      of one character, "0" to "]", as long as the field allows and at most 8 long).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "instructions/instruction_model.h"
#include "merge/merge_figures.h"
#include "merge/recode_updates.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::reports {
class ProblemReport;
}  // namespace msu::reports

namespace msu::merge {

class LookupCheck {
 public:
  // The connections must be open; `report` is opened by Run.
  LookupCheck(Context& context, const instructions::LookUps& lookups, data::Connection& source,
              data::Connection& destination, reports::ProblemReport& report);

  // Runs both passes and closes the report. Returns true when a difference or a duplicate was
  // found (and reported).
  //
  // A duplicate whose first code field is neither a four-byte integer nor text ends the check
  // at once with the progress line "Error, Non-Standard duplicate, field type can not be
  // processed: " + table + "." + field; the report is then left open, the status is not set
  // to "Done", and the result is what was found until then.
  //
  // Any other failure (a statement on A, a column of A that B lacks, a write to A, a report
  // line) throws on: data::DataError, reports::ReportError or instructions::CollectionError
  // with their own numbers. context.merge.CurrentOperation then names the table under
  // examination; the report is left open and the changes already written to A stay. A stop
  // the user asked for (Context::StopPoint) is honoured before each table of either pass and
  // ends the check the same way, with StopRequest.
  bool Run();

  // Each recoding is also added to `recodes` (may be null), with the rows of each referring
  // table it changed.
  void SetRecodes(std::vector<Recode>* recodes) { recodes_ = recodes; }

  // Statements sent to A and B so far (a probe or update that failed included).
  int64_t Statements() const { return statements_; }

 private:
  void StartCheck();
  void CompareStandardRecords();
  void CompareStandardRow(const instructions::LookUp& lookup, data::Recordset& b_row);
  // False when the check must end (a code field of a type that cannot be recoded).
  bool RecodeDuplicates();
  bool RecodeDuplicatesOf(const instructions::LookUp& lookup);
  // False, after an error line, when the next code would pass kLargestCode.
  bool RecodeNumeric(const instructions::LookUp& lookup, data::Recordset& a_rows, int field,
                     const data::Recordset& b_row);
  void RecodeText(const instructions::LookUp& lookup, data::Recordset& a_rows, int field,
                  const data::Recordset& b_row);
  // True when the probe returns a row, or fails.
  bool ProbeFinds(data::Connection& connection, const std::string& probe);
  void EndCheck();

  void ShowStatus(int32_t visited, int32_t total);
  std::unique_ptr<data::Recordset> Execute(data::Connection& connection,
                                           const std::string& statement,
                                           long* rows_affected = nullptr);
  std::unique_ptr<data::Recordset> Open(data::Connection& connection, const std::string& statement,
                                        data::CursorChoice choice);

  Context& context_;
  const instructions::LookUps& lookups_;
  data::Connection& source_;
  data::Connection& destination_;
  reports::ProblemReport& report_;
  RecodeUpdates held_;  // the updates of referring tables, run a table at a time
  std::vector<Recode>* recodes_ = nullptr;
  bool found_ = false;
  int64_t statements_ = 0;
};

// The percentage of `visited` out of `total` (not 0), rounded to the nearest integer with
// halves going to the even one: 1 of 8 is 12, 3 of 8 is 38.
int PercentOf(int32_t visited, int32_t total);

// True when two field values count as a difference between A and B: a NULL on either side
// never does; numbers compare by value (an integer and a real included), text character by
// character with letter case and blanks significant, bytes byte by byte. With the field's
// type code (data::TypeCode), the values of a date field compare as dates ("2020-01-01" is
// "2020-01-01 00:00:00") and those of a number field as numbers ("1.50" is 1.5), however
// each database stored them; values that are no date or number compare as above.
bool ValuesDiffer(const data::Value& a, const data::Value& b, int type = 0);

// The largest code a four-byte integer code field holds.
inline constexpr int64_t kLargestCode = 2147483647;

}  // namespace msu::merge
