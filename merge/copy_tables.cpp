// CopyTables: key renumbering of the source copy A, then the copy of its core tables and
// user-added lookup rows into the destination copy B, the key counters of B, and the final file
// copy.
#include <algorithm>
#include <chrono>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "convert/post_convert.h"
#include "core/context.h"
#include "core/text.h"
#include "data/second_reader.h"
#include "merge/lookup_check.h"
#include "merge/merge.h"
#include "merge/verification.h"
#include "merge/version_rules.h"
#include "server_routines/admin_session.h"
#include "server_routines/attachment.h"
#include "server_routines/routine_errors.h"
#include "server_routines/working_files.h"

namespace msu::merge {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The statements of the key renumbering may run long on big tables.
constexpr int kRenumberTimeout = 300;

// The old key of an auto-increment row as a 32-bit integer; throws when it does not fit.
int32_t KeyValue(const data::Value& value) {
  const int64_t key = value.AsInteger();
  if (key < std::numeric_limits<int32_t>::min() || key > std::numeric_limits<int32_t>::max()) {
    throw NumberedError(kErrOverflow, "Overflow");
  }
  return static_cast<int32_t>(key);
}

// The children of a parent, each (table, key column) once, in the order first listed: an
// instruction file may name a child twice, and its keys must still move only once.
std::vector<const instructions::Child*> DistinctChildren(const instructions::PTable& table) {
  std::vector<const instructions::Child*> children;
  std::set<std::string> seen;
  for (const instructions::Child& child : table.Children()) {
    if (seen.insert(UpperCase(child.TableName() + "." + child.ForeignKey())).second) {
      children.push_back(&child);
    }
  }
  return children;
}

int64_t SameKey(int64_t key) { return key; }

// Thrown once the run is halted (Context::Halt): the routine that met the failure has written
// its lines, and CopyTables ends without more.
struct RunHalted {};

void StopIfHalted(const Context& context) {
  if (context.Halted()) throw RunHalted{};
}

}  // namespace

bool Merge::CopyTables() {
  Progress& progress = context_.progress();
  try {
    if (source_ == nullptr || destination_ == nullptr) {
      throw data::DataError(data::kErrClosed,
                            "Operation is not allowed when the object is closed.");
    }
    progress.AddProgressMerge("Merge initiated, copying Source Database into Destination ...");
    progress.AddProgressMerge("Creating unique primary keys for source database");
    changes_.clear();
    keys_in_copy_ =
        Options.keys == MergeOptions::KeyPath::kInCopy && destination_->CanCopyRowsFrom(*source_);
    Clock::time_point start = Clock::now();
    MeasureBeforeCopy();
    AddPhase("measure", SecondsSince(start));

    start = Clock::now();
    RenumberKeys();
    AddPhase("key renumbering", SecondsSince(start));
    progress.AddProgressMerge("Key updating completed");
    progress.AddProgressMerge("Core table copying started");

    // A's children left to measure are read on a second connection to A while B receives its
    // rows; what is left of that after the copy counts as measuring.
    std::unique_ptr<data::Connection> a_reader =
        later_measures_.empty() ? nullptr : OpenSecondReader(WorkingCopy::kA);
    start = Clock::now();
    Clock::time_point copy_end;
    MeasureLater(a_reader.get(), [&] {
      CopyCoreTables();
      progress.AddProgressMerge("Core table copying completed.");
      progress.AddProgressMerge("Copying non-standard lookup table records.");
      CopyLookUpTables();
      progress.AddProgressMerge("Lookup table copying completed.");
      copy_end = Clock::now();
      AddPhase("table copy", std::chrono::duration<double>(copy_end - start).count());
    });
    AddPhase("measure", SecondsSince(copy_end));
    a_reader.reset();
    if (NeedsLegacyConversion(context_.versions.Database1Version)) {
      start = Clock::now();
      PostConvertDestination();
      AddPhase("post conversion", SecondsSince(start));
      StopIfHalted(context_);
    }

    context_.merge.CurrentOperation = " Syncing NextNumber Table ";
    progress.AddProgressMerge("Syncing the NextNumber table", true);
    destination_->Execute("usp_syncNextNumber");
    // Nothing writes B from here on: it is copied to the new database's folder while the
    // verification reads it, and takes its place after the verification as before.
    std::optional<server_routines::DatabaseCopyAhead> copy_ahead;
    if (!Options.dry_run && figures_.failed_steps.empty()) {
      copy_ahead.emplace(context_, context_.AppFile(server_routines::kWorkFileB), TargetDBPath);
    }

    if (Options.verify) {
      start = Clock::now();
      // The memberships are read on a connection of their own, on a second core, while the
      // other checks run here. Without it they run here too.
      std::unique_ptr<data::Connection> reader = OpenSecondReader();
      figures_.verification = VerifyDestination(*destination_, instructions_.Tables,
                                                instructions_.LookUps, expected_rows_, memberships_,
                                                added_rows_, {reader.get(), context_.Heartbeat()});
      reader.reset();
      AddPhase("verification", SecondsSince(start));
    }

    if (Options.into_incident) {
      context_.merge.CurrentOperation = "Foreseeing the consolidation ";
      if (!ForeseeConsolidation(*Options.into_incident)) {
        progress.AddProgressMerge("The incident " + std::to_string(*Options.into_incident) +
                                  " to fold the incidents into is no incident of the merged "
                                  "database; nothing was placed.");
        CloseConnections();
        return false;
      }
    }

    context_.merge.CurrentOperation = "Finalizing Database ";
    CloseConnections();
    if (Options.dry_run) return true;
    // The last moment a stop leaves nothing behind.
    context_.StopPoint();

    start = Clock::now();
    if (!figures_.failed_steps.empty()) return PlaceIncomplete();
    progress.AddProgressMerge(std::string("Copying ") + server_routines::kWorkFileB + " to " +
                              TargetDBPath);
    const bool copied =
        copy_ahead ? copy_ahead->Place()
                   : server_routines::CopyDatabaseFile(
                         context_, context_.AppFile(server_routines::kWorkFileB), TargetDBPath);
    AddPhase("final copy", SecondsSince(start));
    if (!copied) return false;
    progress.AddProgressMerge("Almost Done ...");
    progress.AddProgressMerge(kMergePlacedLine);
    return true;
  } catch (const RunHalted&) {
    // The routine that met the failure has written its lines.
    return false;
  } catch (...) {
    server_routines::KeepLastError(context_, server_routines::CurrentError());
    progress.AddProgressMerge("Error, merge stopped, " + context_.merge.CurrentOperation);
    progress.AddProgressMerge("Error is " + context_.merge.LastError);
    return false;
  }
}

bool Merge::PlaceIncomplete() {
  Progress& progress = context_.progress();
  // The merge went on after a failed step, as it must, but what it made lacks rows: it is
  // kept for the administrator under a name no one can take for a finished database, and not
  // attached.
  const std::string incomplete = server_routines::IncompleteNameOf(TargetDBPath);
  progress.AddProgressMerge(
      "The merge is incomplete: " + std::to_string(figures_.failed_steps.size()) +
      " of its steps failed (" + figures_.failed_steps.front() +
      (figures_.failed_steps.size() > 1 ? ", ..." : "") + ").");
  try {
    server_routines::AdminSession session(context_);
    server_routines::DetachDatabaseFile(context_, context_.AppFile(server_routines::kWorkFileB));
    server_routines::DetachDatabaseFile(context_, incomplete);
    server_routines::PlaceDatabaseFile(session.connection(), context_,
                                       context_.AppFile(server_routines::kWorkFileB), incomplete,
                                       "");
    session.Disconnect();
  } catch (...) {
    const server_routines::RoutineError error = server_routines::CurrentError();
    if (error.number == kErrDiskFull) context_.Halt(error.description);
    progress.AddProgressMerge("The incomplete database could not be kept: " + error.description);
    return false;
  }
  figures_.incomplete_database = incomplete;
  progress.AddProgressMerge("Nothing was placed at " + TargetDBPath +
                            "; what the merge made is at " + incomplete +
                            ", not attached to the server.");
  return false;
}

void Merge::PostConvertDestination() {
  figures_.post_converted = true;
  // The result does not stop the merge: a failure has written its own lines.
  if (!convert::PostConvert(context_, *destination_, Options.conversions, &figures_.conversion)) {
    figures_.failed_steps.push_back("the conversion of the copied rows");
  }
  // The offices it made from the incidents are rows the copy did not bring.
  for (ExpectedRows& expected : expected_rows_) {
    if (!expected.lookup && EqualsNoCase(expected.table, "AdminOffice")) {
      expected.rows += figures_.conversion.admin_offices;
    }
  }
}

const std::vector<data::KeyChange>& Merge::ChangesOf(const std::string& table) {
  return changes_[UpperCase(Trim(table))];
}

void Merge::OffsetKeys(const std::string& table, const std::string& field, int32_t offset,
                       bool parent_key) {
  source_->SetCommandTimeout(kRenumberTimeout);
  const std::string column = table + "." + field;
  if (Options.dry_run) {
    // Only a dry run asks: the shift itself cannot overflow on this server, but would on the
    // suite's.
    const int64_t before =
        data::QueryInteger(*source_, "SELECT MAX([" + field + "]) FROM " + table);
    if (before + offset > std::numeric_limits<int32_t>::max()) {
      figures_.warnings.push_back("Warning, keys of " + column + " would pass 2,147,483,647 (" +
                                  std::to_string(before) + " + offset " + std::to_string(offset) +
                                  ")");
    }
    figures_.offsets.push_back({table, field, offset, before});
  } else {
    figures_.offsets.push_back({table, field, offset, 0});
  }
  const std::string update = "UPDATE " + table + " SET " + column + " = " + column + " + " +
                             std::to_string(offset) + " WHERE NOT " + column + " = 0 AND NOT " +
                             column + " = -1";
  if (!keys_in_copy_) {
    source_->Execute(update);
    return;
  }
  // A's keys stay; the copy moves them. The statement that would have moved a parent's keys
  // past the int range fails here, where the UPDATE would (children follow their parents).
  if (parent_key) {
    std::unique_ptr<data::Recordset> range =
        source_->Execute("SELECT MIN([" + field + "]), MAX([" + field + "]) FROM " + table +
                         " WHERE NOT " + column + " = 0 AND NOT " + column + " = -1");
    constexpr int64_t kLow = std::numeric_limits<int32_t>::min();
    constexpr int64_t kHigh = std::numeric_limits<int32_t>::max();
    const bool outside =
        range->IsOpen() && !range->IsEOF() && !range->Get(1).IsNull() &&
        (range->Get(0).AsInteger() + offset < kLow || range->Get(1).AsInteger() + offset > kHigh);
    if (range->IsOpen()) range->Close();
    if (outside) {
      // The first row the UPDATE would have failed on, in the order it goes through them.
      std::unique_ptr<data::Recordset> first = source_->Execute(
          "SELECT " + column + " + " + std::to_string(offset) + " FROM " + table + " WHERE NOT " +
          column + " = 0 AND NOT " + column + " = -1 AND (" + column + " + " +
          std::to_string(offset) + " > " + std::to_string(kHigh) + " OR " + column + " + " +
          std::to_string(offset) + " < " + std::to_string(kLow) + ")");
      const std::string value =
          first->IsOpen() && !first->IsEOF() ? first->Get(0).AsText() : std::string();
      if (first->IsOpen()) first->Close();
      throw data::DataError(data::kErrStatement,
                            "Arithmetic overflow error converting expression to data type int. "
                            "(table " +
                                table + ", column " + field + ", value " + value +
                                ") (statement: " + update + ")");
    }
  } else {
    // A key column that is not there fails here, as the UPDATE would.
    std::unique_ptr<data::Recordset> probe =
        source_->Execute("SELECT " + column + " FROM " + table + " WHERE 1 = 0");
    if (probe->IsOpen()) probe->Close();
  }
  changes_[UpperCase(Trim(table))].push_back({field, offset, nullptr});
}

void Merge::RenumberKeys() {
  Progress& progress = context_.progress();
  const int32_t total = instructions_.Tables.Count();
  // Moving the keys in the copy leaves A as it is, once Quals (the one table whose rows A
  // loses) is behind: A's children can be measured later.
  int32_t last_write = 0;
  int32_t position = 0;
  for (const instructions::PTable& table : instructions_.Tables) {
    ++position;
    if (table.TableName() == "Quals") last_write = position;
  }
  later_measures_.clear();
  position = 0;
  for (instructions::PTable& table : instructions_.Tables) {
    ++position;
    measure_later_ = keys_in_copy_ && position > last_write;
    const int percent = PercentOf(position, total);
    progress.SetStatusMerge(percent, 0);
    context_.StopPoint();
    RenumberTable(table, percent);
  }
  measure_later_ = false;
}

void Merge::MeasureLater(data::Connection* reader, const std::function<void()>& meanwhile) {
  std::vector<std::optional<RowsPerKey>> counts(later_measures_.size());
  std::vector<std::string> problems(later_measures_.size());
  const auto measure = [&](data::Connection& connection) {
    for (size_t i = 0; i < later_measures_.size(); ++i) {
      const ChildMembership& membership = memberships_[later_measures_[i].membership];
      try {
        counts[i] = CountPerKey(connection, membership.child_table, membership.child_key);
      } catch (const std::exception& error) {
        problems[i] = error.what();
      }
    }
  };
  if (reader != nullptr && !later_measures_.empty()) {
    data::HelperThread helper(*reader, [&] { measure(*reader); });
    meanwhile();
    helper.Wait(context_.Heartbeat());
  } else {
    meanwhile();
    measure(*source_);
  }
  for (size_t i = 0; i < later_measures_.size(); ++i) {
    ChildMembership& membership = memberships_[later_measures_[i].membership];
    if (!counts[i]) {
      membership.problem = "the rows of " + membership.child_table + "." + membership.child_key +
                           " in Database 1 could not be counted: " + problems[i];
      continue;
    }
    RowsPerKey& expected = membership.expected;
    expected.reserve(expected.size() + counts[i]->size());
    for (const auto& [key, count] : *counts[i]) {
      expected.emplace_back(later_measures_[i].new_key(key), count);
    }
    SortRowsPerKey(expected);
  }
  later_measures_.clear();
}

void Merge::RenumberTable(instructions::PTable& table, int parent_percent) {
  Progress& progress = context_.progress();
  const std::string name = table.TableName();
  std::string second_key;
  const size_t plus = table.PrimaryKey().find('+');
  if (plus != std::string::npos) {
    second_key = table.PrimaryKey().substr(plus + 1);
    table.SetPrimaryKey(table.PrimaryKey().substr(0, plus));
  }
  const std::string key = table.PrimaryKey();
  if (key.empty() && !table.AutoIncrement()) {
    ExpectChildren(MeasureChildren(table), SameKey);
    return;
  }
  if (table.AutoIncrement()) {
    CopyAutoIncrement(table);
    return;
  }

  context_.merge.CurrentOperation = "Modifying primary key in table: " + name;
  if (name == "Quals") {
    DedupQuals();
    if (quals_before_dedup_ >= 0) {
      figures_.rows_removed_by_dedup = quals_before_dedup_ - CountRows(*source_, name);
      for (ExpectedRows& expected : expected_rows_) {
        if (!expected.lookup && expected.table == name) {
          expected.rows -= figures_.rows_removed_by_dedup;
        }
      }
    }
  }
  progress.AddProgressMerge("Parent Table: " + name + ", updating keys in Source", true);
  if (!second_key.empty()) {
    const int32_t second_offset = NextKeyValue(*destination_, name, second_key);
    if (second_offset > 1) OffsetKeys(name, second_key, second_offset, true);
  }
  const int32_t offset = NextKeyValue(*destination_, name, key);
  if (offset <= 1) {
    ExpectChildren(MeasureChildren(table), SameKey);
    return;
  }
  ExpectChildren(MeasureChildren(table),
                 [offset](int64_t old) { return old == 0 || old == -1 ? old : old + offset; });
  OffsetKeys(name, key, offset, true);
  const int32_t children = table.Children().Count();
  const std::vector<const instructions::Child*> distinct = DistinctChildren(table);
  int32_t position = 0;
  for (const instructions::Child& child : table.Children()) {
    ++position;
    progress.SetStatusMerge(parent_percent, PercentOf(position, children));
    progress.AddProgressMerge("- Child table: " + child.TableName() + " foreign keys updated",
                              true);
    // A child listed twice has had its keys moved already.
    if (std::find(distinct.begin(), distinct.end(), &child) == distinct.end()) continue;
    OffsetKeys(child.TableName(), child.ForeignKey(), offset, false);
  }
}

Merge::MeasuredChildren Merge::MeasureChildren(const instructions::PTable& table) {
  MeasuredChildren measured;
  for (size_t i = 0; i < memberships_.size(); ++i) {
    ChildMembership& membership = memberships_[i];
    if (!EqualsNoCase(membership.parent_table, table.TableName()) ||
        !EqualsNoCase(membership.parent_key, table.PrimaryKey()) || !membership.problem.empty()) {
      continue;
    }
    if (measure_later_) {
      measured.emplace_back(i, RowsPerKey());
      continue;
    }
    try {
      measured.emplace_back(i, CountPerKey(*source_, membership.child_table, membership.child_key));
    } catch (const std::exception& error) {
      membership.problem = "the rows of " + membership.child_table + "." + membership.child_key +
                           " in Database 1 could not be counted: " + error.what();
    }
  }
  return measured;
}

void Merge::ExpectChildren(const MeasuredChildren& measured,
                           const std::function<int64_t(int64_t)>& new_key) {
  if (measure_later_) {
    for (const auto& [index, rows] : measured) later_measures_.push_back({index, new_key});
    return;
  }
  for (const auto& [index, rows] : measured) {
    RowsPerKey& expected = memberships_[index].expected;
    expected.reserve(expected.size() + rows.size());
    for (const auto& [key, count] : rows) expected.emplace_back(new_key(key), count);
    SortRowsPerKey(expected);
  }
}

void Merge::CopyAutoIncrement(instructions::PTable& table) {
  Progress& progress = context_.progress();
  const std::string name = table.TableName();
  const std::string key = table.PrimaryKey();
  context_.merge.CurrentOperation = "Modifying Auto Increment Table: " + name;
  std::unique_ptr<data::Recordset> source_rows =
      source_->OpenRecordset("SELECT * FROM " + name, data::CursorChoice::kForward);
  std::unique_ptr<data::Recordset> destination_rows =
      destination_->OpenRecordset("SELECT * FROM " + name, data::CursorChoice::kOptimistic);
  progress.AddProgressMerge("Parent table: " + name + ", updating keys(auto increment)", true);
  if (!keys_in_copy_) IndexChildKeys(table);
  const MeasuredChildren children_before = MeasureChildren(table);
  // The keys earlier parents gave this table's own columns, when the copy moves them.
  const std::vector<data::KeyChange> own_changes =
      keys_in_copy_ ? ChangesOf(name) : std::vector<data::KeyChange>();
  std::map<int64_t, int64_t> new_keys;
  const std::vector<const instructions::Child*> children = DistinctChildren(table);

  // A new key can equal the old key of a row handled later, whose children would then also
  // take the earlier row's children. When that can happen (the largest old key reaches the
  // first new key), the children's old keys are first moved below -1, where no new key lies,
  // and whatever no parent row claimed is moved back at the end.
  int64_t largest_old = 0;
  bool measured = false;
  int64_t shift = 0;
  const auto old_key_of = [&](int32_t old_key) -> int64_t {
    if (shift == 0 || old_key == 0 || old_key == -1) return old_key;
    return static_cast<int64_t>(old_key) - shift;
  };

  while (source_rows->IsOpen() && !source_rows->IsEOF()) {
    destination_rows->AddNew();
    for (int i = 0; i < source_rows->FieldCount(); ++i) {
      const std::string& field = source_rows->Field(i).name;
      if (EqualsNoCase(field, key)) continue;
      data::Value value = source_rows->Get(i);
      for (const data::KeyChange& change : own_changes) {
        if (EqualsNoCase(change.column, field) && value.kind() == data::Value::Kind::kInteger) {
          value = data::Value::Integer(*change.Apply(value.AsInteger()));
        }
      }
      destination_rows->Set(field, std::move(value));
    }
    destination_rows->Update();
    const data::Value new_key = destination_rows->Get(key);
    const int32_t old_key = KeyValue(source_rows->Get(key));
    if (keys_in_copy_) {
      // A keeps its keys: the copies of the children take the new ones (ChangesOf).
      new_keys[old_key] = new_key.AsInteger();
      source_rows->MoveNext();
      continue;
    }

    if (!measured) {
      measured = true;
      largest_old = MaxKeyOfFamily(table);
      const int64_t first_new = new_key.AsInteger();
      if (largest_old >= first_new && largest_old < (int64_t{1} << 30)) {
        shift = largest_old + 2;
        MoveChildKeys(table, -shift, " WHERE NOT ", " = 0 AND NOT ", " = -1");
      }
    }

    new_keys[old_key] = new_key.AsInteger();
    // Each child (table, key column) once: a second listing would find its rows moved already.
    for (const instructions::Child* child : children) {
      context_.merge.CurrentOperation =
          "Modifying foreign key in child table (AutoInc): " + child->TableName();
      source_->Execute("UPDATE " + child->TableName() + " SET " + child->ForeignKey() + " = " +
                       new_key.AsText() + " WHERE " + child->ForeignKey() + " = " +
                       std::to_string(old_key_of(old_key)));
    }
    source_rows->MoveNext();
  }
  if (shift != 0) MoveChildKeys(table, shift, " WHERE ", " < -1", "");
  if (keys_in_copy_) {
    const auto map = std::make_shared<const std::vector<std::pair<int64_t, int64_t>>>(
        new_keys.begin(), new_keys.end());
    for (const instructions::Child* child : children) {
      changes_[UpperCase(Trim(child->TableName()))].push_back({child->ForeignKey(), 0, map});
    }
  }
  // Where each incident of Database 1 went, for the list the consolidation shows.
  if (EqualsNoCase(Trim(name), "Incidents")) {
    figures_.source_incidents.assign(new_keys.begin(), new_keys.end());
  }
  // Children whose key names no row keep it.
  ExpectChildren(children_before, [new_keys = std::make_shared<const std::map<int64_t, int64_t>>(
                                       std::move(new_keys))](int64_t old) {
    const auto found = new_keys->find(old);
    return found == new_keys->end() ? old : found->second;
  });
  if (source_rows->IsOpen()) source_rows->Close();
  if (destination_rows->IsOpen()) destination_rows->Close();
}

void Merge::MoveChildKeys(const instructions::PTable& table, int64_t amount,
                          const std::string& where, const std::string& condition,
                          const std::string& second_condition) {
  for (const instructions::Child* child : DistinctChildren(table)) {
    context_.merge.CurrentOperation =
        "Modifying foreign key in child table (AutoInc): " + child->TableName();
    const std::string column = child->TableName() + "." + child->ForeignKey();
    source_->Execute("UPDATE " + child->TableName() + " SET " + column + " = " + column + " + " +
                     std::to_string(amount) + where + column + condition +
                     (second_condition.empty() ? "" : column + second_condition));
  }
}

void Merge::IndexChildKeys(const instructions::PTable& table) {
  // Each parent row sends one UPDATE per child; without an index on the child's key each of
  // them reads the whole child table. A few parent rows are quicker without one.
  constexpr int64_t kFewParentRows = 16;
  if (CountRows(*source_, table.TableName()) <= kFewParentRows) return;
  for (const instructions::Child& child : table.Children()) {
    std::string name = "msu_" + child.TableName() + "_" + child.ForeignKey();
    std::erase_if(name, [](char c) { return c == '[' || c == ']'; });
    try {
      source_->Execute("CREATE INDEX [" + name + "] ON " + child.TableName() + " ([" +
                       child.ForeignKey() + "])");
    } catch (const data::DataError&) {
      // Already there, or no such column: the UPDATE itself says so if it matters.
    }
  }
}

int64_t Merge::MaxKeyOfFamily(const instructions::PTable& table) {
  int64_t largest = 0;
  const auto take = [&](const std::string& name, const std::string& field) {
    largest =
        std::max(largest, data::QueryInteger(*source_, "SELECT MAX([" + field + "]) FROM " + name));
  };
  take(table.TableName(), table.PrimaryKey());
  for (const instructions::Child& child : table.Children()) {
    take(child.TableName(), child.ForeignKey());
  }
  return largest;
}

void Merge::CopyCoreTables() {
  Progress& progress = context_.progress();
  const int32_t total = instructions_.Tables.Count();
  int32_t position = 0;
  for (const instructions::PTable& table : instructions_.Tables) {
    ++position;
    progress.SetStatusMerge(PercentOf(position, total), 0);
    context_.StopPoint();
    if (table.AutoIncrement()) continue;
    const std::string& name = table.TableName();
    context_.merge.CurrentOperation = "Copying table: " + name;
    bool failed = false;
    const int32_t count = CopyRows(context_, *source_, *destination_, false, name, Options.row_copy,
                                   &failed, ChangesOf(name));
    StopIfHalted(context_);
    if (failed) figures_.failed_steps.push_back("copying table " + name);
    figures_.rows_copied.push_back({name, count});
    progress.AddProgressMerge(
        "Table: " + name + " records copied from DB A: " + std::to_string(count), true);
  }
}

void Merge::CopyLookUpTables() {
  Progress& progress = context_.progress();
  const int32_t total = instructions_.LookUps.Count();
  int32_t position = 0;
  std::string last;
  for (const instructions::LookUp& lookup : instructions_.LookUps) {
    ++position;
    progress.SetStatusMerge(PercentOf(position, total), 0);
    context_.StopPoint();
    const std::string& name = lookup.TableName();
    if (name == last) {
      progress.AddProgressMerge("Skipped 2nd pass LU table: " + name, true);
      continue;
    }
    last = name;
    context_.merge.CurrentOperation = "Copying look up table: " + name;
    bool failed = false;
    const int32_t count =
        CopyRows(context_, *source_, *destination_, true, name, Options.row_copy, &failed);
    StopIfHalted(context_);
    if (failed) figures_.failed_steps.push_back("copying look up table " + name);
    figures_.lookup_rows_copied.push_back({name, count});
    progress.AddProgressMerge("Table: " + name + " records copied: " + std::to_string(count), true);
  }
}

int64_t Merge::CountRows(data::Connection& connection, const std::string& table,
                         const std::string& where) {
  return data::QueryInteger(
      connection, "SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where));
}

void Merge::MeasureBeforeCopy() {
  figures_.offsets.clear();
  figures_.source_incidents.clear();
  figures_.rows_copied.clear();
  figures_.lookup_rows_copied.clear();
  figures_.rows_removed_by_dedup = 0;
  figures_.warnings.clear();
  figures_.verification = {};
  figures_.post_converted = false;
  figures_.conversion = {};
  figures_.failed_steps.clear();
  figures_.incomplete_database.clear();
  figures_.consolidation = {};
  expected_rows_.clear();
  memberships_.clear();
  added_rows_.clear();
  quals_before_dedup_ = -1;
  if (!Options.verify && !Options.dry_run) return;
  // What each table of B holds now: the rows the merge adds can be checked on their own.
  const auto mark = [this](const std::string& table) {
    try {
      if (std::optional<int64_t> rows = destination_->RowMark(table)) {
        added_rows_[table] = *rows;
      }
    } catch (const data::DataError&) {
      // A table B lacks: the step that needs it reports it.
    }
  };
  for (const instructions::PTable& table : instructions_.Tables) mark(table.TableName());
  for (const instructions::LookUp& lookup : instructions_.LookUps) mark(lookup.TableName());
  // B's children stay under their own keys (and are not read again when the rows the merge
  // adds can be told apart); A's join them as their parents' keys move.
  for (const instructions::PTable& table : instructions_.Tables) {
    const std::string key = Trim(table.PrimaryKey());
    const std::string parent_key = key.substr(0, key.find('+'));
    if (parent_key.empty() && !table.AutoIncrement()) continue;
    for (const instructions::Child* child : DistinctChildren(table)) {
      ChildMembership membership{table.TableName(),   parent_key, child->TableName(),
                                 child->ForeignKey(), {},         {},
                                 std::nullopt};
      if (const auto found = added_rows_.find(child->TableName()); found != added_rows_.end()) {
        membership.added_since = found->second;
      } else {
        try {
          membership.expected = CountPerKey(*destination_, child->TableName(), child->ForeignKey());
        } catch (const std::exception& error) {
          membership.problem = "the rows of " + child->TableName() + "." + child->ForeignKey() +
                               " in Database 2 could not be counted: " + error.what();
        }
      }
      memberships_.push_back(std::move(membership));
    }
  }
  // A table that cannot be counted is left to the step that uses it to report.
  for (const instructions::PTable& table : instructions_.Tables) {
    try {
      const int64_t a = CountRows(*source_, table.TableName());
      const int64_t b = CountRows(*destination_, table.TableName());
      expected_rows_.push_back({table.TableName(), a + b, false});
      if (table.TableName() == "Quals") quals_before_dedup_ = a;
    } catch (const data::DataError&) {
    }
  }
  std::string last;
  for (const instructions::LookUp& lookup : instructions_.LookUps) {
    if (lookup.TableName() == last) continue;
    last = lookup.TableName();
    try {
      const int64_t a = CountRows(*source_, last, "Standard = 0");
      const int64_t b = CountRows(*destination_, last);
      expected_rows_.push_back({last, a + b, true});
    } catch (const data::DataError&) {
    }
  }
  if (Options.dry_run) {
    for (std::string& warning : QualIdWarnings(*source_)) {
      figures_.warnings.push_back(std::move(warning));
    }
  }
}

}  // namespace msu::merge
