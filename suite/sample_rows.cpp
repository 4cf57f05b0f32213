#include "suite/sample_rows.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace msu::suite::sample {

std::string DateText(int day_offset, int minutes) {
  // Civil date from days since 2024-01-01 (a leap year start keeps the sums simple).
  static const int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                        {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
  int year = 2024;
  int day = day_offset;
  for (;;) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int length = leap ? 366 : 365;
    if (day < length) break;
    day -= length;
    ++year;
  }
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int month = 0;
  while (day >= kMonthDays[leap][month]) day -= kMonthDays[leap][month++];
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:00", year, month + 1, day + 1,
                (minutes / 60) % 24, minutes % 60);
  return text;
}

RowWriter::RowWriter(sqlite::Database& db, const TableInfo& table,
                     std::vector<const TableInfo*> all_versions)
    : table_(table), all_versions_(std::move(all_versions)) {
  std::string sql = "INSERT INTO [" + table.name + "] (";
  std::string params;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    sql += (i > 0 ? ", [" : "[") + table.columns[i].name + "]";
    params += i > 0 ? ", ?" : "?";
  }
  statement_ = std::make_unique<sqlite::Statement>(db, sql + ") VALUES (" + params + ")");
  values_.resize(table.columns.size());
}

void RowWriter::Insert() {
  for (size_t i = 0; i < values_.size(); ++i) {
    int index = static_cast<int>(i) + 1;
    Slot& slot = values_[i];
    switch (slot.kind) {
      case kNull:
        statement_->BindNull(index);
        break;
      case kInt:
        statement_->BindInt(index, slot.i);
        break;
      case kReal:
        statement_->BindReal(index, slot.d);
        break;
      case kText:
        statement_->BindText(index, slot.s);
        break;
    }
    slot.kind = kNull;
  }
  statement_->Run();
}

RowWriter::Slot* RowWriter::Find(std::string_view column) {
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (table_.columns[i].name == column) return &values_[i];
  }
  if (const ColumnInfo* c = table_.FindColumn(column)) {
    return &values_[static_cast<size_t>(c - table_.columns.data())];
  }
  for (const TableInfo* other : all_versions_) {
    if (other != nullptr && other->FindColumn(column) != nullptr) return nullptr;
  }
  throw std::logic_error("The sample generator names an unknown column " + table_.name + "." +
                         std::string(column));
}

TableWriters::TableWriters(sqlite::Database& db, SchemaVersion version)
    : db_(db),
      tables_(SchemaTables(version)),
      all_versions_{SchemaTables(SchemaVersion::k3_21_00), SchemaTables(SchemaVersion::k4_12_00),
                    SchemaTables(SchemaVersion::k5_01_00)} {}

RowWriter& TableWriters::Table(const std::string& table) {
  auto found = writers_.find(table);
  if (found != writers_.end()) return *found->second;
  const TableInfo* info = FindTable(tables_, table);
  if (info == nullptr) throw std::logic_error("No table " + table + " in this version");
  std::vector<const TableInfo*> versions;
  for (const auto& tables : all_versions_) versions.push_back(FindTable(tables, table));
  auto writer = std::make_unique<RowWriter>(db_, *info, std::move(versions));
  RowWriter& ref = *writer;
  writers_.emplace(table, std::move(writer));
  return ref;
}

}  // namespace msu::suite::sample
