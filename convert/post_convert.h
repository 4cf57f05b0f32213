// The post-merge conversion of working database B, for a Database 1 older than 4.13. CopyTables
// runs it right after "Lookup table copying completed.", before the key counters are synced:
// the rows Database 1 brought into B still carry old-style values, which it rewrites in B.
#pragma once

#include <cstdint>

#include "data/data_access.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::convert {

// How the statements that touch many rows are sent. Both leave B with the same rows, lines
// and, after a failure, the same partial state; kAsWritten sends every statement as the
// routines below describe them, kSetBased sends fewer statements that do the same work and
// falls back to the statements as written where one of its own fails.
enum class StatementPath { kSetBased, kAsWritten };

// What the conversion changed, in rows.
struct PostConvertFigures {
  int64_t request_numbers = 0;    // resources whose requestnumber was rewritten
  int64_t original_requests = 0;  // resources whose originalorderrequest was rewritten
  int64_t admin_offices = 0;      // offices made from the incidents
  int64_t kind_codes = 0;         // rows whose retired kind code was replaced
};

// Converts working database B (`b`). Sets CurrentOperation to "Post Merge Conversion of Final
// Database", writes "Applying Post Conversions To Final Database..." to the merge page's log,
// then, each followed by a detail line:
//   1. ConvertRequestNumbers, " - Converted Request Numbers To ORVA Format";
//   2. "UPDATE persons SET leader = 1 WHERE leaderid > 0 or leaderid IS NOT NULL" (a leaderid
//      of 0 counts too), " - Set Persons.leader";
//   3. AddAdminOffices, " - Added Values To AdminOffice if Needed";
//   4. UpdateKindCodes, " - Updated KindCodes".
// Returns true when every step ran. On the first failing statement sets LastError (number,
// " - ", description), writes "Error, merge stopped, " + CurrentOperation and "Error is " +
// LastError (both always shown) and returns false; the statements already run stay run.
// `figures` (may be null) receives what changed, also after a failure. Never throws.
bool PostConvert(Context& context, data::Connection& b,
                 StatementPath path = StatementPath::kSetBased,
                 PostConvertFigures* figures = nullptr);

// For every row of "SELECT resourceid, requestnumber, originalorderrequest FROM resources", in
// order, with I its resourceid as a 32-bit integer and N the ConvertRequestNumber of a value:
// a requestnumber that is not NULL and differs from N (case counts) gets "UPDATE resources SET
// requestnumber = 'N' WHERE resourceid = I" and "UPDATE persons SET requestnumber = 'N' WHERE
// resourceid = I"; an originalorderrequest likewise gets "UPDATE resources SET
// originalorderrequest = 'N' WHERE resourceid = I". Quotes in N are not doubled. Throws
// data::DataError when a statement fails, and NumberedError (kErrOverflow, kErrInvalidUseOfNull)
// for a resourceid that is no 32-bit integer.
void ConvertRequestNumbers(data::Connection& b, StatementPath path = StatementPath::kSetBased,
                           PostConvertFigures* figures = nullptr);

// When "SELECT COUNT(*) FROM adminoffice" is 0, makes one office per incident, the incident's
// id as the office's: "INSERT INTO adminoffice (adminofficeid,name,addr1,addr2,city,state,zip)
// SELECT incidentid,adminname,adminaddr1,adminaddr2,admincity,adminstate,adminzip FROM
// incidents", and points each agreement at the office of its contractor's incident: "UPDATE
// agreement SET adminofficeid = incidentid FROM contractor WHERE contractor.contractorid =
// agreement.contractorid". An adminoffice table with rows is left alone. Throws
// data::DataError when a statement fails.
void AddAdminOffices(data::Connection& b, PostConvertFigures* figures = nullptr);

// Replaces the retired kind codes (kind_codes.h) in the tables of kKindCodeTables, in their
// order: 33 statements per table as KindCodeStatement writes them, or with kSetBased one
// KindCodesStatement per table (the 33 statements of a table whose statement fails). Throws
// data::DataError when a statement fails.
void UpdateKindCodes(data::Connection& b, StatementPath path = StatementPath::kSetBased,
                     PostConvertFigures* figures = nullptr);

}  // namespace msu::convert
