// The pre-merge conversion of working database A, for a Database 1 older than 4.13 (the merge
// sequence runs it when the numeric reading of Database 1's DATABASE version is below 4.13,
// before CopyTables). It brings A into the shape the instructions of "CVN_PRE4x.txt" expect:
// the form tables' keys lose their identity property, Resources.RRDate becomes MobDate, the
// trainee flags 'T'/'F' become '1'/'0', and kind codes that Database 2 delivers as standard
// become standard in A, so that the lookup copy (which copies only Standard = 0 rows) leaves
// them to B. Only A is changed; B is only read.
#pragma once

#include <array>
#include <string>

#include "data/data_access.h"

namespace msu {
class Context;
}  // namespace msu

namespace msu::convert {

// A key column that was an identity column before 4.13, with its table as written in the
// statements.
struct IdentityColumn {
  const char* table;
  const char* column;
};

// The 18 key columns, in the order their identity is removed.
inline constexpr std::array<IdentityColumn, 18> kIdentityColumns = {{
    {"[203_Assignments]", "ID"},
    {"[203_Template]", "TemplateID"},
    {"[204_Com]", "ID"},
    {"[204_Resources]", "ResourcesID"},
    {"[204_Template]", "TemplateID"},
    {"[205_Channels]", "ID"},
    {"[206_Medical]", "ID"},
    {"[220_Helicopters]", "HelicoptersID"},
    {"[220_PersFreq]", "PersFreqID"},
    {"[220_Task]", "TaskID"},
    {"ICS202", "FormID"},
    {"ICS203", "FormID"},
    {"ICS204", "FormID"},
    {"ICS205", "FormID"},
    {"ICS206", "FormID"},
    {"ICS220", "FormID"},
    {"MasterFrequency", "ID"},
    {"Shift", "ShiftID"},
}};

// Converts working database A (`a`; `b` is working database B, only read). Sets
// CurrentOperation to "Pre Conversion of Work Database", writes "Applying Pre Conversions To
// Work Database..." to the merge page's log, then, with a detail line after each step:
//   1. RemoveIdentityColumn for each of kIdentityColumns, then " - Removed Identify Columns On
//      Tables";
//   2. "EXEC sp_rename 'resources.RRDate', 'MobDate', 'COLUMN'", then " - Renamed
//      Resource.RRDate to MobDate";
//   3. "UPDATE quals SET trainee = CASE WHEN trainee = 'T' THEN '1' ELSE '0' END" (any other
//      value, NULL included, becomes '0'), then " - Converted Quals.Trainee To BIT DataType";
//   4. StandardKindCodes.
// Quals.Trainee keeps its declared type: it holds the texts '1' and '0' afterwards, which the
// row copy writes into Database 2's bit column as 1 and 0 (and the qualification
// de-duplication writes back as '1' and '0'), so changing the type would change no value.
// Returns true when every step ran. On the first failing statement sets LastError (number,
// " - ", description), writes "Error, merge stopped, " + CurrentOperation and "Error is " +
// LastError (both always shown) and returns false; the statements already run stay run.
// Never throws.
bool PreConvert(Context& context, data::Connection& a, data::Connection& b);

// Removes the identity property of `column` of `table` on `a`, keeping its values, with K =
// column + "_2": "ALTER TABLE T ADD K INT", "UPDATE T SET K = C", for every row of the static
// result of "EXEC sp_pkeys T" "ALTER TABLE T DROP CONSTRAINT " + its pk_name, "ALTER TABLE T
// DROP COLUMN C", "EXEC sp_rename 'T.K', 'C', 'COLUMN'"; then the detail line " - Removing
// Identify Column " + C + " For Table " + T. Afterwards C is a plain integer column, the last of
// the table, without identity and without a primary key (the dropped key is not made again),
// so that explicit keys can be written into it. Throws data::DataError when a statement fails.
void RemoveIdentityColumn(Context& context, data::Connection& a, const std::string& table,
                          const std::string& column);

// For every non-standard kind code of A ("SELECT KindCode FROM L_Kind WHERE Standard = 0";
// codes that are blank after trimming are skipped) that B holds as standard ("SELECT KindCode
// FROM L_Kind WHERE KindCode = '" + code + "' AND Standard = 1"), runs "UPDATE L_Kind SET
// Standard = 1 WHERE Kindcode = '" + code + "'" on A. The code goes into the statements as
// read: untrimmed, quotes not doubled. Throws data::DataError when a statement fails.
void StandardKindCodes(data::Connection& a, data::Connection& b);

}  // namespace msu::convert
