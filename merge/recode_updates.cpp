#include "merge/recode_updates.h"

#include "core/text.h"
#include "reports/problem_report.h"

namespace msu::merge {

namespace {

bool SameCode(const std::string& a, const std::string& b) {
  return UpperCase(Trim(a)) == UpperCase(Trim(b));
}

bool SameColumn(const RecodeUpdates::Update& a, const RecodeUpdates::Update& b) {
  return EqualsNoCase(Trim(a.table), Trim(b.table)) && EqualsNoCase(Trim(a.field), Trim(b.field));
}

}  // namespace

bool RecodeUpdates::CanHold(const Update& update) const {
  for (const Update& held : updates_) {
    // Run together, an update would not see the rows an earlier one gave its code, and two
    // updates of one code would both count the same rows.
    if (SameColumn(held, update) &&
        (SameCode(held.new_code, update.old_code) || SameCode(held.old_code, update.old_code))) {
      return false;
    }
  }
  return true;
}

void RecodeUpdates::Hold(Update update, std::string line, bool with_count) {
  updates_.push_back(std::move(update));
  counts_.push_back(0);
  done_.push_back(false);
  lines_.push_back({std::move(line), updates_.size() - 1, with_count});
}

bool RecodeUpdates::Changes(const std::string& table) const {
  for (size_t i = 0; i < updates_.size(); ++i) {
    if (!done_[i] && EqualsNoCase(Trim(updates_[i].table), Trim(table))) return true;
  }
  return false;
}

void RecodeUpdates::RunOn(const std::string& table) {
  if (!RunTogether(&table)) {
    // One by one, so that the update that fails throws its own error.
    for (size_t i = 0; i < updates_.size(); ++i) {
      if (done_[i] || !EqualsNoCase(Trim(updates_[i].table), Trim(table))) continue;
      execute_(updates_[i].statement, &counts_[i]);
      done_[i] = true;
    }
  }
}

void RecodeUpdates::Line(const std::string& text) {
  if (updates_.empty()) {
    report_.WriteReportLine(text);
  } else {
    lines_.push_back({text, std::nullopt, false});
  }
}

bool RecodeUpdates::RunTogether(const std::string* only) {
  std::vector<long>& counts = counts_;
  std::vector<bool>& done = done_;
  for (size_t first = 0; first < updates_.size(); ++first) {
    if (done[first]) continue;
    if (only != nullptr && !EqualsNoCase(Trim(updates_[first].table), Trim(*only))) continue;
    std::vector<size_t> same;
    for (size_t i = first; i < updates_.size(); ++i) {
      if (!done[i] && EqualsNoCase(Trim(updates_[i].table), Trim(updates_[first].table))) {
        same.push_back(i);
      }
    }
    try {
      if (same.size() == 1) {
        execute_(updates_[first].statement, &counts[first]);
        done[first] = true;
        continue;
      }
      const std::string& table = updates_[first].table;
      std::string sums;
      for (size_t i : same) {
        sums += (sums.empty() ? "" : ", ") + std::string("SUM(CASE WHEN ") + updates_[i].condition +
                " THEN 1 ELSE 0 END)";
      }
      std::unique_ptr<data::Recordset> rows =
          execute_("SELECT " + sums + " FROM " + table, nullptr);
      for (size_t k = 0; k < same.size(); ++k) {
        const data::Value& value = rows->Get(static_cast<int>(k));
        counts[same[k]] = value.IsNull() ? 0 : static_cast<long>(value.AsInteger());
      }
      rows->Close();
      // One CASE per field, its updates in the order held (they look for different codes).
      std::vector<std::string> fields;
      std::vector<std::string> cases;
      std::string where;
      for (size_t i : same) {
        if (counts[i] == 0) continue;
        const Update& update = updates_[i];
        const std::string when = " WHEN " + update.condition + " THEN " + update.new_value;
        size_t f = 0;
        while (f < fields.size() && !EqualsNoCase(Trim(fields[f]), Trim(update.field))) ++f;
        if (f == fields.size()) {
          fields.push_back(update.field);
          cases.emplace_back();
        }
        cases[f] += when;
        where += (where.empty() ? "" : " OR ") + update.condition;
      }
      if (!fields.empty()) {
        std::string set;
        for (size_t f = 0; f < fields.size(); ++f) {
          const std::string column = table + "." + fields[f];
          set += (set.empty() ? "" : ", ") + column + " = CASE" + cases[f] + " ELSE " + column +
                 " END";
        }
        execute_("UPDATE " + table + " SET " + set + " WHERE " + where, nullptr);
      }
      for (size_t i : same) done[i] = true;
    } catch (const data::DataError&) {
      return false;
    }
  }
  return true;
}

void RecodeUpdates::RunHeld(std::vector<Recode>* recodes) {
  if (updates_.empty()) return;
  RunTogether(nullptr);
  // Whatever did not run together runs now, one by one in the order held, each before the
  // lines that tell of it.
  std::vector<Update> updates = std::move(updates_);
  std::vector<long> counts = std::move(counts_);
  std::vector<bool> done = std::move(done_);
  std::vector<Entry> lines = std::move(lines_);
  updates_.clear();
  counts_.clear();
  done_.clear();
  lines_.clear();
  size_t next = 0;
  const auto run_through = [&](size_t last) {
    for (; next <= last && next < updates.size(); ++next) {
      if (!done[next]) execute_(updates[next].statement, &counts[next]);
      done[next] = true;
      if (recodes != nullptr && updates[next].recode) {
        (*recodes)[*updates[next].recode].referring[updates[next].referring].rows = counts[next];
      }
    }
  };
  for (const Entry& line : lines) {
    if (line.update) run_through(*line.update);
    report_.WriteReportLine(line.with_count ? line.text + std::to_string(counts[*line.update])
                                            : line.text);
  }
  run_through(updates.size() - 1);
}

}  // namespace msu::merge
