#include "merge/lookup_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unordered_set>
#include <vector>

#include "core/context.h"
#include "core/text.h"
#include "reports/problem_report.h"

namespace msu::merge {

namespace {

using data::Value;
using reports::BoldText;

// Characters tried, in this order, for a new text code: "0" to "9", ":" to "@", "A" to "Z",
// "[", "\" and "]". None of them is a quote, so a candidate never needs escaping.
constexpr int kFirstCandidate = 48;
constexpr int kLastCandidate = 93;
// A longer code would not be typed by anyone and would not fit the suite's screens.
constexpr long kLongestTextCode = 8;

bool IsNumber(const Value& v) {
  return v.kind() == Value::Kind::kInteger || v.kind() == Value::Kind::kReal;
}

int RequireIndex(const data::Recordset& rows, const std::string& name) {
  const int index = rows.FieldIndex(name);
  if (index < 0) {
    throw data::DataError(data::kErrNotFound,
                          "Item cannot be found in the collection corresponding to the "
                          "requested name or ordinal: " +
                              name);
  }
  return index;
}

// Whole numbers as the server writes them: an optional minus and digits.
bool IsIntegerText(const std::string& text) {
  const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  return text.size() > digits && text.size() - digits <= 19 &&
         std::all_of(text.begin() + digits, text.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// A value of an integer field as a statement's literal: bare when it is a whole number, so
// the server compares numbers, otherwise quoted, so that text stored in the field (a database
// keeps what it was given) can never become part of the statement.
std::string IntegerLiteral(const std::string& text) {
  return IsIntegerText(text) ? text : SqlLiteral(text);
}

// "[F] = literal" for each code field, joined by " AND ": the where clause of the A statement
// of the first pass and the filter of A's rows in the second. The literal is bare only for a
// four-byte integer field of B, so a small integer enters as text, as the server expects it.
std::string WhereClause(const instructions::LookUp& lookup, const data::Recordset& b_row) {
  std::string where;
  for (const instructions::CodeField& code : lookup.CodeFields()) {
    const std::string& name = code.FieldName();
    const int index = RequireIndex(b_row, name);
    const std::string value = b_row.Get(index).AsText();
    if (!where.empty()) where += " AND ";
    where += "[" + name + "] = ";
    where +=
        b_row.Field(index).type == data::kTypeInteger ? IntegerLiteral(value) : SqlLiteral(value);
  }
  return where;
}

bool IsDateType(int type) {
  return type == data::kTypeDate || type == data::kTypeDBDate || type == data::kTypeDBTimeStamp;
}

bool IsNumberType(int type) {
  switch (type) {
    case data::kTypeSmallInt:
    case data::kTypeInteger:
    case data::kTypeSingle:
    case data::kTypeDouble:
    case data::kTypeCurrency:
    case data::kTypeBoolean:
    case data::kTypeTinyInt:
    case data::kTypeBigInt:
    case data::kTypeNumeric:
      return true;
    default:
      return false;
  }
}

// A date written as the server or a program writes it, "YYYY-MM-DD", optionally followed by
// " " or "T" and "HH:MM[:SS[.fff]]", as "YYYY-MM-DD HH:MM:SS.fff" (the missing parts zero), so
// that one moment written two ways compares equal. Nothing for text that is no such date.
std::optional<std::string> DateKey(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, consumed = 0;
  double second = 0;
  const char* c = text.c_str();
  if (std::sscanf(c, "%4d-%2d-%2d%n", &year, &month, &day, &consumed) != 3) return std::nullopt;
  std::string rest = Trim(text.substr(static_cast<size_t>(consumed)));
  if (!rest.empty()) {
    if (rest[0] == 'T') rest = rest.substr(1);
    int used = 0;
    if (std::sscanf(rest.c_str(), "%2d:%2d%n", &hour, &minute, &used) != 2) return std::nullopt;
    rest = rest.substr(static_cast<size_t>(used));
    if (!rest.empty()) {
      if (rest[0] != ':' || std::sscanf(rest.c_str() + 1, "%lf%n", &second, &used) != 1 ||
          static_cast<size_t>(used) + 1 != rest.size()) {
        return std::nullopt;
      }
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second < 0 ||
      second >= 61) {
    return std::nullopt;
  }
  const long millis = std::lround(second * 1000);
  char key[128];
  std::snprintf(key, sizeof key, "%04d-%02d-%02d %02d:%02d:%02ld.%03ld", year, month, day, hour,
                minute, millis / 1000, millis % 1000);
  return std::string(key);
}

// The number a value holds, stored as a number or as text that is all one number.
std::optional<double> NumberOf(const Value& value) {
  if (IsNumber(value)) return value.AsReal();
  const std::string text = Trim(value.AsText());
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(number)) return std::nullopt;
  return number;
}

bool IsTextCode(int type) {
  return type == data::kTypeChar || type == data::kTypeVarChar || type == data::kTypeVarWChar;
}

// The number a value stands for in a numeric comparison, in one spelling per number; nothing
// when it is no number.
std::optional<std::string> NumberKey(const Value& value) {
  double number = 0;
  if (IsNumber(value)) {
    number = value.AsReal();
  } else {
    const std::string text = Trim(value.AsText());
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    if (*end != '\0') return std::nullopt;
  }
  if (number == 0) number = 0;  // -0 and 0 are one number
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", number);
  return std::string(buffer);
}

// Text as the server compares codes: without regard to case or trailing blanks.
std::string TextKey(const Value& value) {
  std::string text = value.AsText();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return LowerCase(text);
}

// The codes of A's user rows, held so that a B row whose codes no row of A can match is
// passed over without filtering A's rows: the filter scans every row it holds, and doing that
// for each B row made the pass quadratic in the size of the table. The keys are never finer
// than the server's comparison (a number by value, text without case or trailing blanks), so
// every B row that the filter would match gets through to the filter, which still decides.
class DuplicateScreen {
 public:
  DuplicateScreen(const instructions::LookUp& lookup, data::Recordset& a_rows,
                  const data::Recordset& b_rows) {
    for (const instructions::CodeField& code : lookup.CodeFields()) {
      const int a_field = a_rows.FieldIndex(code.FieldName());
      // Without the field in A the filter fails; let it say so.
      if (a_field < 0) return;
      const int b_field = RequireIndex(b_rows, code.FieldName());
      a_fields_.push_back(a_field);
      b_fields_.push_back(b_field);
      // A four-byte integer of B enters the filter as a bare number, anything else as text.
      numeric_.push_back(b_rows.Field(b_field).type == data::kTypeInteger);
    }
    for (a_rows.MoveFirst(); !a_rows.IsEOF(); a_rows.MoveNext()) Add(a_rows);
    a_rows.MoveFirst();
    active_ = true;
  }

  // Adds the codes of A's current row (a row given a new code).
  void Add(const data::Recordset& a_row) {
    std::string key;
    for (size_t i = 0; i < a_fields_.size(); ++i) {
      const Value& value = a_row.Get(a_fields_[i]);
      if (value.IsNull()) return;  // a NULL passes no condition
      std::optional<std::string> part = numeric_[i] ? NumberKey(value) : TextKey(value);
      if (!part) return;
      AppendPart(&key, *part);
    }
    keys_.insert(std::move(key));
  }

  // False only when no row of A can pass the filter made of this B row's codes.
  bool MayMatch(const data::Recordset& b_row) const {
    if (!active_) return true;
    std::string key;
    for (size_t i = 0; i < b_fields_.size(); ++i) {
      const Value& value = b_row.Get(b_fields_[i]);
      // A code that does not make a plain literal is the filter's to judge (and refuse).
      if (value.IsNull()) return true;
      std::optional<std::string> part = numeric_[i] ? NumberKey(value) : TextKey(value);
      if (!part) return true;
      AppendPart(&key, *part);
    }
    return keys_.count(key) != 0;
  }

 private:
  static void AppendPart(std::string* key, const std::string& part) {
    *key += std::to_string(part.size());
    *key += ':';
    *key += part;
  }

  bool active_ = false;
  std::vector<int> a_fields_;
  std::vector<int> b_fields_;
  std::vector<bool> numeric_;
  std::unordered_set<std::string> keys_;
};

}  // namespace

int PercentOf(int32_t visited, int32_t total) {
  const int64_t scaled = static_cast<int64_t>(visited) * 100;
  int64_t quotient = scaled / total;
  const int64_t twice_rest = (scaled % total) * 2;
  if (twice_rest > total || (twice_rest == total && quotient % 2 != 0)) ++quotient;
  return static_cast<int>(quotient);
}

bool ValuesDiffer(const Value& a, const Value& b, int type) {
  if (a.IsNull() || b.IsNull()) return false;
  if (IsDateType(type)) {
    const std::optional<std::string> a_date = DateKey(a.AsText()), b_date = DateKey(b.AsText());
    if (a_date && b_date) return *a_date != *b_date;
  } else if (IsNumberType(type)) {
    const std::optional<double> a_number = NumberOf(a), b_number = NumberOf(b);
    if (a_number && b_number) return *a_number != *b_number;
  }
  if (a.kind() == Value::Kind::kInteger && b.kind() == Value::Kind::kInteger) {
    return a.AsInteger() != b.AsInteger();
  }
  if (IsNumber(a) && IsNumber(b)) return a.AsReal() != b.AsReal();
  return a.AsText() != b.AsText();
}

LookupCheck::LookupCheck(Context& context, const instructions::LookUps& lookups,
                         data::Connection& source, data::Connection& destination,
                         reports::ProblemReport& report)
    : context_(context),
      lookups_(lookups),
      source_(source),
      destination_(destination),
      report_(report),
      held_(report, [this](const std::string& statement, long* rows_affected) {
        return Execute(source_, statement, rows_affected);
      }) {}

std::unique_ptr<data::Recordset> LookupCheck::Execute(data::Connection& connection,
                                                      const std::string& statement,
                                                      long* rows_affected) {
  ++statements_;
  return connection.Execute(statement, rows_affected);
}

std::unique_ptr<data::Recordset> LookupCheck::Open(data::Connection& connection,
                                                   const std::string& statement,
                                                   data::CursorChoice choice) {
  ++statements_;
  return connection.OpenRecordset(statement, choice);
}

void LookupCheck::ShowStatus(int32_t visited, int32_t total) {
  context_.progress().SetStatus(PercentOf(visited, total));
  // Between two tables, right after the window had its chance to take the user's clicks.
  context_.StopPoint();
}

bool LookupCheck::Run() {
  found_ = false;
  StartCheck();
  CompareStandardRecords();
  if (!RecodeDuplicates()) return found_;
  EndCheck();
  return found_;
}

void LookupCheck::StartCheck() {
  Progress& progress = context_.progress();
  progress.AddProgress("Checking for consistency problems in the Lookup tables...");
  report_.OpenReport(9, 18);
  progress.AddProgress("Looking for differences in standard records...");
  report_.WriteReportLine(" ");
  report_.WriteReportLine(
      BoldText("Differences between standard records in Source and Destination look up tables"));
  report_.WriteReportLine("Values in Database B will be used.");
}

void LookupCheck::CompareStandardRecords() {
  Progress& progress = context_.progress();
  std::string previous;
  int32_t visited = 0;
  const int32_t total = lookups_.Count();
  for (const instructions::LookUp& lookup : lookups_) {
    ShowStatus(visited, total);
    ++visited;
    const std::string& table = lookup.TableName();
    // The instructions list a table once per group of referring tables; its rows need
    // comparing only once.
    if (table == previous) {
      progress.AddProgress("- Skipped 2nd pass LU table: " + table, true);
      continue;
    }
    previous = table;
    context_.merge.CurrentOperation =
        "Looking for differences in standard records LU table: " + table;
    progress.AddProgress("- Inspecting LU table: " + table, true);

    // A table B cannot read (no such table, no "standard" column) simply has nothing to
    // compare; the duplicate pass decides whether it is an error.
    std::unique_ptr<data::Recordset> b_rows;
    try {
      b_rows = Execute(destination_, "SELECT * FROM " + table + " WHERE standard = 1");
    } catch (const data::DataError&) {
      b_rows.reset();
    }
    if (b_rows == nullptr || !b_rows->IsOpen() || b_rows->IsEOF()) {
      progress.AddProgress("no records found in DB B");
      continue;
    }
    while (!b_rows->IsEOF()) {
      CompareStandardRow(lookup, *b_rows);
      b_rows->MoveNext();
    }
    b_rows->Close();
  }
}

void LookupCheck::CompareStandardRow(const instructions::LookUp& lookup, data::Recordset& b_row) {
  const std::string& table = lookup.TableName();
  const std::string where = WhereClause(lookup, b_row);
  std::string codes;
  for (const instructions::CodeField& code : lookup.CodeFields()) {
    if (!codes.empty()) codes += ", ";
    codes +=
        BoldText(code.FieldName()) + ", value = " + BoldText(b_row.Get(code.FieldName()).AsText());
  }

  std::unique_ptr<data::Recordset> a_row =
      Execute(source_, "SELECT * FROM " + table + " WHERE standard = 1 AND " + where);
  if (a_row->IsOpen() && !a_row->IsEOF()) {
    int16_t differences = 0;
    for (int i = 0; i < a_row->FieldCount(); ++i) {
      const std::string& name = a_row->Field(i).name;
      const Value& a = a_row->Get(i);
      const Value& b = b_row.Get(name);
      if (!ValuesDiffer(a, b, a_row->Field(i).type)) continue;
      ++differences;
      if (differences == 1) {
        report_.WriteReportLine("");
        report_.WriteReportLine("Table: " + BoldText(table) + ", code field(s): " + codes);
      }
      report_.WriteReportLine("Field: " + BoldText(name) + ", values: A = " + BoldText(a.AsText()) +
                              " B = " + BoldText(b.AsText()));
      found_ = true;
    }
  }
  a_row->Close();
}

bool LookupCheck::RecodeDuplicates() {
  context_.progress().AddProgress("Looking for duplicate codes in non-standard records");
  report_.WriteReportLine(" ");
  report_.WriteReportLine(
      BoldText("Duplicate codes in non-standard records in Source and Destination lookup tables"));
  report_.WriteReportLine(" ");
  int32_t visited = 0;
  const int32_t total = lookups_.Count();
  try {
    // Unlike the comparison, this pass takes every entry, a repeated table included.
    for (const instructions::LookUp& lookup : lookups_) {
      ShowStatus(visited, total);
      ++visited;
      // A lookup table is read as it stands, updates of it included.
      if (held_.Changes(lookup.TableName())) held_.RunOn(lookup.TableName());
      if (!RecodeDuplicatesOf(lookup)) {
        held_.RunHeld(recodes_);
        return false;
      }
    }
  } catch (...) {
    // What was recoded before the failure is written, as it would have been at once.
    held_.RunHeld(recodes_);
    throw;
  }
  held_.RunHeld(recodes_);
  return true;
}

bool LookupCheck::RecodeDuplicatesOf(const instructions::LookUp& lookup) {
  Progress& progress = context_.progress();
  const std::string& table = lookup.TableName();
  context_.merge.CurrentOperation =
      "Looking for duplicates in non-standard records, LU table: " + table;
  progress.AddProgress("- Inspecting LU table: " + table, true);

  const std::string statement = "SELECT * FROM " + table + " WHERE standard = 0";
  // A's rows are held once and filtered per B row, so a row that is no duplicate costs no
  // statement. B is only read, so its rows are opened read-only.
  std::unique_ptr<data::Recordset> a_rows =
      Open(source_, statement, data::CursorChoice::kOptimistic);
  std::unique_ptr<data::Recordset> b_rows =
      Open(destination_, statement, data::CursorChoice::kStatic);
  if (a_rows->IsOpen() && b_rows->IsOpen() && !a_rows->IsEOF() && !b_rows->IsEOF()) {
    DuplicateScreen screen(lookup, *a_rows, *b_rows);
    while (!b_rows->IsEOF()) {
      if (!screen.MayMatch(*b_rows)) {
        // The where clause is still built: a code that breaks it stops the check here too.
        WhereClause(lookup, *b_rows);
        b_rows->MoveNext();
        continue;
      }
      a_rows->SetFilter(WhereClause(lookup, *b_rows));
      if (a_rows->RecordCount() >= 1) {
        std::string codes;
        for (const instructions::CodeField& code : lookup.CodeFields()) {
          if (!codes.empty()) codes += ", ";
          codes += BoldText(code.FieldName());
        }
        held_.Line(" ");
        held_.Line("Table: " + BoldText(table) + ", code(s): " + codes);

        const std::string& field_name = lookup.CodeFields().Item(1).FieldName();
        const int field = RequireIndex(*a_rows, field_name);
        const int type = a_rows->Field(field).type;
        if (type == data::kTypeInteger) {
          if (!RecodeNumeric(lookup, *a_rows, field, *b_rows)) return false;
        } else if (IsTextCode(type)) {
          RecodeText(lookup, *a_rows, field, *b_rows);
        } else {
          progress.AddProgress("Error, Non-Standard duplicate, field type can not be processed: " +
                               table + "." + field_name);
          return false;
        }
        screen.Add(*a_rows);
        found_ = true;
      }
      a_rows->SetFilter("");
      if (b_rows->IsOpen()) b_rows->MoveNext();
    }
  }
  if (a_rows->IsOpen()) a_rows->Close();
  if (b_rows->IsOpen()) b_rows->Close();
  return true;
}

bool LookupCheck::RecodeNumeric(const instructions::LookUp& lookup, data::Recordset& a_rows,
                                int field, const data::Recordset& b_row) {
  const std::string& table = lookup.TableName();
  const std::string& code_field = lookup.CodeFields().Item(1).FieldName();
  const Value old_code = a_rows.Get(field);

  // One more than the largest code of either table, standard rows included, so that the new
  // code is free in the merged table too. A's maximum grows with each recoded row.
  std::unique_ptr<data::Recordset> a_max =
      Open(source_, "SELECT MAX([" + code_field + "]) AS MaxNum FROM " + table + ";",
           data::CursorChoice::kStatic);
  int64_t new_code = a_max->Get("maxnum").AsInteger() + 1;
  std::unique_ptr<data::Recordset> b_max =
      Execute(destination_, "SELECT MAX([" + code_field + "]) AS MaxNum FROM " + table);
  const Value& b_largest = b_max->Get("maxnum");
  if (!b_largest.IsNull() && b_largest.AsInteger() + 1 >= new_code) {
    new_code = b_largest.AsInteger() + 1;
  }
  b_max->Close();
  if (new_code > kLargestCode) {
    // No four-byte key holds the next code; the user has to free one by hand.
    a_max->Close();
    context_.progress().AddProgress("Error, no free code for " + table + "." + code_field +
                                    " value " + old_code.AsText() + ": the next code would pass " +
                                    std::to_string(kLargestCode) + ", the largest a code holds");
    return false;
  }

  a_rows.Set(field, Value::Integer(new_code));
  a_rows.Update();
  const std::string new_text = std::to_string(new_code);
  held_.Line("Field: " + BoldText(code_field) + " values: A = " + BoldText(old_code.AsText()) +
             " B = " + BoldText(b_row.Get(code_field).AsText()) +
             " Source Database changed to: " + BoldText(new_text));

  std::optional<size_t> recode;
  if (recodes_ != nullptr) {
    recodes_->push_back({table, code_field, old_code.AsText(), new_text, {}});
    recode = recodes_->size() - 1;
  }
  for (const instructions::RefTable& ref : lookup.RefTables()) {
    const std::string& ref_table = ref.TableName();
    const std::string& ref_field = ref.CodeFields().Item(1).FieldName();
    const std::string condition =
        ref_table + "." + ref_field + " = " + IntegerLiteral(old_code.AsText());
    RecodeUpdates::Update update{ref_table,
                                 ref_field,
                                 condition,
                                 new_text,
                                 "UPDATE " + ref_table + " SET " + ref_table + "." + ref_field +
                                     " = " + new_text + " WHERE " + condition,
                                 old_code.AsText(),
                                 new_text,
                                 recode,
                                 0};
    if (recode) {
      update.referring = (*recodes_)[*recode].referring.size();
      (*recodes_)[*recode].referring.push_back({ref_table, ref_field, 0});
    }
    if (!held_.CanHold(update)) held_.RunHeld(recodes_);
    held_.Hold(std::move(update),
               "Refering table: " + BoldText(ref_table) + ", field: " + BoldText(ref_field) +
                   " changed to " + BoldText(new_text) + ", Records: ",
               true);
  }
  a_max->Close();
  return true;
}

bool LookupCheck::ProbeFinds(data::Connection& connection, const std::string& probe) {
  try {
    std::unique_ptr<data::Recordset> rows = Execute(connection, probe);
    const bool found = rows != nullptr && rows->IsOpen() && !rows->IsEOF();
    // Closing at once: an unread forward result would keep the file locked.
    if (rows != nullptr && rows->IsOpen()) rows->Close();
    return found;
  } catch (const data::DataError&) {
    // A candidate that cannot be proven free is not used.
    return true;
  }
}

void LookupCheck::RecodeText(const instructions::LookUp& lookup, data::Recordset& a_rows, int field,
                             const data::Recordset& b_row) {
  const std::string& table = lookup.TableName();
  const std::string& code_field = lookup.CodeFields().Item(1).FieldName();
  const std::string old_code = a_rows.Get(field).AsText();
  const std::string b_code = b_row.Get(code_field).AsText();
  const long length = std::clamp(a_rows.Field(field).defined_size, 1L, kLongestTextCode);

  std::string new_code;
  for (int c = kFirstCandidate; c <= kLastCandidate && new_code.empty(); ++c) {
    const std::string candidate(static_cast<size_t>(length), static_cast<char>(c));
    const std::string probe = "SELECT [" + code_field + "] FROM [" + table + "] WHERE [" +
                              code_field + "] = " + SqlLiteral(candidate);
    if (ProbeFinds(source_, probe)) continue;
    if (ProbeFinds(destination_, probe)) continue;
    new_code = candidate;
  }
  if (new_code.empty()) {
    // An empty code would break every row that refers to it; the user has to resolve this
    // one by hand before the merge.
    const std::string warning = "Warning, no free code for " + table + "." + code_field +
                                " value " + old_code + "; the row was left unchanged";
    context_.progress().AddProgress(warning);
    held_.Line(reports::RtfText(warning));
    return;
  }

  a_rows.Set(field, Value::Text(new_code));
  a_rows.Update();
  held_.Line("Field: " + BoldText(code_field) + " values: A = " + BoldText(old_code) +
             " B = " + BoldText(b_code) + " Source Database changed to: " + BoldText(new_code));

  std::optional<size_t> recode;
  if (recodes_ != nullptr) {
    recodes_->push_back({table, code_field, old_code, new_code, {}});
    recode = recodes_->size() - 1;
  }
  for (const instructions::RefTable& ref : lookup.RefTables()) {
    const std::string& ref_table = ref.TableName();
    const std::string& ref_field = ref.CodeFields().Item(1).FieldName();
    const std::string condition =
        "(((" + ref_table + "." + ref_field + ") = " + SqlLiteral(old_code) + "))";
    RecodeUpdates::Update update{ref_table,
                                 ref_field,
                                 condition,
                                 SqlLiteral(new_code),
                                 "UPDATE " + ref_table + " SET " + ref_table + "." + ref_field +
                                     " = " + SqlLiteral(new_code) + " WHERE " + condition + ";",
                                 old_code,
                                 new_code,
                                 recode,
                                 0};
    if (recode) {
      update.referring = (*recodes_)[*recode].referring.size();
      (*recodes_)[*recode].referring.push_back({ref_table, ref_field, 0});
    }
    if (!held_.CanHold(update)) held_.RunHeld(recodes_);
    held_.Hold(std::move(update),
               "Using table: " + BoldText(ref_table) + " , field: " + BoldText(ref_field) + " to " +
                   BoldText(new_code),
               false);
  }
}

void LookupCheck::EndCheck() {
  Progress& progress = context_.progress();
  progress.SetStatus(101);
  progress.AddProgress("Consistency check complete.");
  progress.AddProgress("Please wait...");
  report_.CloseReport();
}

}  // namespace msu::merge
